// Screen capture into texture graphs: five ways of moving draw-screen pixels into texture tiles, tried
// in a fixed order; the first that works is remembered (one memory for alpha graphs, one for plain
// ones) so that later captures go straight to it.
#include <algorithm>

#include "orbel/core/library_state.h"
#include "orbel/core/log.h"
#include "orbel/graphics/d3d/d3d_internal.h"
#include "orbel/graphics/draw_state.h"
#include "orbel/graphics/graph_pixels.h"
#include "orbel/graphics/graphics_manager.h"
#include "orbel/graphics/graphics_system.h"
#include "orbel/graphics/screen_state.h"
#include "orbel/graphics/surface2d.h"
#include "orbel/image/color_convert.h"
#include "platform/ddraw/ddraw.h"
#include "platform/win/kernel/clock.h"
#include "platform/win/kernel/file_io.h"
#include "platform/win/gdi/gdi_dib.h"

namespace orbel {

namespace {

// One capture: the rectangle, the graph, the draw screen's extent and origin, and the source surface.
struct Capture {
  int x1, y1, x2, y2;
  GraphRecord* graph;
  int extentWidth, extentHeight;
  int originX, originY;
  plat::IDirectDrawSurface7* source;
};

// What one tile receives: where from (on the draw surface) and how much.
struct TileCopy {
  Surface3DDataRecord* tile;
  SurfaceDataRecord* data;
  plat::RECT source;
  int width, height;
};

// The screen is read where the draws put it: the draw screen's origin on its surface (the client area
// below the tool bar for a window's front screen) plus where a graph draw screen lies in its texture.
bool Prepare(int x1, int y1, int x2, int y2, GraphRecord* g, Capture* c) {
  *c = Capture{x1, y1, x2, y2, g, 0, 0, 0, 0, GetActiveDrawSurface()};
  GetDrawScreenOrigin(&c->originX, &c->originY);
  c->originX += gD3D.targetOffsetX;
  c->originY += gD3D.targetOffsetY;
  GetGraphExtent(gDrawState.drawScreen, &c->extentWidth, &c->extentHeight);
  if (c->source == nullptr) return false;
  return x1 >= 0 && x1 < x2 && y1 >= 0 && y1 < y2 && x1 <= c->extentWidth && y1 <= c->extentHeight &&
         x2 - x1 <= g->width && y2 - y1 <= g->height;
}

// The part of tile `i` that lies on the screen; false when it gets nothing (or its handle is bad,
// then `bad` is set).
bool TileToCopy(const Capture& c, uint32_t i, TileCopy* out, bool* bad) {
  *bad = false;
  Surface3DDataRecord* t = GetSurface3DData(c.graph->parts[i]);
  SurfaceDataRecord* d = t != nullptr ? GetSurfaceDataRecord(t->surfaceData) : nullptr;
  if (d == nullptr || d->surface == nullptr) {
    *bad = true;
    return false;
  }
  if (c.x1 + t->graphX > c.extentWidth || c.y1 + t->graphY > c.extentHeight) return false;
  const int w = std::min<int>(t->width, c.extentWidth - t->graphX - c.x1);
  const int h = std::min<int>(t->height, c.extentHeight - t->graphY - c.y1);
  if (w <= 0 || h <= 0) return false;
  const int left = c.originX + c.x1 + t->graphX;
  const int top = c.originY + c.y1 + t->graphY;
  *out = TileCopy{t, d, plat::RECT{left, top, left + w, top + h}, w, h};
  return true;
}

// Where a tile's copy lies in its texture (and in a work texture of the texture's size).
plat::RECT CopiedRect(const TileCopy& t) {
  return plat::RECT{t.tile->textureX, t.tile->textureY, t.tile->textureX + t.width, t.tile->textureY + t.height};
}

const ColorData* TextureFormatOf(const SurfaceDataRecord* d) {
  return D3D_GetTextureFormatInfo(static_cast<int>(d->formatCode));
}

// Texture formats with alpha get alpha 0 on the transparent colour and full alpha elsewhere.
int TransparentFlag(const SurfaceDataRecord* d) {
  const ColorData* f = TextureFormatOf(d);
  return f != nullptr && f->alphaWidth != 0 ? 1 : 0;
}

plat::IDirectDrawSurface7* CreateWorkTexture(const SurfaceDataRecord* d, plat::HRESULT* result) {
  plat::DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof(desc);
  desc.dwFlags = plat::DDSD_CAPS | plat::DDSD_WIDTH | plat::DDSD_HEIGHT | plat::DDSD_PIXELFORMAT;
  desc.ddsCaps.dwCaps = plat::DDSCAPS_TEXTURE | plat::DDSCAPS_SYSTEMMEMORY;
  desc.dwWidth = d->width;
  desc.dwHeight = d->height;
  const plat::DDPIXELFORMAT* pf = D3D_GetTextureDDPixelFormat(static_cast<int>(d->formatCode));
  if (pf != nullptr) desc.ddpfPixelFormat = *pf;
  plat::IDirectDrawSurface7* surface = nullptr;
  *result = gScreen.directDraw->CreateSurface(&desc, &surface, nullptr);
  return *result == plat::DD_OK ? surface : nullptr;
}

// Method 5: blit into the screen's work surface, then convert into each locked tile. Only the part of
// the screen the tiles receive is blitted and read, and the work surface is locked for reading.
int CaptureThroughWorkSurface(const Capture& c) {
  plat::IDirectDrawSurface7* work = GetWorkSurface();
  if (work == nullptr) return -1;
  const int w = std::min<int>(c.graph->width, c.extentWidth - c.x1);
  const int h = std::min<int>(c.graph->height, c.extentHeight - c.y1);
  if (w <= 0 || h <= 0) return -1;
  const plat::RECT src = {c.originX + c.x1, c.originY + c.y1, c.originX + c.x1 + w, c.originY + c.y1 + h};
  if (BlitSurfaceRect(work, c.source, 0, 0, &src, -1) != 0) return -1;
  plat::RECT lockRect = {0, 0, w, h};
  plat::DDSURFACEDESC2 workDesc{};
  workDesc.dwSize = sizeof(workDesc);
  plat::HRESULT hr = work->Lock(&lockRect, &workDesc, plat::DDLOCK_WAIT | plat::DDLOCK_READONLY, nullptr);
  if (hr != plat::DD_OK) {
    LogFmtAdd("Error  G_D3D_GetDrawScreenGraphFunction5 　作業用テクスチャサーフェスのロックに失敗しました  Lock  "
              "ReturnValue:%d",
              static_cast<int>(hr));
    return -1;
  }
  for (uint32_t i = 0; i < c.graph->partCount; ++i) {
    TileCopy t{};
    bool bad = false;
    if (!TileToCopy(c, i, &t, &bad)) continue;
    plat::RECT tileRect = {t.tile->textureX, t.tile->textureY, t.tile->textureX + t.width, t.tile->textureY + t.height};
    plat::DDSURFACEDESC2 desc{};
    desc.dwSize = sizeof(desc);
    hr = t.data->surface->Lock(&tileRect, &desc, plat::DDLOCK_WAIT | plat::DDLOCK_WRITEONLY, nullptr);
    if (hr != plat::DD_OK) {
      LogFmtAdd("Error  G_D3D_GetDrawScreenGraphFunction5 　転送先テクスチャサーフェスのロックに失敗しました  Lock  "
                "ReturnValue:%d",
                static_cast<int>(hr));
      work->Unlock(&lockRect);
      return -1;
    }
    const plat::RECT from = {t.tile->graphX, t.tile->graphY, t.tile->graphX + t.width, t.tile->graphY + t.height};
    ConvertImageColor(desc.lpSurface, static_cast<int>(desc.lPitch), TextureFormatOf(t.data), workDesc.lpSurface,
                      static_cast<int>(workDesc.lPitch), GetDisplayPaletteData(), nullptr, 0, nullptr, 0, 0, &from, 0,
                      TransparentFlag(t.data), t.data->transColor, GetImageConvertOption(), 0, 0, 0, 0);
    t.data->surface->Unlock(&tileRect);
    SetSurfaceDataColorKey(t.tile->surfaceData);
  }
  work->Unlock(&lockRect);
  return 0;
}

// Method 1: BltFast from the draw surface into each tile texture.
int CaptureByBltFast(const Capture& c) {
  for (uint32_t i = 0; i < c.graph->partCount; ++i) {
    TileCopy t{};
    bool bad = false;
    if (!TileToCopy(c, i, &t, &bad)) {
      if (bad) return -1;
      continue;
    }
    const plat::HRESULT hr =
        t.data->surface->BltFast(t.tile->textureX, t.tile->textureY, c.source, &t.source, plat::DDBLTFAST_NOCOLORKEY);
    if (hr != plat::DD_OK) {
      LogFmtAdd("Error G_D3D_GetDrawScreenGraphFunction1  BltFast ReturnValue:%d", static_cast<int>(hr));
      return -1;
    }
    SetSurfaceDataColorKey(t.tile->surfaceData);
  }
  return 0;
}

// GDI copy of one tile's part of the screen into a work texture; the work texture or null (logged
// with the method's own messages). `messages` holds CreateSurface, GetDC, BitBlt, ReleaseDC lines.
plat::IDirectDrawSurface7* CopyIntoWorkTexture(plat::HDC screenDc, const TileCopy& t, const char* const messages[4]) {
  plat::HRESULT hr = plat::DD_OK;
  plat::IDirectDrawSurface7* work = CreateWorkTexture(t.data, &hr);
  if (work == nullptr) {
    LogFmtAdd(messages[0], static_cast<int>(hr));
    return nullptr;
  }
  plat::HDC dc = nullptr;
  hr = work->GetDC(&dc);
  if (hr != plat::DD_OK) {
    LogFmtAdd(messages[1], static_cast<int>(hr));
    work->Release();
    return nullptr;
  }
  if (!plat::BitBlt(dc, t.tile->textureX, t.tile->textureY, t.width, t.height, screenDc, t.source.left, t.source.top,
                    plat::SRCCOPY)) {
    LogFmtAdd(messages[2], static_cast<unsigned>(plat::GetLastError()));
    work->ReleaseDC(dc);
    work->Release();
    return nullptr;
  }
  hr = work->ReleaseDC(dc);
  if (hr != plat::DD_OK) {
    LogFmtAdd(messages[3], static_cast<int>(hr));
    work->Release();
    return nullptr;
  }
  return work;
}

// Methods 3 and 4: GDI from the screen into a system-memory work texture per tile, then `move` carries
// the copied rectangle into the tile (0, or -1 once it has logged why not). Only the copied rectangle
// moves on: the rest of the texture (the graph beyond the screen's edge, a derived graph's
// neighbours) keeps its pixels.
template <class Move>
int CaptureThroughWorkTextures(const Capture& c, int method, const char* const messages[4], Move move) {
  plat::HDC screenDc = nullptr;
  const plat::HRESULT hr = c.source->GetDC(&screenDc);
  if (hr != plat::DD_OK) {
    LogFmtAdd("Error  G_D3D_GetDrawScreenGraphFunction%d 　ＤＣ取得に失敗しました  GetDC  ReturnValue:%d", method,
              static_cast<int>(hr));
    return -1;
  }
  int result = 0;
  for (uint32_t i = 0; i < c.graph->partCount; ++i) {
    TileCopy t{};
    bool bad = false;
    if (!TileToCopy(c, i, &t, &bad)) continue;
    plat::IDirectDrawSurface7* work = CopyIntoWorkTexture(screenDc, t, messages);
    if (work == nullptr) {
      result = -1;
      break;
    }
    const int moved = move(t, work);
    work->Release();
    if (moved != 0) {
      result = -1;
      break;
    }
    SetSurfaceDataColorKey(t.tile->surfaceData);
  }
  c.source->ReleaseDC(screenDc);
  return result;
}

// Method 3: a locked conversion from the work texture into the tile.
int CaptureThroughWorkTexture(const Capture& c) {
  static const char* const kMessages[4] = {
      "Error  G_D3D_GetDrawScreenGraphFunction3 　作業用テクスチャサーフェスの作成に失敗しました  CreateSurface  ReturnValue:%d",
      "Error  G_D3D_GetDrawScreenGraphFunction3 　作業用テクスチャサーフェスのＤＣ取得に失敗しました  GetDC  ReturnValue:%d",
      "Error  G_D3D_GetDrawScreenGraphFunction3 　作業用テクスチャサーフェスへのイメージ転送に失敗しました  BitBlt  ErrorCode:%x",
      "Error  G_D3D_GetDrawScreenGraphFunction3 　作業用テクスチャサーフェスのＤＣ解放に失敗しました  ReleaseDC  ReturnValue:%d"};
  return CaptureThroughWorkTextures(c, 3, kMessages, [](const TileCopy& t, plat::IDirectDrawSurface7* work) {
    plat::RECT copied = CopiedRect(t);
    plat::DDSURFACEDESC2 tileDesc{};
    tileDesc.dwSize = sizeof(tileDesc);
    plat::HRESULT hr = t.data->surface->Lock(&copied, &tileDesc, plat::DDLOCK_WAIT | plat::DDLOCK_WRITEONLY, nullptr);
    if (hr != plat::DD_OK) {
      LogFmtAdd("Error  G_D3D_GetDrawScreenGraphFunction3 　転送先テクスチャサーフェスのロックに失敗しました  Lock  "
                "ReturnValue:%d",
                static_cast<int>(hr));
      return -1;
    }
    plat::DDSURFACEDESC2 workDesc{};
    workDesc.dwSize = sizeof(workDesc);
    hr = work->Lock(nullptr, &workDesc, plat::DDLOCK_WAIT | plat::DDLOCK_READONLY, nullptr);
    if (hr != plat::DD_OK) {
      LogFmtAdd("Error  G_D3D_GetDrawScreenGraphFunction3 　作業用テクスチャサーフェスのロックに失敗しました  Lock  "
                "ReturnValue:%d",
                static_cast<int>(hr));
      t.data->surface->Unlock(&copied);
      return -1;
    }
    const ColorData* format = TextureFormatOf(t.data);
    ConvertImageColor(tileDesc.lpSurface, static_cast<int>(tileDesc.lPitch), format, workDesc.lpSurface,
                      static_cast<int>(workDesc.lPitch), format, nullptr, 0, nullptr, 0, 0, &copied, 0,
                      TransparentFlag(t.data), t.data->transColor, GetImageConvertOption(), 0, 0, 0, 0);
    work->Unlock(nullptr);
    t.data->surface->Unlock(&copied);
    return 0;
  });
}

// Method 2: GDI straight into each tile texture's DC.
int CaptureIntoTextureDc(const Capture& c) {
  plat::HDC screenDc = nullptr;
  plat::HRESULT hr = c.source->GetDC(&screenDc);
  if (hr != plat::DD_OK) {
    LogFmtAdd("Error  G_D3D_GetDrawScreenGraphFunction2  ＤＣ取得に失敗しました  GetDC ReturnValue:%d", static_cast<int>(hr));
    return -1;
  }
  int result = 0;
  for (uint32_t i = 0; i < c.graph->partCount; ++i) {
    TileCopy t{};
    bool bad = false;
    if (!TileToCopy(c, i, &t, &bad)) {
      if (bad) {
        result = -1;
        break;
      }
      continue;
    }
    plat::HDC dc = nullptr;
    hr = t.data->surface->GetDC(&dc);
    if (hr != plat::DD_OK) {
      LogFmtAdd("Error  G_D3D_GetDrawScreenGraphFunction2 　作業用テクスチャサーフェスのＤＣ取得に失敗しました  GetDC "
                "ReturnValue:%d",
                static_cast<int>(hr));
      result = -1;
      break;
    }
    if (!plat::BitBlt(dc, t.tile->textureX, t.tile->textureY, t.width, t.height, screenDc, t.source.left, t.source.top,
                      plat::SRCCOPY)) {
      LogFmtAdd("Error  G_D3D_GetDrawScreenGraphFunction2 　作業用テクスチャサーフェスへのイメージ転送に失敗しました  BitBlt  "
                "ErrorCode:%x",
                static_cast<unsigned>(plat::GetLastError()));
      t.data->surface->ReleaseDC(dc);
      result = -1;
      break;
    }
    hr = t.data->surface->ReleaseDC(dc);
    if (hr != plat::DD_OK) {
      LogFmtAdd("Error  G_D3D_GetDrawScreenGraphFunction2 　作業用テクスチャサーフェスのＤＣ解放に失敗しました  ReleaseDC "
                "ReturnValue:%d",
                static_cast<int>(hr));
      result = -1;
      break;
    }
    SetSurfaceDataColorKey(t.tile->surfaceData);
  }
  c.source->ReleaseDC(screenDc);
  return result;
}

// Method 4: the device's Load from the work texture into the tile texture.
int CaptureByLoad(const Capture& c) {
  D3DDeviceRecord* dev = CurrentDevice();
  if (dev == nullptr) return -1;
  static const char* const kMessages[4] = {
      "Error  G_D3D_GetDrawScreenGraphFunction4 　作業用テクスチャサーフェスの作成に失敗しました  CreateSurface  ReturnValue:%d",
      "Error  G_D3D_GetDrawScreenGraphFunction4 　作業用テクスチャサーフェスのＤＣ取得に失敗しました  GetDC  ReturnValue:%d",
      "Error  G_D3D_GetDrawScreenGraphFunction4 　作業用テクスチャサーフェスへのイメージ転送に失敗しました  BitBlt  ErrorCode:%x",
      "Error  G_D3D_GetDrawScreenGraphFunction4 　作業用テクスチャサーフェスのＤＣ解放に失敗しました  ReleaseDC  ReturnValue:%d"};
  return CaptureThroughWorkTextures(c, 4, kMessages, [&](const TileCopy& t, plat::IDirectDrawSurface7* work) {
    plat::POINT at = {t.tile->textureX, t.tile->textureY};
    plat::RECT whole = CopiedRect(t);
    // A busy texture is restored and tried again, ten times in all.
    plat::HRESULT hr = plat::D3D_OK;
    for (int attempt = 0; attempt < 10; ++attempt) {
      hr = dev->device->Load(t.data->surface, &at, work, &whole, 0);
      if (hr != plat::DDERR_SURFACEBUSY) break;
      t.data->surface->Restore();
      plat::Sleep(1);
    }
    if (hr == plat::D3D_OK) return 0;
    int sw = 0;
    int sh = 0;
    GetScreenPixelSize(&sw, &sh);
    LogFmtAdd("hr:%d  W:%d  H:%d  FullMode:%d  Point x:%d y:%d   Rect top:%d bottom:%d left:%d right:%d",
              static_cast<int>(hr), sw, sh, gSettings.windowMode ? 0 : 1, at.x, at.y, whole.top, whole.bottom,
              whole.left, whole.right);
    LogFmtAdd("AlphaCh:%d  AlphaTest:%d  ColorBitDepth:%d", t.data->format.alpha, t.data->format.alphaTest,
              t.data->format.colorBitDepth);
    LogFmtAdd("ScreenColor:%d  SizeX:%d  SizeY:%d  DrawPointX:%d  DrawPointY:%d  WndRect.left:%d  WndRect.top:%d  "
              "left:%d  top:%d",
              GetScreenColorBitDepth(), sw, sh, t.tile->textureX, t.tile->textureY, c.originX, c.originY,
              static_cast<int>(t.source.left), static_cast<int>(t.source.top));
    return -1;
  });
}

using CaptureMethod = int (*)(const Capture&);
constexpr CaptureMethod kCaptureMethods[] = {CaptureThroughWorkSurface, CaptureByBltFast, CaptureThroughWorkTexture,
                                             CaptureIntoTextureDc, CaptureByLoad};
constexpr int kCaptureMethodCount = 5;

int RunMethod(int position, int x1, int y1, int x2, int y2, GraphRecord* g) {
  Capture c{};
  if (!Prepare(x1, y1, x2, y2, g, &c)) return -1;
  return kCaptureMethods[position](c);
}

}  // namespace

int D3D_GetDrawScreenGraph(int x1, int y1, int x2, int y2, GraphRecord* g, int) {
  if (!D3DStarted()) return -1;
  if (gD3D.target2D) return 0;
  D3DDeviceRecord* dev = CurrentDevice();
  if (dev != nullptr) {
    D3D_DeviceFlushVertex(dev);
    D3D_EndScene(dev);
  }
  const Surface3DDataRecord* first = g->partCount != 0 ? GetSurface3DData(g->parts[0]) : nullptr;
  const SurfaceDataRecord* d = first != nullptr ? GetSurfaceDataRecord(first->surfaceData) : nullptr;
  if (d == nullptr) return -1;
  int32_t& memory = (d->format.alpha || d->format.alphaTest) ? gD3D.captureMethodAlpha : gD3D.captureMethodPlain;
  if (memory != -1) {
    const int result = RunMethod(memory, x1, y1, x2, y2, g);
    if (result >= 0) return result;
  }
  for (memory = 0; memory < kCaptureMethodCount; ++memory) {
    if (RunMethod(memory, x1, y1, x2, y2, g) == 0) return 0;
  }
  memory = -1;
  return -1;
}

}  // namespace orbel
