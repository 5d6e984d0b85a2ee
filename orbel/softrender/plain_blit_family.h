// What the two plain-blit pixel families share: destination access and the SSE2 row hook for their
// Ops, the paletted source, and the special-value shortcuts (whole-row copy, p = 128 halving) with
// their portable loop. The mode rules and the direct sources stay in plain_blit_16.cpp and
// plain_blit_32.cpp. Depends on plain_blit_loops.h and plain_blit_simd.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>  // memcpy

#include "orbel/graphics/draw_state.h"
#include "orbel/softrender/plain_blit.h"
#include "orbel/softrender/plain_blit_loops.h"
#include "orbel/softrender/plain_blit_simd.h"
#include "orbel/softrender/simd_road.h"

namespace orbel::blit {

// The part of a family's Ops that depends only on the pixel size (2 or 4 bytes).
template <int Bytes>
struct OpsBase {
  static constexpr int kBytes = Bytes;
  static uint32_t LoadDst(const uint8_t* row, int x) { return Word<Bytes>::Load(row, x); }
  static void StoreDst(uint8_t* row, int x, uint32_t v) { Word<Bytes>::Store(row, x, v); }

  // NOTE: multiply keeps the normal path's rule for alpha sources under the transparency flag: an
  // alpha-0 pixel is not skipped but multiplied by 0, blackening the destination, while the run-code
  // path skips it as a transparent run. Both results are the library's documented behaviour.
  template <int Mode>
  static constexpr bool SkipsAlphaZero() {
    return Mode != kBlendMul;
  }

  template <class Src, int Mode, bool Alpha, bool Trans, bool Bright, bool Blend>
  static bool FastRow(uint8_t* drow, const uint8_t* srow, const uint8_t* brow, int width, const Context& c) {
    if constexpr (Bytes == 4) return simd::FastRow32<Src::kBytes, Mode, Alpha, Trans, Bright, Blend>(drow, srow, brow, width, c);
    else return simd::FastRow16<Src::kBytes, Mode, Alpha, Trans, Bright, Blend>(drow, srow, brow, width, c);
  }

  // A whole run-coded picture in one vector walk, where the family has one (false: nothing drawn).
  template <class Src, int Mode, bool Alpha, bool Bright, bool Blend>
  static bool FastRuns(const PlainBlitFrame& f, const Context& c) {
    if constexpr (Bytes == 4) return simd::FastRuns32<Src::kBytes, Mode, Alpha, Bright, Blend>(f, c);
    else return false;
  }

  // Whether an opaque run of a source without alpha takes the rule the normal path gives its pixels.
  template <int Mode, bool Bright, bool Blend>
  static constexpr bool RunRuleIsRowRule() {
    return true;
  }

};

// A paletted source: one index byte a pixel, palette words of the destination's size. The
// transparent colour is compared with the index.
template <int Bytes>
struct SrcPal {
  static constexpr bool kHasAlpha = false;
  static constexpr int kBytes = 1;
  static SrcPixel Load(const uint8_t* row, int x, const Context& c) {
    const uint32_t i = row[x];
    return {i, static_cast<const typename Word<Bytes>::Type*>(c.palette)[i], 255};
  }
};

// ---- Special-value loops --------------------------------------------------------------------------
// Only without blend image, brightness or source alpha, and on the normal path.

inline bool SpecialAllowed(const PlainBlitFrame& f) {
  return f.runTable == nullptr && f.blend == nullptr && f.bright == 0xFFFFFF && !f.srcAlpha;
}

// Portable loop: op(d, s) on every pixel, keyed pixels skipped under the flag.
template <int Bytes, class Src, bool Trans, class Op>
void SpecialLoop(const PlainBlitFrame& f, const Context& c, Op op) {
  for (int y = 0; y < f.height; ++y) {
    uint8_t* drow = f.dst + y * f.dstPitch;
    const uint8_t* srow = f.src + y * f.srcPitch;
    for (int x = 0; x < f.width; ++x) {
      const SrcPixel px = Src::Load(srow, x, c);
      if (Trans && px.key == c.key) continue;
      Word<Bytes>::Store(drow, x, op(Word<Bytes>::Load(drow, x), px.s));
    }
  }
}

template <int Bytes, class Src, class Op>
void RunSpecialLoop(const PlainBlitFrame& f, const Context& c, Op op) {
  if (f.trans) SpecialLoop<Bytes, Src, true>(f, c, op);
  else SpecialLoop<Bytes, Src, false>(f, c, op);
}

// Mode 0 without the flag copies whole rows of a direct source; mode 1 at p = 128 halves one pixel at
// a time (the fast-path table has SSE2 rows for it). False: neither applies.
template <int Bytes, class Src>
bool RunCopyOrHalve(const PlainBlitFrame& f, const Context& c) {
  if (!SpecialAllowed(f)) return false;
  if (f.mode == kBlendNone && !f.trans && Src::kBytes == Bytes) {
    for (int y = 0; y < f.height; ++y) std::memcpy(f.dst + y * f.dstPitch, f.src + y * f.srcPitch, Bytes * static_cast<size_t>(f.width));
    return true;
  }
  if (f.mode == kBlendAlpha && f.param == 128) {
    RunSpecialLoop<Bytes, Src>(f, c, [](uint32_t d, uint32_t s) { return Halve<Bytes>(d, s); });
    return true;
  }
  return false;
}

}  // namespace orbel::blit
