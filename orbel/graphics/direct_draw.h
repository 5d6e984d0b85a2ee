// The DirectDraw object and the screen surfaces: start-up (video-card report, overlay probe), the main
// clipper, the colour report, the primary / back / work / Z surfaces or the memory images that stand in
// for them, the 8-bit palette, restore after a loss, and the end.
#pragma once

#include "platform/win/kernel/win_types.h"

namespace plat {
class IDirectDraw7;
class IDirectDrawClipper;
class IDirectDrawSurface7;
struct DDSURFACEDESC2;
}  // namespace plat

namespace orbel {

// 0, or -1 (after tearing down) when the first display-mode change fails.
int InitDirectDraw();
int CreateDirectDrawObject(plat::IDirectDraw7** out);
int CreateMainClipper();
int ReleaseMainClipper();
// Reads the display pixel format and fills the display colour format. 0.
int OutputColorInfo();
// 0, or -1 without a DirectDraw object (hardware rendering) or with surfaces already made.
int CreateMainSurfaces();
// 0, or -1 unless DirectDraw or software rendering is up.
int ReleaseMainSurfaces();
// The back memory image over the locked back surface (memory-image screen with the display's own
// layout): lock and build it / unlock. Lock: 0 or -1.
int LockBackImageOverSurface();
void UnlockBackImageSurface();
// Restores lost main surfaces in place. 0, or -1 without an object.
int RestoreLostMainSurfaces();
int CreateScreenPalette();
// Sets the palette `context` on one surface attached to the full-screen primary; 1, go on.
plat::HRESULT EnumDisplayModeCallback(plat::IDirectDrawSurface7* surface, plat::DDSURFACEDESC2* description,
                                      void* context);
int ReapplyScreenPalette();
int ReleaseScreenPalette();
int ReleaseDirectDraw();
int RecreateDirectDraw();
int EndDirectDraw();
// Release / re-make the surfaces of every 2D surface record. 0.
int ReleaseAllSurfaceGraphs();
int RestoreAllSurfaceGraphs();

}  // namespace orbel
