// The pixels behind graphs: making, keying, locking, filling and releasing surface data; derived
// graphs; picture transfers into existing graphs; screen capture; DirectDraw pixel-format helpers.
#include "orbel/graphics/graph_pixels.h"

#include <cstring>

#include "orbel/core/log.h"
#include "orbel/core/memory.h"
#include "orbel/core/message_pump.h"
#include "orbel/graphics/backend_2d.h"
#include "orbel/graphics/d3d/d3d_system.h"
#include "orbel/graphics/direct_draw.h"
#include "orbel/graphics/draw_state.h"
#include "orbel/graphics/graph_load.h"
#include "orbel/graphics/graphics_manager.h"
#include "orbel/graphics/graphics_system.h"
#include "orbel/graphics/screen_road.h"
#include "orbel/graphics/screen_state.h"
#include "orbel/graphics/surface2d.h"
#include "orbel/image/color_data.h"
#include "platform/ddraw/ddraw.h"

namespace orbel {

namespace {

uint32_t ChannelValue(const ColorData* format, uint32_t rgb, int alpha) {
  return GetFormatColorValue(format, (rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF, alpha);
}

// Lowest set bit and length of the run of set bits from there; both 0 for an empty mask.
void MaskShiftWidth(uint32_t mask, uint8_t* shift, uint8_t* width) {
  *shift = 0;
  *width = 0;
  if (mask == 0) return;
  while (((mask >> *shift) & 1) == 0) ++*shift;
  while (*shift + *width < 32 && ((mask >> (*shift + *width)) & 1) != 0) ++*width;
}

// Creates a plain off-screen surface, in video memory when asked, else in system memory.
plat::IDirectDrawSurface7* CreatePlainSurface(int width, int height, bool videoMemory) {
  plat::DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof(desc);
  desc.dwFlags = plat::DDSD_CAPS | plat::DDSD_WIDTH | plat::DDSD_HEIGHT;
  desc.ddsCaps.dwCaps = plat::DDSCAPS_OFFSCREENPLAIN |
                        (videoMemory ? plat::DDSCAPS_VIDEOMEMORY | plat::DDSCAPS_3DDEVICE : plat::DDSCAPS_SYSTEMMEMORY);
  desc.dwWidth = static_cast<plat::DWORD>(width);
  desc.dwHeight = static_cast<plat::DWORD>(height);
  plat::IDirectDrawSurface7* surface = nullptr;
  if (gScreen.directDraw->CreateSurface(&desc, &surface, nullptr) != plat::DD_OK) return nullptr;
  return surface;
}

// A texture of a format code; managed by Direct3D unless it is a draw target or asked unmanaged.
plat::IDirectDrawSurface7* CreateTextureSurface(int width, int height, const GraphFormatBlock& f, int code) {
  const plat::DDPIXELFORMAT* pf = D3D_GetTextureDDPixelFormat(code);
  if (pf == nullptr) return nullptr;
  plat::DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof(desc);
  desc.dwFlags = plat::DDSD_CAPS | plat::DDSD_WIDTH | plat::DDSD_HEIGHT | plat::DDSD_PIXELFORMAT;
  desc.ddsCaps.dwCaps = plat::DDSCAPS_TEXTURE | (f.drawValid ? plat::DDSCAPS_3DDEVICE : 0);
  if (!f.drawValid && !f.unmanaged) desc.ddsCaps.dwCaps2 = plat::DDSCAPS2_TEXTUREMANAGE;
  desc.dwWidth = static_cast<plat::DWORD>(width);
  desc.dwHeight = static_cast<plat::DWORD>(height);
  desc.ddpfPixelFormat = *pf;
  plat::IDirectDrawSurface7* surface = nullptr;
  if (gScreen.directDraw->CreateSurface(&desc, &surface, nullptr) != plat::DD_OK) return nullptr;
  return surface;
}

// The colour format of a surface data's pixels.
const ColorData* SurfaceFormat(const SurfaceDataRecord* d) {
  if (d->memImgUse) return d->image.base->colorData;
  if (d->formatCode <= 8) return D3D_GetTextureFormatInfo(static_cast<int>(d->formatCode));
  return &gScreen.displayColorData;
}

void ReleaseDepthSurface(SurfaceDataRecord* d) {
  if (d->depthSurface == nullptr) return;
  if (d->surface != nullptr) d->surface->DeleteAttachedSurface(0, d->depthSurface);
  d->depthSurface->Release();
  d->depthSurface = nullptr;
}

}  // namespace

// ---- Making and releasing ---------------------------------------------------------------------------

int MakeSurfaceDataImage(int handle) {
  SurfaceDataRecord* d = GetSurfaceDataRecord(handle);
  if (d == nullptr) return -1;
  if (d->surface != nullptr || CheckValidMemImg(&d->image)) return 0;
  if (!d->memImgUse && gScreen.directDraw == nullptr) return -1;

  GraphFormatBlock& f = d->format;
  if (f.texture) {
    d->formatCode = static_cast<uint32_t>(TextureFormatCode(f));
    d->surface = CreateTextureSurface(d->width, d->height, f, static_cast<int>(d->formatCode));
    if (d->surface == nullptr) {
      LogAdd("テクスチャサーフェスの作成に失敗しました\n");
      LogFmtAdd("DrawValid:%d  AlphaChFlag%d  AlphaTestFlag:%d  ColorBitDepth:%d", f.drawValid, f.alpha, f.alphaTest,
                f.colorBitDepth);
      return -1;
    }
    plat::DDBLTFX fx{};
    fx.dwSize = sizeof(fx);
    d->surface->Blt(nullptr, nullptr, nullptr, plat::DDBLT_COLORFILL | plat::DDBLT_WAIT, &fx);
    if (d->depthBuffer && SetSurfaceDataDepthBuffer(handle, 1) != 0) {
      ReleaseSurfaceDataSurface(handle);
      return -1;
    }
    return 0;
  }
  if (d->memImgUse) {
    const int type = f.colorBitDepth == 16 ? kMemImgR5G6B5 : kMemImgX8R8G8B8;
    d->formatCode = kSurfaceCodeMemImg16 + 2 * (f.colorBitDepth != 16) + (f.alpha != 0);
    const int paletted = f.paletted && !f.alpha;
    // A palette image gets a key no index can equal, so that nothing of it is skipped by accident.
    const uint32_t key = paletted ? 0xFFFF : ChannelValue(GetMemImgColorData(type, f.alpha, 0), gDrawState.transColor, 255);
    d->image = MemImg{};
    if (InitializeMemImg(&d->image, d->width, d->height, -1, key, type, paletted, f.alpha, 1, nullptr) != 0) {
      d->image = MemImg{};
      return LogAdd("メモリイメージの作成に失敗しました\n");
    }
  } else {
    d->formatCode = kSurfaceCodeDirectDraw;
    int screenWidth = 0;
    GetScreenPixelSize(&screenWidth, nullptr);
    const bool video = f.memImg == 0 && d->width <= screenWidth && !SoftwareScreen();
    d->surface = CreatePlainSurface(d->width, d->height, video);
    if (d->surface == nullptr && video) d->surface = CreatePlainSurface(d->width, d->height, false);
    if (d->surface == nullptr) return LogAdd("標準サーフェスの作成に失敗しました\n");
    plat::DDSCAPS2 caps{};
    d->surface->GetCaps(&caps);
    if ((caps.dwCaps & plat::DDSCAPS_VIDEOMEMORY) == 0) f.memImg = 1;
    f.drawValid = 1;
  }
  if (d->depthBuffer && SetSurfaceDataDepthBuffer(handle, 1) != 0) {
    ReleaseSurfaceDataSurface(handle);
    return -1;
  }
  return 0;
}

int SetSurfaceDataDepthBuffer(int handle, int wanted) {
  SurfaceDataRecord* d = GetSurfaceDataRecord(handle);
  if (d == nullptr) return -1;
  const bool has = d->depthSurface != nullptr || CheckValidMemImg(&d->depthImage);
  d->depthBuffer = wanted ? 1 : 0;
  if (has == (wanted != 0)) return 0;
  if (!d->format.drawValid) return -1;
  if (d->memImgUse) {
    if (!wanted) {
      TerminateMemImg(&d->depthImage);
      return 0;
    }
    d->depthImage = MemImg{};
    return CreateMemImgDepth16(&d->depthImage, d->width, d->height) == 0 ? 0 : -1;
  }
  if (!wanted) {
    ReleaseDepthSurface(d);
    return 0;
  }
  plat::DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof(desc);
  desc.dwFlags = plat::DDSD_CAPS | plat::DDSD_WIDTH | plat::DDSD_HEIGHT | plat::DDSD_PIXELFORMAT;
  desc.ddsCaps.dwCaps = plat::DDSCAPS_ZBUFFER | plat::DDSCAPS_VIDEOMEMORY;
  desc.dwWidth = d->width;
  desc.dwHeight = d->height;
  desc.ddpfPixelFormat.dwSize = sizeof(plat::DDPIXELFORMAT);
  desc.ddpfPixelFormat.dwFlags = plat::DDPF_ZBUFFER;
  desc.ddpfPixelFormat.dwZBufferBitDepth = 16;
  desc.ddpfPixelFormat.dwZBitMask = 0xFFFF;
  if (gScreen.directDraw->CreateSurface(&desc, &d->depthSurface, nullptr) != plat::DD_OK ||
      d->surface->AddAttachedSurface(d->depthSurface) != plat::DD_OK) {
    if (d->depthSurface != nullptr) d->depthSurface->Release();
    d->depthSurface = nullptr;
    return LogAdd("Ｚバッファの作成に失敗しました");
  }
  return 0;
}

int ReleaseSurfaceDataSurface(int handle) {
  SurfaceDataRecord* d = GetSurfaceDataRecord(handle);
  if (d == nullptr) return -1;
  TerminateMemImg(&d->depthImage);
  TerminateMemImg(&d->image);
  d->image = MemImg{};
  d->depthImage = MemImg{};
  ReleaseDepthSurface(d);
  if (d->surface != nullptr) {
    d->surface->Release();
    d->surface = nullptr;
  }
  d->lockCount = 0;
  return 0;
}

int DeleteSurfaceData(int handle) {
  SurfaceDataRecord* d = GetSurfaceDataRecord(handle);
  if (d == nullptr) return -1;
  ReleaseSurfaceDataSurface(handle);
  if (d->deleteNotify != nullptr) *d->deleteNotify = 1;
  gSurfaceDataTable.Remove(handle);
  MemFree(d);
  return 0;
}

int SetSurfaceDataColorKey(int handle) {
  SurfaceDataRecord* d = GetSurfaceDataRecord(handle);
  if (d == nullptr) return -1;
  if (d->surface == nullptr) return 0;  // memory images carry their key in the image
  plat::DDCOLORKEY key{};
  if (d->formatCode <= 8) {
    // Textures: the transparent colour at full alpha, with the alpha and unused bits set as well.
    const ColorData* f = D3D_GetTextureFormatInfo(static_cast<int>(d->formatCode));
    key.dwColorSpaceLowValue = f == nullptr ? 0 : (ChannelValue(f, d->transColor, 255) | f->alphaMask | f->noneMask);
    key.dwColorSpaceHighValue = key.dwColorSpaceLowValue;
    if (d->surface->SetColorKey(plat::DDCKEY_SRCBLT, &key) != plat::DD_OK) {
      return LogAdd("テクスチャサーフェスのカラーキーの設定に失敗しました\n");
    }
    return 0;
  }
  key.dwColorSpaceLowValue = GetDisplayColorBitDepth() == 8
                                 ? 0
                                 : MakeColor((d->transColor >> 16) & 0xFF, (d->transColor >> 8) & 0xFF,
                                             d->transColor & 0xFF);
  key.dwColorSpaceHighValue = key.dwColorSpaceLowValue;
  if (d->surface->SetColorKey(plat::DDCKEY_SRCBLT, &key) != plat::DD_OK) {
    return LogAdd("標準サーフェスのカラーキーの設定に失敗しました\n");
  }
  return 0;
}

int RestoreSurfaceDataSurface(int handle) {
  SurfaceDataRecord* d = GetSurfaceDataRecord(handle);
  if (d == nullptr || d->surface == nullptr) return 0;
  if (d->surface->IsLost() != plat::DDERR_SURFACELOST) return 0;
  d->surface->Restore();
  if (d->depthSurface != nullptr && d->depthSurface->IsLost() == plat::DDERR_SURFACELOST) d->depthSurface->Restore();
  SetSurfaceDataColorKey(handle);
  return -1;
}

// The surfaces of every surface data go (before a display-mode change) and come back afterwards.
int ReleaseAllSurfaceGraphs() {
  for (uint32_t slot = 0; slot < gSurfaceDataTable.areaEnd; ++slot) {
    const int h = gSurfaceDataTable.HandleAt(slot);
    if (h != -1) ReleaseSurfaceDataSurface(h);
  }
  return 0;
}

int RestoreAllSurfaceGraphs() {
  int result = 0;
  for (uint32_t slot = 0; slot < gSurfaceDataTable.areaEnd; ++slot) {
    const int h = gSurfaceDataTable.HandleAt(slot);
    if (h == -1) continue;
    if (MakeSurfaceDataImage(h) != 0) result = -1;
    SetSurfaceDataColorKey(h);
  }
  return result;
}

// ---- Locks and fills --------------------------------------------------------------------------------

int LockGraphSurface(int handle, int* pitch, void** pixels, int writeOnly, const plat::RECT* rect,
                     const ColorData** format) {
  SurfaceDataRecord* d = GetSurfaceDataRecord(handle);
  if (d == nullptr) return -1;
  if (format != nullptr) *format = SurfaceFormat(d);
  if (d->lockCount > 0) {
    ++d->lockCount;
    if (pitch != nullptr) *pitch = d->lockPitch;
    if (pixels != nullptr) *pixels = d->lockPixels;
    return -2;
  }
  if (d->memImgUse) {
    if (!CheckValidMemImg(&d->image)) return -1;
    const int left = rect != nullptr ? rect->left : 0;
    const int top = rect != nullptr ? rect->top : 0;
    d->lockPitch = d->image.base->pitch;
    d->lockPixels = d->image.pixels + MemImgOffset(&d->image, left, top);
  } else {
    if (d->surface == nullptr) return -1;
    plat::DDSURFACEDESC2 desc{};
    desc.dwSize = sizeof(desc);
    plat::RECT r = rect != nullptr ? *rect : plat::RECT{0, 0, d->width, d->height};
    const plat::DWORD flags = plat::DDLOCK_WAIT | (writeOnly ? plat::DDLOCK_WRITEONLY : 0);
    if (d->surface->Lock(&r, &desc, flags, nullptr) != plat::DD_OK) return LogAdd("グラフィックのロックに失敗しました");
    d->lockPitch = static_cast<int32_t>(desc.lPitch);
    d->lockPixels = desc.lpSurface;
  }
  d->lockCount = 1;
  if (pitch != nullptr) *pitch = d->lockPitch;
  if (pixels != nullptr) *pixels = d->lockPixels;
  return 0;
}

int UnlockSurfaceData(int handle, const plat::RECT* rect) {
  SurfaceDataRecord* d = GetSurfaceDataRecord(handle);
  if (d == nullptr || d->lockCount <= 0) return -1;
  if (--d->lockCount > 0) return 0;
  if (!d->memImgUse && d->surface != nullptr) {
    plat::RECT r = rect != nullptr ? *rect : plat::RECT{0, 0, d->width, d->height};
    d->surface->Unlock(&r);
  }
  d->lockPixels = nullptr;
  return 0;
}

int FillSurfaceDataColor(int handle, const plat::RECT* rect, int red, int green, int blue, int alpha) {
  SurfaceDataRecord* d = GetSurfaceDataRecord(handle);
  if (d == nullptr) return -1;
  const uint32_t rgb = static_cast<uint32_t>((red & 0xFF) << 16 | (green & 0xFF) << 8 | (blue & 0xFF));
  if (d->memImgUse) {
    // Memory images have no DirectDraw surface: fill them in their own format.
    if (!CheckValidMemImg(&d->image)) return -1;
    MemImgBase* base = d->image.base;
    FillMemImgRect(&d->image, rect, ChannelValue(base->colorData, rgb, alpha & 0xFF));
    base->runTableValid = 0;
    base->premulValid = 0;
    base->layersPending = 0;
    return 0;
  }
  if (gScreen.directDraw == nullptr || d->surface == nullptr) return -1;
  plat::DDBLTFX fx{};
  fx.dwSize = sizeof(fx);
  const ColorData* format = SurfaceFormat(d);
  if (format == nullptr) return -1;
  fx.dwFillColor = ChannelValue(format, rgb, alpha & 0xFF);
  plat::RECT r = rect != nullptr ? *rect : plat::RECT{0, 0, d->width, d->height};
  return d->surface->Blt(&r, nullptr, nullptr, plat::DDBLT_COLORFILL | plat::DDBLT_WAIT, &fx) == plat::DD_OK ? 0 : -1;
}

// ---- Graph operations -------------------------------------------------------------------------------

int DeriveGraph(int x, int y, int width, int height, int parent) {
  GraphRecord* p = GetGraphRecord(parent);
  if (p == nullptr) return -1;
  // A window must lie inside the parent, or reads and writes would leave its pixels.
  if (x < 0 || y < 0 || x >= p->width || y >= p->height || width <= 0 || height <= 0) return -1;
  if (width > p->width - x) width = p->width - x;
  if (height > p->height - y) height = p->height - y;

  GraphRecord* g = nullptr;
  const int handle = AddGraphRecord(width, height, p->format.texture, &g, p->format.alpha, p->format.paletted);
  g->movie = p->movie;
  g->ownsMovie = 0;
  memcpy(g->fileName, p->fileName, sizeof(g->fileName));
  memcpy(g->directory, p->directory, sizeof(g->directory));
  g->format = p->format;
  g->mirror = p->mirror;
  g->unrestorable = p->unrestorable;
  g->sourceX = p->sourceX + x;
  g->sourceY = p->sourceY + y;
  const int made = g->format.texture ? D3D_DeriveGraphSurface3D(g, x, y, width, height, p)
                                     : DeriveGraphSurface2D(g, x, y, width, height, p);
  if (made != 0) {
    LogAdd("グラフィックの派生に失敗しました終了します");
    g->movie = -1;
    DeleteGraphHandle(handle, 0);  // no half-made graph left in the table
    return -1;
  }
  return handle;
}

int TransferImageToGraph(const plat::RECT* destRect, const char* fileName, const plat::RECT* srcRect,
                         const GraphImage* image, const GraphImage* alphaImage, int graph, int mirror) {
  GraphRecord* g = GetGraphRecord(graph);
  if (g == nullptr) return -1;
  SetGraphFileName(graph, fileName != nullptr ? fileName : "", -1);
  g->sourceX = srcRect->left;
  g->sourceY = srcRect->top;
  g->mirror = mirror ? 1 : 0;
  if (g->format.texture) {
    return D3D_TransferGraphRect(image, alphaImage, srcRect, destRect->left, destRect->top, g);
  }
  return TransferImageToGraphSurfaces(nullptr, nullptr, nullptr, srcRect, destRect->left, destRect->top, graph,
                                      kTransferImage, image, alphaImage);
}

int FillGraphColor(int graph, int red, int green, int blue, int alpha) {
  GraphRecord* g = GetGraphRecord(graph);
  if (g == nullptr) return -1;
  if (g->format.texture) return D3D_FillGraphTextures(g, red, green, blue, alpha);
  return FillGraphSurfaces(graph, red, green, blue, alpha);
}

int CaptureScreenToGraph(int x1, int y1, int x2, int y2, int graph, int flag) {
  GraphRecord* g = GetGraphRecord(graph);
  if (g == nullptr) return -1;
  WaitWhileInactive();
  D3D_EndSceneCurrent();
  if (g->format.texture) return D3D_GetDrawScreenGraph(x1, y1, x2, y2, g, flag);
  return CaptureScreenBackend2D(x1, y1, x2, y2, g, flag);
}

// ---- Pixel formats ----------------------------------------------------------------------------------

int MakeColorDataFromFormat(const plat::DDPIXELFORMAT* format, ColorData* out) {
  *out = ColorData{};
  const uint32_t bits = format->dwRGBBitCount;
  out->bitDepth = static_cast<uint16_t>(bits);
  out->bytesPerPixel = static_cast<uint16_t>(bits / 8);
  out->redMask = format->dwRBitMask;
  out->greenMask = format->dwGBitMask;
  out->blueMask = format->dwBBitMask;
  out->alphaMask = format->dwRGBAlphaBitMask;
  const uint32_t all = bits >= 32 ? 0xFFFFFFFFu : ((1u << bits) - 1);
  out->noneMask = all & ~(out->redMask | out->greenMask | out->blueMask | out->alphaMask);
  MaskShiftWidth(out->redMask, &out->redShift, &out->redWidth);
  MaskShiftWidth(out->greenMask, &out->greenShift, &out->greenWidth);
  MaskShiftWidth(out->blueMask, &out->blueShift, &out->blueWidth);
  MaskShiftWidth(out->alphaMask, &out->alphaShift, &out->alphaWidth);
  MaskShiftWidth(out->noneMask, &out->noneShift, &out->noneWidth);
  return 0;
}

int FillColorData32(plat::DDPIXELFORMAT* format, int bitCount, uint32_t redMask, uint32_t greenMask,
                    uint32_t blueMask, uint32_t alphaMask) {
  *format = plat::DDPIXELFORMAT{};
  format->dwSize = sizeof(plat::DDPIXELFORMAT);
  format->dwFlags = plat::DDPF_RGB;
  format->dwRGBBitCount = static_cast<plat::DWORD>(bitCount);
  format->dwRBitMask = redMask;
  format->dwGBitMask = greenMask;
  format->dwBBitMask = blueMask;
  format->dwRGBAlphaBitMask = alphaMask;
  return 0;
}

}  // namespace orbel
