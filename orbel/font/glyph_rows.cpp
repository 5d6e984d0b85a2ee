// Vector rows of the memory-mode glyph walk. Eight pixels a step, then four, then single pixels; a
// step whose cell values are all empty touches nothing, one that is all colour stores without reading.
// Masked stores read the destination and write it back whole, inside the row's n pixels only.
#include "orbel/font/glyph_rows.h"

#include <array>
#include <cstring>

#include "orbel/softrender/packed_pixels.h"
#include "orbel/softrender/plain_blit_simd.h"

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

// Byte masks of the colour and edge classes of the values in the low lanes.
inline void ClassMasks(__m128i v, const ValueClasses& k, __m128i* mc, __m128i* me) {
  *mc = _mm_cmpeq_epi8(_mm_and_si128(v, _mm_set1_epi8(static_cast<char>(k.colorAnd))),
                       _mm_set1_epi8(static_cast<char>(k.colorIs)));
  *me = _mm_andnot_si128(*mc, _mm_cmpeq_epi8(_mm_and_si128(v, _mm_set1_epi8(static_cast<char>(k.edgeAnd))),
                                             _mm_set1_epi8(static_cast<char>(k.edgeIs))));
}

#endif

template <int Bytes>
void SetRow(uint8_t* dst, const uint8_t* values, int n, const ValueClasses& k, uint32_t color, uint32_t edge) {
  int x = 0;
#if defined(__SSE2__)
  const __m128i c = Bytes == 2 ? _mm_set1_epi16(static_cast<int16_t>(color)) : _mm_set1_epi32(static_cast<int>(color));
  const __m128i e = Bytes == 2 ? _mm_set1_epi16(static_cast<int16_t>(edge)) : _mm_set1_epi32(static_cast<int>(edge));
  for (; x + 8 <= n; x += 8) {
    __m128i mc;
    __m128i me;
    ClassMasks(LoadValues8(values + x), k, &mc, &me);
    const int any = _mm_movemask_epi8(_mm_or_si128(mc, me)) & 0xFF;
    if (any == 0) continue;
    const bool whole = (_mm_movemask_epi8(mc) & 0xFF) == 0xFF;
    const __m128i mc16 = _mm_unpacklo_epi8(mc, mc);
    const __m128i me16 = _mm_unpacklo_epi8(me, me);
    uint8_t* p = dst + Bytes * x;
    if constexpr (Bytes == 2) {
      PutMasked<false>(p, mc16, me16, c, e, whole);
    } else {
      if (any & 0x0F) PutMasked<false>(p, _mm_unpacklo_epi16(mc16, mc16), _mm_unpacklo_epi16(me16, me16), c, e, whole);
      if (any & 0xF0) {
        PutMasked<false>(p + 16, _mm_unpackhi_epi16(mc16, mc16), _mm_unpackhi_epi16(me16, me16), c, e, whole);
      }
    }
  }
  if (x + 4 <= n) {
    __m128i mc;
    __m128i me;
    ClassMasks(LoadValues4(values + x), k, &mc, &me);
    const int any = _mm_movemask_epi8(_mm_or_si128(mc, me)) & 0x0F;
    if (any != 0) {
      const bool whole = (_mm_movemask_epi8(mc) & 0x0F) == 0x0F;
      const __m128i mc16 = _mm_unpacklo_epi8(mc, mc);
      const __m128i me16 = _mm_unpacklo_epi8(me, me);
      if constexpr (Bytes == 2) {
        PutMasked<true>(dst + 2 * x, mc16, me16, c, e, whole);
      } else {
        PutMasked<false>(dst + 4 * x, _mm_unpacklo_epi16(mc16, mc16), _mm_unpacklo_epi16(me16, me16), c, e, whole);
      }
    }
    x += 4;
  }
#endif
  for (; x < n; ++x) SetPixel<Bytes>(dst + Bytes * x, values[x], k, color, edge);
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
  SetRow<2>(dst, values, n, k, color & 0xFFFF, edge & 0xFFFF);
}

void SetRow32(uint8_t* dst, const uint8_t* values, int n, const ValueClasses& k, uint32_t color, uint32_t edge) {
  SetRow<4>(dst, values, n, k, color, edge);
}

void LevelRow32(uint8_t* dst, const uint8_t* levels, int n, uint32_t color, int shift) {
  int x = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  const __m128i c = _mm_set1_epi32(static_cast<int>(color));
  const __m128i count = _mm_cvtsi32_si128(shift);
  const auto four = [&](uint8_t* p, __m128i v16) {
    const __m128i v32 = _mm_unpacklo_epi16(v16, zero);
    const __m128i empty = _mm_cmpeq_epi32(v32, zero);
    if (_mm_movemask_epi8(empty) == 0xFFFF) return;
    const __m128i px = _mm_or_si128(_mm_sll_epi32(v32, count), c);
    simd::StoreU(p, simd::Select(empty, simd::LoadU(p), px));
  };
  for (; x + 8 <= n; x += 8) {
    const __m128i v = LoadValues8(levels + x);
    if ((_mm_movemask_epi8(_mm_cmpeq_epi8(v, zero)) & 0xFF) == 0xFF) continue;
    const __m128i v16 = _mm_unpacklo_epi8(v, zero);
    four(dst + 4 * x, v16);
    four(dst + 4 * x + 16, _mm_unpackhi_epi64(v16, v16));
  }
  if (x + 4 <= n) {
    four(dst + 4 * x, _mm_unpacklo_epi8(LoadValues4(levels + x), zero));
    x += 4;
  }
#endif
  for (; x < n; ++x) {
    if (levels[x] != 0) Store32(dst + 4 * x, static_cast<uint32_t>(levels[x]) << shift | color);
  }
}

void BlendRow32(uint8_t* dst, const uint8_t* levels, int n, uint32_t color) {
  int x = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  const __m128i c16 = _mm_unpacklo_epi8(_mm_set1_epi32(static_cast<int>(color)), zero);
  const __m128i colourLanes = _mm_set_epi16(0, -1, -1, -1, 0, -1, -1, -1);  // byte 3 keeps its alpha 0
  // Four pixels whose alphas (16 v) sit in lanes 0-3 of a16.
  const auto four = [&](uint8_t* p, __m128i a16) {
    const __m128i pairs = _mm_unpacklo_epi16(a16, a16);
    const __m128i a01 = _mm_and_si128(_mm_unpacklo_epi32(pairs, pairs), colourLanes);
    const __m128i a23 = _mm_and_si128(_mm_unpackhi_epi32(pairs, pairs), colourLanes);
    const __m128i d = simd::LoadU(p);
    const __m128i lo = simd::Lerp16(_mm_unpacklo_epi8(d, zero), c16, a01);
    const __m128i hi = simd::Lerp16(_mm_unpackhi_epi8(d, zero), c16, a23);
    simd::StoreU(p, _mm_packus_epi16(lo, hi));
  };
  for (; x + 8 <= n; x += 8) {
    const __m128i v = LoadValues8(levels + x);
    const int empty = _mm_movemask_epi8(_mm_cmpeq_epi8(v, zero));
    if ((empty & 0xFF) == 0xFF) continue;
    const __m128i a16 = _mm_slli_epi16(_mm_unpacklo_epi8(v, zero), 4);
    if ((empty & 0x0F) != 0x0F) four(dst + 4 * x, a16);
    if ((empty & 0xF0) != 0xF0) four(dst + 4 * x + 16, _mm_unpackhi_epi64(a16, a16));
  }
  if (x + 4 <= n) {
    const __m128i v = LoadValues4(levels + x);
    if ((_mm_movemask_epi8(_mm_cmpeq_epi8(v, zero)) & 0x0F) != 0x0F) {
      four(dst + 4 * x, _mm_slli_epi16(_mm_unpacklo_epi8(v, zero), 4));
    }
    x += 4;
  }
#endif
  for (; x < n; ++x) {
    if (levels[x] != 0) BlendPixel32(dst + 4 * x, color, levels[x] * 16);
  }
}

void BlendRow16(uint8_t* dst, const uint8_t* levels, int n, uint32_t color) {
  int x = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  const __m128i cr = _mm_set1_epi16(static_cast<int16_t>((color >> 11) & 31));
  const __m128i cg = _mm_set1_epi16(static_cast<int16_t>((color >> 5) & 63));
  const __m128i cb = _mm_set1_epi16(static_cast<int16_t>(color & 31));
  const __m128i five = _mm_set1_epi16(31);
  const __m128i six = _mm_set1_epi16(63);
  // Up to eight pixels: each field mixed apart and packed again.
  const auto mix = [&](__m128i d, __m128i a16) {
    const __m128i r = simd::Lerp16(_mm_srli_epi16(d, 11), cr, a16);
    const __m128i g = simd::Lerp16(_mm_and_si128(_mm_srli_epi16(d, 5), six), cg, a16);
    const __m128i b = simd::Lerp16(_mm_and_si128(d, five), cb, a16);
    return _mm_or_si128(_mm_or_si128(_mm_slli_epi16(r, 11), _mm_slli_epi16(g, 5)), b);
  };
  for (; x + 8 <= n; x += 8) {
    const __m128i v = LoadValues8(levels + x);
    if ((_mm_movemask_epi8(_mm_cmpeq_epi8(v, zero)) & 0xFF) == 0xFF) continue;
    uint8_t* p = dst + 2 * x;
    simd::StoreU(p, mix(simd::LoadU(p), _mm_slli_epi16(_mm_unpacklo_epi8(v, zero), 4)));
  }
  if (x + 4 <= n) {
    const __m128i v = LoadValues4(levels + x);
    if ((_mm_movemask_epi8(_mm_cmpeq_epi8(v, zero)) & 0x0F) != 0x0F) {
      uint8_t* p = dst + 2 * x;
      Store8Bytes(p, mix(Load8Bytes(p), _mm_slli_epi16(_mm_unpacklo_epi8(v, zero), 4)));
    }
    x += 4;
  }
#endif
  for (; x < n; ++x) {
    if (levels[x] != 0) BlendPixel16(dst + 2 * x, color, levels[x] * 16);
  }
}

const uint8_t* SpreadBits(const uint8_t* row, int first, int n, uint8_t* buffer) {
  const int from = first >> 3;
  const int to = (first + n - 1) >> 3;
  for (int i = from; i <= to; ++i) std::memcpy(buffer + 8 * (i - from), &kSpread[row[i]], 8);
  return buffer + (first & 7);
}

}  // namespace orbel::glyph
