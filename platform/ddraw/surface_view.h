// The small window the Direct3D stand-in has onto DirectDraw surfaces: where a surface's pixels are
// now, their layout, whether it is locked or lost, its source colour key and attached Z buffer, and
// the hook that shows a changed rectangle of a primary. A view is taken afresh for every draw and is
// never kept across a call that may flip, restore or release the surface.
#pragma once

#include <cstdint>

#include "platform/ddraw/ddraw.h"

namespace plat::ddraw {

struct SurfaceView {
  uint8_t* pixels = nullptr;  // top-left pixel; rows `pitch` bytes apart
  int width = 0;              // pixels
  int height = 0;             // pixels
  int pitch = 0;              // bytes per row
  int bytesPerPixel = 0;
  DDPIXELFORMAT format{};     // RGB masks (and alpha mask), or a Z buffer's depth
  DWORD caps = 0;
  DWORD caps2 = 0;
  bool locked = false;        // by Lock or GetDC
  bool lost = false;
  bool primary = false;       // a primary: changes must be presented
  bool hasSourceKey = false;
  DDCOLORKEY sourceKey{};
  IDirectDrawSurface7* zbuffer = nullptr;  // attached Z buffer, or null (not referenced)
};

// True for a live surface of this stand-in; null and released surfaces give false.
bool IsLiveSurface(IDirectDrawSurface7* surface);
// The view of a live surface (false for null).
bool ViewSurface(IDirectDrawSurface7* surface, SurfaceView* out);
// Shows `rect` of a primary surface (nothing for other surfaces).
void PresentSurfaceRect(IDirectDrawSurface7* surface, const RECT& rect);

}  // namespace plat::ddraw
