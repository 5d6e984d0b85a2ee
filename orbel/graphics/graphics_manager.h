// The graphics manager: its life cycle (InitGraphicsManager / EndGraphicsManager, InitDirectDrawSystem),
// the draw-screen selection with its matrices, colour values in the screen's format (MakeColor,
// SplitColor), the screen clear, texture-graph use and the frame counter. The draw-state block and its
// plain setters are in draw_state.h; the names core calls are also declared in graphics_system.h.
#pragma once

#include <cstdint>

namespace orbel {

struct Matrix4;

// 1 between InitGraphicsManager and EndGraphicsManager.
int IsGraphicsManagerStarted();
// 1 when the Direct3D probe of InitGraphicsManager succeeded.
int IsDirect3DAvailable();
// The client area's top-left on the desktop, below the tool bar. 0.
int GetClientOriginOnDesktop(int* x, int* y);
// Where pixel (0, 0) of the selected draw screen lies on its surface, the mask screen aside: the
// client area's origin for the front screen of a window drawn on the primary, else (0, 0). 0.
int GetDrawScreenOrigin(int* x, int* y);

// Store a transform matrix, recompute the cached products and hand it to Direct3D. 0.
int SetWorldMatrix(const Matrix4* matrix, int index);
int SetViewMatrix(const Matrix4* matrix);
int SetProjectionMatrix(const Matrix4* matrix);

int InitGraphicsManager();
// Manager flags and the mask screen back to their start (tests).
void ResetGraphicsManagerForTest();
int EndGraphicsManager();

// Colour value of (r, g, b) in the screen's pixel format (nearest palette index on an 8-bit screen).
uint32_t MakeColor(int red, int green, int blue);
// The channels of a colour value; any output may be null. 0, or -1 for an index outside an 8-bit
// screen's palette.
int SplitColor(uint32_t color, int* red, int* green, int* blue);
// Clears the whole current draw screen. 0.
int ClearTargetScreen();

// 1 when new graphs would be texture graphs.
int Is3DGraphCreation();
int SetUseTextureGraphs(int flag);
int GetUseTextureGraphs();

uint64_t GetFrameCounter();
void ResetFrameCount();
void CountFrame();

}  // namespace orbel
