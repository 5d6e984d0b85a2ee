// 2D surface records: the table, creation and deletion, derived windows, transfers of pictures into
// surfaces, restore and fill, the blend graph's memory image, and the draw-target selection.
#include "orbel/graphics/surface2d.h"

#include <algorithm>
#include <cstring>

#include "orbel/core/log.h"
#include "orbel/core/memory.h"
#include "orbel/core/menu.h"
#include "orbel/core/window_mode.h"
#include "orbel/graphics/backend_2d.h"
#include "orbel/graphics/d3d/d3d_system.h"
#include "orbel/graphics/direct_draw.h"
#include "orbel/graphics/draw_state.h"
#include "orbel/graphics/graph_load.h"
#include "orbel/graphics/graph_pixels.h"
#include "orbel/graphics/graphics_manager.h"
#include "orbel/graphics/screen_present.h"
#include "orbel/graphics/screen_road.h"
#include "orbel/graphics/screen_state.h"
#include "orbel/image/color_convert.h"
#include "orbel/image/color_data.h"
#include "orbel/softrender/blend_tables.h"
#include "orbel/movie/movie_system.h"
#include "orbel/softrender/mem_img.h"
#include "platform/ddraw/ddraw.h"
#include "platform/win/gdi/gdi_dib.h"

namespace orbel {

Surface2DTable gSurface2DTable;
bool gDeferSurfaceLayers = false;

namespace {

// Window mode, GDI output or a shown menu: the primary must be clipped to the window.
bool WindowOrGdiOutput() { return GetWindowModeFlag() || gScreen.gdiOutputRequest || CheckMenuDisplay(); }

// The pixel value of the transparent-colour setting in a palette image's format, matched against the
// palette: the first equal entry's index, or 0.
uint32_t FindPaletteTransIndex(const MemImg* img, uint32_t transColor) {
  const MemImgBase* base = img->base;
  const ColorData* cd = GetMemImgColorData(base->colorType, 0, 0);
  const uint32_t key = GetFormatColorValue(cd, (transColor >> 16) & 0xFF, (transColor >> 8) & 0xFF,
                                           transColor & 0xFF, 255);
  for (uint32_t i = 0; i < 256; ++i) {
    if (base->colorType == kMemImgX8R8G8B8) {
      uint32_t entry;
      memcpy(&entry, base->palette + i * 4, 4);
      if ((entry & 0xFFFFFF) == (key & 0xFFFFFF)) return i;
    } else {
      uint16_t entry;
      memcpy(&entry, base->palette + i * 2, 2);
      if (entry == static_cast<uint16_t>(key)) return i;
    }
  }
  return 0;
}

// A GraphImage over a GDI bitmap's bits, rows rounded up to 4 bytes.
bool DescribeBitmap(plat::HBITMAP bitmap, const ColorData* format, GraphImage* out) {
  plat::BITMAP info{};
  if (bitmap == nullptr || format == nullptr || plat::GetObjectA(bitmap, sizeof(info), &info) == 0 || info.bmBits == nullptr) return false;
  *out = GraphImage{};
  out->format = *format;
  out->width = static_cast<uint32_t>(info.bmWidth);
  out->height = static_cast<uint32_t>(info.bmHeight < 0 ? -info.bmHeight : info.bmHeight);
  out->pitch = (out->width * format->bytesPerPixel + 3) & ~3u;
  out->pixels = info.bmBits;
  return true;
}

}  // namespace

// ---- Records ----------------------------------------------------------------------------------------

int AddSurface2D(int width, int height, int positionX, int positionY, int ownerGraph,
                 const Surface2DRecord* parent, int offsetX, int offsetY, const GraphFormatBlock* format) {
  if (!DisplayUp()) return LogAdd("ＱＶライブラリが初期化されていません\n");
  if (gSurface2DTable.IsFull()) return LogAdd("２Ｄグラフィックの量が許容量を越えました\n");
  auto* r = static_cast<Surface2DRecord*>(MemCalloc(sizeof(Surface2DRecord), "Surface2D", __LINE__));
  if (r == nullptr) return LogAdd("メモリの確保に失敗しました in AddSurface2D \n");
  if (parent != nullptr) {
    if (AddSurfaceDataRef(parent->surfaceData) < 0) {
      MemFree(r);
      return -1;
    }
    r->surfaceData = parent->surfaceData;
  } else {
    r->surfaceData = AddSurfaceData(1, width, height, gDrawState.transColor, format);
    if (r->surfaceData == -1) {
      MemFree(r);
      return LogAdd("メモリの確保に失敗しました in AddSurface2D \n");
    }
  }
  r->positionX = static_cast<uint16_t>(positionX);
  r->positionY = static_cast<uint16_t>(positionY);
  r->offsetX = static_cast<uint16_t>(offsetX);
  r->offsetY = static_cast<uint16_t>(offsetY);
  r->width = static_cast<uint16_t>(width);
  r->height = static_cast<uint16_t>(height);
  r->ownerGraph = ownerGraph;
  return gSurface2DTable.Insert(r);
}

Surface2DRecord* GetSurface2DRecord(int handle) { return gSurface2DTable.Lookup(handle); }

int SetSurface2DDeleteNotify(int handle, int32_t* notify) {
  Surface2DRecord* r = gSurface2DTable.Lookup(handle);
  if (r == nullptr) return -1;
  r->deleteNotify = notify;
  if (notify != nullptr) *notify = 0;
  return 0;
}

int DeleteSurface2D(int handle) {
  Surface2DRecord* r = gSurface2DTable.Remove(handle);
  if (r == nullptr) return 0;
  if (ReleaseSurfaceDataRef(r->surfaceData) <= 0) DeleteSurfaceData(r->surfaceData);
  // The font caches learn through this that their work surface is gone.
  if (r->deleteNotify != nullptr) *r->deleteNotify = 1;
  MemFree(r);
  return 0;
}

int DeleteAllSurfaces2D() {
  if (!DisplayUp()) return -1;
  gSurface2DTable.DeleteAll([](int32_t h) { DeleteSurface2D(h); });
  return 0;
}

int CreateGraphSurface2D(GraphRecord* graph) {
  const int h = AddSurface2D(graph->width, graph->height, 0, 0, graph->handle, nullptr, 0, 0, &graph->format);
  if (h == -1) return -1;
  graph->parts[0] = h;
  graph->partCount = 1;
  return 0;
}

// NOTE: the window is placed at (x, y) of the shared surface data plus the source record's own
// offset, so that a graph derived from a derived graph shows the pixels its coordinates name.
int DeriveGraphSurface2D(GraphRecord* newGraph, int x, int y, int width, int height, const GraphRecord* source) {
  const Surface2DRecord* src = gSurface2DTable.Lookup(source->parts[0]);
  if (src == nullptr) return -1;
  const int h = AddSurface2D(width, height, 0, 0, newGraph->handle, src, src->offsetX + x, src->offsetY + y,
                             &newGraph->format);
  if (h == -1) return -1;
  newGraph->parts[0] = h;
  newGraph->partCount = 1;
  return 0;
}

// ---- Transfers --------------------------------------------------------------------------------------

int TransferImageToGraphSurfaces(const ColorData* format, plat::HBITMAP bitmap, plat::HBITMAP alphaBitmap,
                                 const plat::RECT* srcRect, int x, int y, int graph, int kind,
                                 const GraphImage* image, const GraphImage* alphaImage) {
  const GraphRecord* g = GetGraphRecord(graph);
  if (g == nullptr) return -1;
  const int w = srcRect->right - srcRect->left;
  const int h = srcRect->bottom - srcRect->top;
  const plat::RECT dest = {x, y, x + w, y + h};
  for (uint32_t i = 0; i < g->partCount; ++i) {
    const Surface2DRecord* piece = gSurface2DTable.Lookup(g->parts[i]);
    if (piece == nullptr) return -1;
    plat::RECT part = {piece->positionX, piece->positionY, piece->positionX + piece->width,
                       piece->positionY + piece->height};
    plat::RECT overlap = dest;
    ClipRect(&overlap, &part);
    if (overlap.right <= overlap.left || overlap.bottom <= overlap.top) continue;
    const plat::RECT src = {srcRect->left + (overlap.left - x), srcRect->top + (overlap.top - y),
                            srcRect->left + (overlap.right - x), srcRect->top + (overlap.bottom - y)};
    if (TransferImageToSurface2D(format, bitmap, alphaBitmap, &src, piece->offsetX + overlap.left - part.left,
                                 piece->offsetY + overlap.top - part.top, g->parts[i], kind, image, alphaImage,
                                 nullptr) == -1) {
      return -1;
    }
  }
  return 0;
}

int TransferImageToSurface2DHandle(const ColorData* format, plat::HBITMAP bitmap, plat::HBITMAP alphaBitmap, int x,
                                   int y, int surface2D, int kind, const GraphImage* image,
                                   const GraphImage* alphaImage, const void* pixels) {
  const Surface2DRecord* r = gSurface2DTable.Lookup(surface2D);
  if (r == nullptr) return -1;
  const plat::RECT src = {x, y, x + r->width, y + r->height};
  return TransferImageToSurface2D(format, bitmap, alphaBitmap, &src, r->offsetX, r->offsetY, surface2D, kind, image,
                                  alphaImage, pixels);
}

namespace {

// The transfer itself; `lockFailure` is the line logged when the DirectDraw destination cannot be
// locked, which names what was being written (a picture or a movie frame).
int TransferIntoSurface2D(const ColorData* format, plat::HBITMAP bitmap, plat::HBITMAP alphaBitmap,
                          const plat::RECT* srcRect, int destX, int destY, int surface2D, int kind,
                          const GraphImage* image, const GraphImage* alphaImage, const char* lockFailure) {
  if (!DisplayUp()) return -1;
  const Surface2DRecord* r = gSurface2DTable.Lookup(surface2D);
  if (r == nullptr) return -1;
  SurfaceDataRecord* d = GetSurfaceDataRecord(r->surfaceData);
  if (d == nullptr) return -1;
  const int w = srcRect->right - srcRect->left;
  const int h = srcRect->bottom - srcRect->top;
  if (kind == kTransferImage && (image == nullptr || image->pixels == nullptr)) return -1;

  // Kind 1 hands GDI bitmaps: read them as images over their bits.
  GraphImage bitmapImage{};
  GraphImage bitmapAlpha{};
  if (kind == kTransferBitmap) {
    if (!DescribeBitmap(bitmap, format, &bitmapImage)) return -1;
    image = &bitmapImage;
    alphaImage = DescribeBitmap(alphaBitmap, format, &bitmapAlpha) ? &bitmapAlpha : nullptr;
  }
  if (image == nullptr || image->pixels == nullptr) return -1;

  if (!d->memImgUse && d->surface != nullptr) {
    // DirectDraw pixels: lock the destination and convert into the display format. On an 8-bit
    // display the converter maps every colour to the nearest entry of the display palette, exactly as
    // MakeColor does (a GDI copy would depend on the palette of the surface's DC).
    plat::RECT lockRect = {destX, destY, destX + w, destY + h};
    plat::DDSURFACEDESC2 desc{};
    desc.dwSize = sizeof(desc);
    if (d->surface->Lock(&lockRect, &desc, plat::DDLOCK_WAIT | plat::DDLOCK_WRITEONLY, nullptr) != plat::DD_OK) {
      return LogAdd(lockFailure);
    }
    ConvertImageColor(desc.lpSurface, static_cast<int>(desc.lPitch), &gScreen.displayColorData, image->pixels,
                      static_cast<int>(image->pitch), &image->format,
                      alphaImage != nullptr ? alphaImage->pixels : nullptr,
                      alphaImage != nullptr ? static_cast<int>(alphaImage->pitch) : 0,
                      alphaImage != nullptr ? &alphaImage->format : nullptr, 0, 0, srcRect, 0, 0, 0,
                      GetImageConvertOption(), 0, 0, 0, 0);
    d->surface->Unlock(&lockRect);
  } else {
    if (!CheckValidMemImg(&d->image)) return -1;
    const bool layers = !gDeferSurfaceLayers;
    if (TransferImageToMemImg(image, alphaImage, &d->image, srcRect->left, srcRect->top, w, h, destX, destY, 1,
                              layers) < 0) {
      return -1;
    }
    if (d->format.alphaTest == 1 && d->image.base->paletted) {
      // The palette exists only after the transfer; the run table it built knew no key yet, so a
      // changed key is followed by a second transfer that builds the table with it.
      const uint32_t key = FindPaletteTransIndex(&d->image, gDrawState.transColor);
      if (key != d->image.base->transColor) {
        d->image.base->transColor = key;
        TransferImageToMemImg(image, alphaImage, &d->image, srcRect->left, srcRect->top, w, h, destX, destY, 1, layers);
      }
    }
  }
  SetSurfaceDataColorKey(r->surfaceData);
  return 0;
}

}  // namespace

int TransferImageToSurface2D(const ColorData* format, plat::HBITMAP bitmap, plat::HBITMAP alphaBitmap,
                             const plat::RECT* srcRect, int destX, int destY, int surface2D, int kind,
                             const GraphImage* image, const GraphImage* alphaImage, const void*) {
  return TransferIntoSurface2D(format, bitmap, alphaBitmap, srcRect, destX, destY, surface2D, kind, image, alphaImage,
                               "２Ｄサーフェスのロックに失敗しました");
}

int BuildPendingGraphLayers(int graph) {
  const GraphRecord* g = GetGraphRecord(graph);
  if (g == nullptr) return -1;
  if (g->format.texture) return 0;
  for (uint32_t i = 0; i < g->partCount; ++i) {
    const Surface2DRecord* r = gSurface2DTable.Lookup(g->parts[i]);
    SurfaceDataRecord* d = r != nullptr ? GetSurfaceDataRecord(r->surfaceData) : nullptr;
    if (d != nullptr && d->memImgUse) BuildPendingMemImgLayers(&d->image);
  }
  return 0;
}

// ---- Restore and fill -------------------------------------------------------------------------------

int RestoreGraphSurfaces2D(int graph) {
  const GraphRecord* g = GetGraphRecord(graph);
  if (g == nullptr) return -1;
  int result = 0;
  for (uint32_t i = 0; i < g->partCount; ++i) {
    const Surface2DRecord* r = gSurface2DTable.Lookup(g->parts[i]);
    if (r != nullptr) result |= RestoreSurfaceDataSurface(r->surfaceData);
  }
  return result;
}

int RestoreAllSurfaces2D() {
  int result = RestoreLostMainSurfaces();
  int lost = 0;
  for (uint32_t slot = 0; slot < gSurface2DTable.areaEnd; ++slot) {
    const Surface2DRecord* r = gSurface2DTable.records[slot];
    if (r != nullptr) lost |= RestoreSurfaceDataSurface(r->surfaceData);
  }
  // A restored surface comes back without its pixels: the graphs are reloaded from their files.
  if (lost != 0) RestoreGraphsAfterLoss();
  return result | lost;
}

int FillGraphSurfaces(int graph, int red, int green, int blue, int alpha) {
  const GraphRecord* g = GetGraphRecord(graph);
  if (g == nullptr) return -1;
  if (gScreen.graphicsInitialised) D3D_EndSceneCurrent();
  D3D_FlushVertex();
  for (uint32_t i = 0; i < g->partCount; ++i) {
    const Surface2DRecord* r = gSurface2DTable.Lookup(g->parts[i]);
    if (r == nullptr) return -1;
    // Only the piece's own window: a derived graph must not clear its siblings' pixels.
    const plat::RECT window = {r->offsetX, r->offsetY, r->offsetX + r->width, r->offsetY + r->height};
    if (FillSurfaceDataColor(r->surfaceData, &window, red, green, blue, alpha) == -1) return -1;
  }
  return 0;
}

int SetBlendGraphWeights(int, int threshold, int range) {
  MakeBlendGraphWeightTable(threshold, range);
  return 0;
}

const MemImg* GetBlendGraphMemImg() {
  if (gDrawState.blendGraph == -1) return nullptr;
  const GraphRecord* g = GetGraphRecord(gDrawState.blendGraph);
  if (g == nullptr || g->format.texture) return nullptr;
  const Surface2DRecord* r = gSurface2DTable.Lookup(g->parts[0]);
  if (r == nullptr) return nullptr;
  const SurfaceDataRecord* d = GetSurfaceDataRecord(r->surfaceData);
  if (d == nullptr || !CheckValidMemImg(&d->image)) return nullptr;
  // Only a single-channel weight image can weight a draw; any other would make the draw do nothing.
  if (d->image.base->colorType != kMemImgSingle8) return nullptr;
  return &d->image;
}

// ---- Draw target ------------------------------------------------------------------------------------

int SelectDrawScreenSurface(int newScreen, int previousScreen) {
  const bool hardware = !SoftwareRendering();
  gScreen.targetImage = nullptr;
  if (previousScreen == kDrawScreenFront && gScreen.separateFrontSurface) StopFrontScreenRedraw();

  if (newScreen == kDrawScreenFront) {
    gScreen.targetSurface = gScreen.separateFrontSurface ? gScreen.frontSurface : gScreen.primarySurface;
    gScreen.targetImage = CheckValidMemImg(&gScreen.frontImage) ? &gScreen.frontImage : nullptr;
    gScreen.targetZImage = nullptr;
    gScreen.targetX = 0;
    gScreen.targetY = 0;
    if (hardware && gScreen.primarySurface != nullptr) {
      if (WindowOrGdiOutput()) {
        gScreen.primarySurface->SetClipper(nullptr);
      }
      if (gScreen.separateFrontSurface) {
        gScreen.primarySurface->SetClipper(gScreen.mainClipper);
        StartFrontScreenRedraw();
      }
    }
  } else if (newScreen == kDrawScreenBack) {
    gScreen.targetSurface = gScreen.backSurface;
    gScreen.targetImage = CheckValidMemImg(&gScreen.backImage) ? &gScreen.backImage : nullptr;
    gScreen.targetZImage = CheckValidMemImg(&gScreen.zImage) ? &gScreen.zImage : nullptr;
    gScreen.targetX = 0;
    gScreen.targetY = 0;
  } else {
    GraphRecord* g = GetGraphRecord(newScreen);
    if (g == nullptr) return -1;
    if (g->format.texture) {
      // A draw-valid texture graph of one tile: its texture is the surface 2D operations aim at.
      int x = 0;
      int y = 0;
      plat::IDirectDrawSurface7* surface = D3D_GetDrawTargetTexture(g, &x, &y);
      if (surface == nullptr) return -1;
      gScreen.targetSurface = surface;
      gScreen.targetImage = nullptr;
      gScreen.targetZImage = nullptr;
      gScreen.targetX = x;
      gScreen.targetY = y;
    } else {
      const Surface2DRecord* r = gSurface2DTable.Lookup(g->parts[0]);
      if (r == nullptr) return -1;
      SurfaceDataRecord* d = GetSurfaceDataRecord(r->surfaceData);
      if (d == nullptr) return -1;
      if (!d->memImgUse && d->surface != nullptr) {
        gScreen.targetSurface = d->surface;
        gScreen.targetImage = nullptr;
        gScreen.targetX = r->offsetX;
        gScreen.targetY = r->offsetY;
      } else {
        gScreen.targetSurface = nullptr;
        gScreen.targetImage = &d->image;
        gScreen.targetX = 0;
        gScreen.targetY = 0;
      }
      gScreen.targetZImage = CheckValidMemImg(&d->depthImage) ? &d->depthImage : nullptr;
    }
  }

  if (hardware && newScreen != kDrawScreenFront && gScreen.primarySurface != nullptr &&
      (WindowOrGdiOutput())) {
    gScreen.primarySurface->SetClipper(gScreen.mainClipper);
  }
  gScreen.targetInVideoMemory = 0;
  if (gScreen.targetSurface != nullptr) {
    plat::DDSCAPS2 caps{};
    if (gScreen.targetSurface->GetCaps(&caps) == plat::DD_OK && (caps.dwCaps & plat::DDSCAPS_VIDEOMEMORY)) {
      gScreen.targetInVideoMemory = 1;
    }
  }
  return 0;
}

int BlitSurfaceRect(plat::IDirectDrawSurface7* dest, plat::IDirectDrawSurface7* src, int x, int y,
                    const plat::RECT* srcRect, int method) {
  if (dest == nullptr || src == nullptr) return -1;
  if (method == -1) method = static_cast<int>(gScreen.copyMethod);
  // Palette pixels are indices: only a raw copy keeps them (a GDI copy matches colours again).
  if (GetDisplayColorBitDepth() == 8) method = 0;
  plat::RECT r = *srcRect;
  if (method == 0) return dest->BltFast(x, y, src, &r, 0) == plat::DD_OK ? 0 : -1;
  plat::HDC destDC = nullptr;
  plat::HDC srcDC = nullptr;
  if (dest->GetDC(&destDC) != plat::DD_OK) return -1;
  if (src->GetDC(&srcDC) != plat::DD_OK) {
    dest->ReleaseDC(destDC);
    return -1;
  }
  const int ok = plat::BitBlt(destDC, x, y, r.right - r.left, r.bottom - r.top, srcDC, r.left, r.top, plat::SRCCOPY);
  src->ReleaseDC(srcDC);
  dest->ReleaseDC(destDC);
  return ok ? 0 : -1;
}

int RectBackend2D(int x1, int y1, int x2, int y2, uint32_t color) {
  const int32_t p = static_cast<int32_t>(gDrawState.blendParam);
  const MemImgLine lines[4] = {
      {x1, y1, x2 - 1, y1, color, p},
      {x2 - 1, y1, x2 - 1, y2 - 1, color, p},
      {x2 - 1, y2 - 1, x1, y2 - 1, color, p},
      {x1, y2 - 1, x1, y1, color, p},
  };
  return DrawLineSetBackend2D(lines, 4);
}

// ---- Movie frames -----------------------------------------------------------------------------------

int TransferMovieFrameToSurface(void* movie, GraphRecord* graph) {
  static constexpr char kMovieLockFailure[] = "ムービーグラフィック転送先サーフェスのロックに失敗しました";
  if (graph->format.texture) D3D_UpdateMovieTexture(movie, graph);
  const GraphImage* frame = nullptr;
  if (GetMovieFrameImage(movie, &frame) != 0 || frame == nullptr) return 0;
  if (graph->format.texture) return 0;
  const Surface2DRecord* r = gSurface2DTable.Lookup(graph->parts[0]);
  if (r == nullptr) return -1;
  MovieGraphInfo info{};
  GetMovieGraphInfo(graph->movie, &info);
  if (info.alpha) {
    // Left half colour, right half alpha.
    GraphImage colour = *frame;
    colour.width = frame->width / 2;
    GraphImage alpha = colour;
    alpha.pixels = static_cast<uint8_t*>(frame->pixels) + colour.width * frame->format.bytesPerPixel;
    const plat::RECT src = {0, 0, graph->width, graph->height};
    return TransferIntoSurface2D(nullptr, nullptr, nullptr, &src, r->offsetX, r->offsetY, graph->parts[0],
                                 kTransferImage, &colour, &alpha, kMovieLockFailure);
  }
  const plat::RECT src = {0, 0, std::min<int>(graph->width, static_cast<int>(frame->width)),
                          std::min<int>(graph->height, static_cast<int>(frame->height))};
  return TransferIntoSurface2D(nullptr, nullptr, nullptr, &src, r->offsetX, r->offsetY, graph->parts[0],
                               kTransferImage, frame, nullptr, kMovieLockFailure);
}

}  // namespace orbel
