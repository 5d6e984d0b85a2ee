// The screen surfaces: primary, back, separate front, work and Z surfaces under DirectDraw, or the
// front, back and Z memory images of a software screen (the back image may lie over the locked back
// surface), with the placement report; their release and their restore after a display loss.
// Depends on the screen state, the software renderer's memory images and the window settings.
#include <cstring>

#include "orbel/core/library.h"
#include "orbel/core/library_state.h"
#include "orbel/core/log.h"
#include "orbel/core/system_report.h"
#include "orbel/graphics/direct_draw.h"
#include "orbel/graphics/draw_state.h"
#include "orbel/graphics/graphics_manager.h"
#include "orbel/graphics/screen_road.h"
#include "orbel/graphics/screen_state.h"
#include "platform/ddraw/ddraw.h"

namespace orbel {

namespace {

constexpr int kHalfSizeWidth = 320;
constexpr int kHalfSizeHeight = 240;

plat::IDirectDrawSurface7* CreateScreenSurface(plat::DWORD flags, plat::DWORD caps, int width, int height,
                                               plat::DWORD backBuffers) {
  plat::DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof desc;
  desc.dwFlags = flags;
  desc.ddsCaps.dwCaps = caps;
  desc.dwWidth = static_cast<plat::DWORD>(width);
  desc.dwHeight = static_cast<plat::DWORD>(height);
  desc.dwBackBufferCount = backBuffers;
  plat::IDirectDrawSurface7* surface = nullptr;
  if (gScreen.directDraw->CreateSurface(&desc, &surface, nullptr) != plat::DD_OK) return nullptr;
  return surface;
}

plat::IDirectDrawSurface7* CreateOffscreen(plat::DWORD caps, int width, int height) {
  return CreateScreenSurface(plat::DDSD_CAPS | plat::DDSD_HEIGHT | plat::DDSD_WIDTH, caps, width, height, 0);
}

void BackgroundColor(int* red, int* green, int* blue) {
  *red = gSettings.backgroundColorSet ? gSettings.backgroundRed : 0;
  *green = gSettings.backgroundColorSet ? gSettings.backgroundGreen : 0;
  *blue = gSettings.backgroundColorSet ? gSettings.backgroundBlue : 0;
}

// Fills a surface with the window background colour in the display's format.
void FillWithBackground(plat::IDirectDrawSurface7* surface) {
  if (surface == nullptr) return;
  int r = 0;
  int g = 0;
  int b = 0;
  BackgroundColor(&r, &g, &b);
  plat::DDBLTFX fx{};
  fx.dwSize = sizeof fx;
  fx.dwFillColor = MakeColor(r, g, b);
  surface->Blt(nullptr, nullptr, nullptr, plat::DDBLT_COLORFILL | plat::DDBLT_WAIT, &fx);
}

void FillImageWithBackground(MemImg* image) {
  int r = 0;
  int g = 0;
  int b = 0;
  BackgroundColor(&r, &g, &b);
  FillMemImgRect(image, nullptr, GetFormatColorValue(image->base->colorData, r, g, b, 255));
}

// Colour type of the screen images: 5:6:5 on a 16-bit screen, else 32-bit.
int ScreenImageType() { return GetScreenColorBitDepth() == 16 ? kMemImgR5G6B5 : kMemImgX8R8G8B8; }

// The back image may be the locked back surface itself when the display has exactly its layout.
bool BackImageCanLieOverSurface() {
  if (SoftwareRendering() || gScreen.backSurface == nullptr) return false;
  if (static_cast<uint32_t>(GetScreenColorBitDepth()) != gScreen.displayDepth) return false;
  const ColorData& f = gScreen.displayColorData;
  const bool xrgb = f.bitDepth == 32 && f.redMask == 0xFF0000 && f.greenMask == 0xFF00 && f.blueMask == 0xFF;
  const bool rgb565 = f.bitDepth == 16 && f.redMask == 0xF800 && f.greenMask == 0x7E0 && f.blueMask == 0x1F;
  return xrgb || rgb565;
}

void CreateScreenImages(int width, int height) {
  gScreen.memImgScreen = 1;
  if (!SoftwareRendering()) {
    gScreen.primarySurface = CreateScreenSurface(plat::DDSD_CAPS, plat::DDSCAPS_PRIMARYSURFACE | plat::DDSCAPS_SYSTEMMEMORY,
                                                 0, 0, 0);
    if (gScreen.primarySurface == nullptr) ErrorExitLibrary("プライマリサーフェスの作成に失敗しました");
    gScreen.backSurface = CreateOffscreen(plat::DDSCAPS_OFFSCREENPLAIN | plat::DDSCAPS_SYSTEMMEMORY, width, height);
    if (gScreen.backSurface == nullptr) ErrorExitLibrary("バックサーフェスの作成に失敗しました");
    FillWithBackground(gScreen.backSurface);
  }
  if (CreateMemImgScreenType(&gScreen.frontImage, width, height, ScreenImageType()) != 0) {
    ErrorExitLibrary("プライマリサーフェス用の MEMIMG の作成に失敗しました\n");
  }
  if (BackImageCanLieOverSurface()) {
    if (LockBackImageOverSurface() != 0) ErrorExitLibrary("バックサーフェスのロックに失敗しました");
  } else if (CreateMemImgScreenType(&gScreen.backImage, width, height, ScreenImageType()) != 0) {
    ErrorExitLibrary("バックサーフェス用の MEMIMG の作成に失敗しました\n");
  }
  if (CreateMemImgDepth16(&gScreen.zImage, width, height) != 0) {
    ErrorExitLibrary("Ｚバッファサーフェス用の MEMIMG の作成に失敗しました\n");
  }
  FillImageWithBackground(&gScreen.frontImage);
  FillImageWithBackground(&gScreen.backImage);
}

void CreateDirectDrawScreens(int width, int height) {
  gScreen.memImgScreen = 0;
  gDrawState.screenDepth = static_cast<int32_t>(gScreen.displayDepth);
  if (gSettings.windowMode) {
    gScreen.primarySurface = CreateScreenSurface(plat::DDSD_CAPS, plat::DDSCAPS_PRIMARYSURFACE | plat::DDSCAPS_3DDEVICE,
                                                 0, 0, 0);
    if (gScreen.primarySurface == nullptr) ErrorExitLibrary("プライマリサーフェスの作成に失敗しました");
    gScreen.backSurface = CreateOffscreen(plat::DDSCAPS_OFFSCREENPLAIN | plat::DDSCAPS_3DDEVICE, width, height);
    if (gScreen.backSurface == nullptr) ErrorExitLibrary("バックサーフェスの作成に失敗しました");
    FillWithBackground(gScreen.backSurface);
  } else {
    gScreen.primarySurface = CreateScreenSurface(
        plat::DDSD_CAPS | plat::DDSD_BACKBUFFERCOUNT,
        plat::DDSCAPS_PRIMARYSURFACE | plat::DDSCAPS_FLIP | plat::DDSCAPS_COMPLEX | plat::DDSCAPS_3DDEVICE, 0, 0, 1);
    if (gScreen.primarySurface == nullptr) ErrorExitLibrary("プライマリサーフェスの作成に失敗しました");
    plat::DDSCAPS2 caps{};
    caps.dwCaps = plat::DDSCAPS_BACKBUFFER;
    if (gScreen.primarySurface->GetAttachedSurface(&caps, &gScreen.backSurface) != plat::DD_OK ||
        gScreen.backSurface == nullptr) {
      ErrorExitLibrary("バックバッファのポインタ取得に失敗しました");
    }
    // Every buffer of the flip chain starts cleared.
    for (int i = 0; i < 3; ++i) {
      FillWithBackground(gScreen.backSurface);
      gScreen.primarySurface->Flip(nullptr, plat::DDFLIP_NOVSYNC);
    }
  }
  const plat::DWORD plain3D = plat::DDSCAPS_OFFSCREENPLAIN | plat::DDSCAPS_3DDEVICE;
  if (gScreen.separateFrontSurface) {
    gScreen.frontSurface = CreateOffscreen(plain3D, width, height);
    if (gScreen.frontSurface == nullptr) ErrorExitLibrary("テンポラリプライマリサーフェスの作成に失敗しました");
    FillWithBackground(gScreen.frontSurface);
  }
  if (GetOsCode() == kOsWindowsVista) {
    gScreen.halfSizeSurface = CreateOffscreen(plain3D, kHalfSizeWidth, kHalfSizeHeight);
    if (gScreen.halfSizeSurface == nullptr) {
      ErrorExitLibrary("320x240用テンポラリプライマリサーフェスの作成に失敗しました");
    }
    FillWithBackground(gScreen.halfSizeSurface);
  }
  const plat::DWORD plainSystem = plat::DDSCAPS_OFFSCREENPLAIN | plat::DDSCAPS_SYSTEMMEMORY;
  plat::DDCOLORKEY key = {0, 0};
  gScreen.workSurface = CreateOffscreen(plainSystem, width, height);
  if (gScreen.workSurface == nullptr) ErrorExitLibrary("作業用サーフェスの作成に失敗しました");
  gScreen.workSurface->SetColorKey(plat::DDCKEY_SRCBLT, &key);
  gScreen.workSurface2 = CreateOffscreen(plainSystem, width, height);
  if (gScreen.workSurface2 == nullptr) ErrorExitLibrary("作業用サーフェス２の作成に失敗しました");
  gScreen.workSurface2->SetColorKey(plat::DDCKEY_SRCBLT, &key);

  plat::DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof desc;
  desc.dwFlags = plat::DDSD_CAPS | plat::DDSD_HEIGHT | plat::DDSD_WIDTH | plat::DDSD_PIXELFORMAT;
  desc.ddsCaps.dwCaps = plat::DDSCAPS_ZBUFFER | plat::DDSCAPS_VIDEOMEMORY;
  desc.dwWidth = static_cast<plat::DWORD>(width);
  desc.dwHeight = static_cast<plat::DWORD>(height);
  desc.ddpfPixelFormat.dwSize = sizeof desc.ddpfPixelFormat;
  desc.ddpfPixelFormat.dwFlags = plat::DDPF_ZBUFFER;
  desc.ddpfPixelFormat.dwZBufferBitDepth = 16;
  desc.ddpfPixelFormat.dwZBitMask = 0xFFFF;
  if (gScreen.directDraw->CreateSurface(&desc, &gScreen.zBufferSurface, nullptr) != plat::DD_OK ||
      gScreen.zBufferSurface == nullptr) {
    gScreen.zBufferSurface = nullptr;
    LogAdd("Ｚバッファの作成に失敗しました\n");
  } else {
    gScreen.backSurface->AddAttachedSurface(gScreen.zBufferSurface);
  }
}

const char* MemoryPlace(plat::IDirectDrawSurface7* surface) {
  plat::DDSCAPS2 caps{};
  if (surface != nullptr) surface->GetCaps(&caps);
  return (caps.dwCaps & plat::DDSCAPS_VIDEOMEMORY) ? "VIDEOMEMORY" : "SYSTEMMEMORY";
}

template <typename T>
void ReleaseInterface(T*& object) {
  if (object != nullptr) object->Release();
  object = nullptr;
}

void RestoreIfLost(plat::IDirectDrawSurface7* surface) {
  if (surface != nullptr && surface->IsLost() == plat::DDERR_SURFACELOST) surface->Restore();
}

}  // namespace

int LockBackImageOverSurface() {
  plat::DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof desc;
  if (gScreen.backSurface->Lock(nullptr, &desc, plat::DDLOCK_WAIT, nullptr) != plat::DD_OK) return -1;
  if (CheckValidMemImg(&gScreen.backImage)) TerminateMemImg(&gScreen.backImage);
  if (InitializeMemImg(&gScreen.backImage, static_cast<int>(desc.dwWidth), static_cast<int>(desc.dwHeight),
                       desc.lPitch, 0, ScreenImageType(), 0, 0, 0, desc.lpSurface) != 0) {
    gScreen.backSurface->Unlock(nullptr);
    return -1;
  }
  gScreen.backImageOverSurface = 1;
  return 0;
}

void UnlockBackImageSurface() {
  if (!gScreen.backImageOverSurface) return;
  gScreen.backSurface->Unlock(nullptr);
  gScreen.backImageOverSurface = 0;
}

int CreateMainSurfaces() {
  if (!DisplayUp() || gScreen.primarySurface != nullptr || ScreensAreMemImgs()) return -1;
  LogAdd("出力画面用の DirectDrawSurface を作成します\n");
  LogTabAdd();
  int width = 0;
  int height = 0;
  GetScreenPixelSize(&width, &height);
  if (SoftwareScreen() && gScreen.displayDepth != 8) {
    CreateScreenImages(width, height);
  } else {
    CreateDirectDrawScreens(width, height);
  }

  LogAdd("各スクリーンメモリの配置位置\n");
  LogTabAdd();
  if (ScreensAreMemImgs()) {
    LogFmtAdd("PrimaryBuffer : SYSTEMMEMORY( MEMIMG ) ");
    LogFmtAdd("BaskBuffer : SYSTEMMEMORY( MEMIMG ) ");
  } else {
    LogFmtAdd("PrimaryBuffer : %s  ", MemoryPlace(gScreen.primarySurface));
    LogFmtAdd("BaskBuffer : %s  ", MemoryPlace(gScreen.backSurface));
  }
  LogTabSub();
  LogTabSub();
  LogAdd("出力画面用の DirectDrawSurface の作成は正常に終了しました\n");
  return 0;
}

int ReleaseMainSurfaces() {
  if (!DisplayUp()) return -1;
  UnlockBackImageSurface();
  if (gScreen.zBufferSurface != nullptr) {
    if (gScreen.backSurface != nullptr) gScreen.backSurface->DeleteAttachedSurface(0, gScreen.zBufferSurface);
    ReleaseInterface(gScreen.zBufferSurface);
  }
  if (gScreen.primarySurface != nullptr) {
    LogAdd("メインサーフェスを破棄をします... 完了しました\n");
    gScreen.primarySurface->SetClipper(nullptr);
    // The back buffer of a flip chain goes with the primary; its own reference is released first.
    ReleaseInterface(gScreen.backSurface);
    ReleaseInterface(gScreen.primarySurface);
  }
  ReleaseInterface(gScreen.backSurface);
  ReleaseInterface(gScreen.frontSurface);
  ReleaseInterface(gScreen.halfSizeSurface);
  ReleaseInterface(gScreen.workSurface);
  ReleaseInterface(gScreen.workSurface2);
  if (ScreensAreMemImgs()) {
    TerminateMemImg(&gScreen.frontImage);
    TerminateMemImg(&gScreen.backImage);
    TerminateMemImg(&gScreen.zImage);
    gScreen.frontImage = {};
    gScreen.backImage = {};
    gScreen.zImage = {};
    gScreen.memImgScreen = 0;
  }
  gScreen.targetSurface = nullptr;
  gScreen.targetImage = nullptr;
  gScreen.targetZImage = nullptr;
  return 0;
}

int RestoreLostMainSurfaces() {
  if (gScreen.directDraw == nullptr) return -1;
  const bool overSurface = gScreen.backImageOverSurface != 0;
  RestoreIfLost(gScreen.primarySurface);
  RestoreIfLost(gScreen.frontSurface);
  RestoreIfLost(gScreen.halfSizeSurface);
  if (gScreen.backSurface != nullptr && gScreen.backSurface->IsLost() == plat::DDERR_SURFACELOST) {
    // A lost surface's lock is gone with it: the back image is built again over the new lock.
    if (overSurface) UnlockBackImageSurface();
    gScreen.backSurface->Restore();
    if (overSurface && LockBackImageOverSurface() != 0) ErrorExitLibrary("バックサーフェスのロックに失敗しました");
  }
  RestoreIfLost(gScreen.zBufferSurface);
  return 0;
}

}  // namespace orbel
