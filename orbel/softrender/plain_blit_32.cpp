// Plain blit, 32-bit family: the per-channel rules of every blend mode for X8R8G8B8 / A8R8G8B8
// sources (direct or paletted), the packed saturating add and subtract, the p = 128 halving and the
// exact-saturation loops chosen by the MMX flag. Byte 0 is blue, 1 green, 2 red, 3 alpha.
// Depends on plain_blit_loops.h (loop shapes) and the blend tables.
#include <cstring>  // memcpy

#include "orbel/softrender/plain_blit.h"
#include "orbel/softrender/plain_blit_loops.h"
#include "orbel/softrender/plain_blit_simd.h"

namespace orbel {

namespace {

using blit::Context;
using blit::SrcPixel;

inline uint32_t Halve32(uint32_t d, uint32_t s) { return ((s >> 1) & 0x7F7F7F) + ((d >> 1) & 0x7F7F7F); }

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

struct SrcPal32 {
  static constexpr bool kHasAlpha = false;
  static constexpr int kBytes = 1;
  static SrcPixel Load(const uint8_t* row, int x, const Context& c) {
    const uint32_t i = row[x];
    return {i, static_cast<const uint32_t*>(c.palette)[i], 255};
  }
};

// ---- Mode rules ---------------------------------------------------------------------------------------

struct Ops32 {
  static uint32_t LoadDst(const uint8_t* row, int x) { return blit::Load32(row + 4 * x); }
  static void StoreDst(uint8_t* row, int x, uint32_t v) { blit::Store32(row + 4 * x, v); }

  // Each colour channel becomes bright x s / 255; the alpha byte is kept for the alpha test.
  static uint32_t Brighten(uint32_t s, const Context& c) {
    return c.brightB[s & 0xFF] | c.brightG[(s >> 8) & 0xFF] << 8 | c.brightR[(s >> 16) & 0xFF] << 16 |
           (s & 0xFF000000);
  }

  // NOTE: multiply keeps the normal path's rule for alpha sources under the transparency flag: an
  // alpha-0 pixel is not skipped but multiplied by 0, blackening the destination, while the run-code
  // path skips it as a transparent run. Both results are the library's documented behaviour.
  template <int Mode>
  static constexpr bool SkipsAlphaZero() {
    return Mode != 4;
  }

  template <class Src, int Mode, bool Alpha, bool Trans, bool Bright, bool Blend>
  static bool FastRow(uint8_t* drow, const uint8_t* srow, const uint8_t* brow, int width, const Context& c) {
    return simd::FastRow32<Src::kBytes, Mode, Alpha, Trans, Bright, Blend>(drow, srow, brow, width, c);
  }

  template <int Mode, int Cls, bool Bright, bool Blend, bool Run>
  static uint32_t Apply(uint32_t d, uint32_t s, uint32_t a, uint32_t w, const Context& c) {
    constexpr bool kPlain = Cls == blit::kNoAlpha || Cls == blit::kOpaque;
    const uint32_t keep = d & 0xFF000000;
    const int ia = static_cast<int>(a);
    const int iw = static_cast<int>(w);
    const int p = c.p;
    if constexpr (Mode == 0) {
      if constexpr (kPlain || (Cls == blit::kNoFlag && !Blend)) {
        // A copy; brightened channels keep the destination's byte 3.
        if constexpr (!Blend) return Bright ? (s & 0xFFFFFF) | keep : s;
        return Ch3(d, s, [iw](int dd, int ss) { return (dd * 256 + (ss - dd) * iw) >> 8; }) | keep;
      } else if constexpr (!Blend) {
        return Ch3(d, s, [ia](int dd, int ss) { return (dd * 256 + (ss - dd) * ia) >> 8; }) | keep;
      } else {
        return Ch3(d, s, [ia, iw](int dd, int ss) { return (dd * 65536 + (ss - dd) * iw * ia) >> 16; }) | keep;
      }
    } else if constexpr (Mode == 1 || Mode == 10 || Mode == 11) {
      // Mode 10 blends the inverted source, mode 11 the product of source and destination.
      auto term = [](int dd, int ss) {
        if constexpr (Mode == 1) return ss;
        else if constexpr (Mode == 10) return 255 - ss;
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
    } else if constexpr (Mode == 2 || Mode == 3) {
      uint32_t v;
      if constexpr (kPlain && !Blend) {
        v = c.prodP[s & 0xFF] | c.prodP[(s >> 8) & 0xFF] << 8 | c.prodP[(s >> 16) & 0xFF] << 16;
      } else {
        const uint32_t f = kPlain ? w * static_cast<uint32_t>(p)
                                  : (Blend ? w * a * static_cast<uint32_t>(p) : a * static_cast<uint32_t>(p));
        const int sh = (!kPlain && Blend) ? 24 : 16;
        v = Ch3(0, s, [f, sh](int, int ss) { return static_cast<int>((static_cast<uint32_t>(ss) * f) >> sh); });
      }
      return Mode == 2 ? pixel::PackedAdd888(d, v) : pixel::PackedSub888(d, v);
    } else {
      static_assert(Mode == 4);
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
// Only without blend image, brightness or source alpha, and on the normal path.

template <class Src, bool Trans, class Op>
void SpecialLoop(const PlainBlitFrame& f, const Context& c, Op op) {
  for (int y = 0; y < f.height; ++y) {
    uint8_t* drow = f.dst + y * f.dstPitch;
    const uint8_t* srow = f.src + y * f.srcPitch;
    for (int x = 0; x < f.width; ++x) {
      const SrcPixel px = Src::Load(srow, x, c);
      if (Trans && px.key == c.key) continue;
      blit::Store32(drow + 4 * x, op(blit::Load32(drow + 4 * x), px.s));
    }
  }
}

template <class Src>
bool RunSpecial(const PlainBlitFrame& f, const Context& c) {
  if (f.runTable != nullptr || f.blend != nullptr || f.bright != 0xFFFFFF || f.srcAlpha) return false;
  if (f.mode == 0 && !f.trans && Src::kBytes == 4) {
    for (int y = 0; y < f.height; ++y) std::memcpy(f.dst + y * f.dstPitch, f.src + y * f.srcPitch, 4 * static_cast<size_t>(f.width));
    return true;
  }
  if (f.mode == 1 && f.param == 128) {
    // Halving: two pixels a step on the MMX road, one at a time otherwise; the results are equal.
    if (Src::kBytes == 4 && simd::Halve32Rows(f, c)) return true;
    if (f.trans) SpecialLoop<Src, true>(f, c, Halve32);
    else SpecialLoop<Src, false>(f, c, Halve32);
    return true;
  }
  if ((f.mode == 2 || f.mode == 3) && f.param == 255 && f.mmx) {
    if (Src::kBytes == 4 && simd::Saturate32Rows(f, c)) return true;
    const bool add = f.mode == 2;
    if (f.trans) SpecialLoop<Src, true>(f, c, add ? pixel::SatAddBytes : pixel::SatSubBytes);
    else SpecialLoop<Src, false>(f, c, add ? pixel::SatAddBytes : pixel::SatSubBytes);
    return true;
  }
  return false;
}

}  // namespace

void PlainBlit32(const PlainBlitFrame& frame) {
  const Context c = blit::MakeContext(frame);
  if (frame.palette != nullptr) {
    if (!RunSpecial<SrcPal32>(frame, c)) blit::RunFamily<Ops32, SrcPal32>(frame, c);
  } else {
    if (!RunSpecial<Src32>(frame, c)) blit::RunFamily<Ops32, Src32>(frame, c);
  }
}

}  // namespace orbel
