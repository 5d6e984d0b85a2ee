// The steps of the span routine that its fast paths share: the channel arithmetic, the reference
// bilinear sample, the texel fetch, the colour key and alpha tests, what a simple stage makes of its
// texel (its shape), and the store into the target with its blend. The general routine
// (d3d7_span.cpp) strings them together for every state; the fast paths (d3d7_fast_paths.h) take the
// ones their state needs. Only platform/d3d includes this.
#pragma once

#include <cstdint>
#include <cstring>

#include "platform/d3d/d3d7_span.h"

namespace plat::d3d {

constexpr int kChunk = 128;  // pixels shaded at a time
extern const uint8_t kAllLive[kChunk];  // every pixel of a chunk kept

// ---- Channel arithmetic ---------------------------------------------------------------------------

// x / 255 rounded to nearest, exact for 0 <= x <= 65025.
inline uint32_t Div255(uint32_t x) {
  x += 128;
  return (x + (x >> 8)) >> 8;
}

// A sum of products over 255, saturated (x may reach 2 * 255 * 255).
inline uint32_t Div255Sat(uint32_t x) { return x >= 65025 ? 255 : Div255(x); }

inline uint32_t Ch(uint32_t c, int shift) { return (c >> shift) & 0xFF; }

// ---- Texels ---------------------------------------------------------------------------------------

// The texel at whole-texel coordinates after addressing, as 0xAARRGGBB (the border colour outside a
// BORDER-addressed texture).
uint32_t AddressedTexel(const StageSetup& s, int64_t x, int64_t y);

// The bilinear sample at 16.16 texel coordinates, the reference every faster road matches: the four
// texels about the point (texel centres at half texels), weighed by 8-bit fractions,
// (sum of c * (256 - fx or fx) * (256 - fy or fy) + 32768) >> 16 per channel.
uint32_t Bilinear(const StageSetup& s, int64_t u, int64_t v);

// The texel at `x` of a texel row of a named layout, as 0xAARRGGBB (no addressing).
template <PixelKind kKind>
inline uint32_t TexelInRow(const uint8_t* row, int64_t x) {
  if constexpr (kKind == PixelKind::kX888 || kKind == PixelKind::k8888) {
    uint32_t v;
    std::memcpy(&v, row + static_cast<size_t>(x) * 4, 4);
    return UnpackKind<kKind>(v);
  } else {
    uint16_t v;
    std::memcpy(&v, row + static_cast<size_t>(x) * 2, 2);
    return UnpackKind<kKind>(v);
  }
}

template <PixelKind kKind>
inline uint32_t TexelAt(const StageSetup& s, int64_t x, int64_t y) {
  return TexelInRow<kKind>(s.pixels + static_cast<size_t>(y) * s.pitch, x);
}

// Whether the AVX2 gather's 32-bit lanes hold a run's coordinates, steps of eight and byte offsets.
inline bool FitsLanes(const StageSetup& s, const StageCoords& c) {
  constexpr int64_t kLane = int64_t{1} << 30;
  return s.width < 32768 && s.height < 32768 && int64_t{s.pitch} * s.height < kLane && c.du > -kLane / 8 &&
         c.du < kLane / 8 && c.dv > -kLane / 8 && c.dv < kLane / 8 && c.u >= 0 && c.v >= 0 && c.u < kLane && c.v < kLane;
}

// Whether sample `i` of a run needs no addressing: its texel (and, bilinear, the texel right and
// below it) lies inside the texture.
inline bool InsideAt(const StageSetup& s, const StageCoords& c, int i) {
  const int margin = s.bilinear ? 1 : 0;
  const int64_t back = s.bilinear ? 32768 : 0;
  const int64_t x = (c.u - back + c.du * i) >> 16, y = (c.v - back + c.dv * i) >> 16;
  return x >= 0 && y >= 0 && x <= s.width - 1 - margin && y <= s.height - 1 - margin;
}

// Bilinear samples at `n` coordinates stepping along a line whose four texels all lie inside the
// texture (d3d7_bilinear.cpp): the bytes of Bilinear(), on vector rows.
void BilinearSamplesInside(bool useAvx2, const StageSetup& s, const StageCoords& c, int n, uint32_t* out);

// One stage's texels for `n` pixels, in `out` or (a row of an 8:8:8:8 texture read texel for texel)
// straight from the texture.
const uint32_t* FetchTexels(const DrawSetup& d, const StageSetup& s, const StageCoords& c, int n, uint32_t* out);

// Clears `live` where the stage-0 texel (point-sampled, raw) matches the colour key.
void ColorKeyTest(const DrawSetup& d, const StageCoords& c, int n, uint8_t* live);

// Clears `live` where the alpha test fails.
void AlphaTest(const DrawSetup& d, const uint32_t* src, uint8_t* live, int n);

// ---- What a simple stage makes of its texel -------------------------------------------------------

// The colour channels and the alpha each the texel's own times a constant (255 keeps it) or a constant
// of their own: the multipliers of the texel's channels and the channels replaced by `fixed`.
struct TexelShape {
  uint32_t factor;     // 0xAARRGGBB multipliers
  uint32_t fixedMask;  // 0x00FFFFFF, 0xFF000000, both or neither
  uint32_t fixed;
  bool Identity() const { return factor == 0xFFFFFFFFu && fixedMask == 0; }
};

// The draw's memo for these flat colours, worked out when they change.
const DrawSetup::StageMemo& MemoFor(const DrawSetup& d, uint32_t diffuse, uint32_t specular);

inline TexelShape ShapeOfMemo(const DrawSetup::StageMemo& m) { return TexelShape{m.factor, m.fixedMask, m.fixed}; }

// The stage's colours of `n` texels: the texels themselves when the shape keeps them, else in `out`.
const uint32_t* ShapeRow(const uint32_t* texels, const TexelShape& shape, int n, uint32_t* out);

// ---- The store ------------------------------------------------------------------------------------

inline bool OverBlend(const DrawSetup& d) {
  return d.srcBlend == D3DBLEND_SRCALPHA && d.destBlend == D3DBLEND_INVSRCALPHA;
}

// Source over an XRGB row for the usual blend (`live` as Store's).
void StoreOverX888(bool avx2, uint8_t* row, const uint32_t* src, const uint8_t* live, int n);

// `n` computed colours into row `y` of the target from pixel `x`, blended as the draw says; pixels whose
// `live` byte is 0 keep what they had. `allLive`: no pixel was discarded (`live` is all ones).
void Store(const DrawSetup& d, int y, int x, const uint32_t* src, const uint8_t* live, int n, bool allLive = false);

}  // namespace plat::d3d
