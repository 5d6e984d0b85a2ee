// The per-pixel work of the rasteriser, one span (a run of pixels on one row) at a time, in this
// order: colour-key discard, the texture-stage cascade, the alpha test, the 16-bit Z test and write,
// blending, packing into the target. One general routine does all of it; specialised loops (a texture
// row fetched as a row, a texture modulated by a constant, the usual blends into the usual targets)
// replace its steps where the state allows and give the same bytes.
#pragma once

#include <cstdint>

#include "platform/d3d/d3d7.h"
#include "platform/d3d/d3d7_formats.h"

namespace plat::d3d {

// One texture stage as a draw uses it.
struct StageSetup {
  DWORD colorOp, colorArg1, colorArg2, alphaOp, alphaArg1, alphaArg2;
  int coordSet;          // the vertex's texture coordinate pair, -1: none (reads 0, 0)
  bool readsTexture;     // some argument or operation reads this stage's texel
  bool bound;            // a usable texture is bound
  const uint8_t* pixels; // its top-left texel
  int width, height, pitch;
  PixelCode code;
  bool bilinear;
  DWORD addressU, addressV;
  uint32_t border;       // 0xAARRGGBB outside BORDER-addressed textures
};

// Everything a draw's spans share.
struct DrawSetup {
  int stageCount;  // stages before the first whose colour operation is DISABLE
  StageSetup stages[kD3DMaxTextureStages];
  uint32_t tfactor;
  bool colorKey;   // discard stage-0 texels whose raw value lies in [keyLow, keyHigh]
  uint32_t keyLow, keyHigh, keyMask;
  bool alphaTest;
  DWORD alphaFunc;
  uint32_t alphaRef;
  bool zTest, zWrite;
  DWORD zFunc;
  uint8_t* zPixels;  // 16-bit Z of the target, top-left
  int zPitch;
  bool blend;
  DWORD srcBlend, destBlend;
  uint8_t* target;  // top-left pixel of the render target
  int targetPitch;
  PixelCode targetCode;
  bool fastPaths;   // use the specialised loops (tests compare both roads)
  bool avx2;        // and their AVX2 road (the processor runs it)
  // What the span routine made of the stages for the last flat colours it met (the same for every
  // span of a triangle, so worked out once): the general cascade, one colour throughout, or the texel
  // times constants with some channels fixed.
  struct StageMemo {
    enum Kind : uint8_t { kNone, kGeneral, kColour, kShape } kind = kNone;
    uint32_t diffuse = 0, specular = 0;
    uint32_t colour = 0;                        // kColour
    uint32_t factor = 0, fixedMask = 0, fixed = 0;  // kShape
    mutable int8_t fastPath[3] = {-2, -2, -2};  // the fast-path row found for each walk, -1 none, -2 not looked up
  };
  mutable StageMemo memo;
};

// Texel coordinates of one stage in 16.16 fixed point (texels, not 0..1): at the span's first pixel,
// and their step from one pixel to the next.
struct StageCoords {
  int64_t u, v, du, dv;
};

struct SpanInput {
  int y, x, n;  // row, first pixel, pixel count
  uint32_t diffuse, specular;  // flat colours, 0xAARRGGBB
  StageCoords coords[kD3DMaxTextureStages];
  int64_t z, dz;  // Z in 16-bit units, 16.16 fixed point
};

// The general span routine: every state, step by step (with the specialised steps when the draw's
// fast paths are on).
void ShadeSpan(const DrawSetup& setup, const SpanInput& span);

// Which texel a coordinate (in whole texels) addresses in a row or column of `size` texels; -1 when
// BORDER addressing falls outside.
int64_t AddressTexel(int64_t t, int size, DWORD mode);

}  // namespace plat::d3d
