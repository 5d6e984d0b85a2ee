// The main window procedure: the message table, typed characters into the input queue, the
// window/full-screen switch request, closing and destruction, the cursor over the window, aspect-ratio
// sizing, dropped files, menu and tool-bar commands, and the hand-offs of IME, MCI, hook-key and socket
// messages. Activation, painting and display changes are in window_activation.cpp.
// Depends on: the input, sound and network subsystems; main window, menu, drop-file modules.
#include "orbel/core/window_proc.h"

#include "orbel/core/drop_files.h"
#include "orbel/core/library_state.h"
#include "orbel/core/log.h"
#include "orbel/core/main_window.h"
#include "orbel/core/menu.h"
#include "orbel/core/string_routines.h"
#include "orbel/core/window_mode.h"
#include "orbel/core/window_proc_internal.h"
#include "orbel/graphics/graphics_system.h"
#include "orbel/input/input_system.h"
#include "orbel/network/network_system.h"
#include "orbel/sound/sound_system.h"
#include "platform/win/user/cursor.h"
#include "platform/win/user/message_queue.h"
#include "platform/win/user/window.h"

namespace orbel {

namespace {

constexpr plat::UINT kHookKeyNotice1 = plat::WM_USER + 0x6F;
constexpr plat::UINT kHookKeyNotice2 = plat::WM_USER + 0x70;
constexpr plat::UINT kSocketNotice = plat::WM_USER + 0x105;
constexpr int kToolBarCommandBase = 0x500;

void HideCursorOverWindow() {
  if (gWindow.cursorShown) return;
  plat::SetCursor(nullptr);
  while (plat::ShowCursor(plat::FALSE) >= 0) {
  }
}

// Keeps the client area at the screen's aspect ratio (or within the scaled screen size) while the
// user drags an edge or corner; the right or bottom edge of `proposed` moves.
void HandleSizing(plat::WPARAM edge, plat::RECT* proposed) {
  plat::RECT outer = {};
  plat::RECT client = {};
  if (!plat::GetWindowRect(gWindow.window, &outer) || !plat::GetClientRect(gWindow.window, &client)) return;
  const int frameWidth = (outer.right - outer.left) - client.right;
  const int frameHeight = (outer.bottom - outer.top) - client.bottom;
  int screenWidth = 0;
  int screenHeight = 0;
  GetScreenPixelSize(&screenWidth, &screenHeight);
  int width = proposed->right - proposed->left - frameWidth;
  int height = proposed->bottom - proposed->top - frameHeight;

  if (gSettings.explicitSize || gSettings.userResizable) {
    const double scale = GetWindowExtendRate();
    const int maxWidth = DoubleToInt(screenWidth * scale);
    const int maxHeight = DoubleToInt(screenHeight * scale);
    if (width > maxWidth) proposed->right = proposed->left + maxWidth + frameWidth;
    if (height > maxHeight) proposed->bottom = proposed->top + maxHeight + frameHeight;
    return;
  }

  bool heightLed = false;
  switch (edge) {
    case plat::WMSZ_TOP:
    case plat::WMSZ_BOTTOM:
      heightLed = true;
      break;
    case plat::WMSZ_LEFT:
    case plat::WMSZ_RIGHT:
      heightLed = false;
      break;
    default:
      heightLed = static_cast<double>(width) / screenWidth <= static_cast<double>(height) / screenHeight;
      break;
  }
  if (heightLed) {
    width = height * screenWidth / screenHeight;
  } else {
    height = width * screenHeight / screenWidth;
  }
  proposed->right = proposed->left + width + frameWidth;
  proposed->bottom = proposed->top + height + frameHeight;
  gSettings.windowScale = static_cast<double>(width) / screenWidth;
}

void HandleCommand(plat::WPARAM wParam) {
  const int id = plat::LOWORD(wParam);
  if (gWindow.toolBarExists && id >= kToolBarCommandBase) {
    const int index = FindToolBarButtonIndex(id - kToolBarCommandBase);
    if (index != -1) {
      if (gWindow.toolBarButtons[index].type == 0) gWindow.toolBarButtons[index].clicked = 1;
      return;
    }
  }
  if (!gSettings.menuInUse) return;
  if (gSettings.menuCallback != nullptr) gSettings.menuCallback(wParam);
  if (gSettings.namedMenuCallback != nullptr) {
    char name[kMenuItemNameSize] = {};
    GetMenuItemName(id, name);
    gSettings.namedMenuCallback(name, id);
  }
  if (gWindow.selectedMenuItemCount >= kSelectedMenuItemMax) return;
  for (int i = 0; i < gWindow.selectedMenuItemCount; ++i) {
    if (gWindow.selectedMenuItems[i] == static_cast<uint32_t>(id)) return;
  }
  gWindow.selectedMenuItems[gWindow.selectedMenuItemCount++] = static_cast<uint32_t>(id);
}

// The message table. Returns true with `result` set when the message is answered without the
// default procedure.
bool HandleMessage(plat::HWND window, plat::UINT message, plat::WPARAM wParam, plat::LPARAM lParam,
                   plat::LRESULT* result) {
  const bool ownWindow = gSettings.outsideWindow == nullptr;
  switch (message) {
    case plat::WM_CREATE:
      if (gSettings.region != nullptr) plat::SetWindowRgn(window, gSettings.region, plat::FALSE);
      return false;

    case plat::WM_DESTROY:
      if (ownWindow) {
        LogAdd("ウインドウが破棄されようとしています\n");
        LogAdd("ソフトを終了する準備が整いました\n");
        plat::PostQuitMessage(0);
        gLibrary.quit = 1;
      }
      return false;

    case plat::WM_MOVE:
      if (gSettings.windowMode && !gWindow.modeChangeInProgress) RefreshClientRect(lParam);
      return false;

    case plat::WM_SIZE:
      if (wParam == plat::SIZE_MAXIMIZED) {
        if (gSettings.windowModeChangeAllowed && !gWindow.modeChangeInProgress && !gWindow.beingCreated &&
            gSettings.windowMode == 1) {
          gWindow.modeChangeRequest = 1;
        }
      } else {
        SetWindowClientSize();
      }
      if (gWindow.toolBarExists) plat::SendMessageA(gWindow.toolBarWindow, plat::WM_SIZE, wParam, lParam);
      return false;

    case plat::WM_ACTIVATEAPP:
      if (wParam != 0) return false;
      [[fallthrough]];
    case plat::WM_ACTIVATE:
      HandleActivation(window, wParam);
      return false;

    case plat::WM_PAINT:
      HandlePaint(window);
      return false;

    case plat::WM_CLOSE:
      if (!ownWindow) return false;
      LogAdd("ウインドウを閉じようとしています\n");
      plat::DestroyWindow(gWindow.window);
      if (gLibrary.ending == 0) gLibrary.ending = 4;
      *result = 0;
      return true;

    case plat::WM_SETCURSOR:
    case plat::WM_MOUSEMOVE:
    case plat::WM_LBUTTONDOWN:
    case plat::WM_LBUTTONUP:
    case plat::WM_RBUTTONDOWN:
    case plat::WM_RBUTTONUP:
    case plat::WM_MBUTTONDOWN:
    case plat::WM_MBUTTONUP:
      HideCursorOverWindow();
      return false;

    case plat::WM_DISPLAYCHANGE:
      HandleDisplayChange(wParam, lParam);
      return false;

    case plat::WM_KEYDOWN:
      TakeKeyDownMessage(wParam);
      return false;

    case plat::WM_CHAR:
      TakeCharMessage(wParam);
      return false;

    case plat::WM_SYSCHAR:
      if (wParam == 13 && gSettings.windowModeChangeAllowed) {
        gWindow.modeChangeRequest = 1;
        *result = 0;
        return true;
      }
      return false;

    case plat::WM_IME_STARTCOMPOSITION:
    case plat::WM_IME_ENDCOMPOSITION:
    case plat::WM_IME_COMPOSITION:
    case plat::WM_IME_SETCONTEXT:
    case plat::WM_IME_NOTIFY:
      *result = ProcessImeMessage(window, message, wParam, lParam);
      return true;

    case plat::WM_COMMAND:
      HandleCommand(wParam);
      return false;

    case plat::WM_SYSCOMMAND: {
      const plat::WPARAM command = wParam & 0xFFF0;
      if (command == plat::SC_MONITORPOWER || command == plat::SC_SCREENSAVE) {
        *result = 1;  // the display is kept on
        return true;
      }
      return false;
    }

    case plat::WM_SIZING:
      if (gSettings.windowMode && ownWindow && lParam != 0) {
        HandleSizing(wParam, reinterpret_cast<plat::RECT*>(lParam));
      }
      return false;

    case plat::WM_MOVING:
      if (!gSettings.windowMode && lParam != 0) {
        plat::GetWindowRect(gWindow.window, reinterpret_cast<plat::RECT*>(lParam));
      }
      return false;

    case plat::WM_DROPFILES:
      StoreDroppedFiles(reinterpret_cast<plat::HDROP>(wParam));
      return false;

    case plat::MM_MCINOTIFY:
      ProcessMidiMciNotify();
      return false;

    case kHookKeyNotice1:
      if (wParam == 1) {
        SetHookKeyFlagOn();
      } else {
        SetHookKeyFlagOff();
      }
      return false;

    case kHookKeyNotice2:
      if (wParam == 1) {
        SetHookKeyFlag2On();
      } else {
        SetHookKeyFlag2Off();
      }
      return false;

    case kSocketNotice:
      *result = ProcessSocketMessage(wParam, lParam);
      return true;

    default:
      return false;
  }
}

}  // namespace

plat::LRESULT MainWindowProc(plat::HWND window, plat::UINT message, plat::WPARAM wParam, plat::LPARAM lParam) {
  if (gSettings.outsideWindow != nullptr) {
    // The application's window: its own procedure answers every message; the library only watches.
    const plat::LRESULT previous =
        plat::CallWindowProcA(gSettings.outsideWindowProc, window, message, wParam, lParam);
    plat::LRESULT ignored = 0;
    HandleMessage(window, message, wParam, lParam, &ignored);
    return previous;
  }
  plat::LRESULT result = 0;
  if (HandleMessage(window, message, wParam, lParam, &result)) return result;
  return plat::DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace orbel
