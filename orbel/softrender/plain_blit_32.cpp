// Plain blit, 32-bit family: the per-channel rules of every blend mode for X8R8G8B8 / A8R8G8B8
// sources (direct or paletted), the packed saturating add and subtract, the p = 128 halving and the
// exact-saturation loops chosen by the MMX flag. Byte 0 is blue, 1 green, 2 red, 3 alpha.
// Depends on plain_blit_loops.h (loop shapes), plain_blit_family.h (shared parts) and the blend tables.
#include "orbel/graphics/draw_state.h"
#include "orbel/softrender/plain_blit.h"
#include "orbel/softrender/plain_blit_family.h"
#include "orbel/softrender/plain_blit_fast_paths.h"
#include "orbel/softrender/plain_blit_loops.h"
#include "orbel/softrender/plain_blit_simd.h"
#include "orbel/softrender/simd_road.h"

namespace orbel {

namespace {

using blit::Context;
using blit::SrcPixel;

// Applies f(d, s) to blue, green and red; byte 3 of the result is 0.
template <class F>
inline uint32_t Ch3(uint32_t d, uint32_t s, F f) {
  return static_cast<uint32_t>(f(static_cast<int>(d & 0xFF), static_cast<int>(s & 0xFF))) |
         static_cast<uint32_t>(f(static_cast<int>((d >> 8) & 0xFF), static_cast<int>((s >> 8) & 0xFF))) << 8 |
         static_cast<uint32_t>(f(static_cast<int>((d >> 16) & 0xFF), static_cast<int>((s >> 16) & 0xFF))) << 16;
}

// ---- Sources ------------------------------------------------------------------------------------------

struct Src32 {
  static constexpr bool kHasAlpha = true;
  static constexpr int kBytes = 4;
  static SrcPixel Load(const uint8_t* row, int x, const Context&) {
    const uint32_t v = blit::Load32(row + 4 * x);
    return {v, v, v >> 24};
  }
};

// ---- Mode rules ---------------------------------------------------------------------------------------

struct Ops32 : blit::OpsBase<4> {
  // Each colour channel becomes bright x s / 255; the alpha byte is kept for the alpha test.
  static uint32_t Brighten(uint32_t s, const Context& c) {
    return c.brightB[s & 0xFF] | c.brightG[(s >> 8) & 0xFF] << 8 | c.brightR[(s >> 16) & 0xFF] << 16 |
           (s & 0xFF000000);
  }

  template <int Mode, int Cls, bool Bright, bool Blend, bool Run>
  static uint32_t Apply(uint32_t d, uint32_t s, uint32_t a, uint32_t w, const Context& c) {
    constexpr bool kPlain = Cls == blit::kNoAlpha || Cls == blit::kOpaque;
    const uint32_t keep = d & 0xFF000000;
    const int ia = static_cast<int>(a);
    const int iw = static_cast<int>(w);
    const int p = c.p;
    if constexpr (Mode == kBlendNone) {
      if constexpr (kPlain || (Cls == blit::kNoFlag && !Blend)) {
        // A copy; brightened channels keep the destination's byte 3.
        if constexpr (!Blend) return Bright ? (s & 0xFFFFFF) | keep : s;
        return Ch3(d, s, [iw](int dd, int ss) { return (dd * 256 + (ss - dd) * iw) >> 8; }) | keep;
      } else if constexpr (!Blend) {
        return Ch3(d, s, [ia](int dd, int ss) { return (dd * 256 + (ss - dd) * ia) >> 8; }) | keep;
      } else {
        return Ch3(d, s, [ia, iw](int dd, int ss) { return (dd * 65536 + (ss - dd) * iw * ia) >> 16; }) | keep;
      }
    } else if constexpr (Mode == kBlendAlpha || Mode == kBlendInvert || Mode == kBlendMulAlpha) {
      // Mode 10 blends the inverted source, mode 11 the product of source and destination.
      auto term = [](int dd, int ss) {
        if constexpr (Mode == kBlendAlpha) return ss;
        else if constexpr (Mode == kBlendInvert) return 255 - ss;
        else return (ss * dd) >> 8;
      };
      if constexpr (kPlain && !Blend) {
        return Ch3(d, s, [=](int dd, int ss) { return (dd * 256 + (term(dd, ss) - dd) * p) >> 8; }) | keep;
      } else if constexpr (kPlain) {
        return Ch3(d, s, [=](int dd, int ss) { return (dd * 65536 + (term(dd, ss) - dd) * iw * p) >> 16; }) | keep;
      } else if constexpr (!Blend) {
        return Ch3(d, s, [=](int dd, int ss) { return (dd * 65536 + (term(dd, ss) - dd) * ia * p) >> 16; }) | keep;
      } else {
        return Ch3(d, s, [=](int dd, int ss) {
                 return static_cast<int>((static_cast<int64_t>(dd) * 16777216 +
                                          static_cast<int64_t>(term(dd, ss) - dd) * iw * ia * p) >> 24);
               }) |
               keep;
      }
    } else if constexpr (Mode == kBlendAdd || Mode == kBlendSub) {
      uint32_t v;
      if constexpr (kPlain && !Blend) {
        v = c.prodP[s & 0xFF] | c.prodP[(s >> 8) & 0xFF] << 8 | c.prodP[(s >> 16) & 0xFF] << 16;
      } else {
        const uint32_t f = kPlain ? w * static_cast<uint32_t>(p)
                                  : (Blend ? w * a * static_cast<uint32_t>(p) : a * static_cast<uint32_t>(p));
        const int sh = (!kPlain && Blend) ? 24 : 16;
        v = Ch3(0, s, [f, sh](int, int ss) { return static_cast<int>((static_cast<uint32_t>(ss) * f) >> sh); });
      }
      return Mode == kBlendAdd ? pixel::PackedAdd888(d, v) : pixel::PackedSub888(d, v);
    } else {
      static_assert(Mode == kBlendMul);
      if constexpr (kPlain && !Blend) {
        return Ch3(d, s, [](int dd, int ss) { return (dd * ss) >> 8; }) | keep;
      } else {
        const uint32_t f = kPlain ? w : (Blend ? w * a : a);
        const int sh = (!kPlain && Blend) ? 24 : 16;
        return Ch3(d, s, [f, sh](int dd, int ss) {
                 return static_cast<int>((static_cast<uint32_t>(dd * ss) * f) >> sh);
               }) |
               keep;
      }
    }
    (void)Run;
  }
};

// ---- Special-value loops --------------------------------------------------------------------------

// The copy and halving shortcuts, then exact saturation when the MMX flag is set.
template <class Src>
bool RunSpecial(const PlainBlitFrame& f, const Context& c) {
  if (blit::RunCopyOrHalve<4, Src>(f, c)) return true;
  if (!blit::SpecialAllowed(f) || (f.mode != kBlendAdd && f.mode != kBlendSub) || f.param != 255 || !f.mmx) {
    return false;
  }
  blit::RunSpecialLoop<4, Src>(f, c, f.mode == kBlendAdd ? pixel::SatAddBytes : pixel::SatSubBytes);
  return true;
}

// The general path: the rules, pixel by pixel.
template <class Src>
void RunSource(const PlainBlitFrame& f, const Context& c) {
  if (!RunSpecial<Src>(f, c)) blit::RunFamily<Ops32, Src, blit::LoopRoad::kGeneral>(f, c);
}

}  // namespace

void PlainBlit32(const PlainBlitFrame& frame) {
  const Context c = blit::MakeContext(frame);
  if (RunPlainBlitFastPath(frame, c, true)) return;
  if (frame.palette != nullptr) RunSource<blit::SrcPal<4>>(frame, c);
  else RunSource<Src32>(frame, c);
}

// ---- Fast-path routines (plain_blit_fast_paths.cpp says which draws each takes) ----------------------

namespace blit {

void CopyPlanA8R8G8B8Avx2(const PlainBlitFrame& f, const Context&) {
  avx2::CopyPlanned32(avx2::RunFrame{f.dst, f.dstPitch, f.src, f.srcPitch, f.runTable, f.runPlan, f.runWeights, f.width, f.height});
}
void RunsX8R8G8B8Avx2(const PlainBlitFrame& f, const Context& c) { RunFamily<Ops32, Src32, LoopRoad::kWholeRuns>(f, c); }
void RunStretchesX8R8G8B8(const PlainBlitFrame& f, const Context& c) { RunFamily<Ops32, Src32, LoopRoad::kRows>(f, c); }
void HalveRowsX8R8G8B8(const PlainBlitFrame& f, const Context& c) { simd::HalveRows<4>(f, c); }
void SaturateRowsX8R8G8B8(const PlainBlitFrame& f, const Context& c) { simd::Saturate32Rows(f, c); }
void RowsX8R8G8B8(const PlainBlitFrame& f, const Context& c) { RunFamily<Ops32, Src32, LoopRoad::kRows>(f, c); }

}  // namespace blit

}  // namespace orbel
