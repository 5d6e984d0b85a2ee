// Test controls of the DirectDraw stand-in: lose every surface, read any surface's pixels, find the
// primary, count live objects; named-call failures and the call record are in display_test_controls.h.
// The desktop's depth is set with plat::test::SetDesktopDepth (window_test_controls.h).
#pragma once

#include <cstdint>
#include <vector>

#include "platform/ddraw/ddraw.h"
#include "platform/win/user/display_test_controls.h"

namespace plat::test {

// Marks every live surface lost (as a locked workstation does): IsLost answers DDERR_SURFACELOST and
// drawing calls fail until Restore. Managed textures (DDSCAPS2_TEXTUREMANAGE) keep their pixels and
// are not lost; a display mode change loses them too.
void LoseAllSurfaces();

// A copy of a surface's pixels as stored (rows top-down, `pitch` bytes each) with its format.
struct SurfacePixels {
  int width = 0;
  int height = 0;
  int bitsPerPixel = 0;
  int pitch = 0;
  DDPIXELFORMAT format{};
  DWORD caps = 0;
  std::vector<uint8_t> bytes;
};
SurfacePixels ReadSurface(IDirectDrawSurface7* surface);
// One pixel as 0x00RRGGBB (8-bit: through the palette; depth surfaces: the raw value).
uint32_t ReadSurfacePixelRgb(IDirectDrawSurface7* surface, int x, int y);
// The raw stored value of one pixel.
uint32_t ReadSurfacePixelRaw(IDirectDrawSurface7* surface, int x, int y);

// Every live surface, oldest first, and the live primary (null without one).
std::vector<IDirectDrawSurface7*> LiveSurfaces();
IDirectDrawSurface7* LivePrimarySurface();

// Objects not yet released, for leak checks.
struct DDrawCounters {
  int liveObjects;
  int liveSurfaces;
  int liveClippers;
  int livePalettes;
  int videoMemoryReadLocks;  // locks without DDLOCK_WRITEONLY of VIDEOMEMORY surfaces since reset
};
DDrawCounters GetDDrawCounters();

// A 16-bit desktop laid out 5-5-5 instead of 5-6-5 (until reset).
void SetDisplay16BitLayout555(bool on);

// Clears DirectDraw's settings (the read-lock count included); live objects stay as they are.
void ResetDDraw();

}  // namespace plat::test
