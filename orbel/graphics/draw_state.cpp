// The global draw state and its setters. Every setter compares first and does nothing for an
// unchanged value. The Direct3D hand-offs, the draw-screen selection and the graph checks are added
// by the graphics subsystem where marked.
#include "orbel/graphics/draw_state.h"

#include "orbel/softrender/blend_tables.h"

namespace orbel {

namespace {

int Clamp255(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

int ClampRange(int v, int limit) { return v < 0 ? 0 : (v > limit ? limit : v); }

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
  return 0;
}

int SetBlendState(int mode, int param) {
  // Modes past the table would index beyond it on the Direct3D side: refuse them.
  if (mode < 0 || mode >= kBlendModeCount) return -1;
  const uint32_t p = static_cast<uint32_t>(Clamp255(param));
  if (gDrawState.blendMode == static_cast<uint32_t>(mode) && gDrawState.blendParam == p) return 0;
  gDrawState.blendMode = static_cast<uint32_t>(mode);
  gDrawState.blendParam = p;
  // The graphics subsystem tells the Direct3D side to refresh its pending state here.
  return 0;
}

int SetDrawBrightness(int red, int green, int blue) {
  return SetDrawBrightColorValue(static_cast<uint32_t>(Clamp255(red) << 16 | Clamp255(green) << 8 |
                                                       Clamp255(blue)));
}

int SetDrawBrightColorValue(uint32_t color) {
  color &= 0xFFFFFF;
  if (gDrawState.brightColor == color) return 0;
  gDrawState.brightColor = color;
  // The graphics subsystem refreshes the Direct3D diffuse colour here.
  return 0;
}

int SetDrawBlendGraph(int graph, int threshold, int range) {
  // The graphics subsystem refuses a graph that is not live (-1) and hands the graph to the
  // Direct3D side here.
  threshold = Clamp255(threshold);
  range = Clamp255(range);
  gDrawState.blendGraph = graph < 0 ? -1 : graph;
  gDrawState.blendGraphThreshold = static_cast<uint32_t>(threshold);
  gDrawState.blendGraphRange = static_cast<uint32_t>(range);
  // The weight table is stale, not cleared, while no blend graph is selected.
  if (gDrawState.blendGraph != -1) MakeBlendGraphWeightTable(threshold, range);
  return 0;
}

int SetDrawClipArea(int left, int top, int right, int bottom) {
  gDrawState.requestedDrawArea = {left, top, right, bottom};
  // The limit is the selected draw screen's size; the graphics subsystem narrows it for graphs and
  // the front screen in window mode.
  const int width = gDrawState.drawScreenWidth;
  const int height = gDrawState.drawScreenHeight;
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
  area.left = ClampRange(left, width);
  area.top = ClampRange(top, height);
  area.right = ClampRange(right, width);
  area.bottom = ClampRange(bottom, height);
  gDrawState.drawAreaF[0] = static_cast<float>(area.left);
  gDrawState.drawAreaF[1] = static_cast<float>(area.top);
  gDrawState.drawAreaF[2] = static_cast<float>(area.right);
  gDrawState.drawAreaF[3] = static_cast<float>(area.bottom);
  if (area.left == area.right || area.top == area.bottom) {
    gDrawState.drawAreaEmpty = 1;
    return 0;
  }
  gDrawState.drawAreaEmpty = 0;
  // The graphics subsystem sets the Direct3D viewport here.
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
  // The graphics subsystem hands the mode to the Direct3D side here.
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
