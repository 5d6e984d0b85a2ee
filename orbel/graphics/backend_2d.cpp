// The 2D draw back-end. Software road: the screens are memory images and the software renderer draws
// straight into the draw target's image. DirectDraw road: a plain copy is a BltFast; everything else
// is drawn by the software renderer into views prepared by BeginSurfaceSoftDraw.
#include "orbel/graphics/backend_2d.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "orbel/core/library_state.h"
#include "orbel/core/memory.h"
#include "orbel/core/window_mode.h"
#include "orbel/font/font_system.h"
#include "orbel/graphics/d3d/d3d_system.h"
#include "orbel/graphics/draw_state.h"
#include "orbel/graphics/graph_pixels.h"
#include "orbel/graphics/graphics_manager.h"
#include "orbel/graphics/mask_screen.h"
#include "orbel/graphics/screen_present.h"
#include "orbel/graphics/screen_road.h"
#include "orbel/graphics/screen_state.h"
#include "orbel/graphics/surface2d.h"
#include "orbel/image/color_convert.h"
#include "orbel/image/color_data.h"
#include "orbel/softrender/box_fill.h"
#include "orbel/softrender/stretch_blit.h"
#include "orbel/softrender/triangle.h"
#include "platform/ddraw/ddraw.h"

namespace orbel {

namespace {

// The software road's destination: the mask screen's image while masked drawing is on.
MemImg* DestImage() { return IsMaskScreenActive() ? GetMaskMemImg() : gScreen.targetImage; }

// A draw wrote into the image: its run table and premultiplied layer no longer describe it.
void MarkDrawn(MemImg* img) {
  if (img != nullptr && img->base != nullptr) {
    img->base->runTableValid = 0;
    img->base->premulValid = 0;
    img->base->layersPending = 0;
  }
}

// A view of a 2D record's window of its surface data: the data's image itself when the record covers
// all of it, else a derived view released by the destructor.
class SourceView {
 public:
  SourceView(const Surface2DRecord* r, SurfaceDataRecord* d) {
    if (!CheckValidMemImg(&d->image)) return;
    if (r->offsetX == 0 && r->offsetY == 0 && r->width == d->image.width && r->height == d->image.height) {
      view_ = &d->image;
    } else if (DeriveMemImg(&derived_, &d->image, r->offsetX, r->offsetY, r->width, r->height) == 0) {
      view_ = &derived_;
    }
  }
  ~SourceView() { TerminateMemImg(&derived_); }
  SourceView(const SourceView&) = delete;
  SourceView& operator=(const SourceView&) = delete;
  MemImg* get() const { return view_; }

 private:
  MemImg derived_{};
  MemImg* view_ = nullptr;
};

// While a draw goes into the views of BeginSurfaceSoftDraw: the draw area is the destination view
// (it covers the clipped rectangle), and coordinates move by (dx, dy). Put back on destruction.
class SoftDrawFrame {
 public:
  SoftDrawFrame() : saved_(gDrawState.drawArea) {
    const plat::RECT& c = gSoftDraw.clippedRect;
    dx = -c.left;
    dy = -c.top;
    gDrawState.drawArea = {0, 0, c.right - c.left, c.bottom - c.top};
  }
  ~SoftDrawFrame() { gDrawState.drawArea = saved_; }
  SoftDrawFrame(const SoftDrawFrame&) = delete;
  SoftDrawFrame& operator=(const SoftDrawFrame&) = delete;
  int dx;
  int dy;

 private:
  plat::RECT saved_;
};

uint32_t ViewColor(uint32_t color) { return SoftDrawViewColor(color); }

void FlushDirect3D() {
  D3D_FlushVertex();
  D3D_EndSceneCurrent();
}

bool LookUp(int surface2D, Surface2DRecord** r, SurfaceDataRecord** d) {
  *r = GetSurface2DRecord(surface2D);
  if (*r == nullptr) return false;
  *d = GetSurfaceDataRecord((*r)->surfaceData);
  return *d != nullptr;
}

uint32_t ClearColorRGB() {
  if (!gSettings.backgroundColorSet) return 0;
  return static_cast<uint32_t>((gSettings.backgroundRed & 0xFF) << 16 | (gSettings.backgroundGreen & 0xFF) << 8 |
                               (gSettings.backgroundBlue & 0xFF));
}

}  // namespace

// ---- Graphs -----------------------------------------------------------------------------------------

int DrawSurface2DAt(int x, int y, int surface2D, int transparent) {
  if (!DisplayUp()) return -1;
  Surface2DRecord* r = nullptr;
  SurfaceDataRecord* d = nullptr;
  if (!LookUp(surface2D, &r, &d)) return -1;
  const MemImg* blend = GetBlendGraphMemImg();

  if (ScreensAreMemImgs()) {
    SourceView src(r, d);
    MemImg* dest = DestImage();
    if (src.get() == nullptr || dest == nullptr) return -1;
    DrawMemImg(dest, src.get(), x, y, transparent, blend);
    MarkDrawn(dest);
    return 0;
  }

  FlushDirect3D();
  plat::RECT dest = {x, y, x + r->width, y + r->height};
  ClipRect(&dest, &gDrawState.drawArea);
  if (dest.right <= dest.left || dest.bottom <= dest.top) return 0;
  const plat::RECT src = {dest.left - x, dest.top - y, dest.right - x, dest.bottom - y};
  if (BeginSurfaceSoftDraw(r, 1, &src, &dest, transparent, nullptr, nullptr) != 0) return -1;
  if (gSoftDraw.blit) {
    gSoftDraw.blitTarget->BltFast(gSoftDraw.blitTargetRect.left, gSoftDraw.blitTargetRect.top, gSoftDraw.blitSource,
                                  &gSoftDraw.blitSourceRect,
                                  transparent ? plat::DDBLTFAST_SRCCOLORKEY : plat::DDBLTFAST_NOCOLORKEY);
    return 0;
  }
  {
    SoftDrawFrame frame;
    DrawMemImg(gSoftDraw.destView, gSoftDraw.sourceView, x + frame.dx, y + frame.dy, transparent, blend);
  }
  MarkDrawn(gScreen.targetImage);
  EndSurfaceSoftDraw();
  return 0;
}

int DrawGraph2DAt(int x, int y, GraphRecord* graph, int transparent) {
  D3D_FlushVertex();
  DrawSurface2DAt(x, y, graph->parts[0], transparent);
  return 0;
}

int DrawStretchSurface2D(int x1, int y1, int x2, int y2, GraphRecord* graph, int transparent, int surface2D) {
  if (!DisplayUp()) return -1;
  if (surface2D == -1) surface2D = graph->parts[0];
  Surface2DRecord* r = nullptr;
  SurfaceDataRecord* d = nullptr;
  if (!LookUp(surface2D, &r, &d)) return -1;
  const MemImg* blend = GetBlendGraphMemImg();

  if (ScreensAreMemImgs()) {
    SourceView src(r, d);
    MemImg* dest = DestImage();
    if (src.get() == nullptr || dest == nullptr) return -1;
    const plat::RECT rect = {x1, y1, x2, y2};
    DrawExtendMemImg(dest, src.get(), &rect, transparent, blend);
    MarkDrawn(dest);
    return 0;
  }

  FlushDirect3D();
  // A zero-sized rectangle has no scale: nothing can be drawn.
  if (x1 == x2 || y1 == y2 || r->width == 0 || r->height == 0) return -1;
  const bool mirrored = x1 > x2 || y1 > y2;
  if (!mirrored && x2 - x1 == r->width && y2 - y1 == r->height) return DrawSurface2DAt(x1, y1, surface2D, transparent);
  plat::RECT dest = {std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
  ClipRect(&dest, &gDrawState.drawArea);
  if (dest.right <= dest.left || dest.bottom <= dest.top) return -1;
  const plat::RECT src = {0, 0, r->width, r->height};
  if (BeginSurfaceSoftDraw(r, 0, &src, &dest, transparent, nullptr, nullptr) != 0) return -1;
  {
    SoftDrawFrame frame;
    const plat::RECT rect = {x1 + frame.dx, y1 + frame.dy, x2 + frame.dx, y2 + frame.dy};
    DrawExtendMemImg(gSoftDraw.destView, gSoftDraw.sourceView, &rect, transparent, blend);
  }
  MarkDrawn(gScreen.targetImage);
  EndSurfaceSoftDraw();
  return 0;
}

int DrawQuadGraph2D(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4,
                    GraphRecord* graph, int transparent) {
  const int w = graph->width;
  const int h = graph->height;
  const int tl[2] = {static_cast<int>(x1), static_cast<int>(y1)};
  const int tr[2] = {static_cast<int>(x2), static_cast<int>(y2)};
  const int bl[2] = {static_cast<int>(x3), static_cast<int>(y3)};
  const int br[2] = {static_cast<int>(x4), static_cast<int>(y4)};
  const TriangleVertex2D first[3] = {{tl[0], tl[1], 0, 0}, {tr[0], tr[1], w, 0}, {bl[0], bl[1], 0, h}};
  const TriangleVertex2D second[3] = {{tr[0], tr[1], w, 0}, {bl[0], bl[1], 0, h}, {br[0], br[1], w, h}};
  DrawTriangleGraph2D(first, graph, transparent);
  DrawTriangleGraph2D(second, graph, transparent);
  return 0;
}

int DrawTriangleGraph2D(const TriangleVertex2D vertices[3], GraphRecord* graph, int transparent) {
  if (!DisplayUp()) return -1;
  Surface2DRecord* r = nullptr;
  SurfaceDataRecord* d = nullptr;
  if (!LookUp(graph->parts[0], &r, &d)) return -1;
  const MemImg* blend = GetBlendGraphMemImg();
  int corners[12];
  for (int i = 0; i < 3; ++i) {
    corners[i * 4 + 0] = vertices[i].x;
    corners[i * 4 + 1] = vertices[i].y;
    corners[i * 4 + 2] = vertices[i].u;
    corners[i * 4 + 3] = vertices[i].v;
  }
  if (ScreensAreMemImgs()) {
    SourceView src(r, d);
    MemImg* dest = DestImage();
    if (src.get() == nullptr || dest == nullptr) return -1;
    DrawTriangleMemImg(dest, src.get(), corners, transparent, blend, 0);
    MarkDrawn(dest);
    return 0;
  }
  FlushDirect3D();
  plat::RECT dest = {INT_MAX, INT_MAX, INT_MIN, INT_MIN};
  for (int i = 0; i < 3; ++i) {
    dest.left = std::min<int>(dest.left, vertices[i].x);
    dest.top = std::min<int>(dest.top, vertices[i].y);
    dest.right = std::max<int>(dest.right, vertices[i].x + 1);
    dest.bottom = std::max<int>(dest.bottom, vertices[i].y + 1);
  }
  const plat::RECT src = {0, 0, r->width, r->height};
  if (BeginSurfaceSoftDraw(r, 0, &src, &dest, transparent, nullptr, nullptr) != 0) return -1;
  {
    SoftDrawFrame frame;
    for (int i = 0; i < 3; ++i) {
      corners[i * 4 + 0] += frame.dx;
      corners[i * 4 + 1] += frame.dy;
    }
    DrawTriangleMemImg(gSoftDraw.destView, gSoftDraw.sourceView, corners, transparent, blend, 0);
  }
  MarkDrawn(gScreen.targetImage);
  EndSurfaceSoftDraw();
  return 0;
}

// ---- Boxes and lines --------------------------------------------------------------------------------

int DrawBoxBackend2D(int left, int top, int right, int bottom, uint32_t color) {
  if (!DisplayUp()) return -1;
  plat::RECT rect = {std::min(left, right), std::min(top, bottom), std::max(left, right), std::max(top, bottom)};
  if (ScreensAreMemImgs()) {
    MemImg* dest = DestImage();
    if (dest == nullptr) return -1;
    DrawBoxMemImg(dest, &rect, color);
    MarkDrawn(dest);
    return 0;
  }
  FlushDirect3D();
  if (BeginSurfaceSoftDraw(nullptr, 0, nullptr, &rect, 0, nullptr, nullptr) != 0) return 0;  // nothing visible
  {
    SoftDrawFrame frame;
    const plat::RECT shifted = {rect.left + frame.dx, rect.top + frame.dy, rect.right + frame.dx,
                                rect.bottom + frame.dy};
    DrawBoxMemImg(gSoftDraw.destView, &shifted, ViewColor(color));
  }
  MarkDrawn(gScreen.targetImage);
  EndSurfaceSoftDraw();
  return 0;
}

int DrawLineSetBackend2D(const MemImgLine* lines, int count) {
  if (!DisplayUp()) return -1;
  if (count <= 0) return 0;
  if (ScreensAreMemImgs()) {
    MemImg* dest = DestImage();
    if (dest == nullptr) return -1;
    DrawLineSetMemImg(dest, lines, count);
    MarkDrawn(dest);
    return 0;
  }
  FlushDirect3D();
  // The region is the bounding box of every end point, one past the largest coordinate.
  plat::RECT box = {INT_MAX, INT_MAX, INT_MIN, INT_MIN};
  for (int i = 0; i < count; ++i) {
    box.left = std::min({box.left, lines[i].x1, lines[i].x2});
    box.top = std::min({box.top, lines[i].y1, lines[i].y2});
    box.right = std::max({box.right, lines[i].x1 + 1, lines[i].x2 + 1});
    box.bottom = std::max({box.bottom, lines[i].y1 + 1, lines[i].y2 + 1});
  }
  if (BeginSurfaceSoftDraw(nullptr, 0, nullptr, &box, 0, nullptr, nullptr) != 0) return 0;
  auto* moved = static_cast<MemImgLine*>(MemAlloc(static_cast<uint32_t>(sizeof(MemImgLine) * count), "LineSet", __LINE__));
  if (moved == nullptr) {
    EndSurfaceSoftDraw();
    return -1;
  }
  {
    SoftDrawFrame frame;
    for (int i = 0; i < count; ++i) {
      moved[i] = lines[i];
      moved[i].x1 += frame.dx;
      moved[i].x2 += frame.dx;
      moved[i].y1 += frame.dy;
      moved[i].y2 += frame.dy;
      moved[i].color = ViewColor(lines[i].color);
    }
    DrawLineSetMemImg(gSoftDraw.destView, moved, count);
  }
  MemFree(moved);
  MarkDrawn(gScreen.targetImage);
  EndSurfaceSoftDraw();
  return 0;
}

// ---- Clear and capture ------------------------------------------------------------------------------

int ClearScreenBackend2D() {
  if (!DisplayUp()) return -1;
  const uint32_t rgb = ClearColorRGB();
  const int red = (rgb >> 16) & 0xFF;
  const int green = (rgb >> 8) & 0xFF;
  const int blue = rgb & 0xFF;
  if (ScreensAreMemImgs()) {
    if (gScreen.targetImage == nullptr) return -1;
    FillMemImgRect(gScreen.targetImage, nullptr, GetFormatColorValue(gScreen.targetImage->base->colorData, red, green, blue, 255));
    MarkDrawn(gScreen.targetImage);
    if (gScreen.targetZImage != nullptr) FillMemImgRect(gScreen.targetZImage, nullptr, 65535);
    return 0;
  }
  const int screen = gDrawState.drawScreen;
  if (screen != kDrawScreenBack && screen != kDrawScreenFront) {
    GraphRecord* g = GetGraphRecord(screen);
    if (g == nullptr) return -1;
    if (g->format.texture) return 0;  // Direct3D cleared it
    Surface2DRecord* r = nullptr;
    SurfaceDataRecord* d = nullptr;
    if (!LookUp(g->parts[0], &r, &d)) return -1;
    if (!d->memImgUse && d->surface != nullptr) {
      plat::DDBLTFX fx{};
      fx.dwSize = sizeof(fx);
      fx.dwFillColor = MakeColor(red, green, blue);
      plat::RECT rect = {r->offsetX, r->offsetY, r->offsetX + r->width, r->offsetY + r->height};
      d->surface->Blt(&rect, nullptr, nullptr, plat::DDBLT_COLORFILL | plat::DDBLT_WAIT, &fx);
      if (d->depthSurface != nullptr) {
        fx.dwFillDepth = 65535;
        d->depthSurface->Blt(&rect, nullptr, nullptr, plat::DDBLT_DEPTHFILL | plat::DDBLT_WAIT, &fx);
      }
    } else if (CheckValidMemImg(&d->image)) {
      if (CheckValidMemImg(&d->depthImage)) FillMemImgRect(&d->depthImage, nullptr, 65535);
      SourceView view(r, d);
      if (view.get() != nullptr) {
        FillMemImgRect(view.get(), nullptr, GetFormatColorValue(d->image.base->colorData, red, green, blue, 255));
        MarkDrawn(&d->image);
      }
    }
    return 0;
  }
  if (gScreen.targetSurface == nullptr) return -1;
  int w = 0;
  int h = 0;
  GetScreenPixelSize(&w, &h);
  plat::RECT rect = {0, 0, w, h};
  if (screen == kDrawScreenFront) {
    rect = {gDrawState.frontWindowRect.left, gDrawState.frontWindowRect.top, gDrawState.frontWindowRect.left + w,
            gDrawState.frontWindowRect.top + h};
  }
  plat::DDBLTFX fx{};
  fx.dwSize = sizeof(fx);
  fx.dwFillColor = MakeColor(red, green, blue);
  gScreen.targetSurface->Blt(&rect, nullptr, nullptr, plat::DDBLT_COLORFILL, &fx);
  if (screen == kDrawScreenBack && gScreen.zBufferSurface != nullptr) {
    fx.dwFillDepth = 65535;
    gScreen.zBufferSurface->Blt(nullptr, nullptr, nullptr, plat::DDBLT_DEPTHFILL | plat::DDBLT_WAIT, &fx);
  }
  return 0;
}

int SetUnusedBitsRect(const plat::RECT* rect, void* pixels, int pitch, const ColorData* format, uint32_t value) {
  if (format->noneMask == 0) return 0;
  const uint32_t bits = (value << format->noneShift) & format->noneMask;
  auto* base = static_cast<uint8_t*>(pixels);
  for (int y = rect->top; y < rect->bottom; ++y) {
    uint8_t* row = base + static_cast<ptrdiff_t>(y) * pitch;
    for (int x = rect->left; x < rect->right; ++x) {
      if (format->bytesPerPixel == 2) {
        uint16_t v;
        memcpy(&v, row + x * 2, 2);
        v = static_cast<uint16_t>(v | bits);
        memcpy(row + x * 2, &v, 2);
      } else if (format->bytesPerPixel == 4) {
        uint32_t v;
        memcpy(&v, row + x * 4, 4);
        v |= bits;
        memcpy(row + x * 4, &v, 4);
      }
    }
  }
  return 0;
}

int CaptureScreenBackend2D(int x1, int y1, int x2, int y2, GraphRecord* graph, int) {
  if (!DisplayUp()) return -1;
  const int w = x2 - x1;
  const int h = y2 - y1;
  if (x1 < 0 || y1 < 0 || x2 > gDrawState.drawScreenWidth || y2 > gDrawState.drawScreenHeight || w <= 0 || h <= 0 ||
      w != graph->width || h != graph->height) {
    return -1;
  }
  Surface2DRecord* r = nullptr;
  SurfaceDataRecord* d = nullptr;
  if (!LookUp(graph->parts[0], &r, &d)) return -1;
  if (DrawingToMemImgFront() && gScreen.presentedSinceReadBack) {
    ReadWindowToScreenImage();
  }
  plat::RECT src = {x1, y1, x2, y2};
  if (gDrawState.drawScreen == kDrawScreenFront && GetWindowModeFlag()) {
    src.left += gDrawState.frontWindowRect.left;
    src.right += gDrawState.frontWindowRect.left;
    src.top += gDrawState.frontWindowRect.top;
    src.bottom += gDrawState.frontWindowRect.top;
  }
  plat::RECT destRect = {r->offsetX, r->offsetY, r->offsetX + w, r->offsetY + h};
  const ColorData* display = &gScreen.displayColorData;

  if (gScreen.targetSurface != nullptr && !d->memImgUse && d->surface != nullptr) {
    if (d->surface->Blt(&destRect, gScreen.targetSurface, &src, plat::DDBLT_WAIT, nullptr) != plat::DD_OK) return -1;
    if (display->noneMask != 0) {
      plat::DDSURFACEDESC2 desc{};
      desc.dwSize = sizeof(desc);
      if (d->surface->Lock(&destRect, &desc, plat::DDLOCK_WAIT | plat::DDLOCK_WRITEONLY, nullptr) == plat::DD_OK) {
        const plat::RECT local = {0, 0, w, h};
        SetUnusedBitsRect(&local, desc.lpSurface, static_cast<int>(desc.lPitch), display, 0xFFFFFFFF);
        d->surface->Unlock(&destRect);
      }
    }
    return 0;
  }
  if (gScreen.targetImage != nullptr && d->memImgUse) {
    MemImg view{};
    if (DeriveMemImg(&view, &d->image, r->offsetX, r->offsetY, w, h) != 0) return -1;
    const int result = BltMemImgRect(&view, gScreen.targetImage, &src, 0, 0);
    TerminateMemImg(&view);
    MarkDrawn(&d->image);
    return result < 0 ? -1 : 0;
  }
  if (gScreen.targetImage != nullptr && d->surface != nullptr) {
    plat::DDSURFACEDESC2 desc{};
    desc.dwSize = sizeof(desc);
    if (d->surface->Lock(&destRect, &desc, plat::DDLOCK_WAIT | plat::DDLOCK_WRITEONLY, nullptr) != plat::DD_OK) return -1;
    const MemImg* screen = gScreen.targetImage;
    ConvertImageColor(desc.lpSurface, static_cast<int>(desc.lPitch), display, screen->pixels, screen->base->pitch,
                      screen->base->colorData, nullptr, 0, nullptr, 0, 0, &src, 0, 0, 0, 0, 0, 0, 0, 0);
    const plat::RECT local = {0, 0, w, h};
    SetUnusedBitsRect(&local, desc.lpSurface, static_cast<int>(desc.lPitch), display, 0xFFFFFFFF);
    d->surface->Unlock(&destRect);
    return 0;
  }
  if (gScreen.targetSurface != nullptr && d->memImgUse && CheckValidMemImg(&d->image)) {
    plat::DDSURFACEDESC2 desc{};
    desc.dwSize = sizeof(desc);
    if (gScreen.targetSurface->Lock(&src, &desc, plat::DDLOCK_WAIT | plat::DDLOCK_READONLY, nullptr) != plat::DD_OK) {
      return -1;
    }
    const plat::RECT local = {0, 0, w, h};
    ConvertImageColor(d->image.pixels, d->image.base->pitch, d->image.base->colorData, desc.lpSurface,
                      static_cast<int>(desc.lPitch), display, nullptr, 0, nullptr, r->offsetX, r->offsetY, &local, 0, 0,
                      0, 0, 0, 0, 0, 0);
    gScreen.targetSurface->Unlock(&src);
    MarkDrawn(&d->image);
    return 0;
  }
  return -1;
}

// ---- Text, transfers, release -----------------------------------------------------------------------

namespace {

// `transparent` kFontBlendOver: an antialiased font's levels blended over the target, cut to the text
// rectangle as the work surface's draw is.
int DrawStringPlain(int x, int y, const char* text, uint32_t color, int font, uint32_t edgeColor, int vertical,
                    int width, int height, int transparent = 1) {
  if (ScreensAreMemImgs()) {
    MemImg* dest = DestImage();
    if (dest == nullptr) return -1;
    plat::RECT clip = gDrawState.drawArea;
    if (transparent == kFontBlendOver) {
      const plat::RECT textRect = {x, y, x + width, y + height};
      ClipRect(&clip, &textRect);
    }
    const int result = FontStringEngine(kFontEngineDraw, x, y, 0, 1.0, 1.0, text, color, dest, &clip, transparent, font,
                                        edgeColor, -1, vertical, nullptr);
    MarkDrawn(dest);
    return result < 0 ? -1 : 0;
  }
  FlushDirect3D();
  const plat::RECT rect = {x, y, x + width, y + height};
  if (BeginSurfaceSoftDraw(nullptr, 0, nullptr, &rect, 1, &color, &edgeColor) != 0) return 0;  // nothing visible
  int result;
  {
    SoftDrawFrame frame;
    result = FontStringEngine(kFontEngineDraw, x + frame.dx, y + frame.dy, 0, 1.0, 1.0, text, color, gSoftDraw.destView,
                              &gDrawState.drawArea, transparent, font, edgeColor, -1, vertical, nullptr);
  }
  MarkDrawn(gScreen.targetImage);
  EndSurfaceSoftDraw();
  return result < 0 ? -1 : 0;
}

// Blended text: rendered into the font's work surface, which is then drawn with the blend, through
// the text's rectangle only and at full brightness.
int DrawStringThroughWorkSurface(int x, int y, const char* text, uint32_t color, int font, uint32_t edgeColor,
                                 int vertical, int width, int height) {
  RebuildFontHandleCacheGraphs(font);
  const int surface = GetFontMemorySurface(font);
  Surface2DRecord* r = nullptr;
  SurfaceDataRecord* d = nullptr;
  if (!LookUp(surface, &r, &d) || !CheckValidMemImg(&d->image)) return -1;
  MemImgBase* base = d->image.base;
  // The work surface holds the renderer's format, which a 5-5-5 display's colours are not.
  color = DisplayToRendererColor(color);
  edgeColor = DisplayToRendererColor(edgeColor);
  uint32_t key = 0;
  if (!base->alpha) {
    // A key that neither the text nor its edge uses.
    key = GetFormatColorValue(base->colorData, (gDrawState.transColor >> 16) & 0xFF,
                              (gDrawState.transColor >> 8) & 0xFF, gDrawState.transColor & 0xFF, 255);
    while (key == color || key == edgeColor) ++key;
  }
  base->transColor = key;
  // Only the text's rectangle is drawn from the surface below: clear just that much.
  const plat::RECT textArea = {0, 0, width, height};
  FillMemImgRect(&d->image, &textArea, key);
  const plat::RECT all = {0, 0, d->image.width, d->image.height};
  const int rendered = FontStringEngine(kFontEngineDraw, 0, 0, 0, 1.0, 1.0, text, color, &d->image, &all, 1, font,
                                        edgeColor, -1, vertical, nullptr);
  MarkDrawn(&d->image);
  if (rendered < 0) return -1;

  const plat::RECT savedArea = gDrawState.drawArea;
  const uint32_t savedBright = gDrawState.brightColor;
  plat::RECT narrowed = {x, y, x + width, y + height};
  ClipRect(&narrowed, &savedArea);
  gDrawState.drawArea = narrowed;
  gDrawState.brightColor = kBrightWhite;
  const int result = DrawSurface2DAt(x, y, surface, 1);
  gDrawState.drawArea = savedArea;
  gDrawState.brightColor = savedBright;
  return result;
}

}  // namespace

int DrawStringBackend2D(int x, int y, const char* text, uint32_t color, int font, uint32_t edgeColor, int vertical) {
  if (!DisplayUp()) return -1;
  if (IsFontTextureMode(font)) return D3D_DrawStringToTarget(x, y, text, color, font, edgeColor, vertical);
  int size[2] = {0, 0};
  if (FontStringEngine(kFontEngineMeasure, x, y, 0, 1.0, 1.0, text, color, nullptr, nullptr, 1, font, edgeColor, -1,
                       vertical, size) < 0) {
    return -1;
  }
  const int flags = GetFontHandleFlags(font);
  const bool noBlend = gDrawState.blendMode == kBlendNone ||
                       (gDrawState.blendMode == kBlendAlpha && gDrawState.blendParam == 255);
  if (GetDisplayColorBitDepth() == 8 || ((flags & kFontFlagEdgeOrAntialias) == 0 && noBlend)) {
    return DrawStringPlain(x, y, text, color, font, edgeColor, vertical, size[0], size[1]);
  }
  // Antialiased text with no blend is blended over the target in one pass where that gives the work
  // surface's pixels: no blend graph, a target read and written in the memory-image format, glyphs
  // that do not overlap.
  if (noBlend && gDrawState.blendGraph == -1 &&
      (ScreensAreMemImgs() || (!gScreen.targetInVideoMemory && (gScreen.colorType == kScreenColorR5G6B5 ||
                                                           gScreen.colorType == kScreenColorX8R8G8B8))) &&
      FontStringBlendsInOnePass(font, text, vertical) != 0) {
    int screenW = 0;
    int screenH = 0;
    GetScreenPixelSize(&screenW, &screenH);
    return DrawStringPlain(x, y, text, color, font, edgeColor, vertical, std::min(size[0], screenW),
                           std::min(size[1], screenH), kFontBlendOver);
  }
  return DrawStringThroughWorkSurface(x, y, text, color, font, edgeColor, vertical, size[0], size[1]);
}

int TransferImageTo2DGraph(const plat::RECT*, const GraphImage* image, const GraphImage* alphaImage, int srcX,
                           int srcY, GraphRecord* graph, int) {
  for (uint32_t i = 0; i < graph->partCount; ++i) {
    const Surface2DRecord* r = GetSurface2DRecord(graph->parts[i]);
    if (r == nullptr) return -1;
    if (TransferImageToSurface2DHandle(nullptr, nullptr, nullptr, srcX + r->positionX, srcY + r->positionY,
                                       graph->parts[i], kTransferImage, image, alphaImage, nullptr) == -1) {
      return -1;
    }
  }
  return 0;
}

int ReleaseGraph2DSurfaces(GraphRecord* graph) {
  int result = 0;
  for (uint32_t i = 0; i < graph->partCount; ++i) result |= DeleteSurface2D(graph->parts[i]);
  graph->partCount = 0;
  return result;
}

}  // namespace orbel
