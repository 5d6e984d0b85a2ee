// The display-mode change: tear down what depends on the display, change the mode through DirectDraw
// or (software rendering) the display settings with ordered fallbacks, rebuild the screen, and measure
// the display (copy method and frame time). Also setting the mode and giving the desktop's mode back.
// ChangeDisplayMode itself is declared in graphics_system.h.
#pragma once

#include <cstdint>

namespace plat {
class IDirectDraw7;
struct WindowObject;
}  // namespace plat

namespace orbel {

// Sets one display mode (window mode: only checks the desktop and sets the normal level). 0 or -1.
int SetDisplayMode(plat::IDirectDraw7* object, int desktopWidth, int desktopHeight, int width, int height,
                   int depth, uint32_t* depthOut, uint32_t* cooperativeOut, int windowMode,
                   uint32_t* modeChanged, plat::WindowObject* window);
// At the end of DirectDraw use. 0, or -1 under hardware rendering without an object.
int RestoreDisplayMode();
// Before the object is released: full screen with a changed mode only. 0.
int RestoreDesktopDisplayMode();
// Sets the current mode again after DirectDraw was made anew. 0.
int ReapplyDisplayMode();

// The display measurement after a change; each also logs its result.
int MeasureScreenCopyMethod();
int MeasureFrameTime();
// Frame pacing from a frame time: (2 x frame - 4) / 3, -1 when unknown.
int FramePacingFromFrameTime(int frameTime);
// The frame time from one round of samples: the lowest sample with an equal later one, or -1.
int FindRepeatedFrameSample(const int* samples, int count);

}  // namespace orbel
