// Plain blit, 16-bit family: the per-field rules of every blend mode for R5G6B5 sources (direct,
// with a 4-byte alpha layout, or paletted): the six-bit table blend, the signed-product blend, the
// packed 16-bit add and subtract and the p = 128 halving. Fields: R bits 11-15, G 5-10, B 0-4.
// Depends on plain_blit_loops.h (loop shapes), plain_blit_family.h (shared parts) and the blend
// tables. No MMX-specific loops exist here.
#include "orbel/graphics/draw_state.h"
#include "orbel/softrender/plain_blit.h"
#include "orbel/softrender/plain_blit_family.h"
#include "orbel/softrender/plain_blit_fast_paths.h"
#include "orbel/softrender/plain_blit_loops.h"

namespace orbel {

namespace {

using blit::Context;
using blit::SrcPixel;

// Applies f(g, f, n) to the R, G and B fields (n = field width in bits).
template <class F>
inline uint32_t F3(uint32_t d, uint32_t s, F f) {
  return static_cast<uint32_t>(f(static_cast<int>((d >> 11) & 31), static_cast<int>((s >> 11) & 31), 5)) << 11 |
         static_cast<uint32_t>(f(static_cast<int>((d >> 5) & 63), static_cast<int>((s >> 5) & 63), 6)) << 5 |
         static_cast<uint32_t>(f(static_cast<int>(d & 31), static_cast<int>(s & 31), 5));
}

// ---- Sources ------------------------------------------------------------------------------------------

struct Src16 {
  static constexpr bool kHasAlpha = false;
  static constexpr int kBytes = 2;
  static SrcPixel Load(const uint8_t* row, int x, const Context&) {
    const uint32_t v = blit::Load16(row + 2 * x);
    return {v, v, 255};
  }
};

// Colour in bytes 0-1, alpha in byte 2.
struct Src16Alpha {
  static constexpr bool kHasAlpha = true;
  static constexpr int kBytes = 4;
  static SrcPixel Load(const uint8_t* row, int x, const Context&) {
    const uint32_t v = blit::Load32(row + 4 * x);
    return {v & 0xFFFF, v & 0xFFFF, (v >> 16) & 0xFF};
  }
};

// ---- Mode rules ---------------------------------------------------------------------------------------

struct Ops16 : blit::OpsBase<2> {
  static uint32_t Brighten(uint32_t s, const Context& c) {
    return c.brightR[(s >> 11) & 31] << 11 | c.brightG[(s >> 5) & 63] << 5 | c.brightB[s & 31];
  }

  // The plain mode-1 blend of the normal path reads the six-bit table; a run reads the signed row.
  template <int Mode, bool Bright, bool Blend>
  static constexpr bool RunRuleIsRowRule() {
    return !(Mode == kBlendAlpha && !Bright && !Blend);
  }

  template <int Mode, int Cls, bool Bright, bool Blend, bool Run>
  static uint32_t Apply(uint32_t d, uint32_t s, uint32_t a, uint32_t w, const Context& c) {
    constexpr bool kPlain = Cls == blit::kNoAlpha || Cls == blit::kOpaque;
    const int ia = static_cast<int>(a);
    const int iw = static_cast<int>(w);
    const int p = c.p;
    if constexpr (Mode == kBlendNone) {
      if constexpr (kPlain || (Cls == blit::kNoFlag && !Blend)) {
        if constexpr (!Blend) return s;
        return F3(d, s, [iw](int g, int f, int) { return (g * 256 + (f - g) * iw) >> 8; });
      } else if constexpr (!Blend) {
        return F3(d, s, [ia](int g, int f, int) { return (g * 256 + (f - g) * ia) >> 8; });
      } else {
        return F3(d, s, [ia, iw](int g, int f, int) { return (g * 65536 + (f - g) * iw * ia) >> 16; });
      }
    } else if constexpr (Mode == kBlendAlpha || Mode == kBlendInvert || Mode == kBlendMulAlpha) {
      // Mode 10 blends the complemented field, mode 11 the product of the fields.
      auto term = [](int g, int f, int n) {
        if constexpr (Mode == kBlendAlpha) return f;
        else if constexpr (Mode == kBlendInvert) return ((1 << n) - 1) - f;
        else return (f * g) >> n;
      };
      if constexpr (Mode == kBlendAlpha && Cls == blit::kNoAlpha && !Run && !Bright && !Blend) {
        // The normal path's plain alpha blend reads the six-bit table with k = p / 4.
        return F3(d, s, [&c](int g, int f, int) { return static_cast<int>(c.sixBit[f][g]); });
      } else if constexpr (kPlain && !Blend) {
        const int32_t* sp = c.signedP;
        return F3(d, s, [=](int g, int f, int n) { return g + sp[term(g, f, n) - g]; });
      } else if constexpr (kPlain) {
        return F3(d, s, [=](int g, int f, int n) { return (g * 65536 + (term(g, f, n) - g) * iw * p) >> 16; });
      } else if constexpr (!Blend) {
        return F3(d, s, [=](int g, int f, int n) { return (g * 65536 + (term(g, f, n) - g) * ia * p) >> 16; });
      } else {
        return F3(d, s, [=](int g, int f, int n) {
          return static_cast<int>((static_cast<int64_t>(g) * 16777216 +
                                   static_cast<int64_t>(term(g, f, n) - g) * iw * ia * p) >> 24);
        });
      }
    } else if constexpr (Mode == kBlendAdd || Mode == kBlendSub) {
      uint32_t v;
      if constexpr (!Blend) {
        const uint32_t* prod = c.prodP;
        if (kPlain || a == 255) {
          v = F3(0, s, [prod](int, int f, int) { return static_cast<int>(prod[f]); });
        } else {
          v = F3(0, s, [prod, ia](int, int f, int) { return static_cast<int>(prod[(f * ia) >> 8]); });
        }
      } else {
        const uint32_t k = kPlain ? w * static_cast<uint32_t>(p) : w * a * static_cast<uint32_t>(p);
        const int sh = kPlain ? 16 : 24;
        v = F3(0, s, [k, sh](int, int f, int) { return static_cast<int>((static_cast<uint32_t>(f) * k) >> sh); });
      }
      return Mode == kBlendAdd ? pixel::PackedAdd565(d, v) : pixel::PackedSub565(d, v);
    } else {
      static_assert(Mode == kBlendMul);
      if constexpr (!Blend) {
        if (kPlain || a == 255) return F3(d, s, [](int g, int f, int n) { return (f * g) >> n; });
        return F3(d, s, [ia](int g, int f, int n) { return (f * g * ia) >> (n + 8); });
      } else {
        if constexpr (kPlain) return F3(d, s, [iw](int g, int f, int n) { return (f * g * iw) >> (n + 8); });
        return F3(d, s, [iw, ia](int g, int f, int n) { return (f * g * iw * ia) >> (n + 16); });
      }
    }
  }
};

// The general path: the rules, pixel by pixel.
template <class Src>
void RunSource(const PlainBlitFrame& f, const Context& c) {
  if (!blit::RunCopyOrHalve<2, Src>(f, c)) blit::RunFamily<Ops16, Src, blit::LoopRoad::kGeneral>(f, c);
}

}  // namespace

void PlainBlit16(const PlainBlitFrame& frame) {
  const Context c = blit::MakeContext(frame);
  if (RunPlainBlitFastPath(frame, c, false)) return;
  if (frame.palette != nullptr) RunSource<blit::SrcPal<2>>(frame, c);
  else if (frame.srcAlpha) RunSource<Src16Alpha>(frame, c);
  else RunSource<Src16>(frame, c);
}

// ---- Fast-path routines (plain_blit_fast_paths.cpp says which draws each takes) ----------------------

namespace blit {

void RunStretchesR5G6B5(const PlainBlitFrame& f, const Context& c) { RunFamily<Ops16, Src16, LoopRoad::kRows>(f, c); }
void AlphaRunStretchesR5G6B5(const PlainBlitFrame& f, const Context& c) { RunFamily<Ops16, Src16Alpha, LoopRoad::kRows>(f, c); }
void HalveRowsR5G6B5(const PlainBlitFrame& f, const Context& c) { simd::HalveRows<2>(f, c); }
void RowsR5G6B5(const PlainBlitFrame& f, const Context& c) { RunFamily<Ops16, Src16, LoopRoad::kRows>(f, c); }
void AlphaCopyRowsR5G6B5(const PlainBlitFrame& f, const Context& c) { RunFamily<Ops16, Src16Alpha, LoopRoad::kRows>(f, c); }

}  // namespace blit

}  // namespace orbel
