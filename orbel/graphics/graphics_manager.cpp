// The graphics manager: start and end, the draw-screen selection with its matrices and camera, colour
// values in the screen's format, the screen clear, texture-graph use, vertical-sync setting and the
// frame counter. The plain draw-state setters are in draw_state.cpp.
// Depends on the screen state, the 2D side (SelectDrawScreenSurface, ClearScreenBackend2D), the graph
// records, the mask screen, the Direct3D side and the font table.
#include "orbel/graphics/graphics_manager.h"

#include "orbel/core/library.h"
#include "orbel/core/library_state.h"
#include "orbel/core/log.h"
#include "orbel/core/menu.h"
#include "orbel/core/message_pump.h"
#include "orbel/font/font_system.h"
#include "orbel/graphics/backend_2d.h"
#include "orbel/graphics/d3d/d3d_system.h"
#include "orbel/graphics/direct_draw.h"
#include "orbel/graphics/draw_state.h"
#include "orbel/graphics/graph_record.h"
#include "orbel/graphics/graphics_system.h"
#include "orbel/graphics/mask_screen.h"
#include "orbel/graphics/screen_present.h"
#include "orbel/graphics/screen_road.h"
#include "orbel/graphics/screen_state.h"
#include "orbel/graphics/surface2d.h"

namespace orbel {

namespace {

struct GraphicsManagerState {
  int started;             // InitGraphicsManager ran
  int direct3DAvailable;   // the Direct3D probe succeeded
  int useTextureGraphs;    // new graphs may be texture graphs
  int systemStarted;       // InitDirectDrawSystem succeeded
};

GraphicsManagerState g_manager = {0, 0, 1, 0};

// Recomputes the cached products after a matrix change.
void UpdateTransformCache() {
  DrawState& st = gDrawState;
  Matrix4 viewProj;
  MakeMultiplyMatrix(&viewProj, &st.viewMatrix, &st.projectionMatrix);
  Matrix4 worldViewProj;
  MakeMultiplyMatrix(&worldViewProj, &st.worldMatrix, &viewProj);
  MakeMultiplyMatrix(&st.worldViewProjScreen, &worldViewProj, &st.screenMatrix);
  MakeIdentityMatrix(&st.viewRotation);
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) st.viewRotation.m[r][c] = st.viewMatrix.m[c][r];
  }
}

int ScreenChannel(int value, uint8_t width, uint8_t shift) {
  if (value < 0) value = 0;
  if (value > 255) value = 255;
  if (width == 0) return 0;
  return width >= 8 ? value << (shift + width - 8) : (value >> (8 - width)) << shift;
}

// The colour format drawing uses: the software screen's when it differs from the display.
const ColorData* DrawColorFormat() {
  if (SoftwareScreenNot8Bit()) {
    return GetMemImgColorData(GetScreenColorBitDepth() == 16 ? kMemImgR5G6B5 : kMemImgX8R8G8B8, 0, 0);
  }
  return &gScreen.displayColorData;
}

}  // namespace

int IsGraphicsManagerStarted() { return g_manager.started; }
int IsDirect3DAvailable() { return g_manager.direct3DAvailable; }

int GetClientOriginOnDesktop(int* x, int* y) {
  if (x != nullptr) *x = gWindow.clientRect.left;
  if (y != nullptr) *y = gWindow.clientRect.top + GetToolBarHeight();
  return 0;
}

int GetDrawScreenOrigin(int* x, int* y) {
  if (gDrawState.drawScreen == kDrawScreenFront && gSettings.windowMode && !SoftwareScreenNot8Bit()) {
    return GetClientOriginOnDesktop(x, y);
  }
  *x = 0;
  *y = 0;
  return 0;
}

// ---- Matrices ---------------------------------------------------------------------------------------

int SetWorldMatrix(const Matrix4* matrix, int index) {
  gDrawState.worldMatrix = *matrix;
  UpdateTransformCache();
  if (g_manager.direct3DAvailable) D3D_SetTransformWorld(matrix, index);
  return 0;
}

int SetViewMatrix(const Matrix4* matrix) {
  gDrawState.viewMatrix = *matrix;
  UpdateTransformCache();
  if (g_manager.direct3DAvailable) D3D_SetTransformView(matrix);
  return 0;
}

int SetProjectionMatrix(const Matrix4* matrix) {
  gDrawState.projectionMatrix = *matrix;
  UpdateTransformCache();
  if (g_manager.direct3DAvailable) D3D_SetTransformProjection(matrix);
  return 0;
}

// ---- Draw screen ------------------------------------------------------------------------------------

int SelectDrawScreen(int screen) {
  if (!g_manager.started) return -1;
  if (!gWindow.active) WaitWhileInactive();
  const int maskUse = GetMaskScreenUse();
  SetMaskScreenUse(0);

  const int previous = gDrawState.drawScreen;
  gDrawState.drawScreen = screen;
  if (screen == kDrawScreenFront && gSettings.windowMode && !SoftwareScreenNot8Bit() && !gScreen.separateFrontSurface) {
    gDrawState.frontWindowRect = gWindow.clientRect;
  } else {
    gDrawState.frontWindowRect = {0, 0, 0, 0};
  }
  // The render target and the draw area below are placed by the new screen's origin, not the old one.
  GetDrawScreenOrigin(&gDrawState.drawOriginX, &gDrawState.drawOriginY);

  int asked = 0;
  int refused = 0;
  if (g_manager.direct3DAvailable) {
    ++asked;
    if (D3D_SelectDrawScreen(screen) != 0) ++refused;
  }
  ++asked;
  if (SelectDrawScreenSurface(screen, previous) != 0) ++refused;
  if (refused == asked) {
    gDrawState.drawScreen = previous;
    GetDrawScreenOrigin(&gDrawState.drawOriginX, &gDrawState.drawOriginY);
    if (g_manager.direct3DAvailable) D3D_SelectDrawScreen(previous);
    SelectDrawScreenSurface(previous, screen);
    SetMaskScreenUse(maskUse);
    return -1;
  }

  int width = 0;
  int height = 0;
  int oldWidth = 0;
  int oldHeight = 0;
  GetGraphExtent(screen, &width, &height);
  if (GetGraphExtent(previous, &oldWidth, &oldHeight) != 0) oldWidth = oldHeight = -1;
  gDrawState.drawScreenWidth = width;
  gDrawState.drawScreenHeight = height;
  if (width != oldWidth || height != oldHeight) {
    SetDrawClipArea(0, 0, width, height);
  } else {
    const plat::RECT area = gDrawState.requestedDrawArea;
    SetDrawClipArea(area.left, area.top, area.right, area.bottom);
  }

  Matrix4 matrix;
  MakeIdentityMatrix(&matrix);
  SetWorldMatrix(&matrix, 0);
  MakeViewportMatrix(&gDrawState.screenMatrix, width / 2.0f, height / 2.0f, static_cast<float>(width),
                     static_cast<float>(height));
  UpdateTransformCache();

  // A camera that shows the screen 1:1 at z = 0 with a 60-degree field of view.
  const float distance = height / 2.0f * 1.7320509f;
  const Vector3 eye = {width / 2.0f, height / 2.0f, -distance};
  const Vector3 target = {width / 2.0f, height / 2.0f, 0.0f};
  const Vector3 up = {0.0f, 1.0f, 0.0f};
  MakeLookAtMatrix(&matrix, &eye, &target, &up);
  SetViewMatrix(&matrix);
  if (MakePerspectiveMatrix(&matrix, 1.0471976f, distance * 0.01f, distance + 1000.0f, -1.0f) == 0) {
    SetProjectionMatrix(&matrix);
  }

  SetMaskScreenUse(maskUse);
  return 0;
}

int GetSelectedDrawScreen() { return gDrawState.drawScreen; }

// ---- Colours ----------------------------------------------------------------------------------------

uint32_t MakeColor(int red, int green, int blue) {
  if (GetScreenColorBitDepth() == 8) {
    const ColorPaletteEntry* palette = gScreen.displayColorData.palette;
    uint32_t best = 0;
    int bestDistance = 0xFFFFFF;
    for (uint32_t i = 0; i < 256; ++i) {
      const int dr = palette[i].red - red;
      const int dg = palette[i].green - green;
      const int db = palette[i].blue - blue;
      const int distance = dr * dr + dg * dg + db * db;
      if (distance < bestDistance) {
        bestDistance = distance;
        best = i;
      }
    }
    return best;
  }
  const ColorData* f = DrawColorFormat();
  return static_cast<uint32_t>(ScreenChannel(red, f->redWidth, f->redShift) |
                               ScreenChannel(green, f->greenWidth, f->greenShift) |
                               ScreenChannel(blue, f->blueWidth, f->blueShift)) |
         f->noneMask;
}

int SplitColor(uint32_t color, int* red, int* green, int* blue) {
  int r = 0;
  int g = 0;
  int b = 0;
  if (GetScreenColorBitDepth() == 8) {
    if (color > 255) return -1;
    const ColorPaletteEntry& entry = gScreen.displayColorData.palette[color];
    r = entry.red;
    g = entry.green;
    b = entry.blue;
  } else {
    const ColorData* f = DrawColorFormat();
    auto channel = [color](uint32_t mask, uint8_t shift, uint8_t width) {
      if (width == 0) return 0;
      const uint32_t max = (width >= 32) ? 0xFFFFFFFFu : (1u << width) - 1;
      return static_cast<int>(static_cast<uint64_t>((color & mask) >> shift) * 255 / max);
    };
    r = channel(f->redMask, f->redShift, f->redWidth);
    g = channel(f->greenMask, f->greenShift, f->greenWidth);
    b = channel(f->blueMask, f->blueShift, f->blueWidth);
  }
  if (red != nullptr) *red = r;
  if (green != nullptr) *green = g;
  if (blue != nullptr) *blue = b;
  return 0;
}

int ClearTargetScreen() {
  WaitWhileInactive();
  if (g_manager.direct3DAvailable) D3D_ClearTargetScreen();
  ClearScreenBackend2D();
  if (DrawingToMemImgFront()) {
    int width = 0;
    int height = 0;
    GetScreenPixelSize(&width, &height);
    const plat::RECT whole = {0, 0, width, height};
    StretchScreenToWindow(&whole);
  }
  return 0;
}

// ---- Texture graphs, vertical sync and the frame counter -------------------------------------------

int Is3DGraphCreation() {
  return g_manager.useTextureGraphs == 1 && g_manager.direct3DAvailable && D3D_IsDeviceReady() &&
         !SoftwareScreen();
}

int SetUseTextureGraphs(int flag) {
  if (gScreen.directDraw == nullptr) SetSoftwareRenderMode(flag ? 0 : 1);
  g_manager.useTextureGraphs = flag;
  return 0;
}

int GetUseTextureGraphs() { return g_manager.useTextureGraphs; }

int SetFlipWaitsForVSync(int flag) {
  gDrawState.noVSync = flag == 0;
  return 0;
}

int GetFlipWaitsForVSync() { return gDrawState.noVSync == 0; }

uint64_t GetFrameCounter() { return gDrawState.frameCounter; }
void ResetFrameCount() { gDrawState.frameCounter = 0; }
void CountFrame() { ++gDrawState.frameCounter; }

// ---- Life cycle -------------------------------------------------------------------------------------

int InitGraphicsManager() {
  if (g_manager.started) return 0;
  LogAdd("グラフィック管理系の初期化を行います\n");
  LogTabAdd();
  ResetGraphTables();
  g_manager.started = 1;
  DeleteAllSurfaces2D();
  g_manager.direct3DAvailable = D3D_DeleteAllSurface3D() == 0;
  LogAdd(g_manager.direct3DAvailable ? "３Ｄグラフィック描画機能を使用します\n"
                                      : "３Ｄグラフィック描画機能は使用しません\n");

  // Defaults: back screen first, then the front screen selected for real.
  DeleteAllLights();
  InitDrawStateDefaults();
  gDrawState.drawScreen = kDrawScreenBack;
  SelectDrawScreen(kDrawScreenFront);
  SetDrawClipArea(0, 0, gDrawState.drawScreenWidth, gDrawState.drawScreenHeight);
  CreateDirectionalLight(1.0f, -1.0f, 1.0f);

  InitFontHandleTable();
  LogTabSub();
  LogAdd("グラフィック管理系の初期化は正常に終了しました\n");
  return 0;
}

void ResetGraphicsManagerForTest() {
  g_manager = {0, 0, 1, 0};
  ResetMaskScreenForTest();
}

int EndGraphicsManager() {
  if (!g_manager.started) return 0;
  DeleteMaskScreenInternal();
  DeleteAllMaskData();
  DeleteAllGraphs(0);
  DeleteAllLights();
  EndFontHandleTable();
  g_manager.started = 0;
  g_manager.direct3DAvailable = 0;
  LogAdd("グラフィック管理系の終了処理は正常に終了しました\n");
  return 0;
}

int InitDirectDrawSystem(plat::HWND) {
  if (InitDirectDraw() != 0) {
    if (SoftwareScreen()) ErrorExitLibrary("DirectDraw の初期化に失敗しました");
    LogAdd("ソフトウエアレンダリングモードに変更します\n");
    ChangeRenderingMode(0);
    if (InitDirectDraw() != 0) ErrorExitLibrary("DirectDraw の初期化に失敗しました");
  }
  g_manager.systemStarted = 1;
  return 0;
}

int EndDirectDrawSystem() {
  EndDirectDraw();
  g_manager.systemStarted = 0;
  return 0;
}

}  // namespace orbel
