// The AVX2 road of the plain blit's 32-bit rows: eight pixels a step for the modes whose arithmetic
// dominates (the keyed copy, 1, 10, 11, 2, 3, 4), with source alpha and without, the same rules as the
// SSE2 rows in plain_blit_simd.h. Compiled apart (plain_blit_avx2.cpp) and called only on the AVX2
// road.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orbel::avx2 {

// True when the processor runs AVX2.
bool Supported();
// Draws the leading whole groups of eight pixels of a row (source alpha in byte 3, the row's
// transparency flag `trans`, blend parameter `p`); returns how many pixels it drew (a multiple of 8).
// Modes without a row here draw none.
int AlphaRow32(int mode, bool trans, uint8_t* drow, const uint8_t* srow, int width, int p);
// The same for a source without alpha; under the flag pixels equal to `key` are left alone.
int PlainRow32(int mode, bool trans, uint8_t* drow, const uint8_t* srow, int width, int p, uint32_t key);
// A run-coded picture drawn whole and unclipped: rows from explicit origins, the picture's run table.
struct RunFrame {
  uint8_t* dst;
  ptrdiff_t dstPitch;  // bytes
  const uint8_t* src;
  ptrdiff_t srcPitch;  // bytes
  const uint8_t* table;
  const uint16_t* plan;  // the table's run plan (run_plan.h), or null
  const uint16_t* weights;  // the plan's blend words for the copy rule of alpha sources, or null
  int width;
  int height;
};
// Draws a run-coded 32-bit picture under the transparency flag (source alpha in byte 3 when `alpha`,
// else pixels equal to `key` are transparent): each row's stretches of runs in groups of eight, the
// last partial group through masked loads and stores, from the run plan where the body has one. The
// pixels are those of the run-code walk.
// False, drawing nothing, for a mode without rows here.
bool RunRows32(int mode, bool alpha, const RunFrame& frame, int p, uint32_t key);
// The copy rule (mode 0 under the flag) of a run-coded alpha picture from its run plan and blend words
// (both in the frame): clear groups left alone, opaque ones copied, mixed ones weighted.
void CopyPlanned32(const RunFrame& frame);
// Exact saturating add (or subtract) of all four bytes, keyed pixels kept under the flag.
int SaturateRow32(bool subtract, bool trans, uint8_t* drow, const uint8_t* srow, int width, uint32_t key);

}  // namespace orbel::avx2
