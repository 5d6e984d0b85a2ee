// Span loops of the textured triangle on 16-bit 5:6:5 destinations, from paletted sources (one index
// byte a texel into 16-bit palette entries) and direct sources (one 5:6:5 word a texel, or four bytes
// with the alpha in byte 2). All arithmetic stays on the 5- and 6-bit field values; nothing is widened
// to 8 bits. Every combination of blend mode, blend image, brightness, source alpha and transparency
// flag is its own loop. The blend image is read at the texel, not at the destination pixel.
#include <cstdint>

#include "orbel/graphics/draw_state.h"
#include "orbel/softrender/packed_pixels.h"
#include "orbel/softrender/triangle_pixels.h"
#include "orbel/softrender/triangle_walk.h"

namespace orbel::triangle {

namespace {

using pixel::Load16;
using pixel::Load32;
using pixel::Store16;

template <int Mode, bool Blend, bool Bright, bool Alpha, bool Trans, bool Paletted>
void Loop16(const Frame& frame, const Walk& walk) {
  const Frame f = frame;  // a local copy: pixel stores cannot alias it
  const uint32_t p = f.param;
  const uint32_t* bright[3] = {f.brightB, f.brightG, f.brightR};
  const int32_t* delta = f.paramDelta;
  // d + p (x - d) / 255, toward zero.
  const auto step = [delta](uint32_t x, uint32_t d) {
    return static_cast<uint32_t>(static_cast<int32_t>(d) + delta[static_cast<int32_t>(x) - static_cast<int32_t>(d)]);
  };
  WalkTextured<2>(f, walk, [&](uint8_t* dp, uint32_t col, uint32_t row) {
    const uint8_t* sp = f.srcPixels + static_cast<ptrdiff_t>(row) * f.srcPitch;
    uint32_t s;
    uint32_t a = 255;
    if constexpr (Paletted) {
      const uint32_t index = sp[col];
      if (Trans && index == f.srcTransColor) return;
      s = Load16(f.srcPalette + 2 * index);
    } else if constexpr (Alpha) {
      const uint32_t texel = Load32(sp + 4 * static_cast<ptrdiff_t>(col));
      s = texel & 0xFFFF;
      a = (texel >> 16) & 0xFF;
      if (Trans && a == 0 && (Mode <= kBlendSub || Mode == kBlendInvert)) return;
    } else {
      s = Load16(sp + 2 * static_cast<ptrdiff_t>(col));
      if (Trans && s == f.srcTransColor) return;
    }
    // Alpha sources take the plain formula for an opaque texel only under the transparency flag.
    const bool plain = !Alpha || (Trans && a == 255);
    uint32_t w = 0;
    if constexpr (Blend) w = f.weights[f.blendPixels[static_cast<ptrdiff_t>(row) * f.blendPitch + col]];
    const uint32_t d = Load16(dp);
    const auto S = [&](int c) { return Bright ? bright[c][Field(s, c)] : Field(s, c); };

    uint32_t r;
    if constexpr (Mode == kBlendNone) {
      if constexpr (Blend) {
        r = PerField([&](int c) { return plain ? Mix<8>(S(c), Field(d, c), w) : Mix<16>(S(c), Field(d, c), w * a); });
      } else if constexpr (!Bright) {
        r = plain ? s : PerField([&](int c) { return Mix<8>(Field(s, c), Field(d, c), a); });
      } else {
        r = PerField([&](int c) { return plain ? S(c) : Mix<8>(S(c), Field(d, c), a); });
      }
    } else if constexpr (Mode == kBlendAlpha || Mode == kBlendInvert || Mode == kBlendMulAlpha) {
      const auto target = [&](int c) {
        if constexpr (Mode == kBlendAlpha) return S(c);
        if constexpr (Mode == kBlendInvert) {
          const uint32_t inverse = kFieldMax[c] - Field(s, c);
          return Bright ? bright[c][inverse] : inverse;
        }
        return (S(c) * Field(d, c)) >> kFieldBits[c];
      };
      r = PerField([&](int c) {
        if constexpr (Blend) {
          return plain ? Mix<16>(target(c), Field(d, c), w * p) : Mix<24>(target(c), Field(d, c), w * a * p);
        }
        if (plain) return step(target(c), Field(d, c));
        if constexpr (Mode == kBlendMulAlpha && !Bright) {
          // Green keeps five more bits of the product on this road.
          if (c == 1) {
            const uint32_t full = 32 * Field(d, 1);
            const uint32_t product = (Field(s, 1) * Field(d, 1)) >> 1;
            return ((full * (65536 - a * p) + product * a * p) >> 16) >> 5;
          }
        }
        return Mix<16>(target(c), Field(d, c), a * p);
      });
    } else if constexpr (Mode == kBlendMul) {
      r = PerField([&](int c) {
        const uint32_t product = S(c) * Field(d, c);
        if constexpr (Blend) return plain ? (product * w) >> (kFieldBits[c] + 8) : (product * w * a) >> (kFieldBits[c] + 16);
        return plain ? product >> kFieldBits[c] : (product * a) >> (kFieldBits[c] + 8);
      });
    } else {
      // With a blend image brightness comes before the weights; without one the alpha comes first.
      const auto scaled = [&](int c) {
        if constexpr (Blend) return plain ? (S(c) * w) >> 8 : (S(c) * w * a) >> 16;
        if (plain) return S(c);
        const uint32_t x = (Field(s, c) * a) >> 8;
        return Bright ? bright[c][x] : x;
      };
      const uint32_t v = PerField([&](int c) { return f.paramMul[scaled(c)]; });
      r = Mode == kBlendAdd ? pixel::PackedAdd565(d, v) : pixel::PackedSub565(d, v);
    }
    Store16(dp, r);
  });
}

template <int Mode, bool Blend, bool Bright, bool Alpha, bool Trans, bool Paletted>
struct Family16 {
  static constexpr SpanLoop kLoop = &Loop16<Mode, Blend, Bright, Alpha, Trans, Paletted>;
};

}  // namespace

SpanLoop SelectTextured16Loop(uint32_t mode, uint32_t param, bool blend, bool bright, bool alpha, bool trans,
                              bool paletted) {
  return TexturedLoops<Family16>::Select(mode, param, blend, bright, alpha, trans, paletted);
}

}  // namespace orbel::triangle
