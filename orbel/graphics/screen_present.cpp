// Ending a frame: the page flip in full screen, otherwise the present of the back screen to the window
// (DirectDraw blits, or GDI DIB blits of the back memory image under software rendering); vertical-blank
// waits paced by the measured frame time; and the front-screen helpers for drawing straight onto the
// visible screen. Every wait on the display is bounded in time, and no road touches a missing surface.
// Depends on the screen state, the graphics manager (frame counter, draw origin), the message pump and
// the GDI and DirectDraw stand-ins.
#include "orbel/graphics/screen_present.h"

#include <cmath>

#include "orbel/core/library.h"
#include "orbel/core/library_state.h"
#include "orbel/core/log.h"
#include "orbel/core/message_pump.h"
#include "orbel/core/string_routines.h"
#include "orbel/core/window_mode.h"
#include "orbel/graphics/d3d/d3d_system.h"
#include "orbel/graphics/direct_draw.h"
#include "orbel/graphics/draw_state.h"
#include "orbel/graphics/graphics_manager.h"
#include "orbel/graphics/graphics_system.h"
#include "orbel/graphics/rect_math.h"
#include "orbel/graphics/screen_road.h"
#include "orbel/graphics/screen_state.h"
#include "platform/ddraw/ddraw.h"
#include "platform/win/kernel/clock.h"
#include "platform/win/gdi/gdi_dc.h"
#include "platform/win/gdi/gdi_dib.h"
#include "platform/win/user/message_queue.h"

namespace orbel {

namespace {

constexpr uint32_t kBlankPollLimitMs = 100;  // longest wait for one change of the blank state

bool VSyncWanted() { return gDrawState.noVSync == 0; }

// Blank status; a display that cannot tell counts as in its blank, so no wait hangs on it.
bool InBlank() {
  plat::BOOL blank = 0;
  return gScreen.directDraw->GetVerticalBlankStatus(&blank) != plat::DD_OK || blank != 0;
}

// Polls (pumping messages) until the blank state equals `inBlank`, at most kBlankPollLimitMs. Returns
// the pump's result: non-zero ends the poll early (-1: the program is quitting).
int PollBlankState(bool inBlank) {
  const uint32_t start = plat::timeGetTime();
  while (InBlank() != inBlank && plat::timeGetTime() - start < kBlankPollLimitMs) {
    const int pumped = PumpWindowMessage();
    if (pumped != 0) return pumped;
  }
  return 0;
}

// Draws the on-screen log over the frame with neutral draw settings.
void DrawOnScreenLog() {
  if (!GetLogDrawFlag()) return;
  const plat::RECT area = gDrawState.drawArea;
  const uint32_t mode = gDrawState.blendMode;
  const uint32_t param = gDrawState.blendParam;
  const uint32_t bright = gDrawState.brightColor;
  int width = 0;
  int height = 0;
  GetScreenPixelSize(&width, &height);
  SetDrawClipArea(0, 0, width, height);
  SetBlendState(kBlendNone, 0);
  SetDrawBrightColorValue(kBrightWhite);
  DrawLogDisplay();
  SetDrawClipArea(area.left, area.top, area.right, area.bottom);
  SetBlendState(static_cast<int>(mode), static_cast<int>(param));
  SetDrawBrightColorValue(bright);
}

// A DIB header over a memory image (top-down, bit fields of its format). biWidth is the pitch in
// pixels, so rows padded beyond the image's width still line up.
void MakeImageDibHeader(const MemImg& image, plat::BITMAPINFO* info) {
  const ColorData& f = *image.base->colorData;
  *info = {};
  plat::BITMAPINFOHEADER& h = info->bmiHeader;
  h.biSize = sizeof h;
  h.biWidth = image.base->pitch / image.base->pixelBytes;
  h.biHeight = -image.height;
  h.biPlanes = 1;
  h.biBitCount = static_cast<plat::WORD>(f.bitDepth);
  h.biCompression = plat::BI_BITFIELDS;
  plat::SetDibMasks(info, f.redMask, f.greenMask, f.blueMask);
}

// A GraphImage record over locked surface pixels in the display's format.
GraphImage LockedSurfaceImage(const plat::DDSURFACEDESC2& desc) {
  GraphImage image{};
  image.format = gScreen.displayColorData;
  image.width = desc.dwWidth;
  image.height = desc.dwHeight;
  image.pitch = static_cast<uint32_t>(desc.lPitch);
  image.pixels = desc.lpSurface;
  return image;
}

bool LockSurface(plat::IDirectDrawSurface7* surface, plat::RECT* rect, plat::DWORD flags, plat::DDSURFACEDESC2* desc) {
  *desc = {};
  desc->dwSize = sizeof *desc;
  return surface->Lock(rect, desc, flags, nullptr) == plat::DD_OK;
}

// Memory-image screen under hardware rendering: brings the back image into the back surface and shows it.
void CommitBackImage(const plat::RECT& dest, plat::RECT& src) {
  if (gScreen.backImageOverSurface) {
    UnlockBackImageSurface();
    if (VSyncWanted()) WaitVerticalBlank();
    gScreen.primarySurface->Blt(const_cast<plat::RECT*>(&dest), gScreen.backSurface, &src, plat::DDBLT_WAIT, nullptr);
    if (LockBackImageOverSurface() != 0) ErrorExitLibrary("バックサーフェスのロックに失敗しました");
    return;
  }
  plat::DDSURFACEDESC2 desc;
  if (!LockSurface(gScreen.backSurface, nullptr, plat::DDLOCK_WAIT, &desc)) {
    ErrorExitLibrary("バックサーフェスのロックに失敗しました");
  }
  GraphImage target = LockedSurfaceImage(desc);
  CopyMemImgToImage(&target, &gScreen.backImage, 0, 0, gScreen.backImage.width, gScreen.backImage.height, 0, 0, 0, 0);
  gScreen.backSurface->Unlock(nullptr);
  if (VSyncWanted()) WaitVerticalBlank();
  gScreen.primarySurface->Blt(const_cast<plat::RECT*>(&dest), gScreen.backSurface, &src, plat::DDBLT_WAIT, nullptr);
}

// Software rendering: the back image through GDI into the window.
void PresentBackImageThroughGdi(const plat::RECT& dest, int width, int height) {
  if (VSyncWanted() && gScreen.directDraw != nullptr) WaitVerticalBlank();
  plat::BITMAPINFO info;
  MakeImageDibHeader(gScreen.backImage, &info);
  const plat::HDC dc = plat::GetDC(gWindow.window);
  const int destWidth = dest.right - dest.left;
  const int destHeight = dest.bottom - dest.top;
  if (destWidth == width && destHeight == height) {
    plat::SetDIBitsToDevice(dc, 0, 0, static_cast<plat::DWORD>(width), static_cast<plat::DWORD>(height), 0, 0, 0,
                            static_cast<plat::UINT>(height), gScreen.backImage.pixels, &info, plat::DIB_RGB_COLORS);
  } else {
    plat::StretchDIBits(dc, 0, 0, destWidth, destHeight, 0, 0, width, height, gScreen.backImage.pixels, &info,
                        plat::DIB_RGB_COLORS, plat::SRCCOPY);
  }
  plat::ReleaseDC(gWindow.window, dc);
}

bool IsSurfaceLost(plat::IDirectDrawSurface7* surface) {
  return surface != nullptr && surface->IsLost() == plat::DDERR_SURFACELOST;
}

// A display loss found at the end of a frame: the screen surfaces and every graph are restored (the
// graphs reloaded from their files), so that the next frame draws and shows again.
void RestoreScreenIfLost() {
  if (gScreen.directDraw == nullptr) return;
  if (IsSurfaceLost(gScreen.primarySurface) || IsSurfaceLost(gScreen.backSurface) ||
      IsSurfaceLost(gScreen.frontSurface)) {
    RestoreAllGraphs();
  }
}

void RedrawTimerProc(plat::HWND window, plat::UINT, plat::UINT_PTR, plat::DWORD) {
  plat::KillTimer(window, kRedrawTimerId);
  if (gScreen.primarySurface == nullptr) return;
  BlitBackScreenToWindowTimer();
  plat::SetTimer(window, kRedrawTimerId, kRedrawTimerPeriodMs, RedrawTimerProc);
}

}  // namespace

// ---- Flip and present -------------------------------------------------------------------------------

int FlipScreen() {
  if (!DisplayUp()) return -1;
  WaitWhileInactive();
  RestoreScreenIfLost();
  const bool pageFlip = !SoftwareScreen() && !gScreen.gdiOutputRequest && !SoftwareRendering() &&
                        !gSettings.windowMode && !gWindow.menuDisplayed;
  if (!pageFlip) return PresentBackSurfaceToWindow(nullptr);

  DrawOnScreenLog();
  if (gDrawState.drawScreen == kDrawScreenFront && VSyncWanted()) {
    CountFrame();
    return WaitVSyncFrames(1);
  }
  D3D_FlushVertex();
  D3D_EndSceneCurrent();
  // A display change that failed half-way leaves no surfaces: nothing to flip.
  if (gScreen.primarySurface == nullptr) return -1;
  const plat::DWORD flags = plat::DDFLIP_WAIT | (VSyncWanted() ? 0 : plat::DDFLIP_NOVSYNC);
  if (gScreen.primarySurface->Flip(nullptr, flags) != plat::DD_OK) return -1;
  if (VSyncWanted()) plat::Sleep(1);
  CountFrame();
  return 0;
}

int PresentBackSurfaceToWindow(const plat::RECT* clientPart) {
  if (!DisplayUp()) return -1;
  RestoreScreenIfLost();
  DrawOnScreenLog();
  if (gDrawState.drawScreen == kDrawScreenFront) {
    CountFrame();
    return WaitVSyncFrames(1);
  }
  int width = 0;
  int height = 0;
  GetScreenPixelSize(&width, &height);
  plat::RECT src = {0, 0, width, height};

  int originX = 0;
  int originY = 0;
  double scale = 1.0;
  if (gSettings.windowMode) {
    GetClientOriginOnDesktop(&originX, &originY);
    scale = GetWindowExtendRate();
  }
  plat::RECT dest = {originX, originY, originX + DoubleToInt(width * scale), originY + DoubleToInt(height * scale)};
  if (clientPart != nullptr) {
    dest = {originX + clientPart->left, originY + clientPart->top, originX + clientPart->right,
            originY + clientPart->bottom};
    // Rounded, not truncated: a truncated edge shifts the repainted part a pixel against the picture
    // around it when the scale does not divide the client coordinates.
    const auto unscale = [scale](int v) { return DoubleToInt(std::round(v / scale)); };
    src = {unscale(clientPart->left), unscale(clientPart->top), unscale(clientPart->right),
           unscale(clientPart->bottom)};
  }

  if (!ScreensAreMemImgs()) {
    D3D_FlushVertex();
    D3D_EndSceneCurrent();
    if (gScreen.primarySurface == nullptr || gScreen.backSurface == nullptr) return -1;
    if (VSyncWanted()) WaitVerticalBlank();
    if (gSettings.windowMode) {
      gScreen.primarySurface->Blt(&dest, gScreen.backSurface, &src, plat::DDBLT_WAIT, nullptr);
    } else if (!gScreen.gdiOutputRequest && !gWindow.menuDisplayed) {
      gScreen.primarySurface->BltFast(static_cast<plat::DWORD>(dest.left), static_cast<plat::DWORD>(dest.top),
                                      gScreen.backSurface, &src, plat::DDBLTFAST_WAIT);
    } else {
      gScreen.primarySurface->Blt(clientPart != nullptr ? &dest : nullptr, gScreen.backSurface, &src, plat::DDBLT_WAIT,
                                  nullptr);
    }
    CountFrame();
    return 0;
  }

  if (!CheckValidMemImg(&gScreen.backImage)) return -1;
  if (!SoftwareRendering()) {
    if (gScreen.primarySurface == nullptr || gScreen.backSurface == nullptr) return -1;
    CommitBackImage(dest, src);
  } else {
    plat::RECT windowDest = {dest.left - originX, dest.top - originY, dest.right - originX, dest.bottom - originY};
    if (clientPart != nullptr) windowDest = {0, 0, DoubleToInt(width * scale), DoubleToInt(height * scale)};
    PresentBackImageThroughGdi(windowDest, width, height);
  }
  gScreen.presentedSinceReadBack = 1;
  CountFrame();
  return 0;
}

// ---- Vertical blank ---------------------------------------------------------------------------------

int WaitVSyncFrames(int n) {
  if (gScreen.directDraw == nullptr) return -1;
  WaitWhileInactive();
  if (n < 0) return 0;
  if (n == 0) {
    PollBlankState(true);
    return 0;
  }
  for (int i = 0; i < n; ++i) {
    if (PollBlankState(false) < 0 || PollBlankState(true) < 0) return -1;
  }
  return 0;
}

uint32_t WaitVerticalBlank() {
  if (gScreen.directDraw == nullptr) return gScreen.lastVBlankWait;
  const int pacing = gScreen.framePacing;
  const uint32_t since = plat::timeGetTime() - gScreen.lastVBlankWait;
  if (static_cast<int32_t>(since) >= pacing) {
    plat::Sleep(0);
    if (!InBlank()) gScreen.directDraw->WaitForVerticalBlank(plat::DDWAITVB_BLOCKBEGIN, nullptr);
  } else {
    while (static_cast<int32_t>(plat::timeGetTime() - gScreen.lastVBlankWait) < pacing) plat::Sleep(1);
    gScreen.directDraw->WaitForVerticalBlank(plat::DDWAITVB_BLOCKBEGIN, nullptr);
  }
  gScreen.lastVBlankWait = plat::timeGetTime();
  return gScreen.lastVBlankWait;
}

// ---- Front screen -----------------------------------------------------------------------------------

int GetScreenRectOnDesktop(plat::RECT* out) {
  int width = 0;
  int height = 0;
  GetScreenPixelSize(&width, &height);
  *out = {0, 0, width, height};
  if (!gScreen.separateFrontSurface) {
    int x = 0;
    int y = 0;
    GetClientOriginOnDesktop(&x, &y);
    *out = {x, y, x + width, y + height};
  }
  return 0;
}

namespace {

// The whole screen and the same rectangle on the desktop (the client area), for copies between the
// separate front surface and the primary.
void FrontAndDesktopRects(plat::RECT* whole, plat::RECT* onDesktop) {
  int width = 0;
  int height = 0;
  GetScreenPixelSize(&width, &height);
  int x = 0;
  int y = 0;
  GetClientOriginOnDesktop(&x, &y);
  *whole = {0, 0, width, height};
  *onDesktop = {x, y, x + width, y + height};
}

}  // namespace

int BlitBackScreenToWindow() {
  if (gScreen.primarySurface == nullptr || gScreen.frontSurface == nullptr) return 0;
  plat::RECT whole;
  plat::RECT onDesktop;
  FrontAndDesktopRects(&whole, &onDesktop);
  gScreen.frontSurface->Blt(&whole, gScreen.primarySurface, &onDesktop, plat::DDBLT_WAIT, nullptr);
  return 0;
}

int BlitBackScreenToWindowTimer() {
  if (gScreen.primarySurface == nullptr || gScreen.frontSurface == nullptr) return 0;
  plat::RECT whole;
  plat::RECT onDesktop;
  FrontAndDesktopRects(&whole, &onDesktop);
  gScreen.primarySurface->Blt(&onDesktop, gScreen.frontSurface, &whole, plat::DDBLT_WAIT, nullptr);
  return 0;
}

void StartFrontScreenRedraw() {
  if (gWindow.window == nullptr) return;
  BlitBackScreenToWindow();
  plat::SetTimer(gWindow.window, kRedrawTimerId, kRedrawTimerPeriodMs, RedrawTimerProc);
}

void StopFrontScreenRedraw() {
  if (gWindow.window == nullptr) return;
  plat::KillTimer(gWindow.window, kRedrawTimerId);
  BlitBackScreenToWindowTimer();
}

int StretchScreenToWindow(const plat::RECT* rect) {
  if (!CheckValidMemImg(&gScreen.frontImage)) return -1;
  int width = 0;
  int height = 0;
  GetScreenPixelSize(&width, &height);
  plat::RECT r = *rect;
  const plat::RECT screen = {0, 0, width, height};
  ClipRect(&r, &screen);
  const int w = r.right - r.left;
  const int h = r.bottom - r.top;
  if (w <= 0 || h <= 0) return 0;

  if (!SoftwareRendering()) {
    plat::IDirectDrawSurface7* target = gScreen.separateFrontSurface ? gScreen.frontSurface : gScreen.primarySurface;
    if (target == nullptr) return -1;
    plat::RECT lockRect = r;
    if (!gScreen.separateFrontSurface && gSettings.windowMode) {
      int x = 0;
      int y = 0;
      GetClientOriginOnDesktop(&x, &y);
      lockRect = {r.left + x, r.top + y, r.right + x, r.bottom + y};
    }
    plat::DDSURFACEDESC2 desc;
    if (!LockSurface(target, &lockRect, plat::DDLOCK_WAIT | plat::DDLOCK_WRITEONLY, &desc)) return -1;
    GraphImage view = LockedSurfaceImage(desc);
    view.width = static_cast<uint32_t>(w);
    view.height = static_cast<uint32_t>(h);
    CopyMemImgToImage(&view, &gScreen.frontImage, r.left, r.top, w, h, 0, 0, 0, 0);
    target->Unlock(&lockRect);
    return 0;
  }
  plat::BITMAPINFO info;
  MakeImageDibHeader(gScreen.frontImage, &info);
  const plat::HDC dc = plat::GetDC(gWindow.window);
  plat::StretchDIBits(dc, r.left, r.top, w, h, r.left, height - r.bottom, w, h, gScreen.frontImage.pixels, &info,
                      plat::DIB_RGB_COLORS, plat::SRCCOPY);
  plat::ReleaseDC(gWindow.window, dc);
  return 0;
}

int ReadWindowToScreenImage() {
  if (!(ScreensAreMemImgs() || SoftwareRendering()) || !gScreen.presentedSinceReadBack) return 0;
  if (!CheckValidMemImg(&gScreen.frontImage)) return -1;
  int width = 0;
  int height = 0;
  GetScreenPixelSize(&width, &height);
  int result = 0;
  if (SoftwareRendering()) {
    plat::BITMAPINFO info;
    MakeImageDibHeader(gScreen.frontImage, &info);
    const plat::HDC windowDc = plat::GetDC(gWindow.window);
    const plat::HDC memoryDc = plat::CreateCompatibleDC(windowDc);
    void* bits = nullptr;
    plat::BITMAPINFO sectionInfo = info;
    sectionInfo.bmiHeader.biWidth = width;
    const plat::HBITMAP section = plat::CreateDIBSection(memoryDc, &sectionInfo, plat::DIB_RGB_COLORS, &bits, nullptr, 0);
    if (section != nullptr) {
      const plat::HGDIOBJ previous = plat::SelectObject(memoryDc, section);
      plat::BitBlt(memoryDc, 0, 0, width, height, windowDc, 0, 0, plat::SRCCOPY);
      plat::SelectObject(memoryDc, previous);
      if (plat::GetDIBits(memoryDc, section, 0, static_cast<plat::UINT>(height), gScreen.frontImage.pixels, &info,
                          plat::DIB_RGB_COLORS) == 0) {
        result = -1;
      }
      plat::DeleteObject(section);
    } else {
      result = -1;
    }
    plat::DeleteDC(memoryDc);
    plat::ReleaseDC(gWindow.window, windowDc);
  } else {
    plat::IDirectDrawSurface7* source = gScreen.separateFrontSurface ? gScreen.frontSurface : gScreen.primarySurface;
    if (source == nullptr) return -1;
    plat::RECT rect;
    GetScreenRectOnDesktop(&rect);
    plat::DDSURFACEDESC2 desc;
    if (!LockSurface(source, &rect, plat::DDLOCK_WAIT | plat::DDLOCK_READONLY, &desc)) return -1;
    GraphImage view = LockedSurfaceImage(desc);
    view.width = static_cast<uint32_t>(width);
    view.height = static_cast<uint32_t>(height);
    TransferImageToMemImg(&view, nullptr, &gScreen.frontImage, 0, 0, width, height, 0, 0, 0);
    source->Unlock(&rect);
  }
  gScreen.presentedSinceReadBack = 0;
  return result;
}

}  // namespace orbel
