// PENDING: stands in for the graphics subsystem until it is built; delete this file then.
// Every call does nothing and answers what lets start-up, the window procedure and the pump go on:
// no DirectDraw object, hardware rendering, no display change, a 640 x 480 x 16 screen unless a mode was
// set, graphs that cannot be made. The screen mode and the draw screen are kept in the draw-state block
// so that its getters and these agree.
#include "orbel/graphics/draw_state.h"
#include "orbel/graphics/graphics_system.h"
#include "orbel/image/color_data.h"

namespace orbel {

namespace {

struct PendingGraphics {
  int softwareRequest = 0;
  int useBackSurface = 0;
  int restoreHandlerSet = 0;
};

PendingGraphics g_pending;

}  // namespace

int GetSoftwareRenderRequest() { return g_pending.softwareRequest; }
int SetSoftwareRenderMode(int flag) {
  g_pending.softwareRequest = flag;
  return 0;
}
int ChangeRenderingMode(int) { return 0; }
int SetUseBackSurfaceFlag(int flag) {
  g_pending.useBackSurface = flag;
  return 0;
}
int GetUseBackSurfaceFlag() { return g_pending.useBackSurface; }

int GetScreenPixelSize(int* width, int* height) {
  if (width) *width = gDrawState.screenWidth ? gDrawState.screenWidth : kDefaultScreenWidth;
  if (height) *height = gDrawState.screenHeight ? gDrawState.screenHeight : kDefaultScreenHeight;
  return 0;
}

int GetScreenColorBitDepth() {
  return gDrawState.screenDepth ? gDrawState.screenDepth : kDefaultScreenDepth;
}

int SetScreenMode(int width, int height, int depth, int) {
  int currentWidth = 0;
  int currentHeight = 0;
  GetScreenPixelSize(&currentWidth, &currentHeight);
  if (width == -1) width = currentWidth;
  if (height == -1) height = currentHeight;
  if (depth == -1) depth = GetScreenColorBitDepth();
  if (width <= 0 || height <= 0 || (depth != 8 && depth != 16 && depth != 32)) return -1;
  gDrawState.screenWidth = width;
  gDrawState.screenHeight = height;
  gDrawState.screenDepth = depth;
  return 0;
}

const ColorData* GetScreenColorData() {
  // The 16-bit screen of a library without a display: R5G6B5.
  static const ColorData format = [] {
    ColorData data = {};
    BuildColorFormat(&data, 16, 0xF800, 0x07E0, 0x001F, 0);
    return data;
  }();
  return &format;
}

plat::IDirectDraw7* GetDirectDrawObject() { return nullptr; }
int IsHardwareRendering() { return 1; }
int IsDisplayModeChanged() { return 0; }
int GetGdiSurfaceOutputRequest() { return 0; }
int SwitchGdiSurfaceOutput(int) { return 0; }

int ChangeDisplayMode(int, int, int, int, int) { return 0; }
int OutputColorInfo() { return 0; }
int ReleaseDirectDraw() { return 0; }
int D3D_ReleaseDirect3D() { return -1; }
int PresentBackSurfaceToWindow(const plat::RECT*) { return 0; }

int InitDirectDrawSystem(plat::HWND) { return 0; }
int EndDirectDrawSystem() { return 0; }
int SetFlipWaitsForVSync(int flag) {
  gDrawState.noVSync = flag == 0;
  return 0;
}
int GetFlipWaitsForVSync() { return gDrawState.noVSync == 0; }
int SelectDrawScreen(int screen) {
  if (screen != kDrawScreenBack && screen != kDrawScreenFront) return -1;  // no graph can be live yet
  gDrawState.drawScreen = screen;
  return 0;
}
int GetSelectedDrawScreen() { return gDrawState.drawScreen; }
int GetMaskScreenUse() { return 0; }
int SetMaskScreenUse(int) { return -1; }

int SetNewGraphDrawValidFlag(int) { return 0; }
int MakeEmptyGraph(int, int, int) { return -1; }
int DeleteGraphHandle(int, int) { return -1; }
int IsValidGraphHandle(int) { return 0; }
int GetGraphExtent(int graph, int* width, int* height) {
  if (graph != kDrawScreenBack && graph != kDrawScreenFront) return -1;
  return GetScreenPixelSize(width, height);
}
int CreateGraphFromImage(const GraphImage*, const GraphImage*, int, int, int) { return -1; }
int CreateGraphFromImageNoAlpha(const GraphImage*) { return -1; }
int DrawGraphAt(int, int, int, int) { return -1; }
int DrawStretchGraph(int, int, int, int, int, int) { return -1; }
int CaptureScreenToGraph(int, int, int, int, int, int) { return -1; }

int SetGraphRestoreHandler(int (*)()) {
  g_pending.restoreHandlerSet = 1;  // null installs the default handler, so one is always set
  return 0;
}
int HasRestoreCallback() { return g_pending.restoreHandlerSet; }
int RestoreAllGraphs() { return 0; }
int RestoreAllSurfaces2D() { return 0; }
int D3D_RestoreAllTextures() { return -1; }
int RecreateAllAfterModeChange() { return 0; }

}  // namespace orbel
