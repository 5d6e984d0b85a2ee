// Vector rows of the memory-mode glyph walk: one glyph row's cell values (one byte a pixel, 1-bit cells
// spread to 0 / 1 first) written into a row of 16- or 32-bit pixels. Each row gives exactly the pixels
// of the per-pixel walk in font_string.cpp under the transparent flag; they run on the renderer's SSE2
// road and fall back to plain loops without it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "orbel/softrender/packed_pixels.h"

namespace orbel::glyph {

// Which cell values take the colour and which the edge colour: value v takes the colour when
// (v & colorAnd) == colorIs, else the edge when (v & edgeAnd) == edgeIs; other pixels are left alone.
struct ValueClasses {
  uint8_t colorAnd, colorIs;
  uint8_t edgeAnd, edgeIs;
};

// The widest glyph row the rows take; wider cells are walked pixel by pixel.
constexpr int kGlyphRowMax = 512;
// 1-bit rows up to this wide are read as one 64-bit word of bits.
constexpr int kBitsRowMax = 57;
// Bytes readable past the last cell row of a 1-bit cache, for RowBits.
constexpr int kCellReadSlack = 8;

// One glyph's rows: `rows` rows of `n` pixels from `dst`, their cell values from pixel `first` of each
// cell row (n <= kGlyphRowMax).
struct GlyphBlock {
  uint8_t* dst;
  ptrdiff_t dstPitch;
  const uint8_t* cell;
  ptrdiff_t cellPitch;
  int rows;
  int first;
  int n;
  int slack;  // pixels past n in each target row that may be read and written back unchanged
};

// A whole glyph through the rows below: masked stores (1-bit cells: `oneBit`, type 0's classes),
// levels into a 32-bit target with alpha, levels blended over a 16- or 32-bit target.
void SetGlyph(int bytes, const GlyphBlock& g, bool oneBit, const ValueClasses& classes, uint32_t color, uint32_t edge);
void LevelGlyph32(const GlyphBlock& g, uint32_t color, int shift);
void BlendGlyph(int bytes, const GlyphBlock& g, uint32_t color);

// The classes of a font type (0 plain, spread bits; 1 edged; 2 antialiased; 3 both) on a target
// without alpha, where levels are cut at half strength.
ValueClasses PlainClasses(uint32_t type);

// Masked stores: pixels of the colour class get `color`, of the edge class `edge`.
void SetRow16(uint8_t* dst, const uint8_t* values, int n, const ValueClasses& k, uint32_t color, uint32_t edge);
void SetRow32(uint8_t* dst, const uint8_t* values, int n, const ValueClasses& k, uint32_t color, uint32_t edge);

// A 1-bit row (n <= kBitsRowMax) from pixel `first` of the cell row: colour where a bit is set; 8
// bytes from byte first / 8 of the row must be readable. `slack` as for the blends.
void SetBitsRow(int bytes, uint8_t* dst, const uint8_t* row, int first, int n, int slack, uint32_t color);

// Antialiased levels into a target with alpha: a level v > 0 becomes v << shift | color (shift 20
// for 16-bit colour, 28 for 32-bit), level 0 leaves the pixel.
void LevelRow32(uint8_t* dst, const uint8_t* levels, int n, uint32_t color, int shift);

// Antialiased levels blended straight over a target without alpha, alpha 16 v: each channel
// becomes (d * (256 - a) + c * a) >> 8; the byte above a 32-bit colour is kept.
// `slack`: pixels past n that may be read and written back unchanged; the levels are read in 8-byte
// steps, so up to 7 bytes past the row's levels must be readable.
void BlendRow16(uint8_t* dst, const uint8_t* levels, int n, int slack, uint32_t color);
void BlendRow32(uint8_t* dst, const uint8_t* levels, int n, int slack, uint32_t color);

// One pixel of the blend, alpha a (0-256): each channel (field) becomes (d * (256 - a) + c * a) >> 8.
inline int MixField(uint32_t d, uint32_t color, int shift, uint32_t mask, int a) {
  const int dc = static_cast<int>((d >> shift) & mask);
  const int cc = static_cast<int>((color >> shift) & mask);
  return (dc * (256 - a) + cc * a) >> 8;
}

inline void BlendPixel16(uint8_t* p, uint32_t color, int a) {
  const uint32_t d = pixel::Load16(p);
  pixel::Store16(p, static_cast<uint32_t>(MixField(d, color, 11, 31, a) << 11 | MixField(d, color, 5, 63, a) << 5 |
                                   MixField(d, color, 0, 31, a)));
}

inline void BlendPixel32(uint8_t* p, uint32_t color, int a) {
  const uint32_t d = pixel::Load32(p);
  pixel::Store32(p, (d & 0xFF000000u) | static_cast<uint32_t>(MixField(d, color, 16, 255, a) << 16 |
                                                       MixField(d, color, 8, 255, a) << 8 | MixField(d, color, 0, 255, a)));
}

// The bits of a 1-bit row's pixels first..first + n - 1 (n <= kBitsRowMax), the first at bit 63; the bits
// below the last pixel's are whatever follows in memory. Reads the 8 bytes from byte first / 8 of the
// row, which must be readable (the font cache is allocated with kCellReadSlack bytes to spare).
inline uint64_t RowBits(const uint8_t* row, int first, int n) {
  (void)n;
  uint64_t word;
  std::memcpy(&word, row + (first >> 3), 8);
  return __builtin_bswap64(word) << (first & 7);
}

// The bits of a 1-bit cell row from pixel `first` on, `n` of them (n > 0), spread to one byte each
// (0 or 1) in `buffer`, which has room for n + 16 bytes; returns where pixel `first`'s byte lies.
const uint8_t* SpreadBits(const uint8_t* row, int first, int n, uint8_t* buffer);

}  // namespace orbel::glyph
