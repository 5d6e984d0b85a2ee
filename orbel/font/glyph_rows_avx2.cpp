// AVX2 glyphs on 32-bit targets: eight pixels a step, the step past the row's last whole eight a whole
// step where the target row has room past it (the pixels past the row written back as read), else
// through masked loads and stores. Level 0 and a clear bit
// leave a pixel as it was, so no step tests the glyph's pixels. Everything is compiled
// for AVX2 and kept file-local; only the entries of glyph_rows_avx2.h are shared, and they run only on
// the AVX2 road.
#include "orbel/font/glyph_rows_avx2.h"

#include <immintrin.h>  // AVX2 intrinsics

#include <cstring>

#define ORBEL_AVX2 __attribute__((target("avx2")))

namespace orbel::glyph::avx2 {
namespace {

using V = __m256i;

ORBEL_AVX2 inline V Load(const uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const V*>(p)); }
ORBEL_AVX2 inline void Store(uint8_t* p, V v) { _mm256_storeu_si256(reinterpret_cast<V*>(p), v); }

// Lanes below `count` set.
ORBEL_AVX2 inline V LeadingLanes(int count) {
  return _mm256_cmpgt_epi32(_mm256_set1_epi32(count), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
}

// (d (256 - a) + c a) >> 8 per 16-bit lane.
ORBEL_AVX2 inline V Lerp16(V d, V c, V a) {
  return _mm256_srli_epi16(
      _mm256_add_epi16(_mm256_mullo_epi16(d, _mm256_sub_epi16(_mm256_set1_epi16(256), a)), _mm256_mullo_epi16(c, a)),
      8);
}

}  // namespace

ORBEL_AVX2 void SetBitsGlyph32(const GlyphBlock& g, uint32_t color) {
  const V c = _mm256_set1_epi32(static_cast<int>(color));
  const V bits = _mm256_setr_epi32(0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01);
  uint8_t* dst = g.dst;
  const uint8_t* cell = g.cell;
  const int whole = g.n & ~7;
  const int rest = g.n - whole;
  // The last part of a row: a whole step when the target row has room (its pixels past the row are
  // written back as read), else a masked store.
  const bool restWhole = rest != 0 && rest + g.slack >= 8;
  const int restBits = (0xFF00 >> rest) & 0xFF;
  const V restLanes = LeadingLanes(rest);
  const int first = g.first;
  const int rows = g.rows;
  const ptrdiff_t dstPitch = g.dstPitch;
  const ptrdiff_t cellPitch = g.cellPitch;
  for (int y = 0; y < rows; ++y, dst += dstPitch, cell += cellPitch) {
    const uint64_t row = RowBits(cell, first, g.n);
    // Whole eights read, select and write with no test of the bits (rows differ, so branches on them
    // would be mispredicted).
    for (int x = 0; x < whole; x += 8) {
      const V b = _mm256_set1_epi32(static_cast<int>((row << x) >> 56));
      const V mask = _mm256_cmpeq_epi32(_mm256_and_si256(b, bits), bits);
      Store(dst + 4 * x, _mm256_blendv_epi8(Load(dst + 4 * x), c, mask));
    }
    if (rest == 0) continue;
    const V b = _mm256_set1_epi32(static_cast<int>((row << whole) >> 56) & restBits);
    const V mask = _mm256_cmpeq_epi32(_mm256_and_si256(b, bits), bits);
    if (restWhole) {
      Store(dst + 4 * whole, _mm256_blendv_epi8(Load(dst + 4 * whole), c, mask));
    } else {
      _mm256_maskstore_epi32(reinterpret_cast<int*>(dst + 4 * whole), _mm256_and_si256(mask, restLanes), c);
    }
  }
}

ORBEL_AVX2 bool SetBitsGlyph16(const GlyphBlock& g, uint32_t color) {
  const int whole = g.n & ~15;
  const int rest = g.n - whole;
  // Without a masked store of 16-bit pixels, a last part needs room for a whole step.
  if (rest != 0 && rest + g.slack < 16) return false;
  const V c = _mm256_set1_epi16(static_cast<short>(color));
  const V bits = _mm256_setr_epi16(static_cast<short>(0x8000), 0x4000, 0x2000, 0x1000, 0x0800, 0x0400, 0x0200, 0x0100,
                                   0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01);
  const int restBits = (static_cast<int>(0xFFFF0000u >> rest)) & 0xFFFF;
  // The block's fields in locals: the stores below could alias them.
  const int n = g.n;
  const int first = g.first;
  const int rows = g.rows;
  const ptrdiff_t dstPitch = g.dstPitch;
  const ptrdiff_t cellPitch = g.cellPitch;
  uint8_t* dst = g.dst;
  const uint8_t* cell = g.cell;
  for (int y = 0; y < rows; ++y, dst += dstPitch, cell += cellPitch) {
    const uint64_t row = RowBits(cell, first, n);
    for (int x = 0; x < n; x += 16) {
      int b = static_cast<int>((row << x) >> 48);
      if (x == whole) b &= restBits;
      const V mask = _mm256_cmpeq_epi16(_mm256_and_si256(_mm256_set1_epi16(static_cast<short>(b)), bits), bits);
      Store(dst + 2 * x, _mm256_blendv_epi8(Load(dst + 2 * x), c, mask));
    }
  }
  return true;
}

namespace {

// Eight pixels at p blended with levels (one byte each, the first lowest): the pixels of level 0
// come out as they went in.
ORBEL_AVX2 inline V BlendEight(V d, uint64_t levels, V c16) {
  const V zero = _mm256_setzero_si256();
  // Alpha 16 v per pixel, then (a, a, a, 0) over each pixel's four 16-bit lanes, in the order the
  // byte unpacks below give the pixels (0 1 4 5 low, 2 3 6 7 high).
  const V a32 = _mm256_slli_epi32(_mm256_cvtepu8_epi32(_mm_cvtsi64_si128(static_cast<long long>(levels))), 4);
  const V pair = _mm256_or_si256(a32, _mm256_slli_epi32(a32, 16));
  const V single = _mm256_and_si256(pair, _mm256_set1_epi32(0xFFFF));
  const V aLo = _mm256_unpacklo_epi32(pair, single);
  const V aHi = _mm256_unpackhi_epi32(pair, single);
  return _mm256_packus_epi16(Lerp16(_mm256_unpacklo_epi8(d, zero), c16, aLo),
                             Lerp16(_mm256_unpackhi_epi8(d, zero), c16, aHi));
}

ORBEL_AVX2 inline uint64_t LoadLevels(const uint8_t* p) {
  uint64_t levels;
  std::memcpy(&levels, p, 8);
  return levels;
}

}  // namespace

ORBEL_AVX2 void BlendGlyph32(const GlyphBlock& g, uint32_t color) {
  const V c16 = _mm256_unpacklo_epi8(_mm256_set1_epi32(static_cast<int>(color)), _mm256_setzero_si256());
  // The block's fields in locals: the stores below could alias them.
  const int n = g.n;
  const int rows = g.rows;
  const ptrdiff_t dstPitch = g.dstPitch;
  const ptrdiff_t cellPitch = g.cellPitch;
  const int whole = n & ~7;
  const int rest = n - whole;
  // Levels are read eight bytes at a time (the cache has bytes to spare past its last row); those past
  // the row are cut to 0, which leaves their pixels as they were. The last part of a row is then a
  // whole step where the target row has room past it, else a masked load and store.
  const uint64_t restKeep = rest == 0 ? 0 : ~uint64_t{0} >> (64 - 8 * rest);
  const bool restWhole = rest != 0 && rest + g.slack >= 8;
  const V restLanes = LeadingLanes(rest);
  uint8_t* dst = g.dst;
  const uint8_t* cell = g.cell + g.first;
  for (int y = 0; y < rows; ++y, dst += dstPitch, cell += cellPitch) {
    for (int x = 0; x < whole; x += 8) {
      uint8_t* p = dst + 4 * x;
      Store(p, BlendEight(Load(p), LoadLevels(cell + x), c16));
    }
    if (rest == 0) continue;
    uint8_t* p = dst + 4 * whole;
    const uint64_t levels = LoadLevels(cell + whole) & restKeep;
    if (restWhole) {
      Store(p, BlendEight(Load(p), levels, c16));
    } else {
      const V d = _mm256_maskload_epi32(reinterpret_cast<const int*>(p), restLanes);
      _mm256_maskstore_epi32(reinterpret_cast<int*>(p), restLanes, BlendEight(d, levels, c16));
    }
  }
}

namespace {

// Sixteen 16-bit pixels with their alphas: each field mixed apart and packed again; alpha 0 leaves a
// pixel as it was.
ORBEL_AVX2 inline V Mix565(V d, V a16, V cr, V cg, V cb) {
  const V r = Lerp16(_mm256_srli_epi16(d, 11), cr, a16);
  const V gr = Lerp16(_mm256_and_si256(_mm256_srli_epi16(d, 5), _mm256_set1_epi16(63)), cg, a16);
  const V b = Lerp16(_mm256_and_si256(d, _mm256_set1_epi16(31)), cb, a16);
  return _mm256_or_si256(_mm256_or_si256(_mm256_slli_epi16(r, 11), _mm256_slli_epi16(gr, 5)), b);
}

}  // namespace

ORBEL_AVX2 void BlendGlyph16(const GlyphBlock& g, uint32_t color) {
  const V cr = _mm256_set1_epi16(static_cast<short>((color >> 11) & 31));
  const V cg = _mm256_set1_epi16(static_cast<short>((color >> 5) & 63));
  const V cb = _mm256_set1_epi16(static_cast<short>(color & 31));
  const int n = g.n;
  const int rows = g.rows;
  const int slack = g.slack;
  const ptrdiff_t dstPitch = g.dstPitch;
  const ptrdiff_t cellPitch = g.cellPitch;
  const int whole = n & ~15;
  const int rest = n - whole;
  // The last part of a row is a whole step where the target row has room past it (levels past the
  // row cut to 0); else, with no masked store of 16-bit pixels, it goes through the SSE2 row. Levels
  // are read eight bytes at a time, and the second eight of the last part only when it has pixels there.
  const bool restWhole = rest != 0 && rest + slack >= 16;
  const uint64_t keepLo = rest >= 8 ? ~uint64_t{0} : rest == 0 ? 0 : ~uint64_t{0} >> (64 - 8 * rest);
  const uint64_t keepHi = rest <= 8 ? 0 : ~uint64_t{0} >> (64 - 8 * (rest - 8));
  uint8_t* dst = g.dst;
  const uint8_t* cell = g.cell + g.first;
  for (int y = 0; y < rows; ++y, dst += dstPitch, cell += cellPitch) {
    for (int x = 0; x < whole; x += 16) {
      uint8_t* p = dst + 2 * x;
      const __m128i levels = _mm_set_epi64x(static_cast<long long>(LoadLevels(cell + x + 8)),
                                            static_cast<long long>(LoadLevels(cell + x)));
      Store(p, Mix565(Load(p), _mm256_slli_epi16(_mm256_cvtepu8_epi16(levels), 4), cr, cg, cb));
    }
    if (rest == 0) continue;
    if (!restWhole) {
      BlendRow16(dst + 2 * whole, cell + whole, rest, slack, color);
      continue;
    }
    uint8_t* p = dst + 2 * whole;
    const uint64_t hi = rest > 8 ? LoadLevels(cell + whole + 8) & keepHi : 0;
    const __m128i levels =
        _mm_set_epi64x(static_cast<long long>(hi), static_cast<long long>(LoadLevels(cell + whole) & keepLo));
    Store(p, Mix565(Load(p), _mm256_slli_epi16(_mm256_cvtepu8_epi16(levels), 4), cr, cg, cb));
  }
}

}  // namespace orbel::glyph::avx2
