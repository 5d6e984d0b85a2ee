// The view of a surface that the Direct3D stand-in draws through.
#include "platform/ddraw/surface_view.h"

#include <algorithm>

#include "platform/ddraw/ddraw_internal.h"

namespace plat::ddraw {

bool IsLiveSurface(IDirectDrawSurface7* surface) {
  if (surface == nullptr) return false;
  DDrawState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  return std::find(s.surfaces.begin(), s.surfaces.end(), static_cast<Surface*>(surface)) != s.surfaces.end();
}

bool ViewSurface(IDirectDrawSurface7* surface, SurfaceView* out) {
  if (surface == nullptr) return false;
  const auto* s = static_cast<Surface*>(surface);
  out->pixels = s->pixels;
  out->width = s->width;
  out->height = s->height;
  out->pitch = s->pitch;
  out->bytesPerPixel = s->layout.bytes;
  out->format = s->layout.format;
  out->caps = s->caps;
  out->caps2 = s->caps2;
  out->locked = s->Busy();
  out->lost = s->lost;
  out->primary = s->IsPrimary();
  out->hasSourceKey = s->hasSourceKey;
  out->sourceKey = s->sourceKey;
  out->zbuffer = s->zbuffer;
  return true;
}

void PresentSurfaceRect(IDirectDrawSurface7* surface, const RECT& rect) {
  auto* s = static_cast<Surface*>(surface);
  if (s != nullptr && s->IsPrimary()) PresentPrimary(*s, rect);
}

}  // namespace plat::ddraw
