// The window procedure's handlers for activation changes, painting and display changes: what must be
// released or restored when the application loses or regains the focus, repainting the window from the
// back screen, and following (or giving up on) a changed desktop.
// Depends on: the graphics, input and movie subsystems' restore and pause calls; window mode (pause
// picture); platform/win GDI DC, window and queue calls.
#include "orbel/core/library_state.h"
#include "orbel/core/log.h"
#include "orbel/core/window_mode.h"
#include "orbel/core/window_proc_internal.h"
#include "orbel/graphics/draw_state.h"
#include "orbel/graphics/graphics_system.h"
#include "orbel/input/input_system.h"
#include "orbel/movie/movie_system.h"
#include "platform/win/gdi/gdi_dc.h"
#include "platform/win/user/message_queue.h"
#include "platform/win/user/window.h"

namespace orbel {

void PostCloseOnce() {
  if (gWindow.closePosted) return;
  gWindow.closePosted = 1;
  plat::PostMessageA(gWindow.window, plat::WM_CLOSE, 0, 0);
}

namespace {

void BecomeActive(plat::WPARAM wParam) {
  if (InputImeState.enabled && InputImeState.open) InputImeState.refreshRequest = 1;
  RestoreAllSurfaces2D();
  D3D_RestoreAllTextures();
  if (!gSettings.windowMode && gLibrary.initialised) {
    if (plat::HIWORD(wParam) == 0) RecreateAllAfterModeChange();
    ResumeAllMovie();
    ReacquireInputDevices();
  } else {
    if (!gSettings.runInBackground) ResumeAllMovie();
    ReacquireInputDevices();
  }
}

// False when the application gives up because a changed full-screen display cannot be restored.
bool BecomeInactive(plat::HWND window) {
  const bool fullScreenModeChanged = !gSettings.windowMode && IsDisplayModeChanged();
  if (fullScreenModeChanged) {
    if (!IsHardwareRendering()) {
      ReleaseDirectDraw();
      plat::ShowWindow(window, plat::SW_MINIMIZE);
    } else {
      D3D_ReleaseDirect3D();
    }
  }
  // NOTE: under software rendering the release above leaves no DirectDraw object, so that case goes on
  // as "any other case" below.
  if (fullScreenModeChanged && GetDirectDrawObject() != nullptr) {
    if (!HasRestoreCallback()) {
      LogAdd("復元関数が登録されていないため終了します\n");
      PostCloseOnce();
      return false;
    }
    StopAllMovie();
  } else {
    if (!gSettings.runInBackground) StopAllMovie();
    ReacquireInputDevices();
  }

  const plat::HDC dc = plat::GetDC(window);
  if (dc != nullptr) {
    DrawPauseGraph();
    plat::ReleaseDC(window, dc);
  }
  return true;
}

}  // namespace

bool HandleActivation(plat::HWND window, plat::WPARAM wParam) {
  gWindow.active = plat::LOWORD(wParam) != 0;
  if (gWindow.beingCreated) return true;
  if (gWindow.active) {
    BecomeActive(wParam);
  } else if (!BecomeInactive(window)) {
    return false;
  }
  ApplyJoypadVibration();
  return true;
}

void HandlePaint(plat::HWND window) {
  plat::PAINTSTRUCT paint = {};
  const plat::HDC dc = plat::BeginPaint(window, &paint);
  if (dc == nullptr) return;
  if (gSettings.windowMode) {
    gWindow.painting = 1;
    if (!gWindow.active && gWindow.pauseExists && !gSettings.runInBackground) {
      DrawPauseGraph();
    } else if (!gLibrary.initialised && gSettings.region == nullptr) {
      plat::HBRUSH brush = nullptr;
      if (gSettings.backgroundColorSet) {
        brush = plat::CreateSolidBrush(
            plat::RGB(gSettings.backgroundRed, gSettings.backgroundGreen, gSettings.backgroundBlue));
      }
      if (brush != nullptr) {
        plat::FillRect(dc, &paint.rcPaint, brush);
        plat::DeleteObject(brush);
      } else {
        plat::FillRect(dc, &paint.rcPaint, plat::GetStockObject(plat::BLACK_BRUSH));
      }
    } else if (GetSelectedDrawScreen() == kDrawScreenBack) {
      const int waits = GetFlipWaitsForVSync();
      SetFlipWaitsForVSync(0);
      PresentBackSurfaceToWindow(&paint.rcPaint);
      SetFlipWaitsForVSync(waits);
    }
    gWindow.painting = 0;
  }
  plat::EndPaint(window, &paint);
}

void HandleDisplayChange(plat::WPARAM wParam, plat::LPARAM lParam) {
  if (gSettings.windowMode && !gWindow.modeChangeInProgress) {
    int width = 0;
    int height = 0;
    int depth = 0;
    GetScreenSizeAndDepth(&width, &height, &depth);
    const int newDepth = static_cast<int>(wParam);
    const int newWidth = plat::LOWORD(static_cast<uintptr_t>(lParam));
    const int newHeight = plat::HIWORD(static_cast<uintptr_t>(lParam));
    if (newWidth != width || newHeight != height || newDepth != depth) {
      if (!HasRestoreCallback() || newDepth == 24 || (newDepth == 8 && depth != 8) || newWidth < width ||
          newHeight < height) {
        LogAdd("復元関数が登録されていないためか画面が２４ビットカラーに変更されたため終了します\n");
        LogAdd("またはスクリーンが小さすぎるためか色ビット数の違いが大きいためか終了します\n");
        PostCloseOnce();
        return;
      }
      ReleaseAllMovieStreams();
      OutputColorInfo();
      RecreateAllAfterModeChange();
      ResumeAllMovie();
    }
  }
  gWindow.displayChanged = 1;
}

}  // namespace orbel
