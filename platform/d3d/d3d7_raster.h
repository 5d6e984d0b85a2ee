// The rasteriser's entry: what a draw needs of the device (its states, bound textures, viewport) and
// the triangle drawer the device's DrawPrimitive and DrawIndexedPrimitive call.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/d3d/d3d7.h"

namespace plat::d3d {

// The device states a draw reads. Textures are not referenced here (the device holds them).
struct DrawStates {
  DWORD render[kD3DRenderStateCount];
  DWORD stage[kD3DMaxTextureStages][kD3DStageStateCount];
  IDirectDrawSurface7* textures[kD3DMaxTextureStages];
  D3DVIEWPORT7 viewport;
  bool fastPaths;  // the rasteriser's switches as they stood when the device was made or its scene began
  bool avx2;
};

// One triangle: three vertex numbers; the first gives the flat colours.
struct TriangleIndices {
  uint32_t v[3];
};

// Draws triangles of `fvf` vertices into `target`. Triangles naming a vertex past `vertexCount` are
// skipped. DDERR_SURFACEBUSY (nothing drawn) when the target or a texture the draw samples is locked,
// DDERR_SURFACELOST when one is lost. On a primary target the touched rectangle is presented.
HRESULT DrawTriangles(const DrawStates& states, IDirectDrawSurface7* target, DWORD fvf, const uint8_t* vertices,
                      size_t vertexCount, const TriangleIndices* triangles, size_t triangleCount);

}  // namespace plat::d3d
