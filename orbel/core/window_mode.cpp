// Window mode and full screen, the window title, the mouse cursor and position, the pause picture and
// the small getters of the main-window state.
// The switch waits for the display-change notice for at most kDisplayChangeWaitMs of clock time, so a
// display that sends none cannot hang the program.
// Depends on: platform/win window, cursor, queue and clock calls; the graphics subsystem (display
// change, graphs for the pause picture); main window (styles, client size) and menu modules.
#include "orbel/core/window_mode.h"

#include "orbel/core/library_state.h"
#include "orbel/core/log.h"
#include "orbel/core/main_window.h"
#include "orbel/core/menu.h"
#include "orbel/core/message_pump.h"
#include "orbel/core/string_routines.h"
#include "orbel/graphics/draw_state.h"
#include "orbel/graphics/graphics_system.h"
#include "platform/win/kernel/clock.h"
#include "platform/win/user/cursor.h"
#include "platform/win/user/menu.h"
#include "platform/win/user/message_queue.h"
#include "platform/win/user/user_system.h"
#include "platform/win/user/window.h"

namespace orbel {

namespace {

void ApplyFullScreenStyle(int width, int height) {
  LogAdd("ウインドウスタイルをフルスクリーンモード用に変更します... ");
  plat::DWORD style = 0;
  plat::DWORD exStyle = 0;
  GetWindowStylePair(gSettings.styleNumber, 0, &style, &exStyle);
  plat::SetWindowLongA(gWindow.window, plat::GWL_EXSTYLE, static_cast<plat::LONG_PTR>(exStyle));
  plat::SetWindowLongA(gWindow.window, plat::GWL_STYLE, static_cast<plat::LONG_PTR>(style));
  gWindow.clientRect = {0, 0, width, height};
  plat::ShowWindow(gWindow.window, plat::SW_SHOW);
  plat::UpdateWindow(gWindow.window);
  plat::SetWindowPos(gWindow.window, plat::HWND_TOPMOST, 0, 0, width, height, plat::SWP_NOACTIVATE);
  SetMouseCursorVisible(0);
}

void ApplyWindowStyle(int width, int height) {
  LogAdd("ウインドウスタイルをウインドウモード用に変更します... ");
  plat::DWORD style = 0;
  plat::DWORD exStyle = 0;
  GetWindowStylePair(gSettings.styleNumber, 1, &style, &exStyle);
  if (gSettings.windowModeChangeAllowed) style |= plat::WS_MAXIMIZEBOX;
  if (gWindow.windowStyleApplied) style |= plat::WS_VISIBLE;
  if (gSettings.sizable) style |= plat::WS_THICKFRAME;
  if (gSettings.hiddenStart) exStyle |= plat::WS_EX_TRANSPARENT;

  plat::RECT rect = {0, 0, DoubleToInt(width * GetWindowExtendRate()),
                     DoubleToInt(height * GetWindowExtendRate()) + GetToolBarHeight()};
  if (gSettings.explicitSize) rect = {0, 0, gSettings.explicitWidth, gSettings.explicitHeight};
  plat::AdjustWindowRectEx(&rect, style, gWindow.menuAttached ? plat::TRUE : plat::FALSE, exStyle);
  const int outerWidth = rect.right - rect.left;
  const int outerHeight = rect.bottom - rect.top;
  int x = (gWindow.desktopWidth - outerWidth) / 2;
  int y = (gWindow.desktopHeight - outerHeight) / 2;
  if (gSettings.explicitPosition) {
    x = gSettings.explicitX;
    y = gSettings.explicitY;
  }
  plat::SetWindowLongA(gWindow.window, plat::GWL_EXSTYLE, static_cast<plat::LONG_PTR>(exStyle));
  plat::SetWindowLongA(gWindow.window, plat::GWL_STYLE, static_cast<plat::LONG_PTR>(style));
  plat::SetWindowPos(gWindow.window, plat::HWND_TOP, x, y, outerWidth, outerHeight, 0);

  // A client area that would start off the desktop is moved so that it starts at 0,0.
  plat::RECT client = {};
  if (GetClientRectOnDesktop(&client)) {
    if ((client.left < 0 || client.top < 0) && !gSettings.explicitPosition) {
      const int dx = client.left < 0 ? -client.left : 0;
      const int dy = client.top < 0 ? -client.top : 0;
      plat::SetWindowPos(gWindow.window, plat::HWND_TOP, x + dx, y + dy, outerWidth, outerHeight, 0);
      client = {client.left + dx, client.top + dy, client.right + dx, client.bottom + dy};
    }
    gWindow.clientRect = client;
  }
  SetMouseCursorVisible(1);
}

}  // namespace

int ChangeWindowMode(int windowMode) {
  LogAdd("ChangeWindowMode実行 \n");
  if (windowMode == gSettings.windowMode) return 0;
  gWindow.windowStyleApplied = 1;
  gWindow.displayChanged = 0;
  SetWindowModeFlag(windowMode);
  if (gWindow.window == nullptr || gSettings.outsideWindow != nullptr) return 0;

  gWindow.modeChangeInProgress = 1;
  SetWindowStyleForMode();
  const int result = ChangeDisplayMode(-1, -1, -1, 1, -1);
  // The display stand-in sends WM_DISPLAYCHANGE after the switch; a display that sends none (nothing
  // changed) must not hang the program, so the wait is bounded.
  const uint32_t start = plat::timeGetTime();
  while (!gWindow.displayChanged && plat::timeGetTime() - start < kDisplayChangeWaitMs) {
    if (PumpWindowMessage() != 0) break;
  }
  gWindow.modeChangeInProgress = 0;
  return result;
}

int SetWindowModeFlag(int windowMode) {
  gSettings.windowMode = windowMode;
  LogAdd(windowMode ? "ウインドウモードフラグが立てられました\n" : "ウインドウモードフラグが倒されました\n");
  if (gSettings.menuInUse && gWindow.window != nullptr) {
    if (windowMode) {
      plat::SetMenu(gWindow.window, gSettings.menu);
      gWindow.menuAttached = 1;
    } else {
      plat::SetMenu(gWindow.window, nullptr);
      gWindow.menuAttached = 0;
    }
  }
  return 0;
}

int GetWindowModeFlag() { return gSettings.windowMode; }

int SetWindowStyleForMode() {
  if (gWindow.window == nullptr || gSettings.outsideWindow != nullptr) return 0;
  int width = 0;
  int height = 0;
  GetScreenPixelSize(&width, &height);
  if (gSettings.windowMode) {
    ApplyWindowStyle(width, height);
  } else {
    ApplyFullScreenStyle(width, height);
  }
  LogAdd("完了\n");
  plat::SetActiveWindow(gWindow.window);
  plat::PostMessageA(gWindow.window, plat::WM_SETCURSOR, reinterpret_cast<plat::WPARAM>(gWindow.window), 0);
  return 0;
}

int SetMainWindowTitle(const char* title) {
  if (title == nullptr) title = "";
  if (gWindow.window != nullptr) plat::SetWindowTextA(gWindow.window, title);
  FormatString(gSettings.title, sizeof gSettings.title, "%s", title);
  return 0;
}

int SetMouseCursorVisible(int visible) {
  gWindow.cursorSetting = visible;
  int show = 0;
  if (visible == 1) {
    show = 1;
  } else if (gWindow.window == nullptr || !gSettings.menuInUse || gWindow.menuHidden) {
    show = 0;
  } else {
    show = (gSettings.menuAlwaysShown || gSettings.windowMode || gWindow.mouseInTop) ? 1 : 0;
  }
  if (show == gWindow.cursorShown) return 0;
  if (show) {
    while (plat::ShowCursor(plat::TRUE) < 0) {
    }
  } else {
    while (plat::ShowCursor(plat::FALSE) >= 0) {
    }
  }
  if (gWindow.window != nullptr) {
    plat::PostMessageA(gWindow.window, plat::WM_SETCURSOR, reinterpret_cast<plat::WPARAM>(gWindow.window), 0);
  }
  gWindow.cursorShown = show;
  return 0;
}

int GetMousePosition(int* x, int* y) {
  plat::POINT cursor = {};
  plat::GetCursorPos(&cursor);
  int mouseX = cursor.x;
  int mouseY = cursor.y;
  if (gSettings.windowMode) {
    const double scale = GetWindowExtendRate();
    mouseX = DoubleToInt((cursor.x - gWindow.clientRect.left) / scale);
    mouseY = DoubleToInt((cursor.y - gWindow.clientRect.top - GetToolBarHeight()) / scale);
  }
  if (x) *x = mouseX;
  if (y) *y = mouseY;
  return 0;
}

int GetScreenMetrics(int* width, int* height, int* bits) {
  if (gLibrary.initialised) {
    if (width) *width = gWindow.desktopWidth;
    if (height) *height = gWindow.desktopHeight;
    if (bits) *bits = gWindow.desktopDepth;
  } else {
    if (width) *width = plat::GetSystemMetrics(plat::SM_CXSCREEN);
    if (height) *height = plat::GetSystemMetrics(plat::SM_CYSCREEN);
    if (bits) *bits = GetDesktopColorDepth();
  }
  return 0;
}

double GetWindowExtendRate() {
  if (gSettings.windowScale <= 0.0) gSettings.windowScale = 1.0;
  return gSettings.windowMode ? gSettings.windowScale : 1.0;
}

int GetWindowRegionFlag() { return gSettings.region != nullptr; }

int DrawPauseGraph() {
  if (gLibrary.ending == 1) return 0;
  if (!gWindow.pauseExists) return -1;
  const int savedRunInBackground = gSettings.runInBackground;
  gSettings.runInBackground = 1;

  if (!IsValidGraphHandle(gWindow.pauseGraph)) {
    gWindow.pauseGraph = CreateGraphFromImage(&gWindow.pauseImage, nullptr, 1, 0, 0);
    if (gWindow.pauseGraph == -1) {
      gSettings.runInBackground = savedRunInBackground;
      return -1;
    }
  }

  const int savedScreen = GetSelectedDrawScreen();
  const int savedFilter = GetDrawFilterMode();
  const int savedVSync = GetFlipWaitsForVSync();
  SelectDrawScreen(kDrawScreenBack);
  SetDrawFilterMode(kFilterLinear);
  SetFlipWaitsForVSync(0);

  int width = 0;
  int height = 0;
  GetScreenPixelSize(&width, &height);
  const int saved = MakeEmptyGraph(width, height, 0);
  CaptureScreenToGraph(0, 0, width, height, saved, 1);
  int pauseWidth = 0;
  int pauseHeight = 0;
  GetGraphExtent(gWindow.pauseGraph, &pauseWidth, &pauseHeight);
  if (pauseWidth == width && pauseHeight == height) {
    DrawGraphAt(0, 0, gWindow.pauseGraph, 0);
  } else {
    DrawStretchGraph(0, 0, width, height, gWindow.pauseGraph, 0);
  }
  PresentBackSurfaceToWindow(nullptr);
  DrawGraphAt(0, 0, saved, 0);
  DeleteGraphHandle(saved, 0);

  SelectDrawScreen(savedScreen);
  SetDrawFilterMode(savedFilter);
  SetFlipWaitsForVSync(savedVSync);
  gSettings.runInBackground = savedRunInBackground;
  return 0;
}

}  // namespace orbel
