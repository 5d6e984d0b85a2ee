// The global draw state and its setters. Every setter compares first and does nothing for an
// unchanged value. The Direct3D hand-offs, the draw-screen selection and the graph checks are added
// by the graphics subsystem where marked.
#include "orbel/graphics/draw_state.h"

#include "orbel/core/library_state.h"
#include "orbel/core/log.h"
#include "orbel/graphics/d3d/d3d_system.h"
#include "orbel/graphics/graphics_manager.h"
#include "orbel/graphics/graphics_system.h"
#include "orbel/graphics/surface2d.h"
#include "orbel/softrender/blend_tables.h"

namespace orbel {

namespace {

int Clamp255(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

int ClampBetween(int v, int low, int high) { return v < low ? low : (v > high ? high : v); }

// The pixels the draw area may cover: the draw screen's size; for the front screen in a window only
// what the window shows, the parts of the client area beyond the desktop's edges cut off.
plat::RECT DrawAreaLimit() {
  plat::RECT limit = {0, 0, gDrawState.drawScreenWidth, gDrawState.drawScreenHeight};
  if (gDrawState.drawScreen != kDrawScreenFront || !gSettings.windowMode || gWindow.window == nullptr) return limit;
  const plat::RECT client = gWindow.clientRect;
  if (client.left < 0) limit.left = -client.left;
  if (client.top < 0) limit.top = -client.top;
  if (gWindow.desktopWidth > 0 && client.left + limit.right > gWindow.desktopWidth) {
    limit.right = gWindow.desktopWidth - client.left;
  }
  if (gWindow.desktopHeight > 0 && client.top + limit.bottom > gWindow.desktopHeight) {
    limit.bottom = gWindow.desktopHeight - client.top;
  }
  if (limit.right < limit.left) limit.right = limit.left;
  if (limit.bottom < limit.top) limit.bottom = limit.top;
  return limit;
}

// The defaults, keeping the restore callback and the screen settings of `kept`.
DrawState MakeDefaultDrawState(const DrawState& kept) {
  DrawState st{};
  st.restoreCallback = kept.restoreCallback;
  st.screenWidth = kept.screenWidth;
  st.screenHeight = kept.screenHeight;
  st.screenDepth = kept.screenDepth;

  st.brightColor = kBrightWhite;
  st.blendGraph = -1;
  st.d3dDrawSettings[2] = 4;
  st.drawZ = 0.2f;
  MakeIdentityMatrix(&st.worldMatrix);
  MakeIdentityMatrix(&st.viewMatrix);
  MakeIdentityMatrix(&st.projectionMatrix);
  MakeIdentityMatrix(&st.screenMatrix);
  MakeIdentityMatrix(&st.worldViewProjScreen);
  MakeIdentityMatrix(&st.viewRotation);

  // The back screen first, then the front screen; the graphics subsystem makes this a real
  // SelectDrawScreen, which also sets up the matrices and the default light.
  st.drawScreen = kDrawScreenBack;
  st.drawScreen = kDrawScreenFront;
  st.drawScreenWidth = kept.screenWidth > 0 ? kept.screenWidth : kDefaultScreenWidth;
  st.drawScreenHeight = kept.screenHeight > 0 ? kept.screenHeight : kDefaultScreenHeight;
  st.drawArea = {0, 0, st.drawScreenWidth, st.drawScreenHeight};
  st.requestedDrawArea = st.drawArea;
  st.drawAreaF[2] = static_cast<float>(st.drawScreenWidth);
  st.drawAreaF[3] = static_cast<float>(st.drawScreenHeight);
  return st;
}

}  // namespace

// Holds the defaults from the start, so that software draws before graphics start-up see a white
// bright colour and a 640 x 480 draw area.
DrawState gDrawState = MakeDefaultDrawState(DrawState{});

int InitDrawStateDefaults() {
  gDrawState = MakeDefaultDrawState(gDrawState);
  // The vertex colour carries the default blend and brightness too.
  if (IsDirect3DAvailable()) D3D_RefreshDrawColor();
  return 0;
}

int SetBlendState(int mode, int param) {
  // Modes past the table would index beyond it on the Direct3D side: refuse them.
  if (mode < 0 || mode >= kBlendModeCount) return -1;
  const uint32_t p = static_cast<uint32_t>(Clamp255(param));
  if (gDrawState.blendMode == static_cast<uint32_t>(mode) && gDrawState.blendParam == p) return 0;
  gDrawState.blendMode = static_cast<uint32_t>(mode);
  gDrawState.blendParam = p;
  // The vertex colour carries the blend parameter as its alpha (255 in mode 0).
  if (IsDirect3DAvailable()) D3D_RefreshDrawColor();
  return 0;
}

uint32_t BrightenedRgb(uint32_t color) {
  int r = 0;
  int g = 0;
  int b = 0;
  SplitColor(color, &r, &g, &b);
  const uint32_t bright = gDrawState.brightColor;
  r = r * static_cast<int>((bright >> 16) & 0xFF) / 255;
  g = g * static_cast<int>((bright >> 8) & 0xFF) / 255;
  b = b * static_cast<int>(bright & 0xFF) / 255;
  return static_cast<uint32_t>(r << 16 | g << 8 | b);
}

int SetDrawBrightness(int red, int green, int blue) {
  return SetDrawBrightColorValue(static_cast<uint32_t>(Clamp255(red) << 16 | Clamp255(green) << 8 |
                                                       Clamp255(blue)));
}

int SetDrawBrightColorValue(uint32_t color) {
  color &= 0xFFFFFF;
  if (gDrawState.brightColor == color) return 0;
  gDrawState.brightColor = color;
  if (IsDirect3DAvailable()) D3D_RefreshDrawColor();
  return 0;
}

int SetDrawBlendGraph(int graph, int threshold, int range) {
  if (graph != -1 && !IsValidGraphHandle(graph)) return -1;
  threshold = Clamp255(threshold);
  range = Clamp255(range);
  gDrawState.blendGraph = graph < 0 ? -1 : graph;
  gDrawState.blendGraphThreshold = static_cast<uint32_t>(threshold);
  gDrawState.blendGraphRange = static_cast<uint32_t>(range);
  if (IsDirect3DAvailable()) D3D_SetBlendGraphParam(gDrawState.blendGraph, threshold, range);
  // The weight table is stale, not cleared, while no blend graph is selected.
  if (gDrawState.blendGraph != -1) SetBlendGraphWeights(gDrawState.blendGraph, threshold, range);
  return 0;
}

int SetDrawClipArea(int left, int top, int right, int bottom) {
  gDrawState.requestedDrawArea = {left, top, right, bottom};
  const plat::RECT limit = DrawAreaLimit();
  if (left > right) {
    const int t = left;
    left = right;
    right = t;
  }
  if (top > bottom) {
    const int t = top;
    top = bottom;
    bottom = t;
  }
  plat::RECT& area = gDrawState.drawArea;
  area.left = ClampBetween(left, limit.left, limit.right);
  area.top = ClampBetween(top, limit.top, limit.bottom);
  area.right = ClampBetween(right, limit.left, limit.right);
  area.bottom = ClampBetween(bottom, limit.top, limit.bottom);
  gDrawState.drawAreaF[0] = static_cast<float>(area.left);
  gDrawState.drawAreaF[1] = static_cast<float>(area.top);
  gDrawState.drawAreaF[2] = static_cast<float>(area.right);
  gDrawState.drawAreaF[3] = static_cast<float>(area.bottom);
  if (area.left == area.right || area.top == area.bottom) {
    gDrawState.drawAreaEmpty = 1;
    return 0;
  }
  gDrawState.drawAreaEmpty = 0;
  if (IsDirect3DAvailable() && D3D_SetDrawArea(&area) != 0) {
    const int screen = gDrawState.drawScreen;
    LogFmtAdd("ビューポートの設定に失敗しました %s",
              screen == kDrawScreenFront ? "Front Buffer" : screen == kDrawScreenBack ? "Back Buffer" : "Image Buffer");
  }
  return 0;
}

int GetDrawAreaRect(plat::RECT* rect) {
  *rect = gDrawState.drawArea;
  return 0;
}

int SetDrawAreaRectRaw(const plat::RECT* rect) {
  gDrawState.frontWindowRect = *rect;
  return 0;
}

int SetTransColor(int red, int green, int blue) {
  gDrawState.transColor = static_cast<uint32_t>(Clamp255(red) << 16 | Clamp255(green) << 8 | Clamp255(blue));
  return 0;
}

int GetTransColor(int* red, int* green, int* blue) {
  const uint32_t c = gDrawState.transColor;
  if (red != nullptr) *red = static_cast<int>((c >> 16) & 0xFF);
  if (green != nullptr) *green = static_cast<int>((c >> 8) & 0xFF);
  if (blue != nullptr) *blue = static_cast<int>(c & 0xFF);
  return 0;
}

int SetDrawFilterMode(int mode) {
  if (gDrawState.filterMode == static_cast<uint32_t>(mode)) return 0;
  gDrawState.filterMode = static_cast<uint32_t>(mode);
  if (IsDirect3DAvailable()) D3D_SetGraphFilter(mode);
  return 0;
}

int GetDrawFilterMode() { return static_cast<int>(gDrawState.filterMode); }

int GetScreenSizeAndDepth(int* width, int* height, int* depth) {
  if (width != nullptr) *width = gDrawState.screenWidth > 0 ? gDrawState.screenWidth : kDefaultScreenWidth;
  if (height != nullptr) *height = gDrawState.screenHeight > 0 ? gDrawState.screenHeight : kDefaultScreenHeight;
  if (depth != nullptr) *depth = gDrawState.screenDepth > 0 ? gDrawState.screenDepth : kDefaultScreenDepth;
  return 0;
}

}  // namespace orbel
