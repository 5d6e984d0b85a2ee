// Placeholder rasteriser entry (replaced by the span rasteriser).
#include "platform/d3d/d3d7_raster.h"

namespace plat::d3d {

HRESULT DrawTriangles(const DrawStates&, IDirectDrawSurface7*, DWORD, const uint8_t*, size_t, const TriangleIndices*,
                      size_t) {
  return DDERR_UNSUPPORTED;
}

}  // namespace plat::d3d
