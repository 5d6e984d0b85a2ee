// Drawing through Direct3D: texture graphs at a point, stretched, on four corners (a parallelogram, an
// 8 x 8 grid, or the blend-graph road's two affine halves), untextured box fills and frames, the clear
// of a texture render target, the render target of a draw screen, and the tiles of derived graphs.
// Every draw writes pre-transformed vertices into the current device's batch.
#include <algorithm>
#include <cmath>

#include "orbel/core/library_state.h"
#include "orbel/graphics/backend_2d.h"
#include "orbel/graphics/d3d/d3d_draw_mode.h"
#include "orbel/graphics/d3d/d3d_internal.h"
#include "orbel/graphics/draw_state.h"
#include "orbel/graphics/graphics_manager.h"
#include "orbel/graphics/rect_math.h"
#include "orbel/graphics/screen_state.h"
#include "orbel/graphics/surface2d.h"
#include "platform/ddraw/ddraw.h"

namespace orbel {

namespace {

// One corner of a textured quad: position, the graph's texture coordinates, the blend graph's.
struct Corner {
  float x, y;
  float u, v;
  float bu, bv;
};

constexpr int kQuadOrder[6] = {0, 1, 2, 3, 2, 1};  // TL, TR, BL, BR, BL, TR

// The draw origin in the render target: the draw state's origin, plus where the draw screen's graph
// lies in its texture.
int OriginX() { return gDrawState.drawOriginX + gD3D.targetOffsetX; }
int OriginY() { return gDrawState.drawOriginY + gD3D.targetOffsetY; }

uint32_t ZFlag() { return gDrawState.d3dDrawSettings[0] == 1 ? kDrawZ : 0; }

// A tile with its surface data (null when that handle is stale): looked up once per draw, because each
// lookup is a chain of dependent loads.
struct TileRef {
  const Surface3DDataRecord* tile;
  const SurfaceDataRecord* data;
};

[[gnu::always_inline]] inline TileRef LookUpTile(int handle) {
  const Surface3DDataRecord* t = GetSurface3DData(handle);
  return {t, t != nullptr ? GetSurfaceDataRecord(t->surfaceData) : nullptr};
}

// The opening of the textured draws of graph `g` (null: no such graph): 1 to go on (with the device
// and the graph's first tile), 0 when the draw screen is a memory image (nothing to do), -1 on failure.
[[gnu::always_inline]] inline int OpenTexturedDraw(const GraphRecord* g, uint32_t flags, D3DDeviceRecord** dev,
                                                   TileRef* first) {
  *dev = CurrentDevice();
  if (*dev == nullptr) return -1;
  if (gD3D.target2D) return 0;
  D3D_BeginScene(*dev);
  if (g == nullptr || g->partCount == 0) return -1;
  *first = LookUpTile(g->parts[0]);
  if (first->tile == nullptr) return -1;
  D3D_SetupTileDrawMode(*dev, first->tile, first->data, flags | ZFlag());
  return 1;
}

void CloseDraw(D3DDeviceRecord* dev) {
  if (gD3D.endAfterDraw) D3D_EndScene(dev);
}

// Six vertices of the quad layout into the batch, corner `cornerAt(i)` for each; the colour goes into
// the first vertex of each triangle, as flat shading reads it. Inlined and unrolled: every quad of every
// draw comes here, and corners made on the spot then stay in registers.
template <typename CornerAt>
[[gnu::always_inline]] inline void EmitQuad(D3DDeviceRecord* dev, CornerAt cornerAt, float z) {
  const uint32_t color = gD3D.drawColor;
  if (dev->vertexType == kVertexTex2) {
    auto* out = static_cast<VertexTex2*>(D3D_ReserveVertices(dev, kVertexTex2, 6));
#pragma GCC unroll 6
    for (int k = 0; k < 6; ++k) {
      const Corner p = cornerAt(kQuadOrder[k]);
      out[k].x = p.x, out[k].y = p.y, out[k].z = z;
      out[k].u0 = p.bu, out[k].v0 = p.bv, out[k].u1 = p.u, out[k].v1 = p.v;
      if (k == 0 || k == 3) out[k].diffuse = color;
    }
  } else {
    auto* out = static_cast<VertexTex1*>(D3D_ReserveVertices(dev, kVertexTex1, 6));
#pragma GCC unroll 6
    for (int k = 0; k < 6; ++k) {
      const Corner p = cornerAt(kQuadOrder[k]);
      out[k].x = p.x, out[k].y = p.y, out[k].z = z;
      out[k].u = p.u, out[k].v = p.v;
      if (k == 0 || k == 3) out[k].diffuse = color;
    }
  }
  dev->count += 6;
}

// Moves corners that lie outside the clip rectangle onto it, moving their texture coordinates by as
// much, so that the visible part keeps its texel scale. `scaleX` and `scaleY` are screen pixels per
// graph pixel (negative when mirrored).
void ClipCorners(Corner c[4], const float clip[4], float textureWidth, float textureHeight, float scaleX,
                 float scaleY) {
  const float du = 1.0f / (textureWidth * scaleX);
  const float dv = 1.0f / (textureHeight * scaleY);
  const float dbu = gD3D.blendTextureInvWidth / scaleX;
  const float dbv = gD3D.blendTextureInvHeight / scaleY;
  for (int i = 0; i < 4; ++i) {
    Corner& p = c[i];
    float nx = p.x < clip[0] ? clip[0] : (p.x > clip[2] ? clip[2] : p.x);
    float ny = p.y < clip[1] ? clip[1] : (p.y > clip[3] ? clip[3] : p.y);
    p.u += (nx - p.x) * du;
    p.bu += (nx - p.x) * dbu;
    p.v += (ny - p.y) * dv;
    p.bv += (ny - p.y) * dbv;
    p.x = nx;
    p.y = ny;
  }
}

// Corner i of a tile placed at (startX, startY) and scaled.
[[gnu::always_inline]] inline Corner TileCorner(const Surface3DDataRecord* t, int i, float startX, float startY,
                                                float scaleX, float scaleY) {
  const VertexTex1& v = t->vertices[i];
  return Corner{startX + v.x * scaleX, startY + v.y * scaleY, v.u, v.v, v.x * gD3D.blendTextureInvWidth,
                v.y * gD3D.blendTextureInvHeight};
}

// Draws every tile of a graph placed at (startX, startY) and scaled; clipped when `clip` is given.
// `first` is the graph's first tile, as the draw's opening looked it up. Inlined into the draws at a
// point and stretched, with their opening: a sprite draw is short, and its calls were a fair part of it.
[[gnu::always_inline]] inline int DrawTiles(D3DDeviceRecord* dev, const GraphRecord* g, const TileRef& first, float startX, float startY,
              float scaleX, float scaleY, const float* clip) {
  for (uint32_t i = 0; i < g->partCount; ++i) {
    const TileRef r = i == 0 ? first : LookUpTile(g->parts[i]);
    if (r.tile == nullptr) return -1;
    const SurfaceDataRecord* d = r.data;
    D3D_UseTileTexture(dev, d != nullptr ? d->surface : nullptr);
    const auto corner = [&](int k) { return TileCorner(r.tile, k, startX, startY, scaleX, scaleY); };
    if (clip == nullptr) {
      EmitQuad(dev, corner, 0.0f);
      continue;
    }
    Corner c[4] = {corner(0), corner(1), corner(2), corner(3)};
    const float textureWidth = d != nullptr ? static_cast<float>(d->width) : 1.0f;
    const float textureHeight = d != nullptr ? static_cast<float>(d->height) : 1.0f;
    ClipCorners(c, clip, textureWidth, textureHeight, scaleX, scaleY);
    EmitQuad(dev, [&](int k) { return c[k]; }, 0.0f);
  }
  return 0;
}

bool InsideDrawArea(int left, int top, int right, int bottom) {
  const plat::RECT& a = gDrawState.drawArea;
  return left >= a.left && top >= a.top && right <= a.right && bottom <= a.bottom;
}

// The colour of untextured draws: the colour value's channels scaled by the brightness, the alpha of
// the draw colour.
uint32_t BoxColor(uint32_t color) {
  return (gD3D.drawColor & 0xFF000000u) | BrightenedRgb(color);
}

void EmitBox(D3DDeviceRecord* dev, float left, float top, float right, float bottom, uint32_t color, bool everyVertex) {
  const float xs[4] = {left, right, left, right};
  const float ys[4] = {top, top, bottom, bottom};
  auto* out = static_cast<VertexDiffuse*>(D3D_ReserveVertices(dev, kVertexDiffuse, 6));
  for (int k = 0; k < 6; ++k) {
    out[k].x = xs[kQuadOrder[k]];
    out[k].y = ys[kQuadOrder[k]];
    out[k].z = gDrawState.drawZ;
    if (everyVertex || k == 0 || k == 3) out[k].diffuse = color;
  }
  dev->count += 6;
}

// The opening of the untextured draws: scene, no texture, the box draw mode.
void OpenUntexturedDraw(D3DDeviceRecord* dev) {
  D3D_BeginScene(dev);
  D3D_SetPendingTexture(dev, nullptr);
  D3D_SetupDrawMode(nullptr, kDrawModulate | ZFlag());
}

bool Parallelogram(const float x[4], const float y[4]) {
  // TL, TR, BL, BR: opposite edges equal vectors to within a pixel.
  return std::fabs((x[1] - x[0]) - (x[3] - x[2])) <= 1.0f && std::fabs((y[1] - y[0]) - (y[3] - y[2])) <= 1.0f &&
         std::fabs((x[2] - x[0]) - (x[3] - x[1])) <= 1.0f && std::fabs((y[2] - y[0]) - (y[3] - y[1])) <= 1.0f;
}

// One tile onto four points: directly as a quad when they form a parallelogram, else as an 8 x 8 grid.
void DrawTileOnPoints(D3DDeviceRecord* dev, const Surface3DDataRecord* t, const float x[4], const float y[4]) {
  D3D_UseTileTexture(dev, TileTexture(t));
  if (Parallelogram(x, y) || dev->vertexType != kVertexTex1) {
    Corner c[4];
    for (int i = 0; i < 4; ++i) {
      c[i] = Corner{x[i], y[i], t->vertices[i].u, t->vertices[i].v, t->vertices[i].x * gD3D.blendTextureInvWidth,
                    t->vertices[i].y * gD3D.blendTextureInvHeight};
    }
    EmitQuad(dev, [&](int k) { return c[k]; }, gDrawState.drawZ);
    return;
  }
  VertexTex1 grid[64];
  const float u0 = t->vertices[0].u;
  const float v0 = t->vertices[0].v;
  const float uSpan = t->vertices[3].u - u0;
  const float vSpan = t->vertices[3].v - v0;
  for (int r = 0; r < 8; ++r) {
    const float fr = static_cast<float>(r) / 7.0f;
    const float lx = x[0] + fr * (x[2] - x[0]);
    const float ly = y[0] + fr * (y[2] - y[0]);
    const float rx = x[1] + fr * (x[3] - x[1]);
    const float ry = y[1] + fr * (y[3] - y[1]);
    for (int c = 0; c < 8; ++c) {
      const float fc = static_cast<float>(c) / 7.0f;
      VertexTex1& v = grid[r * 8 + c];
      v.x = lx + fc * (rx - lx);
      v.y = ly + fc * (ry - ly);
      v.z = gDrawState.drawZ;
      v.rhw = 1.0f;
      v.diffuse = gD3D.drawColor;
      v.u = u0 + fc * uSpan;
      v.v = v0 + fr * vSpan;
    }
  }
  D3D_DrawGridMesh(dev, 8, grid, 8);
}

}  // namespace

// ---- Texture graphs ---------------------------------------------------------------------------------

int D3D_DrawGraphAt(int x, int y, float fx, float fy, const GraphRecord* g, int trans, int keepAlphaTest) {
  D3DDeviceRecord* dev = nullptr;
  const uint32_t flags = (keepAlphaTest ? kDrawKeepAlphaTest : 0) | (trans ? kDrawTrans : 0);
  TileRef first{};
  const int open = OpenTexturedDraw(g, flags, &dev, &first);
  if (open <= 0) return open;
  // Texel centres on pixel centres.
  const float sx = fx - 0.5f + static_cast<float>(OriginX());
  const float sy = fy - 0.5f + static_cast<float>(OriginY());
  const float clip[4] = {gDrawState.drawAreaF[0] + OriginX(), gDrawState.drawAreaF[1] + OriginY(),
                         gDrawState.drawAreaF[2] + OriginX(), gDrawState.drawAreaF[3] + OriginY()};
  const bool inside = InsideDrawArea(x, y, x + g->width, y + g->height);
  const int result = DrawTiles(dev, g, first, sx, sy, 1.0f, 1.0f, inside ? nullptr : clip);
  CloseDraw(dev);
  return result;
}

int D3D_DrawStretchGraph(int x1, int y1, int x2, int y2, float fx1, float fy1, float fx2, float fy2,
                         const GraphRecord* g, int trans, int keepAlphaTest) {
  if (x1 == x2 || y1 == y2) return -1;
  D3DDeviceRecord* dev = nullptr;
  const uint32_t flags =
      (keepAlphaTest && gDrawState.filterMode != kFilterLinear ? kDrawKeepAlphaTest : 0) | (trans ? kDrawTrans : 0);
  TileRef first{};
  const int open = OpenTexturedDraw(g, flags, &dev, &first);
  if (open <= 0) return open;
  const float scaleX = (fx2 - fx1) / static_cast<float>(g->width);
  const float scaleY = (fy2 - fy1) / static_cast<float>(g->height);
  const float sx = fx1 - 0.5f + static_cast<float>(OriginX());
  const float sy = fy1 - 0.5f + static_cast<float>(OriginY());
  const float ox = static_cast<float>(OriginX()) - 0.5f;
  const float oy = static_cast<float>(OriginY()) - 0.5f;
  const float clip[4] = {gDrawState.drawAreaF[0] + ox, gDrawState.drawAreaF[1] + oy, gDrawState.drawAreaF[2] + ox,
                         gDrawState.drawAreaF[3] + oy};
  const bool inside = InsideDrawArea(std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2));
  const int result = DrawTiles(dev, g, first, sx, sy, scaleX, scaleY, inside ? nullptr : clip);
  CloseDraw(dev);
  return result;
}

int D3D_DrawQuadGraph(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4, int graph,
                      int trans) {
  if (gDrawState.blendGraph != -1) {
    return D3D_DrawQuadGraphInt(static_cast<int>(x1), static_cast<int>(y1), static_cast<int>(x2), static_cast<int>(y2),
                                static_cast<int>(x3), static_cast<int>(y3), static_cast<int>(x4), static_cast<int>(y4),
                                graph, trans);
  }
  D3DDeviceRecord* dev = nullptr;
  const GraphRecord* g = GetGraphRecord(graph);
  TileRef first{};
  const int open = OpenTexturedDraw(g, kDrawKeepAlphaTest | (trans ? kDrawTrans : 0), &dev, &first);
  if (open <= 0) return open;
  const float ox = static_cast<float>(OriginX());
  const float oy = static_cast<float>(OriginY());
  const float qx[4] = {x1 + ox, x2 + ox, x3 + ox, x4 + ox};
  const float qy[4] = {y1 + oy, y2 + oy, y3 + oy, y4 + oy};
  int result = 0;
  for (uint32_t i = 0; i < g->partCount; ++i) {
    const Surface3DDataRecord* t = GetSurface3DData(g->parts[i]);
    if (t == nullptr) {
      result = -1;
      break;
    }
    float px[4];
    float py[4];
    for (int k = 0; k < 4; ++k) {
      // Bilinear map of the tile corner from graph space onto the quad.
      const float s = t->vertices[k].x / static_cast<float>(g->width);
      const float tt = t->vertices[k].y / static_cast<float>(g->height);
      const float lx = qx[0] + tt * (qx[2] - qx[0]);
      const float ly = qy[0] + tt * (qy[2] - qy[0]);
      const float rx = qx[1] + tt * (qx[3] - qx[1]);
      const float ry = qy[1] + tt * (qy[3] - qy[1]);
      px[k] = lx + s * (rx - lx);
      py[k] = ly + s * (ry - ly);
    }
    DrawTileOnPoints(dev, t, px, py);
  }
  CloseDraw(dev);
  return result;
}

int D3D_DrawQuadGraphInt(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4, int graph, int trans) {
  if (x1 == x3 && x2 == x4 && y1 == y2 && y3 == y4) {
    return D3D_DrawStretchGraph(x1, y1, x4, y4, static_cast<float>(x1), static_cast<float>(y1), static_cast<float>(x4),
                                static_cast<float>(y4), GetGraphRecord(graph), trans, 1);
  }
  if (gDrawState.blendGraph == -1) {
    return D3D_DrawQuadGraph(static_cast<float>(x1), static_cast<float>(y1), static_cast<float>(x2),
                             static_cast<float>(y2), static_cast<float>(x3), static_cast<float>(y3),
                             static_cast<float>(x4), static_cast<float>(y4), graph, trans);
  }
  D3DDeviceRecord* dev = CurrentDevice();
  if (dev == nullptr) return -1;
  if (gD3D.target2D) return 0;
  D3D_DeviceFlushVertex(dev);
  const GraphRecord* g = GetGraphRecord(graph);
  TileRef first{};
  const int open = OpenTexturedDraw(g, kDrawKeepAlphaTest | (trans ? kDrawTrans : 0), &dev, &first);
  if (open <= 0) return open;
  const float ox = static_cast<float>(OriginX()) - 0.5f;
  const float oy = static_cast<float>(OriginY()) - 0.5f;
  const float w = static_cast<float>(g->width);
  const float h = static_cast<float>(g->height);
  const float tl[2] = {x1 + ox, y1 + oy}, tr[2] = {x2 + ox, y2 + oy};
  const float bl[2] = {x3 + ox, y3 + oy}, br[2] = {x4 + ox, y4 + oy};
  int result = 0;
  for (uint32_t i = 0; i < g->partCount; ++i) {
    const Surface3DDataRecord* t = GetSurface3DData(g->parts[i]);
    if (t == nullptr) {
      result = -1;
      break;
    }
    D3D_UseTileTexture(dev, TileTexture(t));
    VertexTex2 out[4] = {};
    for (int k = 0; k < 4; ++k) {
      const float gx = t->vertices[k].x;
      const float gy = t->vertices[k].y;
      // Corners on or above the anti-diagonal follow the top-left half's map, the others the other's.
      float px;
      float py;
      if (t->cornerFlags[k]) {
        px = tl[0] + gx / w * (tr[0] - tl[0]) + gy / h * (bl[0] - tl[0]);
        py = tl[1] + gx / w * (tr[1] - tl[1]) + gy / h * (bl[1] - tl[1]);
      } else {
        px = br[0] + (w - gx) / w * (bl[0] - br[0]) + (h - gy) / h * (tr[0] - br[0]);
        py = br[1] + (w - gx) / w * (bl[1] - br[1]) + (h - gy) / h * (tr[1] - br[1]);
      }
      out[k] = VertexTex2{px, py, gDrawState.drawZ, 1.0f, gD3D.drawColor, 0xFFFFFFFFu,
                          gx * gD3D.blendTextureInvWidth, gy * gD3D.blendTextureInvHeight, t->vertices[k].u,
                          t->vertices[k].v};
    }
    const float cross = (out[1].x - out[0].x) * (out[2].y - out[0].y) - (out[1].y - out[0].y) * (out[2].x - out[0].x);
    if (cross < 0) std::swap(out[1], out[2]);
    // At the top threshold no blend byte lets the graph through: what the batch drops, this drops too.
    if (dev->discardBatch) continue;
    if (dev->vertexType == kVertexTex2) {
      dev->device->DrawPrimitive(plat::D3DPT_TRIANGLESTRIP, kFvfTex2, out, 4, 0);
    } else {
      VertexTex1 one[4];
      for (int k = 0; k < 4; ++k) {
        one[k] = VertexTex1{out[k].x, out[k].y, out[k].z, 1.0f, out[k].diffuse, out[k].u1, out[k].v1};
      }
      dev->device->DrawPrimitive(plat::D3DPT_TRIANGLESTRIP, kFvfTex1, one, 4, 0);
    }
  }
  CloseDraw(dev);
  return result;
}

// ---- Boxes ------------------------------------------------------------------------------------------

int D3D_DrawFillBox(int x1, int y1, int x2, int y2, uint32_t color) {
  if (!D3DStarted()) return -1;
  if (gD3D.target2D) return DrawBoxBackend2D(x1, y1, x2, y2, color);
  D3DDeviceRecord* dev = CurrentDevice();
  if (dev == nullptr) return -1;
  D3D_DeviceFlushVertex(dev);
  plat::RECT r = {x1, y1, x2, y2};
  OrderRect(&r);
  ClipRect(&r, &gDrawState.drawArea);
  if (r.right <= r.left || r.bottom <= r.top) return 0;
  OpenUntexturedDraw(dev);
  const float ox = static_cast<float>(OriginX());
  const float oy = static_cast<float>(OriginY());
  EmitBox(dev, r.left + ox, r.top + oy, r.right + ox, r.bottom + oy, BoxColor(color), false);
  CloseDraw(dev);
  return 0;
}

// A one-pixel frame of four bands that share no pixel. Each axis is ordered by itself, and the draw
// opens and closes as the fill does.
int D3D_DrawLineBox(int x1, int y1, int x2, int y2, uint32_t color) {
  if (!D3DStarted()) return -1;
  if (gD3D.target2D) return RectBackend2D(x1, y1, x2, y2, color);
  D3DDeviceRecord* dev = CurrentDevice();
  if (dev == nullptr) return -1;
  plat::RECT r = {x1, y1, x2, y2};
  OrderRect(&r);
  if (r.right <= r.left || r.bottom <= r.top) return 0;
  OpenUntexturedDraw(dev);
  const uint32_t c = BoxColor(color);
  const float L = static_cast<float>(r.left + OriginX());
  const float T = static_cast<float>(r.top + OriginY());
  const float R = static_cast<float>(r.right + OriginX());
  const float B = static_cast<float>(r.bottom + OriginY());
  EmitBox(dev, L, T, R, T + 1, c, true);
  EmitBox(dev, R - 1, T + 1, R, B, c, true);
  EmitBox(dev, L, T + 1, L + 1, B, c, true);
  EmitBox(dev, L + 1, B - 1, R - 1, B, c, true);
  CloseDraw(dev);
  return 0;
}

int D3D_ClearTargetScreen() {
  D3DDeviceRecord* dev = CurrentDevice();
  if (dev == nullptr) return -1;
  D3D_DeviceFlushVertex(dev);
  D3D_EndScene(dev);
  const GraphRecord* g = GetGraphRecord(gDrawState.drawScreen);
  if (gDrawState.drawScreen < 0 || g == nullptr || !g->format.texture) return 0;
  const Surface3DDataRecord* t = GetSurface3DData(g->parts[0]);
  SurfaceDataRecord* d = t != nullptr ? GetSurfaceDataRecord(t->surfaceData) : nullptr;
  if (d == nullptr || d->surface == nullptr) return -1;
  // Only the tile's own window: a graph derived from a draw target shares its texture.
  plat::RECT window = {t->textureX, t->textureY, t->textureX + t->width, t->textureY + t->height};
  plat::DDBLTFX fx{};
  fx.dwSize = sizeof(fx);
  if (d->depthSurface != nullptr) {
    fx.dwFillDepth = 65535;
    d->depthSurface->Blt(&window, nullptr, nullptr, plat::DDBLT_DEPTHFILL | plat::DDBLT_WAIT, &fx);
  }
  const ColorData* format = D3D_GetTextureFormatInfo(static_cast<int>(d->formatCode));
  const int red = gSettings.backgroundColorSet ? gSettings.backgroundRed & 0xFF : 0;
  const int green = gSettings.backgroundColorSet ? gSettings.backgroundGreen & 0xFF : 0;
  const int blue = gSettings.backgroundColorSet ? gSettings.backgroundBlue & 0xFF : 0;
  fx.dwFillColor = format != nullptr ? GetFormatColorValue(format, red, green, blue, 255) : 0;
  d->surface->Blt(&window, nullptr, nullptr, plat::DDBLT_COLORFILL | plat::DDBLT_WAIT, &fx);
  return 0;
}

// ---- Draw screen ------------------------------------------------------------------------------------

int D3D_SelectDrawScreen(int screen) {
  D3DDeviceRecord* dev = CurrentDevice();
  if (dev == nullptr) return 0;
  D3D_DeviceFlushVertex(dev);
  D3D_EndScene(dev);
  if (dev->renderTarget != nullptr) D3D_SetRenderTargetOn(dev, nullptr);
  D3D_SetPendingTexture(dev, nullptr);
  gD3D.targetOffsetX = 0;
  gD3D.targetOffsetY = 0;
  // A target the current device cannot draw into moves the draw screen to a device that can.
  if (screen == kDrawScreenFront) {
    if (D3D_SetDrawTarget(gScreen.frontSurface != nullptr && gScreen.separateFrontSurface ? gScreen.frontSurface
                                                                                           : gScreen.primarySurface) != 0) {
      return -1;
    }
    gD3D.endAfterDraw = 1;
  } else if (screen == kDrawScreenBack) {
    if (D3D_SetDrawTarget(gScreen.backSurface != nullptr ? gScreen.backSurface : gScreen.primarySurface) != 0) {
      return -1;
    }
    gD3D.endAfterDraw = 0;
  } else {
    const GraphRecord* g = GetGraphRecord(screen);
    if (g == nullptr) return -1;
    // A graph of several tiles has no one texture to draw into: refused, not silently redirected.
    if (g->partCount != 1) return -1;
    if (!g->format.texture) {
      const Surface2DRecord* r = GetSurface2DRecord(g->parts[0]);
      const SurfaceDataRecord* d = r != nullptr ? GetSurfaceDataRecord(r->surfaceData) : nullptr;
      if (d != nullptr && d->memImgUse) {
        gD3D.target2D = 1;
        return -1;
      }
      if (d == nullptr || d->surface == nullptr || D3D_SetDrawTarget(d->surface) != 0) return -1;
      gD3D.targetOffsetX = r->offsetX;
      gD3D.targetOffsetY = r->offsetY;
    } else {
      const Surface3DDataRecord* t = GetSurface3DData(g->parts[0]);
      const SurfaceDataRecord* d = t != nullptr ? GetSurfaceDataRecord(t->surfaceData) : nullptr;
      if (d == nullptr || !d->format.drawValid || d->surface == nullptr || D3D_SetDrawTarget(d->surface) != 0) {
        return -1;
      }
      gD3D.targetOffsetX = t->textureX;
      gD3D.targetOffsetY = t->textureY;
    }
    gD3D.endAfterDraw = 0;
  }
  gD3D.target2D = 0;
  D3D_DummyRefresh();
  return 0;
}

plat::IDirectDrawSurface7* D3D_GetDrawTargetTexture(const GraphRecord* g, int* x, int* y) {
  if (g == nullptr || !g->format.texture || !g->format.drawValid || g->partCount != 1) return nullptr;
  const Surface3DDataRecord* t = GetSurface3DData(g->parts[0]);
  if (t == nullptr) return nullptr;
  *x = t->textureX;
  *y = t->textureY;
  return TileTexture(t);
}

// ---- Derived graphs ---------------------------------------------------------------------------------

int D3D_DeriveGraphSurface3D(GraphRecord* newGraph, int x, int y, int width, int height, const GraphRecord* source) {
  D3DDeviceRecord* dev = CurrentDevice();
  if (!D3DStarted()) return -1;
  if (dev != nullptr) {
    D3D_DeviceFlushVertex(dev);
    D3D_EndScene(dev);
  }
  uint32_t count = 0;
  for (uint32_t i = 0; i < source->partCount; ++i) {
    const Surface3DDataRecord* t = GetSurface3DData(source->parts[i]);
    if (t == nullptr) continue;
    const int left = std::max<int>(x, t->graphX);
    const int top = std::max<int>(y, t->graphY);
    const int right = std::min<int>(x + width, t->graphX + t->width);
    const int bottom = std::min<int>(y + height, t->graphY + t->height);
    if (right <= left || bottom <= top) continue;
    const SurfaceDataRecord* d = GetSurfaceDataRecord(t->surfaceData);
    const int h = count < static_cast<uint32_t>(kMaxGraphTiles)
                      ? AddSurface3DData(d != nullptr ? d->width : 0, d != nullptr ? d->height : 0, left - x, top - y,
                                         right - left, bottom - top, left - t->graphX, top - t->graphY,
                                         newGraph->handle, t, left - t->graphX, top - t->graphY, &newGraph->format)
                      : -1;
    if (h == -1) {
      for (uint32_t k = 0; k < count; ++k) DeleteSurface3DData(newGraph->parts[k]);
      newGraph->partCount = 0;
      return -1;
    }
    Surface3DDataRecord* n = GetSurface3DData(h);
    SetTileCornerFlags(static_cast<float>(n->graphX), static_cast<float>(n->graphY), static_cast<float>(n->width),
                       static_cast<float>(n->height), width, height, n->cornerFlags);
    newGraph->parts[count++] = h;
  }
  newGraph->partCount = count;
  return 0;
}

}  // namespace orbel
