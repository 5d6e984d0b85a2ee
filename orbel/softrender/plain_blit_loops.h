// The plain blit's loop shapes, written once and instantiated per pixel family: the normal walk
// (transparency or alpha test, brightness, blend weight, mode rule) and the run-code walk, each a
// template over the selectors (mode, source alpha, transparency, brightness, blend image) so every
// combination gets its own loop with no per-pixel test beyond the transparency or alpha test.
// A family supplies Ops (pixel arithmetic) and Src (how a source pixel is read).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "orbel/graphics/draw_state.h"
#include "orbel/softrender/blend_tables.h"
#include "orbel/softrender/packed_pixels.h"
#include "orbel/softrender/plain_blit.h"
#include "orbel/softrender/run_stretch.h"
#include "orbel/softrender/simd_road.h"

namespace orbel::blit {

// How a source pixel meets the mode rule.
enum PixelClass {
  kNoAlpha,      // source without alpha
  kOpaque,       // alpha source, alpha 255 under the transparency flag (or an opaque run)
  kTranslucent,  // alpha source, general alpha rule (under the flag, or a translucent run)
  kNoFlag,       // alpha source drawn without the transparency flag
};

// Values fixed per draw: lookup rows and the transparent colour.
struct Context {
  int p;
  const uint32_t* prodP;     // product row p
  const uint32_t* brightR;   // product rows of the brightness bytes
  const uint32_t* brightG;
  const uint32_t* brightB;
  const int32_t* signedP;    // signed product row p, entered at d = 0
  const uint8_t (*sixBit)[64];  // six-bit block for k = p / 4, [s][d]
  const uint8_t* weight;     // blend-graph weights
  uint32_t key;
  const void* palette;
};

inline Context MakeContext(const PlainBlitFrame& f) {
  Context c;
  c.p = f.param;
  c.prodP = BlendProductTable[f.param];
  c.brightR = BlendProductTable[(f.bright >> 16) & 0xFF];
  c.brightG = BlendProductTable[(f.bright >> 8) & 0xFF];
  c.brightB = BlendProductTable[f.bright & 0xFF];
  c.signedP = BlendSignedProductRow(f.param);
  c.sixBit = BlendSixBitTable[f.param / 4];
  c.weight = BlendGraphWeightTable;
  c.key = f.key;
  c.palette = f.palette;
  return c;
}

using pixel::Load16;
using pixel::Load32;
using pixel::Store16;
using pixel::Store32;

// A source pixel: the value the transparency test compares, the colour, the alpha.
struct SrcPixel {
  uint32_t key;
  uint32_t s;
  uint32_t a;
};

// One pixel of a family in its row: 2 bytes (R5G6B5) or 4 (X8R8G8B8 / A8R8G8B8).
template <int Bytes>
struct Word;

template <>
struct Word<2> {
  using Type = uint16_t;
  static constexpr uint32_t kHalfMask = 0x7BEF;  // each field's upper bits, after the shift right
  static uint32_t Load(const uint8_t* row, int x) { return Load16(row + 2 * x); }
  static void Store(uint8_t* row, int x, uint32_t v) { Store16(row + 2 * x, v); }
};

template <>
struct Word<4> {
  using Type = uint32_t;
  static constexpr uint32_t kHalfMask = 0x7F7F7F;  // byte 3 of the result is 0
  static uint32_t Load(const uint8_t* row, int x) { return Load32(row + 4 * x); }
  static void Store(uint8_t* row, int x, uint32_t v) { Store32(row + 4 * x, v); }
};

// The p = 128 blend: each field halved (its low bit dropped) in both pixels, then summed.
template <int Bytes>
inline uint32_t Halve(uint32_t d, uint32_t s) {
  return ((s >> 1) & Word<Bytes>::kHalfMask) + ((d >> 1) & Word<Bytes>::kHalfMask);
}

// ---- Loop shapes ------------------------------------------------------------------------------------

using LoopFn = void (*)(const PlainBlitFrame&, const Context&);

// How far a walk may go past the per-pixel rules: kGeneral is the reference (rules only), kRows hands
// whole rows, or a run-coded row's stretches, to the vector rows, kWholeRuns gives a run-coded picture
// to the family's whole-picture walk. The fast-path table (plain_blit_fast_paths.h) picks the road.
enum class LoopRoad { kGeneral, kRows, kWholeRuns };

template <class Ops, class Src, LoopRoad Road, int Mode, bool Alpha, bool Trans, bool Bright, bool Blend>
void NormalLoop(const PlainBlitFrame& f, const Context& c) {
  constexpr bool vectorRoad = Road != LoopRoad::kGeneral;
  for (int y = 0; y < f.height; ++y) {
    uint8_t* drow = f.dst + y * f.dstPitch;
    const uint8_t* srow = f.src + y * f.srcPitch;
    const uint8_t* brow = Blend ? f.blend + y * f.blendPitch : nullptr;
    if (vectorRoad && Ops::template FastRow<Src, Mode, Alpha, Trans, Bright, Blend>(drow, srow, brow, f.width, c)) continue;
    for (int x = 0; x < f.width; ++x) {
      const SrcPixel px = Src::Load(srow, x, c);
      if constexpr (!Alpha && Trans) {
        if (px.key == c.key) continue;
      }
      const uint32_t s = Bright ? Ops::Brighten(px.s, c) : px.s;
      uint32_t w = 0;
      if constexpr (Blend) w = c.weight[brow[x]];
      const uint32_t d = Ops::LoadDst(drow, x);
      uint32_t out;
      if constexpr (Alpha && Trans) {
        if (px.a == 0 && Ops::template SkipsAlphaZero<Mode>()) continue;
        out = px.a == 255 ? Ops::template Apply<Mode, kOpaque, Bright, Blend, false>(d, s, 255, w, c)
                          : Ops::template Apply<Mode, kTranslucent, Bright, Blend, false>(d, s, px.a, w, c);
      } else if constexpr (Alpha) {
        out = Ops::template Apply<Mode, kNoFlag, Bright, Blend, false>(d, s, px.a, w, c);
      } else {
        out = Ops::template Apply<Mode, kNoAlpha, Bright, Blend, false>(d, s, 255, w, c);
      }
      Ops::StoreDst(drow, x, out);
    }
  }
}

// ---- Run-code walk ----------------------------------------------------------------------------------

// Run-code walk on the vector road: the row's stretches go to the normal path's vector row, which
// gives the same pixels wherever the run rules and the row rules agree (see RunLoop). False, drawing
// nothing, when there is no vector row for these selectors.
template <class Ops, class Src, int Mode, bool Alpha, bool Bright, bool Blend>
bool RunStretches(const PlainBlitFrame& f, const Context& c) {
  if (!Ops::template FastRow<Src, Mode, Alpha, true, Bright, Blend>(f.dst, f.src, f.blend, 0, c)) return false;
  const MemImgRunTable* code = f.runTable;
  // Only multiply draws a clear pixel of an alpha source differently on the two paths.
  constexpr bool kMergeClear = !Alpha || Ops::template SkipsAlphaZero<Mode>();
  for (int y = 0; y < f.height; ++y) {
    uint8_t* drow = f.dst + y * f.dstPitch;
    const uint8_t* srow = f.src + y * f.srcPitch;
    const uint8_t* brow = Blend ? f.blend + y * f.blendPitch : nullptr;
    ForEachStretch<kMergeClear>(code, f.width, [&](int x, int n) {
      Ops::template FastRow<Src, Mode, Alpha, true, Bright, Blend>(
          drow + static_cast<ptrdiff_t>(x) * Ops::kBytes, srow + static_cast<ptrdiff_t>(x) * Src::kBytes,
          Blend ? brow + x : nullptr, n, c);
    });
  }
  return true;
}

// Run-code walk: each row is a string of codes ended by kRunEnd; transparent runs are skipped
// without reading the pixels, opaque runs take the alpha-255 (or no-alpha) rule, translucent runs
// the general alpha rule. An opaque or translucent run of an alpha source follows the rules the
// normal path applies to the same pixels under the transparency flag, and so does an opaque run of a
// source without alpha (where the family says its run rule is the row rule), so off the general road
// whole stretches of runs go through the normal path's rows, or the picture to the family's
// whole-picture walk; where neither has rows, one run at a time.
template <class Ops, class Src, LoopRoad Road, int Mode, bool Alpha, bool Bright, bool Blend>
void RunLoop(const PlainBlitFrame& f, const Context& c) {
  if (Road != LoopRoad::kGeneral && (Alpha || Ops::template RunRuleIsRowRule<Mode, Bright, Blend>())) {
    if (Road == LoopRoad::kWholeRuns && Ops::template FastRuns<Src, Mode, Alpha, Bright, Blend>(f, c)) return;
    if (RunStretches<Ops, Src, Mode, Alpha, Bright, Blend>(f, c)) return;
  }
  const MemImgRunTable* code = f.runTable;
  constexpr int kOpaqueClass = Alpha ? kOpaque : kNoAlpha;
  for (int y = 0; y < f.height; ++y) {
    uint8_t* drow = f.dst + y * f.dstPitch;
    const uint8_t* srow = f.src + y * f.srcPitch;
    const uint8_t* brow = Blend ? f.blend + y * f.blendPitch : nullptr;
    int x = 0;
    for (uint8_t k = *code++; k != kRunEnd; k = *code++) {
      int n = (k & 0x3F) + 1;
      const int kind = k >> 6;
      if (n > f.width - x) n = f.width - x;  // a table never runs past its row; stay safe regardless
      if (kind == kRunOpaque || (kind == kRunTranslucent && !Alpha)) {
        for (int i = x; i < x + n; ++i) {
          const SrcPixel px = Src::Load(srow, i, c);
          const uint32_t s = Bright ? Ops::Brighten(px.s, c) : px.s;
          const uint32_t w = Blend ? c.weight[brow[i]] : 0;
          Ops::StoreDst(drow, i, Ops::template Apply<Mode, kOpaqueClass, Bright, Blend, true>(Ops::LoadDst(drow, i), s, 255, w, c));
        }
      } else if (kind == kRunTranslucent) {
        for (int i = x; i < x + n; ++i) {
          const SrcPixel px = Src::Load(srow, i, c);
          const uint32_t s = Bright ? Ops::Brighten(px.s, c) : px.s;
          const uint32_t w = Blend ? c.weight[brow[i]] : 0;
          Ops::StoreDst(drow, i, Ops::template Apply<Mode, kTranslucent, Bright, Blend, true>(Ops::LoadDst(drow, i), s, px.a, w, c));
        }
      }
      x += n;
    }
  }
}

// ---- Selector tables ------------------------------------------------------------------------------
// Index bits: 1 transparency, 2 source alpha, 4 brightness, 8 blend image. Sources that cannot
// carry alpha fold the alpha bit away, so no dead loops are generated for them.

template <class Ops, class Src, LoopRoad Road, int Mode, int I>
void NormalEntry(const PlainBlitFrame& f, const Context& c) {
  NormalLoop<Ops, Src, Road, Mode, Src::kHasAlpha && (I & 2) != 0, (I & 1) != 0, (I & 4) != 0, (I & 8) != 0>(f, c);
}

template <class Ops, class Src, LoopRoad Road, int Mode, int I>
void RunEntry(const PlainBlitFrame& f, const Context& c) {
  RunLoop<Ops, Src, Road, Mode, Src::kHasAlpha && (I & 2) != 0, (I & 4) != 0, (I & 8) != 0>(f, c);
}

template <class Ops, class Src, LoopRoad Road, int Mode, size_t... I>
constexpr std::array<LoopFn, sizeof...(I)> MakeNormalTable(std::index_sequence<I...>) {
  return {&NormalEntry<Ops, Src, Road, Mode, static_cast<int>(I)>...};
}

template <class Ops, class Src, LoopRoad Road, int Mode, size_t... I>
constexpr std::array<LoopFn, sizeof...(I)> MakeRunTable(std::index_sequence<I...>) {
  return {&RunEntry<Ops, Src, Road, Mode, static_cast<int>(I)>...};
}

inline int SelectorIndex(const PlainBlitFrame& f) {
  return (f.trans ? 1 : 0) | (f.srcAlpha ? 2 : 0) | (f.bright != 0xFFFFFF ? 4 : 0) | (f.blend != nullptr ? 8 : 0);
}

template <class Ops, class Src, LoopRoad Road, int Mode>
void RunMode(const PlainBlitFrame& f, const Context& c) {
  static constexpr auto kNormal = MakeNormalTable<Ops, Src, Road, Mode>(std::make_index_sequence<16>{});
  static constexpr auto kRun = MakeRunTable<Ops, Src, Road, Mode>(std::make_index_sequence<16>{});
  const int i = SelectorIndex(f);
  (f.runTable != nullptr ? kRun : kNormal)[i](f, c);
}

// Dispatch on the blend mode; modes without loops draw nothing.
template <class Ops, class Src, LoopRoad Road>
void RunFamily(const PlainBlitFrame& f, const Context& c) {
  switch (f.mode) {
    case kBlendNone: RunMode<Ops, Src, Road, kBlendNone>(f, c); break;
    case kBlendAlpha: RunMode<Ops, Src, Road, kBlendAlpha>(f, c); break;
    case kBlendAdd: RunMode<Ops, Src, Road, kBlendAdd>(f, c); break;
    case kBlendSub: RunMode<Ops, Src, Road, kBlendSub>(f, c); break;
    case kBlendMul: RunMode<Ops, Src, Road, kBlendMul>(f, c); break;
    case kBlendInvert: RunMode<Ops, Src, Road, kBlendInvert>(f, c); break;
    case kBlendMulAlpha: RunMode<Ops, Src, Road, kBlendMulAlpha>(f, c); break;
    default: break;
  }
}

}  // namespace orbel::blit
