// The graphics subsystem as the core runtime sees it: screen settings, the DirectDraw object, the graph
// road that start-up exercises once, the restore and re-creation hooks of the window procedure, and the
// window presentation. The draw state (blend mode, draw area, filter mode, MakeColor) is
// declared in draw_state.h, not here.
#pragma once

#include <cstdint>

#include "orbel/graphics/screen_state.h"
#include "platform/win/kernel/win_types.h"

namespace plat {
class IDirectDraw7;
}

namespace orbel {

struct ColorData;
struct GraphImage;

// ---- Screen state and screen mode ------------------------------------------------------------------
// The accessors, SetScreenMode, ChangeRenderingMode and SwitchGdiSurfaceOutput: screen_state.h.

// ---- Display-mode change and the DirectDraw object -------------------------------------------------

// -1 keeps width, height, depth and refresh rate; force 1 rebuilds even when nothing changed.
int ChangeDisplayMode(int width, int height, int depth, int force, int refreshRate);
int OutputColorInfo();
int ReleaseDirectDraw();
int D3D_ReleaseDirect3D();
// Copies the back screen to the window; `clientPart` null means the whole client area.
int PresentBackSurfaceToWindow(const plat::RECT* clientPart);

// ---- Graphics manager lifecycle --------------------------------------------------------------------

// Starts DirectDraw for the main window (falls back to software rendering); negative on failure.
int InitDirectDrawSystem(plat::HWND window);
int EndDirectDrawSystem();
int SetFlipWaitsForVSync(int flag);
int GetFlipWaitsForVSync();
// -2 back screen, -4 front screen, else a draw-valid graph.
int SelectDrawScreen(int screen);
int GetSelectedDrawScreen();
int GetMaskScreenUse();
int SetMaskScreenUse(int use);

// ---- Graphs ----------------------------------------------------------------------------------------

int SetNewGraphDrawValidFlag(int flag);
// An empty graph; handle or -1.
int MakeEmptyGraph(int width, int height, int no3D);
int DeleteGraphHandle(int graph, int logFlag);
int IsValidGraphHandle(int graph);
int GetGraphExtent(int graph, int* width, int* height);
int CreateGraphFromImage(const GraphImage* image, const GraphImage* alphaImage, int textureAllowed,
                         int mirror, int mirrorBack);
int CreateGraphFromImageNoAlpha(const GraphImage* image);
int DrawGraphAt(int x, int y, int graph, int transparent);
int DrawStretchGraph(int x1, int y1, int x2, int y2, int graph, int transparent);
int CaptureScreenToGraph(int x1, int y1, int x2, int y2, int graph, int flag);

// ---- Restore after loss ----------------------------------------------------------------------------

// Installs the graph-restore callback; null installs the default one (reload from files).
int SetGraphRestoreHandler(int (*callback)());
int HasRestoreCallback();
int RestoreAllGraphs();
int RestoreAllSurfaces2D();
int D3D_RestoreAllTextures();
int RecreateAllAfterModeChange();

}  // namespace orbel
