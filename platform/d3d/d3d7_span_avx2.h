// The AVX2 road of the source-over store loops: eight 32-bit pixels (sixteen 16-bit ones) a step, the
// same arithmetic and the same shortcuts (clear groups skipped, opaque groups copied) as the SSE2
// loops in d3d7_span.cpp. Compiled for AVX2 apart (d3d7_span_avx2.cpp) and called only where the
// processor runs it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace plat::d3d {

// True when the processor runs AVX2.
bool Avx2Supported();

namespace avx2 {

// Each draws the leading whole groups of a row of `n` pixels whose pixels are all live, stopping at the
// first group with a discarded pixel; returns how many pixels it drew (the caller finishes the row).
int StoreOverX888(uint8_t* row, const uint32_t* src, const uint8_t* live, int n);
int StoreOver565(uint8_t* row, const uint32_t* src, const uint8_t* live, int n);
int StoreOver555(uint8_t* row, const uint32_t* src, const uint8_t* live, int n);

// Point samples of a 32-bit texture stepping along a line, every one inside the texture, in 16.16
// texel coordinates small enough (with their steps times eight) for 32-bit lanes.
struct TexelWalk {
  const uint8_t* pixels;
  int pitch;  // bytes
  int64_t u, v;
  int du, dv;
  uint32_t alpha;  // ORed into each texel (0xFF000000 for X8:8:8:8)
};
// The whole groups of eight: returns how many texels it wrote.
int PointTexels32(const TexelWalk& walk, int n, uint32_t* out);
// Those samples of an 8:8:8:8 texture over `n` pixels of an XRGB row, every pixel live, all of them:
// the bytes PointTexels32 and StoreOverX888 give.
void OverPointSpanX888(const TexelWalk& walk, uint8_t* row, int n);

// A blit of 8:8:8:8 texels over an XRGB target, every pixel live: rows from explicit origins.
struct RectFrame {
  uint8_t* dst;
  ptrdiff_t dstPitch;  // bytes
  const uint8_t* src;
  ptrdiff_t srcPitch;  // bytes
  int width, rows;
};
// Draws it whole, the last partial group of each row through masked loads and stores: the bytes
// StoreOverX888 and the scalar loop give. With `next`, the blit to be drawn after it, asks for the
// first and last line of one of its target rows a row (rows far apart defeat the hardware prefetch).
void OverRectX888(const RectFrame& frame, const RectFrame* next = nullptr);

// Asks for the first and last line of row `row` of `next`'s target (nothing without one).
inline void AskForRow(const RectFrame* next, int row) {
  if (next == nullptr || row >= next->rows) return;
  const uint8_t* ahead = next->dst + row * next->dstPitch;
  __builtin_prefetch(ahead, 1);
  __builtin_prefetch(ahead + next->width * 4 - 1, 1);
}

}  // namespace avx2
}  // namespace plat::d3d
