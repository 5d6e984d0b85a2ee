// Span loops of the textured triangle on 32-bit destinations, from paletted sources (one index byte a
// texel into 32-bit palette words) and direct sources (one word a texel, byte 3 the alpha of an alpha
// source). Every combination of blend mode, blend image, brightness, source alpha and transparency flag
// is its own loop. The blend image is read at the texel, not at the destination pixel.
#include <cstdint>

#include "orbel/graphics/draw_state.h"
#include "orbel/softrender/packed_pixels.h"
#include "orbel/softrender/triangle_pixels.h"
#include "orbel/softrender/triangle_walk.h"

namespace orbel::triangle {

namespace {

using pixel::Load32;
using pixel::Store32;

template <int Mode, bool Blend, bool Bright, bool Alpha, bool Trans, bool Paletted>
void Loop32(const Frame& frame, const Walk& walk) {
  const Frame f = frame;  // a local copy: pixel stores cannot alias it
  const uint32_t p = f.param;
  const uint32_t* bright[3] = {f.brightB, f.brightG, f.brightR};
  WalkTextured<4>(f, walk, [&](uint8_t* dp, uint32_t col, uint32_t row) {
    const uint8_t* sp = f.srcPixels + static_cast<ptrdiff_t>(row) * f.srcPitch;
    uint32_t s;
    uint32_t a = 255;
    if constexpr (Paletted) {
      const uint32_t index = sp[col];
      if (Trans && index == f.srcTransColor) return;
      s = Load32(f.srcPalette + 4 * index);
    } else {
      s = Load32(sp + 4 * static_cast<ptrdiff_t>(col));
      if constexpr (Alpha) {
        a = s >> 24;
        if (Trans && a == 0 && Mode <= kBlendSub) return;
      } else if (Trans && s == f.srcTransColor) {
        return;
      }
    }
    // Alpha sources take the plain formula for an opaque texel only under the transparency flag.
    const bool plain = !Alpha || (Trans && a == 255);
    uint32_t w = 0;
    if constexpr (Blend) w = f.weights[f.blendPixels[static_cast<ptrdiff_t>(row) * f.blendPitch + col]];
    const uint32_t d = Load32(dp);
    const auto S = [&](int c) { return Bright ? bright[c][Byte(s, c)] : Byte(s, c); };

    uint32_t r;
    if constexpr (Mode == kBlendNone) {
      if constexpr (Blend) {
        r = PerByte(d, [&](int c) { return plain ? Mix<8>(S(c), Byte(d, c), w) : Mix<16>(S(c), Byte(d, c), w * a); });
      } else if constexpr (!Bright) {
        r = plain ? s : PerByte(d, [&](int c) { return Mix<8>(Byte(s, c), Byte(d, c), a); });
      } else {
        r = PerByte(d, [&](int c) { return plain ? S(c) : Mix<8>(S(c), Byte(d, c), a); });
      }
    } else if constexpr (Mode == kBlendAlpha || Mode == kBlendInvert || Mode == kBlendMulAlpha) {
      // The target: the texel (1), its inverse with brightness after the inversion (10), or the
      // product with the destination (11); then mixed by the parameter (and weight and alpha).
      const auto target = [&](int c) {
        if constexpr (Mode == kBlendAlpha) return S(c);
        if constexpr (Mode == kBlendInvert) return Bright ? bright[c][255 - Byte(s, c)] : 255 - Byte(s, c);
        return (S(c) * Byte(d, c)) >> 8;
      };
      r = PerByte(d, [&](int c) {
        if constexpr (Blend) return plain ? Mix<16>(target(c), Byte(d, c), w * p) : Mix<24>(target(c), Byte(d, c), w * a * p);
        return plain ? Mix<8>(target(c), Byte(d, c), p) : Mix<16>(target(c), Byte(d, c), a * p);
      });
    } else if constexpr (Mode == kBlendMul) {
      r = PerByte(d, [&](int c) {
        if constexpr (Blend) return plain ? (w * S(c) * Byte(d, c)) >> 16 : (w * S(c) * a * Byte(d, c)) >> 24;
        return plain ? (S(c) * Byte(d, c)) >> 8 : (S(c) * a * Byte(d, c)) >> 16;
      });
    } else {
      const auto addend = [&](int c) {
        if constexpr (Blend) return plain ? (S(c) * w * p) >> 16 : (S(c) * w * a * p) >> 24;
        return plain ? f.paramMul[S(c)] : (S(c) * a * p) >> 16;
      };
      const uint32_t v = addend(2) << 16 | addend(1) << 8 | addend(0);
      r = Mode == kBlendAdd ? pixel::PackedAdd888(d, v) : pixel::PackedSub888(d, v);
    }
    Store32(dp, r);
  });
}

template <int Mode, bool Blend, bool Bright, bool Alpha, bool Trans, bool Paletted>
struct Family32 {
  static constexpr SpanLoop kLoop = &Loop32<Mode, Blend, Bright, Alpha, Trans, Paletted>;
};

}  // namespace

SpanLoop SelectTextured32Loop(uint32_t mode, uint32_t param, bool blend, bool bright, bool alpha, bool trans,
                              bool paletted) {
  return TexturedLoops<Family32>::Select(mode, param, blend, bright, alpha, trans, paletted);
}

}  // namespace orbel::triangle
