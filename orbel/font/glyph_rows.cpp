// Vector rows of the memory-mode glyph walk, on SSE2 (AVX2 glyphs in glyph_rows_avx2.cpp). Masked
// stores read the target and write it back whole. The rows of plain 1-bit glyphs and of blended
// levels, the text that is drawn most, test none of the glyph's pixels; the others pass over empty
// steps and store all-colour steps without reading.
#include "orbel/font/glyph_rows.h"

#include <array>
#include <cstring>

#include "orbel/font/glyph_rows_avx2.h"
#include "orbel/softrender/packed_pixels.h"
#include "orbel/softrender/plain_blit_simd.h"
#include "orbel/softrender/simd_road.h"

namespace orbel::glyph {

namespace {

using pixel::Load16;
using pixel::Load32;
using pixel::Store16;
using pixel::Store32;

template <int Bytes>
inline void StorePixel(uint8_t* p, uint32_t v) {
  if constexpr (Bytes == 2) Store16(p, v);
  else Store32(p, v);
}

template <int Bytes>
inline void SetPixel(uint8_t* p, uint8_t v, const ValueClasses& k, uint32_t color, uint32_t edge) {
  if ((v & k.colorAnd) == k.colorIs) StorePixel<Bytes>(p, color);
  else if ((v & k.edgeAnd) == k.edgeIs) StorePixel<Bytes>(p, edge);
}

constexpr std::array<uint64_t, 256> MakeSpreadTable() {
  std::array<uint64_t, 256> t{};
  for (int b = 0; b < 256; ++b) {
    for (int j = 0; j < 8; ++j) t[b] |= static_cast<uint64_t>((b >> (7 - j)) & 1) << (8 * j);
  }
  return t;
}
constexpr std::array<uint64_t, 256> kSpread = MakeSpreadTable();

#if defined(__SSE2__)

inline __m128i LoadValues8(const uint8_t* v) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(v)); }
inline __m128i LoadValues4(const uint8_t* v) {
  int32_t four;
  std::memcpy(&four, v, 4);
  return _mm_cvtsi32_si128(four);
}
inline __m128i Load8Bytes(const uint8_t* p) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)); }
inline void Store8Bytes(uint8_t* p, __m128i v) { _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v); }

// One vector of pixels: colour where mc, edge where me, the destination elsewhere. `whole` when every
// pixel is colour, so the destination need not be read.
template <bool Half>
inline void PutMasked(uint8_t* p, __m128i mc, __m128i me, __m128i c, __m128i e, bool whole) {
  if (whole) {
    Half ? Store8Bytes(p, c) : simd::StoreU(p, c);
    return;
  }
  const __m128i d = Half ? Load8Bytes(p) : simd::LoadU(p);
  const __m128i out = simd::Select(mc, c, simd::Select(me, e, d));
  Half ? Store8Bytes(p, out) : simd::StoreU(p, out);
}

#endif

// ---- Row kernels ----------------------------------------------------------------------------------
// Each covers a row of n pixels in steps of eight, then one of four, then single pixels. Steps never
// overlap: a load of pixels a step before has just stored would wait for the store.

#if defined(__SSE2__)

// The steps of a row: step(x, count) for count 8 or 4, single(x) for the last pixels.
template <class Step, class Single>
[[gnu::always_inline]] inline void ForSteps(int n, Step step, Single single) {
  int x = 0;
  for (; x + 8 <= n; x += 8) step(x, 8);
  if (x + 4 <= n) {
    step(x, 4);
    x += 4;
  }
  for (; x < n; ++x) single(x);
}

// The steps of a blended row: step(x, count, levels) for count 8 or 4; a last part with room in the
// target row is a whole step whose levels past the row are 0 (alpha 0 leaves a pixel as it was),
// else a step of four and single(x) pixels. The levels are read 8 bytes at a time, past the row too.
template <class Step, class Single>
[[gnu::always_inline]] inline void BlendSteps(int n, int slack, const uint8_t* levels, Step step, Single single) {
  int x = 0;
  for (; x + 8 <= n; x += 8) step(x, 8, LoadValues8(levels + x));
  if (x == n) return;
  if (n - x + slack >= 8) {
    const __m128i index = _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    const __m128i keep = _mm_cmpgt_epi8(_mm_set1_epi8(static_cast<char>(n - x)), index);
    step(x, 8, _mm_and_si128(LoadValues8(levels + x), keep));
    return;
  }
  if (x + 4 <= n) {
    step(x, 4, LoadValues4(levels + x));
    x += 4;
  }
  for (; x < n; ++x) single(x);
}

// Fixed values of the masked stores.
template <int Bytes>
struct SetConsts {
  SetConsts(const ValueClasses& k, uint32_t color, uint32_t edge)
      : colorAnd(_mm_set1_epi8(static_cast<char>(k.colorAnd))),
        colorIs(_mm_set1_epi8(static_cast<char>(k.colorIs))),
        edgeAnd(_mm_set1_epi8(static_cast<char>(k.edgeAnd))),
        edgeIs(_mm_set1_epi8(static_cast<char>(k.edgeIs))),
        c(Bytes == 2 ? _mm_set1_epi16(static_cast<int16_t>(color)) : _mm_set1_epi32(static_cast<int>(color))),
        e(Bytes == 2 ? _mm_set1_epi16(static_cast<int16_t>(edge)) : _mm_set1_epi32(static_cast<int>(edge))),
        bits16(_mm_setr_epi16(0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01)),
        bitsLo(_mm_setr_epi32(0x80, 0x40, 0x20, 0x10)),
        bitsHi(_mm_setr_epi32(0x08, 0x04, 0x02, 0x01)) {}
  __m128i colorAnd, colorIs, edgeAnd, edgeIs, c, e, bits16, bitsLo, bitsHi;
};

// Eight (or four) pixels from 16-bit-lane masks of colour and edge; `all` when every pixel is colour.
template <int Bytes>
inline void PutStep(uint8_t* p, int count, __m128i mc16, __m128i me16, bool all, const SetConsts<Bytes>& k) {
  if constexpr (Bytes == 2) {
    if (count == 8) PutMasked<false>(p, mc16, me16, k.c, k.e, all);
    else PutMasked<true>(p, mc16, me16, k.c, k.e, all);
  } else {
    PutMasked<false>(p, _mm_unpacklo_epi16(mc16, mc16), _mm_unpacklo_epi16(me16, me16), k.c, k.e, all);
    if (count == 8) {
      PutMasked<false>(p + 16, _mm_unpackhi_epi16(mc16, mc16), _mm_unpackhi_epi16(me16, me16), k.c, k.e, all);
    }
  }
}

template <int Bytes>
[[gnu::always_inline]] inline void SetRowKernel(uint8_t* dst, const uint8_t* values, int n, const ValueClasses& classes,
                         const SetConsts<Bytes>& k, uint32_t color, uint32_t edge) {
  ForSteps(
      n,
      [&](int x, int count) __attribute__((always_inline)) {
        const __m128i v = count == 8 ? LoadValues8(values + x) : LoadValues4(values + x);
        const __m128i mc = _mm_cmpeq_epi8(_mm_and_si128(v, k.colorAnd), k.colorIs);
        const __m128i me = _mm_andnot_si128(mc, _mm_cmpeq_epi8(_mm_and_si128(v, k.edgeAnd), k.edgeIs));
        const int lanes = (1 << count) - 1;
        if ((_mm_movemask_epi8(_mm_or_si128(mc, me)) & lanes) == 0) return;
        const bool all = (_mm_movemask_epi8(mc) & lanes) == lanes;
        PutStep<Bytes>(dst + Bytes * x, count, _mm_unpacklo_epi8(mc, mc), _mm_unpacklo_epi8(me, me), all, k);
      },
      [&](int x) __attribute__((always_inline)) { SetPixel<Bytes>(dst + Bytes * x, values[x], classes, color, edge); });
}

// A 1-bit row: `bits` holds the row's pixels from the first one at bit 63 down.
template <int Bytes>
[[gnu::always_inline]] inline void SetBitsKernel(uint8_t* dst, uint64_t bits, int n, int slack, const SetConsts<Bytes>& k,
                                                 uint32_t color) {
  // No test of the bits steers the walk: a glyph's rows differ from one another, so branches on
  // them would be mispredicted row after row; every step reads, selects and writes. A row's last
  // part takes a whole step when the target row has room, its pixels past the row written back as
  // they were read.
  const auto step = [&](int x, int b) __attribute__((always_inline)) {
    uint8_t* p = dst + Bytes * x;
    if constexpr (Bytes == 2) {
      const __m128i mc = _mm_cmpeq_epi16(_mm_and_si128(_mm_set1_epi16(static_cast<int16_t>(b)), k.bits16), k.bits16);
      simd::StoreU(p, simd::Select(mc, k.c, simd::LoadU(p)));
    } else {
      const __m128i wide = _mm_set1_epi32(b);
      const __m128i lo = _mm_cmpeq_epi32(_mm_and_si128(wide, k.bitsLo), k.bitsLo);
      const __m128i hi = _mm_cmpeq_epi32(_mm_and_si128(wide, k.bitsHi), k.bitsHi);
      simd::StoreU(p, simd::Select(lo, k.c, simd::LoadU(p)));
      simd::StoreU(p + 16, simd::Select(hi, k.c, simd::LoadU(p + 16)));
    }
  };
  int x = 0;
  for (; x + 8 <= n; x += 8) step(x, static_cast<int>((bits << x) >> 56));
  if (x < n && n - x + slack >= 8) {
    step(x, static_cast<int>((bits << x) >> 56) & (0xFF00 >> (n - x)));
    return;
  }
  for (; x < n; ++x) {
    const uint32_t on = 0u - static_cast<uint32_t>((bits << x) >> 63);
    uint8_t* p = dst + Bytes * x;
    const uint32_t d = Bytes == 2 ? Load16(p) : Load32(p);
    StorePixel<Bytes>(p, (color & on) | (d & ~on));
  }
}

[[gnu::always_inline]] inline void LevelRowKernel(uint8_t* dst, const uint8_t* levels, int n, uint32_t color, int shift) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i c = _mm_set1_epi32(static_cast<int>(color));
  const __m128i count32 = _mm_cvtsi32_si128(shift);
  const auto four = [&](uint8_t* p, __m128i v16) __attribute__((always_inline)) {
    const __m128i v32 = _mm_unpacklo_epi16(v16, zero);
    const __m128i empty = _mm_cmpeq_epi32(v32, zero);
    if (_mm_movemask_epi8(empty) == 0xFFFF) return;
    const __m128i px = _mm_or_si128(_mm_sll_epi32(v32, count32), c);
    simd::StoreU(p, simd::Select(empty, simd::LoadU(p), px));
  };
  ForSteps(
      n,
      [&](int x, int count) __attribute__((always_inline)) {
        const __m128i v = count == 8 ? LoadValues8(levels + x) : LoadValues4(levels + x);
        const __m128i v16 = _mm_unpacklo_epi8(v, zero);
        four(dst + 4 * x, v16);
        if (count == 8) four(dst + 4 * x + 16, _mm_unpackhi_epi64(v16, v16));
      },
      [&](int x) __attribute__((always_inline)) {
        if (levels[x] != 0) Store32(dst + 4 * x, static_cast<uint32_t>(levels[x]) << shift | color);
      });
}

[[gnu::always_inline]] inline void BlendRow32Kernel(uint8_t* dst, const uint8_t* levels, int n, int slack, uint32_t color) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i c16 = _mm_unpacklo_epi8(_mm_set1_epi32(static_cast<int>(color)), zero);
  const __m128i colourLanes = _mm_set_epi16(0, -1, -1, -1, 0, -1, -1, -1);  // byte 3 keeps its alpha 0
  // Four pixels whose alphas (16 v) sit in lanes 0-3 of a16. Level 0 gives alpha 0, which leaves the
  // pixel as it was: no test of the levels steers the walk.
  const auto four = [&](uint8_t* p, __m128i a16) __attribute__((always_inline)) {
    const __m128i pairs = _mm_unpacklo_epi16(a16, a16);
    const __m128i a01 = _mm_and_si128(_mm_unpacklo_epi32(pairs, pairs), colourLanes);
    const __m128i a23 = _mm_and_si128(_mm_unpackhi_epi32(pairs, pairs), colourLanes);
    const __m128i d = simd::LoadU(p);
    const __m128i lo = simd::Lerp16(_mm_unpacklo_epi8(d, zero), c16, a01);
    const __m128i hi = simd::Lerp16(_mm_unpackhi_epi8(d, zero), c16, a23);
    simd::StoreU(p, _mm_packus_epi16(lo, hi));
  };
  const auto step = [&](int x, int count, __m128i v) __attribute__((always_inline)) {
    const __m128i a16 = _mm_slli_epi16(_mm_unpacklo_epi8(v, zero), 4);
    four(dst + 4 * x, a16);
    if (count == 8) four(dst + 4 * x + 16, _mm_unpackhi_epi64(a16, a16));
  };
  BlendSteps(n, slack, levels, step, [&](int x) __attribute__((always_inline)) {
    BlendPixel32(dst + 4 * x, color, levels[x] * 16);
  });
}

[[gnu::always_inline]] inline void BlendRow16Kernel(uint8_t* dst, const uint8_t* levels, int n, int slack, uint32_t color) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i cr = _mm_set1_epi16(static_cast<int16_t>((color >> 11) & 31));
  const __m128i cg = _mm_set1_epi16(static_cast<int16_t>((color >> 5) & 63));
  const __m128i cb = _mm_set1_epi16(static_cast<int16_t>(color & 31));
  const __m128i five = _mm_set1_epi16(31);
  const __m128i six = _mm_set1_epi16(63);
  // Up to eight pixels: each field mixed apart and packed again; level 0 leaves a pixel as it was.
  const auto mix = [&](__m128i d, __m128i a16) __attribute__((always_inline)) {
    const __m128i r = simd::Lerp16(_mm_srli_epi16(d, 11), cr, a16);
    const __m128i g = simd::Lerp16(_mm_and_si128(_mm_srli_epi16(d, 5), six), cg, a16);
    const __m128i b = simd::Lerp16(_mm_and_si128(d, five), cb, a16);
    return _mm_or_si128(_mm_or_si128(_mm_slli_epi16(r, 11), _mm_slli_epi16(g, 5)), b);
  };
  const auto step = [&](int x, int count, __m128i v) __attribute__((always_inline)) {
    uint8_t* p = dst + 2 * x;
    const __m128i a16 = _mm_slli_epi16(_mm_unpacklo_epi8(v, zero), 4);
    if (count == 8) simd::StoreU(p, mix(simd::LoadU(p), a16));
    else Store8Bytes(p, mix(Load8Bytes(p), a16));
  };
  BlendSteps(n, slack, levels, step, [&](int x) __attribute__((always_inline)) {
    BlendPixel16(dst + 2 * x, color, levels[x] * 16);
  });
}

#else  // the plain loops

template <int Bytes>
[[gnu::always_inline]] inline void SetRowKernel(uint8_t* dst, const uint8_t* values, int n, const ValueClasses& classes, int,
                         uint32_t color, uint32_t edge) {
  for (int x = 0; x < n; ++x) SetPixel<Bytes>(dst + Bytes * x, values[x], classes, color, edge);
}
template <int Bytes>
[[gnu::always_inline]] inline void SetBitsKernel(uint8_t* dst, uint64_t bits, int n, int, int, uint32_t color) {
  for (int x = 0; x < n; ++x) {
    if ((bits << x) >> 63) StorePixel<Bytes>(dst + Bytes * x, color);
  }
}
[[gnu::always_inline]] inline void LevelRowKernel(uint8_t* dst, const uint8_t* levels, int n, uint32_t color, int shift) {
  for (int x = 0; x < n; ++x) {
    if (levels[x] != 0) Store32(dst + 4 * x, static_cast<uint32_t>(levels[x]) << shift | color);
  }
}
[[gnu::always_inline]] inline void BlendRow32Kernel(uint8_t* dst, const uint8_t* levels, int n, int slack, uint32_t color) {
  for (int x = 0; x < n; ++x) {
    if (levels[x] != 0) BlendPixel32(dst + 4 * x, color, levels[x] * 16);
  }
}
[[gnu::always_inline]] inline void BlendRow16Kernel(uint8_t* dst, const uint8_t* levels, int n, int slack, uint32_t color) {
  for (int x = 0; x < n; ++x) {
    if (levels[x] != 0) BlendPixel16(dst + 2 * x, color, levels[x] * 16);
  }
}

#endif

#if defined(__SSE2__)
template <int Bytes>
SetConsts<Bytes> MakeSetConsts(const ValueClasses& k, uint32_t color, uint32_t edge) {
  return SetConsts<Bytes>(k, color, edge);
}
#else
template <int Bytes>
int MakeSetConsts(const ValueClasses&, uint32_t, uint32_t) {
  return 0;
}
#endif

template <int Bytes>
void SetGlyphAs(const GlyphBlock& g, bool oneBit, const ValueClasses& classes, uint32_t color, uint32_t edge) {
  const auto k = MakeSetConsts<Bytes>(classes, color, edge);
  uint8_t* dst = g.dst;
  const uint8_t* cell = g.cell;
  if (oneBit && g.n <= kBitsRowMax) {
    for (int y = 0; y < g.rows; ++y, dst += g.dstPitch, cell += g.cellPitch) {
      SetBitsKernel<Bytes>(dst, RowBits(cell, g.first, g.n), g.n, g.slack, k, color);
    }
    return;
  }
  uint8_t spread[kGlyphRowMax + 16];
  for (int y = 0; y < g.rows; ++y, dst += g.dstPitch, cell += g.cellPitch) {
    const uint8_t* values = oneBit ? SpreadBits(cell, g.first, g.n, spread) : cell + g.first;
    SetRowKernel<Bytes>(dst, values, g.n, classes, k, color, edge);
  }
}

}  // namespace

ValueClasses PlainClasses(uint32_t type) {
  constexpr uint8_t kNever = 0xFF;  // (v & 0) is never 0xFF
  switch (type) {
    case 0:
      return {1, 1, 0, kNever};
    case 1:
      return {3, 1, 3, 2};
    case 2:
      return {8, 8, 0, kNever};
    default:
      return {8, 8, 0x80, 0x80};
  }
}

void SetRow16(uint8_t* dst, const uint8_t* values, int n, const ValueClasses& k, uint32_t color, uint32_t edge) {
  SetRowKernel<2>(dst, values, n, k, MakeSetConsts<2>(k, color & 0xFFFF, edge & 0xFFFF), color & 0xFFFF, edge & 0xFFFF);
}

void SetRow32(uint8_t* dst, const uint8_t* values, int n, const ValueClasses& k, uint32_t color, uint32_t edge) {
  SetRowKernel<4>(dst, values, n, k, MakeSetConsts<4>(k, color, edge), color, edge);
}

void SetBitsRow(int bytes, uint8_t* dst, const uint8_t* row, int first, int n, int slack, uint32_t color) {
  const ValueClasses k = PlainClasses(0);
  if (bytes == 2) SetBitsKernel<2>(dst, RowBits(row, first, n), n, slack, MakeSetConsts<2>(k, color, 0), color & 0xFFFF);
  else SetBitsKernel<4>(dst, RowBits(row, first, n), n, slack, MakeSetConsts<4>(k, color, 0), color);
}

void LevelRow32(uint8_t* dst, const uint8_t* levels, int n, uint32_t color, int shift) {
  LevelRowKernel(dst, levels, n, color, shift);
}

void BlendRow32(uint8_t* dst, const uint8_t* levels, int n, int slack, uint32_t color) {
  BlendRow32Kernel(dst, levels, n, slack, color);
}

void BlendRow16(uint8_t* dst, const uint8_t* levels, int n, int slack, uint32_t color) {
  BlendRow16Kernel(dst, levels, n, slack, color);
}

void SetGlyph(int bytes, const GlyphBlock& g, bool oneBit, const ValueClasses& classes, uint32_t color, uint32_t edge) {
  if (oneBit && g.n <= kBitsRowMax && ActiveSimdRoad() == SimdRoad::kAvx2) {
    if (bytes == 4) {
      avx2::SetBitsGlyph32(g, color);
      return;
    }
    if (avx2::SetBitsGlyph16(g, color & 0xFFFF)) return;
  }
  if (bytes == 2) SetGlyphAs<2>(g, oneBit, classes, color & 0xFFFF, edge & 0xFFFF);
  else SetGlyphAs<4>(g, oneBit, classes, color, edge);
}

void LevelGlyph32(const GlyphBlock& g, uint32_t color, int shift) {
  uint8_t* dst = g.dst;
  const uint8_t* cell = g.cell + g.first;
  for (int y = 0; y < g.rows; ++y, dst += g.dstPitch, cell += g.cellPitch) LevelRowKernel(dst, cell, g.n, color, shift);
}

void BlendGlyph(int bytes, const GlyphBlock& g, uint32_t color) {
  if (ActiveSimdRoad() == SimdRoad::kAvx2) {
    if (bytes == 4) avx2::BlendGlyph32(g, color);
    else avx2::BlendGlyph16(g, color & 0xFFFF);
    return;
  }
  uint8_t* dst = g.dst;
  const uint8_t* cell = g.cell + g.first;
  for (int y = 0; y < g.rows; ++y, dst += g.dstPitch, cell += g.cellPitch) {
    if (bytes == 2) BlendRow16Kernel(dst, cell, g.n, g.slack, color);
    else BlendRow32Kernel(dst, cell, g.n, g.slack, color);
  }
}

const uint8_t* SpreadBits(const uint8_t* row, int first, int n, uint8_t* buffer) {
  const int from = first >> 3;
  const int to = (first + n - 1) >> 3;
  for (int i = from; i <= to; ++i) std::memcpy(buffer + 8 * (i - from), &kSpread[row[i]], 8);
  return buffer + (first & 7);
}

}  // namespace orbel::glyph
