// The AVX2 glyphs of glyph_rows.cpp: the same pixels as the SSE2 rows. Compiled
// apart (glyph_rows_avx2.cpp) and called only on the renderer's AVX2 road.
#pragma once

#include <cstdint>

#include "orbel/font/glyph_rows.h"

namespace orbel::glyph::avx2 {

// A 1-bit glyph (g.n <= kBitsRowMax): colour where a bit is set.
void SetBitsGlyph32(const GlyphBlock& g, uint32_t color);
// The same into a 16-bit target; false, drawing nothing, when a row's last part has no room in the
// target row for a whole step of sixteen.
bool SetBitsGlyph16(const GlyphBlock& g, uint32_t color);
// Levels blended over a 32-bit target without alpha, as BlendRow32.
void BlendGlyph32(const GlyphBlock& g, uint32_t color);
// Levels blended over a 16-bit target, as BlendRow16.
void BlendGlyph16(const GlyphBlock& g, uint32_t color);

}  // namespace orbel::glyph::avx2
