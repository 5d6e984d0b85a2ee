// The DirectDraw object: start-up with the video-card report and the overlay probe, the main clipper,
// the colour report, the 8-bit palette, release and re-creation after a display loss, and the end.
// The screen surfaces themselves are made in main_surfaces.cpp.
// Depends on the screen state, the display-mode change, the graphics manager and the system report.
#include "orbel/graphics/direct_draw.h"

#include <cstring>

#include "orbel/core/library.h"
#include "orbel/core/library_state.h"
#include "orbel/core/log.h"
#include "orbel/core/string_routines.h"
#include "orbel/core/system_report.h"
#include "orbel/core/window_mode.h"
#include "orbel/graphics/d3d/d3d_system.h"
#include "orbel/graphics/display_mode.h"
#include "orbel/graphics/draw_state.h"
#include "orbel/graphics/graph_pixels.h"
#include "orbel/graphics/graph_record.h"
#include "orbel/graphics/graphics_manager.h"
#include "orbel/graphics/graphics_system.h"
#include "orbel/graphics/screen_internal.h"
#include "orbel/graphics/screen_present.h"
#include "orbel/graphics/screen_road.h"
#include "orbel/graphics/screen_state.h"
#include "orbel/graphics/surface2d.h"
#include "orbel/softrender/blend_tables.h"
#include "platform/win/user/message_queue.h"
#include "platform/win/user/user_keys.h"

namespace orbel {

namespace {

constexpr uint32_t kDefaultVideoMemory = 0x1000000;  // reported without the Shift-key query
constexpr uint32_t kOverlayNoStretchMin = 1000;
constexpr uint32_t kOverlayNoStretchMax = 2000;

template <typename T>
void ReleaseInterface(T*& object) {
  if (object != nullptr) object->Release();
  object = nullptr;
}

// Video-card report; the driver query runs only while Shift is held at start-up.
void ReportVideoCard(plat::IDirectDraw7* object) {
  LogAdd("ビデオカードの情報\n");
  LogTabAdd();
  SystemInfoBlock* info = GetSystemInfoBlock();
  if (plat::GetKeyState(plat::VK_SHIFT) & 0x8000) {
    plat::DDDEVICEIDENTIFIER2 id{};
    object->GetDeviceIdentifier(&id, 0);
    const uint32_t high = static_cast<uint32_t>(static_cast<uint64_t>(id.liDriverVersion.QuadPart) >> 32);
    const uint32_t low = static_cast<uint32_t>(id.liDriverVersion.QuadPart);
    LogFmtAdd("ビデオカードドライバ:%s バージョン:%u.%u.%u.%u ", id.szDriver, high >> 16, high & 0xFFFF,
              low >> 16, low & 0xFFFF);
    LogFmtAdd("ドライバ記述:%s ", id.szDescription);
    FormatString(info->displayDriverName, sizeof info->displayDriverName, "%s", id.szDriver);
    FormatString(info->displayDriverDescription, sizeof info->displayDriverDescription, "%s",
                 id.szDescription);
    plat::DDSCAPS2 caps{};
    caps.dwCaps = plat::DDSCAPS_VIDEOMEMORY;
    plat::DWORD total = 0;
    plat::DWORD free = 0;
    object->GetAvailableVidMem(&caps, &total, &free);
    LogFmtAdd("ビデオメモリ総量:%.2fMB ビデオメモリ空き容量:%.2fMB", total / 1048576.0, free / 1048576.0);
    info->videoMemoryTotal = total;
    info->videoMemoryFree = free;
  } else {
    info->displayDriverName[0] = '\0';
    info->displayDriverDescription[0] = '\0';
    info->videoMemoryFree = 0;
    info->videoMemoryTotal = kDefaultVideoMemory;
  }
  LogTabSub();
}

// Asks the version-1 interface for the capabilities and tries each overlay format in turn.
void ProbeOverlay() {
  gScreen.overlayFormat = -1;
  plat::IDirectDraw* v1 = nullptr;
  if (gScreen.directDraw->QueryInterface(plat::IID_IDirectDraw, reinterpret_cast<void**>(&v1)) != plat::DD_OK ||
      v1 == nullptr) {
    return;
  }
  plat::DDCAPS caps{};
  caps.dwSize = sizeof caps;
  v1->GetCaps(&caps, nullptr);
  static_assert(sizeof caps == sizeof(uint32_t) * kDisplayCapsWords);
  std::memcpy(HardwareCapsBlock(), &caps, sizeof caps);

  if (caps.dwMinOverlayStretch < kOverlayNoStretchMin || caps.dwMaxOverlayStretch < kOverlayNoStretchMax) {
    for (int i = 0; i < kOverlayFormatCount && gScreen.overlayFormat < 0; ++i) {
      plat::DDSURFACEDESC desc{};
      desc.dwSize = sizeof desc;
      desc.dwFlags = plat::DDSD_CAPS | plat::DDSD_HEIGHT | plat::DDSD_WIDTH | plat::DDSD_PIXELFORMAT;
      desc.ddsCaps.dwCaps = plat::DDSCAPS_OVERLAY | plat::DDSCAPS_VIDEOMEMORY;
      desc.dwWidth = 16;
      desc.dwHeight = 16;
      desc.ddpfPixelFormat = kOverlayFormatTable[i].format;
      plat::IDirectDrawSurface7* surface = nullptr;
      if (v1->CreateSurface(&desc, &surface, nullptr) != plat::DD_OK || surface == nullptr) continue;
      plat::DDSCAPS2 made{};
      surface->GetCaps(&made);
      if ((made.dwCaps & plat::DDSCAPS_SYSTEMMEMORY) == 0) gScreen.overlayFormat = i;
      surface->Release();
    }
  }
  if (gScreen.overlayFormat >= 0) {
    LogFmtAdd("オーバーレイサーフェスを使用します　　　%s", kOverlayFormatTable[gScreen.overlayFormat].name);
  } else {
    LogAdd("オーバーレイサーフェスは使用しません\n");
  }
  v1->Release();
}

int CreateSurfaceClipper(plat::IDirectDraw7* object, plat::IDirectDrawClipper** out, plat::HWND window) {
  plat::IDirectDrawClipper* clipper = nullptr;
  if (object->CreateClipper(0, &clipper, nullptr) != plat::DD_OK || clipper == nullptr) {
    LogAdd("ＤｉｒｅｃｔＤｒａｗＣｌｉｐｐｅｒオブジェクトの作成に失敗しました\n");
    return -1;
  }
  clipper->SetHWnd(0, window);
  *out = clipper;
  return 0;
}

// The library's 256-colour table for 8-bit displays: a 6 x 6 x 6 colour cube, then a grey ramp.
void DefaultPalette(plat::PALETTEENTRY entries[256]) {
  for (int i = 0; i < 256; ++i) {
    plat::PALETTEENTRY& e = entries[i];
    if (i < 216) {
      e.peRed = static_cast<plat::BYTE>(i / 36 * 51);
      e.peGreen = static_cast<plat::BYTE>(i / 6 % 6 * 51);
      e.peBlue = static_cast<plat::BYTE>(i % 6 * 51);
    } else {
      const int grey = (i - 216) * 255 / 39;
      e.peRed = e.peGreen = e.peBlue = static_cast<plat::BYTE>(grey);
    }
    e.peFlags = 0;
  }
}

void CopyPaletteToColorData(const plat::PALETTEENTRY entries[256]) {
  for (int i = 0; i < 256; ++i) {
    gScreen.displayColorData.palette[i].red = entries[i].peRed;
    gScreen.displayColorData.palette[i].green = entries[i].peGreen;
    gScreen.displayColorData.palette[i].blue = entries[i].peBlue;
    gScreen.displayColorData.palette[i].alpha = 0;
  }
}

}  // namespace

// Software rendering lasts one run of the library: the next start is on the hardware road again, with
// the texture-graph and memory-image settings it had before software rendering turned them off.
void EndSoftwareRendering() {
  if (!SoftwareRendering()) return;
  gScreen.softwareRendering = 0;
  gScreen.softwareScreen = 0;
  gScreen.softwareRenderRequest = 0;
  SetUseTextureGraphs(gScreen.textureGraphsBeforeSoftware);
  gNewGraph.memImg = gScreen.memImgBeforeSoftware;
}

// ---- Start-up ---------------------------------------------------------------------------------------

int InitDirectDraw() {
  if (gScreen.directDraw != nullptr) return -1;
  LogAdd("DirectDraw 関連の初期化を行います\n");
  LogTabAdd();
  if (SoftwareRendering()) {
    SetUseTextureGraphs(0);
    SetNewGraphMemImgFlag(1);
    ChangeRenderingMode(0);
  }
  if (CreateDirectDrawObject(&gScreen.directDraw) != 0) {
    ErrorExitLibrary("DirectDrawオブジェクトの作成に失敗しました");
  }
  if (!SoftwareRendering() &&
      CreateSurfaceClipper(gScreen.directDraw, &gScreen.mainClipper, gWindow.window) != 0) {
    ErrorExitLibrary("DirectDrawClipperオブジェクトの作成時にエラーが発生しました");
  }

  if (gDrawState.screenWidth == 0) gDrawState.screenWidth = kDefaultScreenWidth;
  if (gDrawState.screenHeight == 0) gDrawState.screenHeight = kDefaultScreenHeight;
  if (gScreen.displayDepth == 0) gScreen.displayDepth = kDefaultScreenDepth;
  gDrawState.screenDepth = static_cast<int32_t>(gScreen.displayDepth);

  if (ChangeDisplayMode(-1, -1, -1, 1, -1) < 0) {
    LogTabSub();
    EndDirectDraw();
    return -1;
  }
  if (!GetWindowRegionFlag()) {
    SelectDrawScreen(kDrawScreenBack);
    ClearTargetScreen();
    SelectDrawScreen(kDrawScreenFront);
  }
  gScreen.graphicsInitialised = 1;
  gScreen.mmxAvailable = static_cast<uint32_t>(GetMmxAvailableFlag());
  if (GetOsCode() != kOsWindowsVista && gScreen.directDraw != nullptr) {
    ProbeOverlay();
  } else {
    gScreen.overlayFormat = -1;
  }
  LogTabSub();
  LogAdd("DirectDraw 関連の初期化は正常に終了しました\n");
  InitMemImgTables();
  gScreen.directDrawUp = 1;
  return 0;
}

int CreateDirectDrawObject(plat::IDirectDraw7** out) {
  LogAdd("DirectDraw オブジェクトの取得を行います....  ");
  plat::IDirectDraw7* object = nullptr;
  if (plat::CoCreateInstance(plat::CLSID_DirectDraw7, nullptr, plat::CLSCTX_ALL, plat::IID_IDirectDraw7,
                             reinterpret_cast<void**>(&object)) != plat::S_OK ||
      object == nullptr) {
    LogAdd("オブジェクトの取得に失敗しました\n");
    return -1;
  }
  LogAdd("成功\n");
  LogAdd("引き続き初期化処理... ");
  if (object->Initialize(nullptr) != plat::DD_OK) {
    LogAdd("DirectDrawオブジェクトの初期化に失敗しました\n");
    object->Release();
    return -1;
  }
  LogAdd("初期化に成功しました\n");
  ReportVideoCard(object);
  object->SetCooperativeLevel(gWindow.window, kCoopNormal);
  *out = object;
  return 0;
}

int CreateMainClipper() {
  if (gScreen.directDraw == nullptr) return 0;
  if (CreateSurfaceClipper(gScreen.directDraw, &gScreen.mainClipper, gWindow.window) != 0) {
    ErrorExitLibrary("クリッパーオブジェクトの作成失敗しました");
  }
  return 0;
}

int ReleaseMainClipper() {
  ReleaseInterface(gScreen.mainClipper);
  return 0;
}

// ---- Colour report ----------------------------------------------------------------------------------

int OutputColorInfo() {
  if (SoftwareRendering()) {
    // Software screens are drawn in the software renderer's own layouts: 5:6:5 or X8R8G8B8.
    if (gScreen.displayDepth != 32) gScreen.displayDepth = 16;
    const bool is32 = gScreen.displayDepth == 32;
    gScreen.colorType = is32 ? kScreenColorX8R8G8B8 : kScreenColorR5G6B5;
    gScreen.displayColorData = *GetMemImgColorData(is32 ? kMemImgX8R8G8B8 : kMemImgR5G6B5, 0, 0);
    *ScreenPixelFormatBlock() = {};
    plat::DDPIXELFORMAT& f = *ScreenPixelFormatBlock();
    f.dwSize = sizeof f;
    f.dwFlags = plat::DDPF_RGB;
    f.dwRGBBitCount = gScreen.displayDepth;
    f.dwRBitMask = gScreen.displayColorData.redMask;
    f.dwGBitMask = gScreen.displayColorData.greenMask;
    f.dwBBitMask = gScreen.displayColorData.blueMask;
    return 0;
  }
  plat::DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof desc;
  gScreen.directDraw->GetDisplayMode(&desc);
  const plat::DDPIXELFORMAT& f = desc.ddpfPixelFormat;
  *ScreenPixelFormatBlock() = f;
  MakeColorDataFromFormat(&f, &gScreen.displayColorData);
  LogAdd("カラー情報\n");
  LogTabAdd();
  LogFmtAdd("A:%08x  B:%08x  G:%08x  B:%08x", f.dwRGBAlphaBitMask, f.dwRBitMask, f.dwGBitMask, f.dwBBitMask);
  LogTabSub();
  gScreen.displayDepth = f.dwRGBBitCount;
  if (f.dwRBitMask == 0xF800 && f.dwGBitMask == 0x7E0 && f.dwBBitMask == 0x1F) {
    gScreen.colorType = kScreenColorR5G6B5;
  } else if (f.dwRBitMask == 0x7C00 && f.dwGBitMask == 0x3E0 && f.dwBBitMask == 0x1F) {
    gScreen.colorType = kScreenColorX1R5G5B5;
  } else if (f.dwRBitMask == 0xFF0000 && f.dwGBitMask == 0xFF00 && f.dwBBitMask == 0xFF) {
    gScreen.colorType = kScreenColorX8R8G8B8;
  } else {
    gScreen.colorType = kScreenColorOther;
  }
  return 0;
}

// ---- Palette ----------------------------------------------------------------------------------------

// One buffer of the full-screen flip chain takes the screen palette (the context); the walk goes on.
plat::HRESULT EnumDisplayModeCallback(plat::IDirectDrawSurface7* surface, plat::DDSURFACEDESC2*, void* context) {
  surface->SetPalette(static_cast<plat::IDirectDrawPalette*>(context));
  return plat::DDENUMRET_OK;
}

int CreateScreenPalette() {
  if (gScreen.directDraw == nullptr || gScreen.palette != nullptr || gScreen.displayDepth != 8) return 0;
  plat::PALETTEENTRY entries[256];
  DefaultPalette(entries);
  if (gScreen.directDraw->CreatePalette(plat::DDPCAPS_8BIT, entries, &gScreen.palette, nullptr) != plat::DD_OK) {
    ErrorExitLibrary("パレットの作成に失敗しました");
  }
  CopyPaletteToColorData(entries);
  if (gScreen.primarySurface != nullptr) gScreen.primarySurface->SetPalette(gScreen.palette);
  if (gSettings.windowMode) {
    if (gScreen.backSurface != nullptr) gScreen.backSurface->SetPalette(gScreen.palette);
  } else if (gScreen.primarySurface != nullptr) {
    gScreen.primarySurface->EnumAttachedSurfaces(gScreen.palette, EnumDisplayModeCallback);
  }
  return 0;
}

int ReapplyScreenPalette() {
  if (gScreen.displayDepth != 8 || gScreen.palette == nullptr) return 0;
  plat::PALETTEENTRY saved[256];
  gScreen.palette->GetEntries(0, 0, 256, saved);
  ReleaseScreenPalette();
  CreateScreenPalette();
  if (gScreen.palette == nullptr) return 0;
  gScreen.palette->SetEntries(0, 0, 256, saved);
  gScreen.palette->GetEntries(0, 0, 256, saved);
  CopyPaletteToColorData(saved);
  return 0;
}

int ReleaseScreenPalette() {
  ReleaseInterface(gScreen.palette);
  return 0;
}

// ---- Release, re-creation and end -------------------------------------------------------------------

int ReleaseDirectDraw() {
  LogAdd("ＤｉｒｅｃｔＤｒａｗオブジェクトを解放します\n");
  if (!DisplayUp()) {
    LogAdd("既に解放されています\n");
    return 0;
  }
  ReleaseAllSurfaceGraphs();
  RestoreDesktopDisplayMode();
  ReleaseScreenPalette();
  ReleaseMainClipper();
  ReleaseInterface(gScreen.directDraw);
  LogAdd("ＤｉｒｅｃｔＤｒａｗオブジェクトを解放しました\n");
  return 0;
}

int RecreateDirectDraw() {
  if (gScreen.directDraw != nullptr) return 0;
  if (CreateDirectDrawObject(&gScreen.directDraw) != 0) {
    ErrorExitLibrary("DirectDraw オブジェクトの作成処理時にエラーが発生しました");
  }
  ReapplyDisplayMode();
  RestoreAllSurfaceGraphs();
  if (!SoftwareRendering()) CreateMainClipper();
  return 0;
}

int EndDirectDraw() {
  if (gWindow.window != nullptr) plat::KillTimer(gWindow.window, kRedrawTimerId);
  if (DisplayUp()) {
    LogAdd("DirectDraw 関連の終了処理をおこないます\n");
    LogTabAdd();
    if (SoftwareRendering()) {
      EndGraphicsManager();
      DeleteAllSurfaces2D();
      ReleaseMainSurfaces();
      // A switch to software rendering at run time leaves the hardware clipper behind.
      ReleaseMainClipper();
    } else {
      ReleaseScreenPalette();
      EndGraphicsManager();
      DeleteAllSurfaces2D();
      D3D_Terminate();
      ReleaseMainSurfaces();
      ReleaseMainClipper();
    }
    LogAdd("ＤｉｒｅｃｔＤｒａｗオブジェクトを解放します\n");
    ReleaseInterface(gScreen.directDraw);
    LogAdd("ＤｉｒｅｃｔＤｒａｗオブジェクトを解放しました\n");
    RestoreDisplayMode();
    LogTabSub();
    LogAdd("DirectDraw 関連の終了処理は正常に終了しました\n");
  }
  gScreen.directDrawUp = 0;
  // The next start paces its first vertical-blank wait afresh: a time from this run, compared with a
  // clock that has since been set back (the virtual clock of a test), would hold it until that time.
  gScreen.lastVBlankWait = 0;
  EndSoftwareRendering();
  return 0;
}

}  // namespace orbel
