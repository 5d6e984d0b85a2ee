// The display-mode change: tear down what depends on the display, change the mode through DirectDraw
// or (software rendering) the display settings with ordered fallbacks, rebuild the screen. Setting one
// mode and giving the desktop its own mode back. The measurement that follows is display_measure.cpp.
// Depends on the screen state, the main surfaces, the graphics manager, the graph records, the default
// font and the window mode.
#include "orbel/graphics/display_mode.h"

#include "orbel/core/library.h"
#include "orbel/core/library_state.h"
#include "orbel/core/log.h"
#include "orbel/core/message_pump.h"
#include "orbel/core/window_mode.h"
#include "orbel/font/font_system.h"
#include "orbel/graphics/d3d/d3d_system.h"
#include "orbel/graphics/direct_draw.h"
#include "orbel/graphics/draw_state.h"
#include "orbel/graphics/graph_record.h"
#include "orbel/graphics/graphics_manager.h"
#include "orbel/graphics/graphics_system.h"
#include "orbel/graphics/screen_road.h"
#include "orbel/graphics/screen_state.h"
#include "orbel/graphics/surface2d.h"
#include "platform/ddraw/ddraw.h"
#include "platform/win/kernel/clock.h"
#include "platform/win/user/display_settings.h"
#include "platform/win/gdi/gdi_dc.h"

namespace orbel {

namespace {

constexpr uint32_t kModeChangeSpacingMs = 2000;  // two changes at least this far apart
constexpr uint32_t kModeChangeSettleMs = 2060;
constexpr uint32_t kModeChangePauseMs = 60;

struct DisplayModeValues {
  int width;
  int height;
  int depth;
  int refresh;
};

DisplayModeValues CurrentModeValues() {
  return {gDrawState.screenWidth, gDrawState.screenHeight, static_cast<int>(gScreen.displayDepth),
          static_cast<int>(gScreen.refreshRate)};
}

void StoreModeValues(const DisplayModeValues& v) {
  gDrawState.screenWidth = v.width;
  gDrawState.screenHeight = v.height;
  gScreen.displayDepth = static_cast<uint32_t>(v.depth);
  gScreen.refreshRate = static_cast<uint32_t>(v.refresh);
}

// Full-screen exclusive level: these refusals mean the window already holds it.
bool FullScreenLevelAccepted(plat::HRESULT result) {
  return result == plat::DD_OK || result == plat::DDERR_HWNDSUBCLASSED || result == plat::DDERR_HWNDALREADYSET ||
         result == plat::DDERR_EXCLUSIVEMODEALREADYSET;
}

void SetCooperativeLevelOrExit(plat::IDirectDraw7* object, uint32_t flags) {
  const plat::HRESULT result = object->SetCooperativeLevel(gWindow.window, flags);
  const bool ok = flags == kCoopFullScreen ? FullScreenLevelAccepted(result) : result == plat::DD_OK;
  if (!ok) ErrorExitLibrary("DirectDrawの協調レベルの設定に失敗しました、ソフトを終了します");
}

// One display-settings change; refresh 0 leaves the frequency to the driver.
bool ChangeDisplaySettingsTo(int width, int height, int depth, int refresh, plat::DWORD flags) {
  plat::DEVMODEA mode{};
  mode.dmSize = sizeof mode;
  mode.dmFields = plat::DM_BITSPERPEL | plat::DM_PELSWIDTH | plat::DM_PELSHEIGHT;
  mode.dmBitsPerPel = static_cast<plat::DWORD>(depth);
  mode.dmPelsWidth = static_cast<plat::DWORD>(width);
  mode.dmPelsHeight = static_cast<plat::DWORD>(height);
  if (refresh != 0) {
    mode.dmFields |= plat::DM_DISPLAYFREQUENCY;
    mode.dmDisplayFrequency = static_cast<plat::DWORD>(refresh);
  }
  return plat::ChangeDisplaySettingsA(&mode, flags) == plat::DISP_CHANGE_SUCCESSFUL;
}

bool SetDirectDrawMode(const DisplayModeValues& v) {
  return gScreen.directDraw->SetDisplayMode(static_cast<plat::DWORD>(v.width), static_cast<plat::DWORD>(v.height),
                                            static_cast<plat::DWORD>(v.depth),
                                            static_cast<plat::DWORD>(v.refresh), 0) == plat::DD_OK;
}

// The later full-screen change with its fallbacks: without the refresh rate, the old mode, then
// 640 x 480 x 16 (result -2); a fourth failure ends the program. `software` takes the display-settings
// road. Returns 0 or -2.
int ChangeFullScreenMode(const DisplayModeValues& old, bool software) {
  LogAdd("画面解像度を変更します... ");
  DisplayModeValues v = CurrentModeValues();
  auto attempt = [software](const DisplayModeValues& m, plat::DWORD flags) {
    return software ? ChangeDisplaySettingsTo(m.width, m.height, m.depth, m.refresh, flags) : SetDirectDrawMode(m);
  };
  int result = 0;
  if (!attempt(v, plat::CDS_FULLSCREEN)) {
    v.refresh = 0;
    StoreModeValues(v);
    if (!attempt(v, 0)) {
      v = {old.width, old.height, old.depth, software ? old.refresh : 0};
      StoreModeValues(v);
      gScreen.refreshRate = static_cast<uint32_t>(old.refresh);
      if (!attempt(v, 0)) {
        v = {640, 480, 16, 0};
        StoreModeValues(v);
        result = -2;
        if (!attempt(v, 0)) ErrorExitLibrary("予期せぬ画面モード変更不能現象が起きました2\n");
      }
    }
  }
  gScreen.displayModeChanged = 1;
  LogAdd("成功しました\n");
  return result;
}

// The first change, inside InitDirectDraw: the requested mode, the old one, then 640 x 480 x 16.
int FirstDisplayModeChange(const DisplayModeValues& old) {
  if (!gSettings.windowMode) SetWindowStyleForMode();
  int desktopWidth = 0;
  int desktopHeight = 0;
  GetScreenMetrics(&desktopWidth, &desktopHeight, nullptr);
  DisplayModeValues v = CurrentModeValues();
  if (v.width == 0) v.width = kDefaultScreenWidth;
  if (v.height == 0) v.height = kDefaultScreenHeight;
  if (v.depth == 0) v.depth = kDefaultScreenDepth;
  StoreModeValues(v);

  auto set = [&](const DisplayModeValues& m) {
    return SetDisplayMode(gScreen.directDraw, desktopWidth, desktopHeight, m.width, m.height, m.depth,
                          &gScreen.displayDepth, &gScreen.cooperativeFlags, gSettings.windowMode,
                          &gScreen.displayModeChanged, gWindow.window) == 0;
  };
  if (set(v)) return 0;

  StoreModeValues(old);
  if (!gSettings.windowMode) SetWindowStyleForMode();
  const bool oldDiffers = old.width != v.width || old.height != v.height || old.depth != v.depth || old.refresh != 0;
  if (oldDiffers && set(old)) return -1;

  StoreModeValues({640, 480, 16, 0});
  if (gSettings.windowMode) SetWindowStyleForMode();
  if (!set(CurrentModeValues())) ErrorExitLibrary("予期せぬ画面モード変更不能現象が起きました\n");
  return -2;
}

// A later change under software rendering: only the display settings. 0 or -2.
int LaterSoftwareChange(const DisplayModeValues& old) {
  DeleteAllSurfaces2D();
  gScreen.displayModeChanged = 0;
  if (gSettings.windowMode) {
    plat::ChangeDisplaySettingsA(nullptr, 0);
    return 0;
  }
  return ChangeFullScreenMode(old, true);
}

// A later change under hardware rendering: a new DirectDraw object at the new cooperative level, then
// the full-screen mode. 0 or -2.
int LaterHardwareChange(const DisplayModeValues& old) {
  DeleteAllSurfaces2D();
  LogAdd("ＤｉｒｅｃｔＤｒａｗオブジェクトを解放します\n");
  if (gScreen.directDraw != nullptr) {
    gScreen.directDraw->SetCooperativeLevel(gWindow.window, kCoopNormal);
    gScreen.directDraw->Release();
    gScreen.directDraw = nullptr;
  }
  gScreen.cooperativeFlags = kCoopNormal;
  LogAdd("ＤｉｒｅｃｔＤｒａｗオブジェクトを解放しました\n");
  if (CreateDirectDrawObject(&gScreen.directDraw) != 0) {
    // Without a new object the screen would have no surfaces at all: it goes on in software rendering.
    LogAdd("ソフトウエアレンダリングモードに変更します\n");
    ReleaseMainClipper();
    ChangeRenderingMode(0);
    return LaterSoftwareChange(old);
  }
  gScreen.cooperativeFlags = gSettings.windowMode ? kCoopNormal : kCoopFullScreen;
  SetCooperativeLevelOrExit(gScreen.directDraw, gScreen.cooperativeFlags);
  gScreen.displayModeChanged = 0;
  if (gSettings.windowMode) return 0;
  return ChangeFullScreenMode(old, false);
}

}  // namespace

// ---- The change -------------------------------------------------------------------------------------

int ChangeDisplayMode(int width, int height, int depth, int force, int refreshRate) {
  int transRed = 0;
  int transGreen = 0;
  int transBlue = 0;
  const bool systemUp = gScreen.directDrawUp != 0;
  if (systemUp) GetTransColor(&transRed, &transGreen, &transBlue);

  const DisplayModeValues old = CurrentModeValues();
  const DisplayModeValues wanted = {width == -1 ? old.width : width, height == -1 ? old.height : height,
                                    depth == -1 ? old.depth : depth, refreshRate == -1 ? old.refresh : refreshRate};
  if (force == 0 && wanted.width == old.width && wanted.height == old.height && wanted.depth == old.depth &&
      wanted.refresh == old.refresh) {
    return 0;
  }

  LogAdd("画面モード変更処理を開始します\n");
  LogTabAdd();
  char fontFace[256] = {};
  int fontSize = -1;
  int fontThick = -1;
  const int defaultFont = GetDefaultFontHandle();
  const bool fontKept = IsFontHandleValid(defaultFont) && GetFontHandleState(fontFace, &fontSize, &fontThick,
                                                                              defaultFont) == 0;
  StoreModeValues(wanted);

  if ((!gLibrary.initialised && !gLibrary.initialising) ||
      !DisplayUp()) {
    LogTabSub();
    return 0;
  }
  gScreen.gdiOutputState = -1;

  const uint32_t now = plat::timeGetTime();
  if (gScreen.lastModeChange != 0 && now - gScreen.lastModeChange < kModeChangeSpacingMs) {
    plat::Sleep(gScreen.lastModeChange + kModeChangeSettleMs - now);
  } else {
    plat::Sleep(kModeChangePauseMs);
  }
  gScreen.lastModeChange = plat::timeGetTime();

  DeleteAllGraphs(0);
  EndGraphicsManager();
  D3D_Terminate();
  ReleaseScreenPalette();
  ReleaseMainSurfaces();

  int result = 0;
  if (!systemUp) {
    result = FirstDisplayModeChange(old);
  } else if (SoftwareRendering()) {
    result = LaterSoftwareChange(old);
  } else {
    result = LaterHardwareChange(old);
  }

  OutputColorInfo();
  if (gSettings.windowMode || SoftwareRendering()) SetWindowStyleForMode();
  if (CreateMainSurfaces() < 0) {
    LogAdd("DirectDrawSurface の初期化に失敗しました\n");
    LogTabSub();
    return -1;
  }
  // Without Direct3D the screen carries on with 2D surfaces: graphs are made as 2D surfaces then.
  if (!SoftwareRendering() && !gScreen.softwareRenderRequest && !SoftwareScreen()) D3D_Initialize();

  InitGraphicsManager();
  if (fontKept) SetDefaultFontSizeThick(fontFace, fontSize, fontThick);
  InitLogDisplay();
  CreateScreenPalette();
  if (!ScreensAreMemImgs()) MeasureScreenCopyMethod();
  MeasureFrameTime();

  if (systemUp) SetTransColor(transRed, transGreen, transBlue);
  LogTabSub();
  LogAdd("画面モード変更処理は正常に終了しました\n");
  PumpWindowMessage();
  ResetFrameCount();
  return result;
}

// ---- Setting and restoring one mode -----------------------------------------------------------------

int SetDisplayMode(plat::IDirectDraw7* object, int desktopWidth, int desktopHeight, int width, int height,
                   int depth, uint32_t* depthOut, uint32_t* cooperativeOut, int windowMode,
                   uint32_t* modeChanged, plat::WindowObject* window) {
  LogFmtAdd("画面モードの変更処理を開始します %u x %u  %u bit ", static_cast<unsigned>(width),
            static_cast<unsigned>(height), static_cast<unsigned>(depth));
  LogTabAdd();
  const bool software = SoftwareRendering();

  if (windowMode) {
    LogAdd("ウインドウモードにします\n");
    if (width > desktopWidth || height > desktopHeight) {
      ErrorExitLibrary("デスクトップ画面のサイズが足りません、ソフトを終了します");
    }
    if (*modeChanged == 1) {
      LogAdd("フルスクリーンモードから抜けます\n");
      if (software) {
        plat::ChangeDisplaySettingsA(nullptr, 0);
      } else if (object != nullptr) {
        object->RestoreDisplayMode();
      }
      *modeChanged = 0;
    }
    const plat::HDC screen = plat::GetDC(nullptr);
    const int desktopDepth = plat::GetDeviceCaps(screen, plat::BITSPIXEL) * plat::GetDeviceCaps(screen, plat::PLANES);
    plat::ReleaseDC(nullptr, screen);
    if (desktopDepth == 24) {
      LogTabSub();
      return -1;
    }
    if (depthOut != nullptr) *depthOut = static_cast<uint32_t>(desktopDepth);
    if (!software && object != nullptr && object->SetCooperativeLevel(window, kCoopNormal) != plat::DD_OK) {
      ErrorExitLibrary("DirectDrawの協調レベルの設定に失敗しました、ソフトを終了します");
    }
    if (cooperativeOut != nullptr) *cooperativeOut = kCoopNormal;
    LogAdd("画面モードの変更は正常に終了しました \n");
    LogTabSub();
    return 0;
  }

  if (depth == 24) {
    LogTabSub();
    return -1;
  }
  LogAdd("画面解像度を変更します... ");
  if (!software && object != nullptr && !FullScreenLevelAccepted(object->SetCooperativeLevel(window, kCoopFullScreen))) {
    ErrorExitLibrary("DirectDrawの協調レベルの設定に失敗しました、ソフトを終了します");
  }
  if (cooperativeOut != nullptr) *cooperativeOut = kCoopFullScreen;

  bool done = false;
  if (software) {
    done = ChangeDisplaySettingsTo(width, height, depth, static_cast<int>(gScreen.refreshRate), plat::CDS_FULLSCREEN) ||
           ChangeDisplaySettingsTo(width, height, depth, 0, 0);
  } else if (object != nullptr) {
    const plat::DWORD w = static_cast<plat::DWORD>(width);
    const plat::DWORD h = static_cast<plat::DWORD>(height);
    const plat::DWORD d = static_cast<plat::DWORD>(depth);
    done = object->SetDisplayMode(w, h, d, gScreen.refreshRate, 0) == plat::DD_OK;
    if (!done) {
      gScreen.refreshRate = 0;
      done = object->SetDisplayMode(w, h, d, 0, 0) == plat::DD_OK;
    }
  }
  if (!done) {
    LogAdd("画面モードの変更に失敗しました\n");
    LogTabSub();
    return -1;
  }
  if (depthOut != nullptr) *depthOut = static_cast<uint32_t>(depth);
  *modeChanged = 1;
  LogAdd("成功しました\n");
  LogAdd("画面モードの変更は正常に終了しました \n");
  LogTabSub();
  return 0;
}

int RestoreDisplayMode() {
  if (SoftwareRendering()) {
    plat::ChangeDisplaySettingsA(nullptr, 0);
  } else {
    if (gScreen.directDraw == nullptr) {
      // The object is gone (its release gave the desktop its mode back); nothing is left to ask.
      gScreen.displayModeChanged = 0;
      return -1;
    }
    if (gScreen.cooperativeFlags & kCoopExclusiveBit) {
      gScreen.directDraw->SetCooperativeLevel(gWindow.window, kCoopNormal);
      gScreen.directDraw->RestoreDisplayMode();
    }
    gScreen.displayModeChanged = 0;
  }
  LogAdd("画面モードを元に戻す処理は正常に終了しました\n");
  return 0;
}

int RestoreDesktopDisplayMode() {
  if (gSettings.windowMode || !gScreen.displayModeChanged) return 0;
  if (SoftwareRendering()) {
    plat::ChangeDisplaySettingsA(nullptr, 0);
  } else if (gScreen.directDraw != nullptr) {
    gScreen.directDraw->SetCooperativeLevel(gWindow.window, kCoopNormal);
    gScreen.directDraw->RestoreDisplayMode();
  }
  gScreen.displayModeChanged = 0;
  return 0;
}

int ReapplyDisplayMode() {
  int desktopWidth = 0;
  int desktopHeight = 0;
  GetScreenMetrics(&desktopWidth, &desktopHeight, nullptr);
  SetDisplayMode(gScreen.directDraw, desktopWidth, desktopHeight, gDrawState.screenWidth, gDrawState.screenHeight,
                 static_cast<int>(gScreen.displayDepth), nullptr, &gScreen.cooperativeFlags, gSettings.windowMode,
                 &gScreen.displayModeChanged, gWindow.window);
  return 0;
}

}  // namespace orbel
