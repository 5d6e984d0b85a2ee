// The rasteriser's fast paths, listed in one table in front of the general span routine. Each row names
// the state it serves -- how the primitive is walked, the filter, what the stage makes of its texel, the
// blend, the texture's and the target's layouts, the tests it does not do -- and the routine that draws
// it, named for that key. The first row that matches a primitive draws it; a primitive no row matches
// takes the general routine (ShadeSpan), which stays the reference the fast paths are tested against.
// Each row counts the primitives it drew, so tests can tell which row served a scene.
#pragma once

#include <cstdint>

#include "platform/d3d/d3d7_span.h"
#include "platform/d3d/d3d7_span_avx2.h"

namespace plat::d3d {

// How a primitive's stage-0 texture coordinates follow the target's rows and columns; a primitive
// of a later kind is also one of every earlier kind.
enum class Walk : uint8_t {
  kSpans,      // any triangle, row by row
  kRectangle,  // an axis-aligned rectangle whose u follows its columns and v its rows (stretched, flipped)
  kBlit,       // and steps exactly one texel a pixel and one a row (texel for texel)
};

// An axis-aligned rectangle of one plane, as the rasteriser hands it to a rectangle routine.
struct RectangleWalk {
  int x, y, width, height;  // pixels, inside the scissor
  SpanInput top;            // the span of its first row
  // The span of pixels [x, x + n) of row y, with the values the rasteriser gives every span.
  void (*rowAt)(const void* raster, int y, int x, int n, SpanInput* out);
  const void* raster;
};

// Draws a whole rectangle; false (nothing drawn) when a condition the table cannot see fails (the
// texels read lie outside the texture, say): the next matching row is tried, then the spans.
using RectangleRoutine = bool (*)(const DrawSetup& d, const RectangleWalk& rect);
// Draws one span of a primitive.
using SpanRoutine = void (*)(const DrawSetup& d, const SpanInput& span);

// ---- The routines of the table ----------------------------------------------------------------------

// Point-sampled blits, and the spans of a single shaped stage under either filter (d3d7_point_paths.cpp).
bool OverBlit8888X888(const DrawSetup& d, const RectangleWalk& rect);
// That blit as a frame to draw later, with avx2::OverRectX888 on the AVX2 road and OverFrameX888 on the
// SSE2 road: false where the routine would refuse the rectangle.
bool OverBlitFrame8888X888(const DrawSetup& d, const RectangleWalk& rect, avx2::RectFrame* frame);
// Draws such a frame on the SSE2 road: the bytes of avx2::OverRectX888.
void OverFrameX888(const avx2::RectFrame& frame);
bool PointBlit(const DrawSetup& d, const RectangleWalk& rect);
void ShapedSpans(const DrawSetup& d, const SpanInput& span);
void OverSpans8888X888(const DrawSetup& d, const SpanInput& span);
// Unblended blits of 16-bit textures into 16-bit targets, keyed or alpha-tested (d3d7_keyed_blits.cpp).
bool SrcBlit16To16(const DrawSetup& d, const RectangleWalk& rect);
// Bilinear stretched rectangles (d3d7_bilinear.cpp).
bool BilinearStretch(const DrawSetup& d, const RectangleWalk& rect);

// The texel origin of a blit, or false when its rows leave the texture (the spans draw it then).
bool BlitSource(const StageSetup& s, const RectangleWalk& rect, int64_t* tx, int64_t* ty);

// Blended rectangle rows read the target: asks for the row two below `row`, as the hardware's
// prefetch misses the stride.
void PrefetchTarget(const DrawSetup& d, const RectangleWalk& rect, int row);

// ---- The table --------------------------------------------------------------------------------------

constexpr int kFastPathCount = 7;
constexpr int kGeneralPath = kFastPathCount;  // the index counting the general routine's primitives

// The first row at or after `from` that serves a primitive of `walk` drawn with the flat colours of
// `memo` (MemoFor's), or -1. Rows for the rectangle walks come before the span rows.
int FindFastPath(const DrawSetup& d, Walk walk, const DrawSetup::StageMemo& memo, int from = 0);
// The row's routine: a rectangle routine (null for span rows), a span routine (null for rectangle rows).
RectangleRoutine FastPathRectangle(int index);
SpanRoutine FastPathSpan(int index);
const char* FastPathName(int index);  // "general" for kGeneralPath

// Adds a draw's counts (kFastPathCount + 1 entries, the last the general routine's) to the totals
// tests read.
void AddFastPathHits(const uint32_t* counts);
// Adds the sprite pieces a draw chose to plan (d3d7_blit_plan.h) to the total tests read.
void AddBlitPlans(uint32_t plans);
// Clears the hits and the plans.
void ResetFastPathHits();

}  // namespace plat::d3d
