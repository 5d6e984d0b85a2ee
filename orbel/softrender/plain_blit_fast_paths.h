// The plain blit's fast paths, listed pixman's way: one table of rows, each the traits a draw must
// have and must not have, the blend modes and the least vector road it takes, and the routine that
// draws it. The first row that takes a draw wins; a draw no row takes goes the general path (the
// per-pixel rules with their special-value shortcuts), which stays the reference the tests hold every
// row to. Each row counts the draws it took, so tests can tell which routine drew a scene.
// Depends on plain_blit.h, plain_blit_loops.h (the context) and simd_road.h.
#pragma once

#include <cstdint>

#include "orbel/softrender/plain_blit.h"
#include "orbel/softrender/plain_blit_loops.h"
#include "orbel/softrender/simd_road.h"

namespace orbel {

// What a draw is, as the rows read it.
enum PlainBlitTrait : uint32_t {
  kTraitDeep = 1u << 0,         // 32-bit family (else R5G6B5)
  kTraitDirect = 1u << 1,       // source pixels as wide as the destination's (not paletted, and at 16
                                // bits without alpha)
  kTraitAlphaLayout = 1u << 2,  // 16-bit family, source in the 4-byte alpha layout
  kTraitSrcAlpha = 1u << 3,     // the source carries alpha
  kTraitTrans = 1u << 4,        // transparency flag
  kTraitBright = 1u << 5,       // brightness other than white
  kTraitBlendImage = 1u << 6,   // a blend image weights the pixels
  kTraitRunTable = 1u << 7,     // run-code walk (whole source, unclipped)
  kTraitRunPlan = 1u << 8,      // ... with the body's run plan
  kTraitRunWeights = 1u << 9,   // ... and its blend words
  kTraitCopy = 1u << 10,        // the whole-row copy rule applies (mode 0, no flag, plain direct source)
  kTraitHalve = 1u << 11,       // the halving rule applies (mode 1 at p = 128, plain source)
  kTraitSaturate = 1u << 12,    // the exact-saturation rule applies (MMX flag, mode 2 or 3 at p = 255)
};

using PlainBlitRoutine = void (*)(const PlainBlitFrame&, const blit::Context&);

struct PlainBlitFastPath {
  const char* name;          // spells what it does, the pixel format and the road
  uint32_t need;             // traits the draw must have
  uint32_t refuse;           // traits it must not have
  uint32_t modes;            // 1 << mode for each blend mode it takes
  SimdRoad road;             // the least road it runs on
  PlainBlitRoutine routine;
};

// The traits of a draw of the 32-bit (`deep`) or the 16-bit family.
uint32_t PlainBlitTraits(const PlainBlitFrame& frame, bool deep);
// Draws `frame` through the first row that takes it, counting the hit, and returns true; false (the
// general path's count going up) when no row takes it.
bool RunPlainBlitFastPath(const PlainBlitFrame& frame, const blit::Context& c, bool deep);

// For tests: the rows in order, the draws each took and the draws none took.
int PlainBlitFastPathCount();
const PlainBlitFastPath& PlainBlitFastPathAt(int index);
uint64_t PlainBlitFastPathHits(int index);
uint64_t PlainBlitGeneralPathHits();
void ResetPlainBlitFastPathHits();

namespace blit {
// The routines the rows name (plain_blit_32.cpp, plain_blit_16.cpp).
void CopyPlanA8R8G8B8Avx2(const PlainBlitFrame& f, const Context& c);
void RunsX8R8G8B8Avx2(const PlainBlitFrame& f, const Context& c);
void RunStretchesX8R8G8B8(const PlainBlitFrame& f, const Context& c);
void HalveRowsX8R8G8B8(const PlainBlitFrame& f, const Context& c);
void SaturateRowsX8R8G8B8(const PlainBlitFrame& f, const Context& c);
void RowsX8R8G8B8(const PlainBlitFrame& f, const Context& c);
void RunStretchesR5G6B5(const PlainBlitFrame& f, const Context& c);
void AlphaRunStretchesR5G6B5(const PlainBlitFrame& f, const Context& c);
void HalveRowsR5G6B5(const PlainBlitFrame& f, const Context& c);
void RowsR5G6B5(const PlainBlitFrame& f, const Context& c);
void AlphaCopyRowsR5G6B5(const PlainBlitFrame& f, const Context& c);
}  // namespace blit

}  // namespace orbel
