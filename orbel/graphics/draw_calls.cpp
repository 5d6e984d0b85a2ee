// The public draw calls. Each runs one bracket: nothing while the draw area is empty, the graph and
// blend-graph checks, the wait while inactive, the movie frame, the read-back of the window before a
// draw onto the software front screen and the copy to the window after it; the draw itself goes to the
// Direct3D side for texture graphs and to the 2D back-end otherwise. Part draws narrow the draw area
// and draw the whole graph. Coordinates no draw can place (draw_coordinates.h) are turned away before
// any of it, with the result of a draw clipped away whole.
#include "orbel/graphics/draw_calls.h"

#include <algorithm>
#include <cmath>

#include "orbel/core/message_pump.h"
#include "orbel/graphics/backend_2d.h"
#include "orbel/graphics/d3d/d3d_system.h"
#include "orbel/graphics/draw_coordinates.h"
#include "orbel/graphics/draw_state.h"
#include "orbel/graphics/graph_record.h"
#include "orbel/graphics/graphics_manager.h"
#include "orbel/graphics/graphics_system.h"
#include "orbel/graphics/mask_screen.h"
#include "orbel/graphics/screen_present.h"
#include "orbel/graphics/screen_road.h"
#include "orbel/graphics/screen_state.h"
#include "orbel/graphics/surface2d.h"
#include "orbel/movie/movie_system.h"

namespace orbel {

namespace {

// Steps before a graph draw: the graph and the blend graph must be live, the blend graph at least as
// large as the graph. Waits while the application is inactive. The graph, or null. This and the two
// below are inlined into the draws: a sprite draw is short, and their calls were a fair part of it.
[[gnu::always_inline]] inline GraphRecord* CheckGraphDraw(int graph) {
  GraphRecord* g = GetGraphRecord(graph);
  if (g == nullptr) return nullptr;
  if (gDrawState.blendGraph != -1) {
    const GraphRecord* b = GetGraphRecord(gDrawState.blendGraph);
    if (b == nullptr || b->width < g->width || b->height < g->height) return nullptr;
  }
  WaitWhileInactive();
  return g;
}

// Before and after a draw: the mask hooks while masked drawing is on; on the software front screen the
// window is read back first when it was presented since, and the drawn rectangle is shown afterwards.
[[gnu::always_inline]] inline void BeforeDraw(const plat::RECT& affected) {
  if (IsMaskScreenActive()) MaskDrawBegin(affected.left, affected.top, affected.right, affected.bottom);
  if (DrawingToMemImgFront() && gScreen.presentedSinceReadBack) ReadWindowToScreenImage();
}

[[gnu::always_inline]] inline void AfterDraw(const plat::RECT& affected) {
  if (IsMaskScreenActive()) MaskDrawEnd(affected.left, affected.top, affected.right, affected.bottom);
  if (DrawingToMemImgFront()) StretchScreenToWindow(&affected);
}

void FillInverted(const plat::RECT& rect) {
  SetDrawBrightColorValue(kBrightWhite);
  SetBlendState(kBlendSub, 255);
  D3D_DrawFillBox(rect.left, rect.top, rect.right, rect.bottom, 0xFFFFFF);
}

}  // namespace

SubtractBracket BeginSubtractBlendDraw(const plat::RECT& rect) {
  const SubtractBracket saved = {gDrawState.brightColor, gDrawState.blendParam};
  FillInverted(rect);
  SetDrawBrightColorValue(saved.bright);
  SetBlendState(kBlendAddInSubtract, static_cast<int>(saved.param));
  return saved;
}

void EndSubtractBlendDraw(const plat::RECT& rect, const SubtractBracket& saved) {
  FillInverted(rect);
  SetDrawBrightColorValue(saved.bright);
  SetBlendState(kBlendSub, static_cast<int>(saved.param));
}

namespace {

// Texture draws in blend mode 3 run inside the subtract bracket.
template <typename Draw>
int DrawTexture(const plat::RECT& rect, Draw draw) {
  if (gDrawState.blendMode != kBlendSub) return draw();
  const SubtractBracket saved = BeginSubtractBlendDraw(rect);
  const int result = draw();
  EndSubtractBlendDraw(rect, saved);
  return result;
}

bool MovieShownOnWindow(const GraphRecord* g) {
  MovieGraphInfo info{};
  return g->movie != -1 && GetMovieGraphInfo(g->movie, &info) == 0 && info.drawsToWindow;
}

// A movie graph takes its newest frame; a movie shown straight on the window is drawn there instead
// (true: the caller returns -1 without drawing the graph).
bool MovieDrawnToWindow(const GraphRecord* g, int x, int y, int scale) {
  if (g->movie == -1) return false;
  UpdateMovieFrame(g->movie);
  if (!MovieShownOnWindow(g)) return false;
  DrawMovieToWindow(x, y, scale, g->movie, 1);
  return true;
}

// ---- Coordinates no draw can place ---------------------------------------------------------------

enum class DrawKind { kPlaced, kStretched, kQuad };

// What a graph draw gives, drawing nothing, when its coordinates cannot be placed: the result of the
// same draw clipped away whole. A movie shown on the window gives -1, as the draw does after showing it
// there; a stretched 2D graph on the DirectDraw road gives -1, as that back-end answers a rectangle
// clipped away whole; every other draw gives 0.
int UnplaceableResult(const GraphRecord* g, DrawKind kind) {
  if (kind != DrawKind::kQuad && MovieShownOnWindow(g)) return -1;
  if (kind == DrawKind::kStretched && !g->format.texture && !ScreensAreMemImgs()) return -1;
  return 0;
}

// The same for entries that hand the draw on: the checks the draw makes first come first.
int UnplaceableDraw(int graph, DrawKind kind) {
  if (gDrawState.drawAreaEmpty) return 0;
  const GraphRecord* g = CheckGraphDraw(graph);
  return g == nullptr ? -1 : UnplaceableResult(g, kind);
}

bool PlaceableBox(int64_t left, int64_t top, int64_t right, int64_t bottom) {
  return PlaceableEdge(left) && PlaceableEdge(top) && PlaceableEdge(right) && PlaceableEdge(bottom);
}

// Draws the whole graph with the draw area narrowed to `part` (clipped by the old area); only the
// stored rectangle and its float copy change, and both are put back.
template <typename Draw>
int DrawWithNarrowedArea(const plat::RECT& part, Draw draw) {
  const plat::RECT saved = gDrawState.drawArea;
  float savedF[4];
  std::copy(gDrawState.drawAreaF, gDrawState.drawAreaF + 4, savedF);
  plat::RECT narrowed = part;
  ClipRect(&narrowed, &saved);
  gDrawState.drawArea = narrowed;
  gDrawState.drawAreaF[0] = static_cast<float>(narrowed.left);
  gDrawState.drawAreaF[1] = static_cast<float>(narrowed.top);
  gDrawState.drawAreaF[2] = static_cast<float>(narrowed.right);
  gDrawState.drawAreaF[3] = static_cast<float>(narrowed.bottom);
  const int result = draw();
  gDrawState.drawArea = saved;
  std::copy(savedF, savedF + 4, gDrawState.drawAreaF);
  return result;
}

}  // namespace

int DrawGraphAt(int x, int y, int graph, int transparent) {
  if (gDrawState.drawAreaEmpty) return 0;
  GraphRecord* g = CheckGraphDraw(graph);
  if (g == nullptr) return -1;
  if (!PlaceableBox(x, y, int64_t{x} + g->width, int64_t{y} + g->height)) {
    return UnplaceableResult(g, DrawKind::kPlaced);
  }
  const plat::RECT rect = {x, y, x + g->width, y + g->height};
  if (MovieDrawnToWindow(g, x, y, 1)) return -1;
  BeforeDraw(rect);
  int result;
  if (g->format.texture) {
    result = DrawTexture(rect, [&] {
      return D3D_DrawGraphAt(x, y, static_cast<float>(x), static_cast<float>(y), g, transparent, 1);
    });
  } else {
    result = DrawGraph2DAt(x, y, g, transparent);
  }
  AfterDraw(rect);
  return result;
}

int DrawStretchGraph(int x1, int y1, int x2, int y2, int graph, int transparent) {
  if (gDrawState.drawAreaEmpty) return 0;
  GraphRecord* g = CheckGraphDraw(graph);
  if (g == nullptr) return -1;
  if (!PlaceableBox(x1, y1, x2, y2)) return UnplaceableResult(g, DrawKind::kStretched);
  const plat::RECT rect = {std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
  if (MovieDrawnToWindow(g, x1, y1, g->width != 0 ? (x2 - x1) / g->width : 0)) return -1;
  BeforeDraw(rect);
  int result;
  if (g->format.texture) {
    result = DrawTexture(rect, [&] {
      return D3D_DrawStretchGraph(x1, y1, x2, y2, static_cast<float>(x1), static_cast<float>(y1),
                                  static_cast<float>(x2), static_cast<float>(y2), g, transparent, 0);
    });
  } else {
    result = DrawStretchSurface2D(x1, y1, x2, y2, g, transparent, -1);
  }
  AfterDraw(rect);
  return result;
}

int DrawMirroredGraph(int x, int y, int graph, int transparent) {
  const GraphRecord* g = GetGraphRecord(graph);
  if (g == nullptr) return gDrawState.drawAreaEmpty ? 0 : -1;
  const int64_t right = int64_t{x} + g->width, bottom = int64_t{y} + g->height;
  if (!PlaceableBox(x, y, right, bottom)) return UnplaceableDraw(graph, DrawKind::kStretched);
  return DrawStretchGraph(static_cast<int>(right), y, x, static_cast<int>(bottom), graph, transparent);
}

// Points in the public order: top-left, top-right, bottom-right, bottom-left. The back-ends take
// top-left, top-right, bottom-left, bottom-right, so points 3 and 4 are swapped here, once.
int DrawQuadGraph(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4, int graph,
                  int transparent) {
  if (gDrawState.drawAreaEmpty) return 0;
  GraphRecord* g = CheckGraphDraw(graph);
  if (g == nullptr) return -1;
  const float xs[4] = {x1, x2, x3, x4};
  const float ys[4] = {y1, y2, y3, y4};
  for (int i = 0; i < 4; ++i) {
    if (!PlaceableEdge(static_cast<double>(xs[i])) || !PlaceableEdge(static_cast<double>(ys[i]))) {
      return UnplaceableResult(g, DrawKind::kQuad);
    }
  }
  const plat::RECT rect = {static_cast<int>(*std::min_element(xs, xs + 4)), static_cast<int>(*std::min_element(ys, ys + 4)),
                           static_cast<int>(*std::max_element(xs, xs + 4)), static_cast<int>(*std::max_element(ys, ys + 4))};
  if (g->movie != -1) UpdateMovieFrame(g->movie);
  BeforeDraw(rect);
  int result;
  if (g->format.texture) {
    result = DrawTexture(rect, [&] { return D3D_DrawQuadGraph(x1, y1, x2, y2, x4, y4, x3, y3, graph, transparent); });
  } else {
    result = DrawQuadGraph2D(x1, y1, x2, y2, x4, y4, x3, y3, g, transparent);
  }
  AfterDraw(rect);
  return result;
}

int DrawGraphPart(int x, int y, int srcX, int srcY, int width, int height, int graph, int transparent, int mirror) {
  const GraphRecord* g = mirror ? GetGraphRecord(graph) : nullptr;
  if (mirror && g == nullptr) return -1;
  // Where the whole graph goes so that the part lands at (x, y).
  const int64_t left = mirror ? int64_t{x} - g->width + srcX + width : int64_t{x} - srcX;
  const int64_t top = int64_t{y} - srcY;
  const int64_t partRight = int64_t{x} + width, partBottom = int64_t{y} + height;
  if (!PlaceableBox(x, y, partRight, partBottom) || !PlaceableEdge(left) || !PlaceableEdge(top)) {
    return UnplaceableDraw(graph, mirror ? DrawKind::kStretched : DrawKind::kPlaced);
  }
  const plat::RECT part = {x, y, static_cast<int>(partRight), static_cast<int>(partBottom)};
  return DrawWithNarrowedArea(part, [&] {
    if (!mirror) return DrawGraphAt(static_cast<int>(left), static_cast<int>(top), graph, transparent);
    return DrawMirroredGraph(static_cast<int>(left), static_cast<int>(top), graph, transparent);
  });
}

int DrawStretchGraphPart(int x1, int y1, int x2, int y2, int srcX, int srcY, int srcWidth, int srcHeight, int graph,
                         int transparent) {
  const GraphRecord* g = GetGraphRecord(graph);
  if (g == nullptr) return -1;
  // A source part without pixels has no scale; a negative size gives a negative scale, which mirrors
  // the part on that axis.
  if (srcWidth == 0 || srcHeight == 0) return -1;
  if (!PlaceableBox(x1, y1, x2, y2)) return UnplaceableDraw(graph, DrawKind::kStretched);
  const bool mirrorX = x2 < x1;
  const bool mirrorY = y2 < y1;
  const int left = std::min(x1, x2);
  const int right = std::max(x1, x2);
  const int top = std::min(y1, y2);
  const int bottom = std::max(y1, y2);
  const double sx = static_cast<double>(right - left) / srcWidth;
  const double sy = static_cast<double>(bottom - top) / srcHeight;
  // The whole graph's corners, in double until they are known to be placeable (exact while they are).
  const double ax = std::trunc(srcX * sx);
  const double bx = std::trunc((static_cast<double>(g->width) - srcX) * sx);
  const double ay = std::trunc(srcY * sy);
  const double by = std::trunc((static_cast<double>(g->height) - srcY) * sy);
  const double X1 = mirrorX ? right + ax : left - ax;
  const double X2 = mirrorX ? right - bx : left + bx;
  const double Y1 = mirrorY ? bottom + ay : top - ay;
  const double Y2 = mirrorY ? bottom - by : top + by;
  if (!PlaceableEdge(X1) || !PlaceableEdge(X2) || !PlaceableEdge(Y1) || !PlaceableEdge(Y2)) {
    return UnplaceableDraw(graph, DrawKind::kStretched);
  }
  const plat::RECT part = {left, top, right, bottom};
  return DrawWithNarrowedArea(part, [&] {
    return DrawStretchGraph(static_cast<int>(X1), static_cast<int>(Y1), static_cast<int>(X2), static_cast<int>(Y2),
                            graph, transparent);
  });
}

namespace {

int DrawBox(int x1, int y1, int x2, int y2, uint32_t color, bool fill) {
  if (gDrawState.drawAreaEmpty) return 0;
  WaitWhileInactive();
  if (!PlaceableBox(x1, y1, x2, y2)) return 0;  // as a box clipped away whole, on every road
  const plat::RECT rect = {std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
  BeforeDraw(rect);
  int result;
  if (GetUseTextureGraphs() && IsDirect3DAvailable() && !SoftwareScreen()) {
    result = DrawTexture(rect, [&] {
      return fill ? D3D_DrawFillBox(x1, y1, x2, y2, color) : D3D_DrawLineBox(x1, y1, x2, y2, color);
    });
  } else {
    result = fill ? DrawBoxBackend2D(x1, y1, x2, y2, color) : RectBackend2D(x1, y1, x2, y2, color);
  }
  AfterDraw(rect);
  return result;
}

}  // namespace

int DrawFillBox(int x1, int y1, int x2, int y2, uint32_t color) { return DrawBox(x1, y1, x2, y2, color, true); }
int DrawLineBox(int x1, int y1, int x2, int y2, uint32_t color) { return DrawBox(x1, y1, x2, y2, color, false); }

int DrawRectangle(int x1, int y1, int x2, int y2, uint32_t color, int fill) {
  return fill ? DrawFillBox(x1, y1, x2, y2, color) : DrawLineBox(x1, y1, x2, y2, color);
}

}  // namespace orbel
