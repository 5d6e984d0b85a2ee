// SSE2 rows for the plain-blit loops. At 32 bits: keyed copy, alpha-channel copy, blend with p (of the
// source, its inverse and the product), add, subtract, multiply, p = 128 halving and exact saturation, and
// every mode of alpha sources (clear and opaque groups of four skipped or copied whole); at 16 bits: keyed
// copy, alpha-channel copy, six-bit blend, the signed-product moves of modes 10 and 11, add, subtract,
// multiply and halving. Each gives exactly the
// results of the portable per-channel rules; a loop without a row here returns false and the
// portable loop runs. Without SSE2 every entry returns false.
#pragma once

#include <cstdint>
#include <cstring>  // memcpy

#include "orbel/graphics/draw_state.h"
#include "orbel/softrender/plain_blit.h"
#include "orbel/softrender/plain_blit_avx2.h"
#include "orbel/softrender/plain_blit_loops.h"
#include "orbel/softrender/simd_road.h"

#if defined(__SSE2__)
#include <emmintrin.h>  // SSE2 intrinsics
#endif

namespace orbel::simd {

#if defined(__SSE2__)

inline __m128i LoadU(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void StoreU(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

// floor(x / 255) in 16-bit lanes, exact for x <= 65025.
inline __m128i Div255(__m128i x) {
  return _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(x, _mm_set1_epi16(1)), _mm_srli_epi16(x, 8)), 8);
}

// (d * (256 - a) + s * a) >> 8 per channel: equal to (d * 256 + (s - d) * a) >> 8, and the sum never
// exceeds 255 * 256, so it fits an unsigned 16-bit lane.
inline __m128i Lerp16(__m128i d16, __m128i s16, __m128i a16) {
  const __m128i ia = _mm_sub_epi16(_mm_set1_epi16(256), a16);
  return _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(d16, ia), _mm_mullo_epi16(s16, a16)), 8);
}

// The alpha byte of each of two pixels broadcast over that pixel's four 16-bit lanes.
inline __m128i SpreadAlpha(__m128i px16) {
  const __m128i lo = _mm_shufflelo_epi16(px16, _MM_SHUFFLE(3, 3, 3, 3));
  return _mm_shufflehi_epi16(lo, _MM_SHUFFLE(3, 3, 3, 3));
}

inline __m128i Select(__m128i mask, __m128i a, __m128i b) {
  return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b));
}

// Four pixels of the packed add / subtract rules with guard bits.
inline __m128i PackedAdd4(__m128i d, __m128i v) {
  const __m128i m = _mm_set1_epi32(0xFEFEFF);
  const __m128i sum = _mm_add_epi32(_mm_and_si128(d, m), _mm_and_si128(v, m));
  const __m128i c = _mm_and_si128(sum, _mm_set1_epi32(0x1010100));
  return _mm_or_si128(_mm_or_si128(sum, _mm_sub_epi32(c, _mm_srli_epi32(c, 8))),
                      _mm_and_si128(_mm_or_si128(d, v), _mm_set1_epi32(0x10100)));
}

inline __m128i PackedSub4(__m128i d, __m128i v) {
  const __m128i t = _mm_sub_epi32(_mm_or_si128(d, _mm_set1_epi32(0x1010100)), _mm_and_si128(v, _mm_set1_epi32(0xFEFEFF)));
  const __m128i c = _mm_and_si128(t, _mm_set1_epi32(0x1010100));
  return _mm_and_si128(t, _mm_sub_epi32(c, _mm_srli_epi32(c, 8)));
}

// Runs vec over 16 bytes of pixels at a time (destination, source as __m128i), then the row's tail
// through the portable per-pixel op. Bytes is the pixel size: 4 (four pixels a step) or 2 (eight).
template <int Bytes, class Vec, class One>
inline void Row(uint8_t* drow, const uint8_t* srow, int width, Vec vec, One one) {
  using W = blit::Word<Bytes>;
  constexpr int kStep = 16 / Bytes;
  int x = 0;
  for (; x + kStep <= width; x += kStep) StoreU(drow + Bytes * x, vec(LoadU(drow + Bytes * x), LoadU(srow + Bytes * x)));
  for (; x < width; ++x) W::Store(drow, x, one(W::Load(drow, x), W::Load(srow, x)));
}

// Row over every row of a frame whose source has the destination's pixel size.
template <int Bytes, class Vec, class One>
inline void Rows(const PlainBlitFrame& f, Vec vec, One one) {
  for (int y = 0; y < f.height; ++y) Row<Bytes>(f.dst + y * f.dstPitch, f.src + y * f.srcPitch, f.width, vec, one);
}

// Row for alpha sources (4-byte pixels, alpha in byte 3): a group of four pixels all of alpha 0 is left
// alone when `SkipClear` (the rule keeps the destination there), one all of alpha 255 is copied when
// `CopyOpaque`; only mixed groups take `vec`. Sprites are mostly clear or opaque, so most groups cost a
// load and a compare.
template <bool SkipClear, bool CopyOpaque, class Vec, class One>
inline void AlphaRow(uint8_t* drow, const uint8_t* srow, int width, Vec vec, One one) {
  const __m128i alpha = _mm_set1_epi32(static_cast<int>(0xFF000000u));
  int x = 0;
  for (; x + 4 <= width; x += 4) {
    const __m128i s = LoadU(srow + 4 * x);
    const __m128i a = _mm_and_si128(s, alpha);
    if (SkipClear && _mm_movemask_epi8(_mm_cmpeq_epi32(a, _mm_setzero_si128())) == 0xFFFF) continue;
    if (CopyOpaque && _mm_movemask_epi8(_mm_cmpeq_epi32(a, alpha)) == 0xFFFF) {
      StoreU(drow + 4 * x, s);
      continue;
    }
    StoreU(drow + 4 * x, vec(LoadU(drow + 4 * x), s));
  }
  for (; x < width; ++x) blit::Word<4>::Store(drow, x, one(blit::Word<4>::Load(drow, x), blit::Word<4>::Load(srow, x)));
}

// On the AVX2 road the row's leading groups of eight go there; the pointers and width are moved past
// them, for the SSE2 row to finish.
template <int Mode, bool Trans>
inline void Avx2Lead(uint8_t*& drow, const uint8_t*& srow, int& width, int p) {
  if (ActiveSimdRoad() != SimdRoad::kAvx2) return;
  const int done = avx2::AlphaRow32(Mode, Trans, drow, srow, width, p);
  drow += 4 * done;
  srow += 4 * done;
  width -= done;
}

template <int Mode, bool Trans>
inline void Avx2PlainLead(uint8_t*& drow, const uint8_t*& srow, int& width, int p, uint32_t key) {
  if (ActiveSimdRoad() != SimdRoad::kAvx2) return;
  const int done = avx2::PlainRow32(Mode, Trans, drow, srow, width, p, key);
  drow += 4 * done;
  srow += 4 * done;
  width -= done;
}

// d + trunc(p (t - d) / 255) in 16-bit lanes (|t - d| <= 255 x 63 / 255): the signed product row
// of the 5:6:5 moves, its division truncating toward zero, formed on the magnitude.
inline __m128i MoveBySignedP(__m128i d, __m128i t, __m128i p16) {
  const __m128i diff = _mm_sub_epi16(t, d);
  const __m128i sign = _mm_srai_epi16(diff, 15);
  const __m128i magnitude = _mm_sub_epi16(_mm_xor_si128(diff, sign), sign);
  const __m128i q = Div255(_mm_mullo_epi16(magnitude, p16));
  return _mm_add_epi16(d, _mm_sub_epi16(_mm_xor_si128(q, sign), sign));
}

// (d * 65536 + (t - d) * q) >> 16 in 16-bit lanes for q = a * p up to 65025: d plus the high half of
// the signed product. _mm_mulhi_epi16 reads q as signed, so q >= 32768 is mended by adding t - d.
inline __m128i MoveByQ(__m128i d16, __m128i t16, __m128i q) {
  const __m128i diff = _mm_sub_epi16(t16, d16);
  const __m128i hi = _mm_add_epi16(_mm_mulhi_epi16(diff, q), _mm_and_si128(diff, _mm_srai_epi16(q, 15)));
  return _mm_add_epi16(d16, hi);
}

// Lane operations with one pixel a lane: 16-bit lanes for 2-byte pixels, 32-bit for 4-byte.
template <int Bytes>
struct Lanes;

template <>
struct Lanes<2> {
  static __m128i Set(uint32_t v) { return _mm_set1_epi16(static_cast<short>(v)); }
  static __m128i Shr1(__m128i x) { return _mm_srli_epi16(x, 1); }
  static __m128i Add(__m128i a, __m128i b) { return _mm_add_epi16(a, b); }
  static __m128i Equal(__m128i a, __m128i b) { return _mm_cmpeq_epi16(a, b); }
};

template <>
struct Lanes<4> {
  static __m128i Set(uint32_t v) { return _mm_set1_epi32(static_cast<int>(v)); }
  static __m128i Shr1(__m128i x) { return _mm_srli_epi32(x, 1); }
  static __m128i Add(__m128i a, __m128i b) { return _mm_add_epi32(a, b); }
  static __m128i Equal(__m128i a, __m128i b) { return _mm_cmpeq_epi32(a, b); }
};

// p = 128 halving over whole rows of a direct source; a keyed pixel keeps the destination.
template <int Bytes, bool Trans>
inline void HalveRowsKeyed(const PlainBlitFrame& f, const blit::Context& c) {
  using L = Lanes<Bytes>;
  const __m128i m = L::Set(blit::Word<Bytes>::kHalfMask);
  const __m128i key = L::Set(c.key);
  const uint32_t key1 = static_cast<typename blit::Word<Bytes>::Type>(c.key);
  Rows<Bytes>(
      f,
      [&](__m128i d, __m128i s) {
        const __m128i h = L::Add(_mm_and_si128(L::Shr1(s), m), _mm_and_si128(L::Shr1(d), m));
        return Trans ? Select(L::Equal(s, key), d, h) : h;
      },
      [&](uint32_t d, uint32_t s) { return (Trans && s == key1) ? d : blit::Halve<Bytes>(d, s); });
}

template <int Bytes>
inline bool HalveRows(const PlainBlitFrame& f, const blit::Context& c) {
  if (f.trans) HalveRowsKeyed<Bytes, true>(f, c);
  else HalveRowsKeyed<Bytes, false>(f, c);
  return true;
}

// ---- 32-bit rows ----------------------------------------------------------------------------------

template <int SrcBytes, int Mode, bool Alpha, bool Trans, bool Bright, bool Blend>
inline bool FastRow32(uint8_t* drow, const uint8_t* srow, const uint8_t*, int width, const blit::Context& c) {
  if constexpr (SrcBytes != 4 || Bright || Blend) {
    return false;
  } else {
    const __m128i zero = _mm_setzero_si128();
    const __m128i keep = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    const __m128i key = _mm_set1_epi32(static_cast<int>(c.key));
    // Keyed pixels keep the destination: without alpha the whole value is compared.
    auto keyed = [&](__m128i d, __m128i s, __m128i out) {
      if constexpr (Trans && !Alpha) return Select(_mm_cmpeq_epi32(s, key), d, out);
      return out;
    };
    auto keyedOne = [&](uint32_t d, uint32_t s, uint32_t out) { return (Trans && !Alpha && s == c.key) ? d : out; };

    if constexpr (Mode == kBlendNone && Alpha && Trans) {
      // Alpha 0 keeps the destination, 255 copies the whole pixel, others blend with byte 3 kept (alpha
      // 0 blends to the destination itself).
      Avx2Lead<Mode, Trans>(drow, srow, width, c.p);
      AlphaRow<true, true>(drow, srow, width,
             [&](__m128i d, __m128i s) {
               const __m128i a32 = _mm_srli_epi32(s, 24);
               const __m128i s0 = _mm_unpacklo_epi8(s, zero), s1 = _mm_unpackhi_epi8(s, zero);
               const __m128i d0 = _mm_unpacklo_epi8(d, zero), d1 = _mm_unpackhi_epi8(d, zero);
               __m128i mix = _mm_packus_epi16(Lerp16(d0, s0, SpreadAlpha(s0)), Lerp16(d1, s1, SpreadAlpha(s1)));
               mix = _mm_or_si128(_mm_andnot_si128(keep, mix), _mm_and_si128(d, keep));
               return Select(_mm_cmpeq_epi32(a32, _mm_set1_epi32(255)), s, mix);
             },
             [](uint32_t d, uint32_t s) {
               const uint32_t a = s >> 24;
               if (a == 0) return d;
               if (a == 255) return s;
               uint32_t r = d & 0xFF000000;
               for (int i = 0; i < 24; i += 8) {
                 const uint32_t dd = (d >> i) & 0xFF, ss = (s >> i) & 0xFF;
                 r |= ((dd * (256 - a) + ss * a) >> 8) << i;
               }
               return r;
             });
      return true;
    } else if constexpr (Mode == kBlendNone && Alpha) {
      // Without the flag an alpha source is copied as it is, alpha byte included.
      std::memcpy(drow, srow, 4 * static_cast<size_t>(width));
      return true;
    } else if constexpr (Alpha && (Mode == kBlendAlpha || Mode == kBlendInvert || Mode == kBlendMulAlpha)) {
      // d moves toward the source (1), its inverse (10) or the product with d (11) by a * p / 65536;
      // under the flag alpha 255 moves by p / 256 and alpha 0 is skipped. Alpha 0 keeps d either way.
      const __m128i p16 = _mm_set1_epi16(static_cast<short>(c.p));
      const __m128i max16 = _mm_set1_epi16(255);
      const int p = c.p;
      auto term = [&](__m128i d16, __m128i s16) {
        if constexpr (Mode == kBlendAlpha) return s16;
        else if constexpr (Mode == kBlendInvert) return _mm_sub_epi16(max16, s16);
        else return _mm_srli_epi16(_mm_mullo_epi16(s16, d16), 8);
      };
      Avx2Lead<Mode, Trans>(drow, srow, width, c.p);
      AlphaRow<true, false>(drow, srow, width,
             [&](__m128i d, __m128i s) {
               const __m128i d0 = _mm_unpacklo_epi8(d, zero), d1 = _mm_unpackhi_epi8(d, zero);
               const __m128i s0 = _mm_unpacklo_epi8(s, zero), s1 = _mm_unpackhi_epi8(s, zero);
               const __m128i t0 = term(d0, s0), t1 = term(d1, s1);
               __m128i mix = _mm_packus_epi16(MoveByQ(d0, t0, _mm_mullo_epi16(SpreadAlpha(s0), p16)),
                                              MoveByQ(d1, t1, _mm_mullo_epi16(SpreadAlpha(s1), p16)));
               if constexpr (Trans) {
                 const __m128i a32 = _mm_srli_epi32(s, 24);
                 const __m128i opaque = _mm_packus_epi16(Lerp16(d0, t0, p16), Lerp16(d1, t1, p16));
                 mix = Select(_mm_cmpeq_epi32(a32, _mm_set1_epi32(255)), opaque, mix);
                 mix = Select(_mm_cmpeq_epi32(a32, zero), d, mix);
               }
               return _mm_or_si128(_mm_andnot_si128(keep, mix), _mm_and_si128(d, keep));
             },
             [&](uint32_t d, uint32_t s) {
               const int a = static_cast<int>(s >> 24);
               if (Trans && a == 0) return d;
               uint32_t r = d & 0xFF000000;
               for (int i = 0; i < 24; i += 8) {
                 const int dd = static_cast<int>((d >> i) & 0xFF), ss = static_cast<int>((s >> i) & 0xFF);
                 const int t = Mode == kBlendAlpha ? ss : (Mode == kBlendInvert ? 255 - ss : (ss * dd) >> 8);
                 const int v = (Trans && a == 255) ? (dd * 256 + (t - dd) * p) >> 8 : (dd * 65536 + (t - dd) * a * p) >> 16;
                 r |= static_cast<uint32_t>(v) << i;
               }
               return r;
             });
      return true;
    } else if constexpr (Alpha && (Mode == kBlendAdd || Mode == kBlendSub)) {
      // v = (s * a * p) >> 16 per channel, under the flag P(p, s) at alpha 255 and nothing at alpha 0;
      // then the packed add or subtract (byte 3 of the result is 0, so alpha 0 needs the flag to skip).
      const __m128i p16 = _mm_set1_epi16(static_cast<short>(c.p));
      const __m128i rgb = _mm_set1_epi32(0xFFFFFF);
      const uint32_t* prod = c.prodP;
      const uint32_t p = static_cast<uint32_t>(c.p);
      auto vec = [&](__m128i d, __m128i s) {
        const __m128i s0 = _mm_unpacklo_epi8(s, zero), s1 = _mm_unpackhi_epi8(s, zero);
        __m128i v = _mm_packus_epi16(_mm_mulhi_epu16(s0, _mm_mullo_epi16(SpreadAlpha(s0), p16)),
                                     _mm_mulhi_epu16(s1, _mm_mullo_epi16(SpreadAlpha(s1), p16)));
        __m128i a32;
        if constexpr (Trans) {
          a32 = _mm_srli_epi32(s, 24);
          const __m128i opaque = _mm_packus_epi16(Div255(_mm_mullo_epi16(s0, p16)), Div255(_mm_mullo_epi16(s1, p16)));
          v = Select(_mm_cmpeq_epi32(a32, _mm_set1_epi32(255)), opaque, v);
        }
        v = _mm_and_si128(v, rgb);
        const __m128i r = Mode == kBlendAdd ? PackedAdd4(d, v) : PackedSub4(d, v);
        if constexpr (Trans) return Select(_mm_cmpeq_epi32(a32, zero), d, r);
        return r;
      };
      auto one = [&](uint32_t d, uint32_t s) {
        const uint32_t a = s >> 24;
        if (Trans && a == 0) return d;
        uint32_t v;
        if (Trans && a == 255) {
          v = prod[s & 0xFF] | prod[(s >> 8) & 0xFF] << 8 | prod[(s >> 16) & 0xFF] << 16;
        } else {
          v = 0;
          for (int i = 0; i < 24; i += 8) v |= ((((s >> i) & 0xFF) * (a * p)) >> 16) << i;
        }
        return Mode == kBlendAdd ? pixel::PackedAdd888(d, v) : pixel::PackedSub888(d, v);
      };
      Avx2Lead<Mode, Trans>(drow, srow, width, c.p);
      if constexpr (Trans) AlphaRow<true, false>(drow, srow, width, vec, one);
      else Row<4>(drow, srow, width, vec, one);
      return true;
    } else if constexpr (Alpha && Mode == kBlendMul) {
      // (d * s * a) >> 16 per channel, (d * s) >> 8 at alpha 255 under the flag; alpha 0 is not skipped
      // (it blackens the destination's colour).
      const __m128i amask = _mm_set1_epi32(0xFF);
      Avx2Lead<Mode, Trans>(drow, srow, width, c.p);
      Row<4>(drow, srow, width,
             [&](__m128i d, __m128i s) {
               const __m128i x0 = _mm_mullo_epi16(_mm_unpacklo_epi8(d, zero), _mm_unpacklo_epi8(s, zero));
               const __m128i x1 = _mm_mullo_epi16(_mm_unpackhi_epi8(d, zero), _mm_unpackhi_epi8(s, zero));
               __m128i mul = _mm_packus_epi16(_mm_mulhi_epu16(x0, SpreadAlpha(_mm_unpacklo_epi8(s, zero))),
                                              _mm_mulhi_epu16(x1, SpreadAlpha(_mm_unpackhi_epi8(s, zero))));
               if constexpr (Trans) {
                 const __m128i opaque = _mm_packus_epi16(_mm_srli_epi16(x0, 8), _mm_srli_epi16(x1, 8));
                 mul = Select(_mm_cmpeq_epi32(_mm_srli_epi32(s, 24), amask), opaque, mul);
               }
               return _mm_or_si128(_mm_andnot_si128(keep, mul), _mm_and_si128(d, keep));
             },
             [&](uint32_t d, uint32_t s) {
               const uint32_t a = s >> 24;
               uint32_t r = d & 0xFF000000;
               for (int i = 0; i < 24; i += 8) {
                 const uint32_t x = ((d >> i) & 0xFF) * ((s >> i) & 0xFF);
                 r |= ((Trans && a == 255) ? x >> 8 : (x * a) >> 16) << i;
               }
               return r;
             });
      return true;
    } else if constexpr (Alpha) {
      return false;
    } else if constexpr (Mode == kBlendNone && Trans) {
      Avx2PlainLead<Mode, Trans>(drow, srow, width, c.p, c.key);
      Row<4>(drow, srow, width, [&](__m128i d, __m128i s) { return keyed(d, s, s); },
             [&](uint32_t d, uint32_t s) { return keyedOne(d, s, s); });
      return true;
    } else if constexpr (Mode == kBlendAlpha || Mode == kBlendInvert || Mode == kBlendMulAlpha) {
      // Blend towards the source, its inverse (mode 10) or the product with the destination (11).
      const __m128i p16 = _mm_set1_epi16(static_cast<short>(c.p));
      const __m128i max16 = _mm_set1_epi16(255);
      const uint32_t p = static_cast<uint32_t>(c.p);
      auto term = [&](__m128i d16, __m128i s16) {
        if constexpr (Mode == kBlendAlpha) return s16;
        else if constexpr (Mode == kBlendInvert) return _mm_sub_epi16(max16, s16);
        else return _mm_srli_epi16(_mm_mullo_epi16(s16, d16), 8);
      };
      Avx2PlainLead<Mode, Trans>(drow, srow, width, c.p, c.key);
      Row<4>(drow, srow, width,
             [&](__m128i d, __m128i s) {
               const __m128i d0 = _mm_unpacklo_epi8(d, zero), d1 = _mm_unpackhi_epi8(d, zero);
               const __m128i mix = _mm_packus_epi16(Lerp16(d0, term(d0, _mm_unpacklo_epi8(s, zero)), p16),
                                                    Lerp16(d1, term(d1, _mm_unpackhi_epi8(s, zero)), p16));
               return keyed(d, s, _mm_or_si128(_mm_andnot_si128(keep, mix), _mm_and_si128(d, keep)));
             },
             [&](uint32_t d, uint32_t s) {
               uint32_t r = d & 0xFF000000;
               for (int i = 0; i < 24; i += 8) {
                 const uint32_t dd = (d >> i) & 0xFF, ss = (s >> i) & 0xFF;
                 const uint32_t t = Mode == kBlendAlpha ? ss : (Mode == kBlendInvert ? 255 - ss : (ss * dd) >> 8);
                 r |= ((dd * (256 - p) + t * p) >> 8) << i;
               }
               return keyedOne(d, s, r);
             });
      return true;
    } else if constexpr (Mode == kBlendAdd || Mode == kBlendSub) {
      const __m128i p16 = _mm_set1_epi16(static_cast<short>(c.p));
      const __m128i rgb = _mm_set1_epi32(0xFFFFFF);
      const uint32_t* prod = c.prodP;
      Avx2PlainLead<Mode, Trans>(drow, srow, width, c.p, c.key);
      Row<4>(drow, srow, width,
             [&](__m128i d, __m128i s) {
               const __m128i v = _mm_and_si128(
                   _mm_packus_epi16(Div255(_mm_mullo_epi16(_mm_unpacklo_epi8(s, zero), p16)),
                                    Div255(_mm_mullo_epi16(_mm_unpackhi_epi8(s, zero), p16))),
                   rgb);
               return keyed(d, s, Mode == kBlendAdd ? PackedAdd4(d, v) : PackedSub4(d, v));
             },
             [&](uint32_t d, uint32_t s) {
               const uint32_t v = prod[s & 0xFF] | prod[(s >> 8) & 0xFF] << 8 | prod[(s >> 16) & 0xFF] << 16;
               return keyedOne(d, s, Mode == kBlendAdd ? pixel::PackedAdd888(d, v) : pixel::PackedSub888(d, v));
             });
      return true;
    } else if constexpr (Mode == kBlendMul) {
      Avx2PlainLead<Mode, Trans>(drow, srow, width, c.p, c.key);
      Row<4>(drow, srow, width,
             [&](__m128i d, __m128i s) {
               const __m128i lo = _mm_srli_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(d, zero), _mm_unpacklo_epi8(s, zero)), 8);
               const __m128i hi = _mm_srli_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(d, zero), _mm_unpackhi_epi8(s, zero)), 8);
               const __m128i mul = _mm_packus_epi16(lo, hi);
               return keyed(d, s, _mm_or_si128(_mm_andnot_si128(keep, mul), _mm_and_si128(d, keep)));
             },
             [&](uint32_t d, uint32_t s) {
               uint32_t r = d & 0xFF000000;
               for (int i = 0; i < 24; i += 8) r |= ((((d >> i) & 0xFF) * ((s >> i) & 0xFF)) >> 8) << i;
               return keyedOne(d, s, r);
             });
      return true;
    } else {
      return false;
    }
  }
}

// A run-coded 32-bit picture drawn whole on the AVX2 road (the run walk and every pixel in AVX2 code,
// once a draw); false on the other roads and for what it has no rows for.
template <int SrcBytes, int Mode, bool Alpha, bool Bright, bool Blend>
inline bool FastRuns32(const PlainBlitFrame& f, const blit::Context& c) {
  if constexpr (SrcBytes != 4 || Bright || Blend) {
    return false;
  } else {
    if (ActiveSimdRoad() != SimdRoad::kAvx2) return false;
    const avx2::RunFrame run{f.dst, f.dstPitch, f.src, f.srcPitch, f.runTable, f.runPlan, f.runWeights, f.width, f.height};
    return avx2::RunRows32(Mode, Alpha, run, c.p, c.key);
  }
}

// Exact per-byte saturating add (mode 2) or subtract (mode 3) of all four bytes.
inline bool Saturate32Rows(const PlainBlitFrame& f, const blit::Context& c) {
  const __m128i key = _mm_set1_epi32(static_cast<int>(c.key));
  const bool add = f.mode == kBlendAdd;
  const bool avx2 = ActiveSimdRoad() == SimdRoad::kAvx2;
  for (int y = 0; y < f.height; ++y) {
    uint8_t* drow = f.dst + y * f.dstPitch;
    const uint8_t* srow = f.src + y * f.srcPitch;
    int width = f.width;
    if (avx2) {
      const int done = avx2::SaturateRow32(!add, f.trans, drow, srow, width, c.key);
      drow += 4 * done;
      srow += 4 * done;
      width -= done;
    }
    Row<4>(
        drow, srow, width,
        [&](__m128i d, __m128i s) {
          const __m128i r = add ? _mm_adds_epu8(d, s) : _mm_subs_epu8(d, s);
          return f.trans ? Select(_mm_cmpeq_epi32(s, key), d, r) : r;
        },
        [&](uint32_t d, uint32_t s) {
          if (f.trans && s == c.key) return d;
          return add ? pixel::SatAddBytes(d, s) : pixel::SatSubBytes(d, s);
        });
  }
  return true;
}

// ---- 16-bit rows ----------------------------------------------------------------------------------

// Splits eight pixels into their fields (one per 16-bit lane), applies f(g, s, shiftOfWidth) and
// packs the result back.
template <class F>
inline __m128i Fields8(__m128i d, __m128i s, F f) {
  const __m128i m5 = _mm_set1_epi16(31), m6 = _mm_set1_epi16(63);
  const __m128i r = f(_mm_srli_epi16(d, 11), _mm_srli_epi16(s, 11), 5);
  const __m128i g = f(_mm_and_si128(_mm_srli_epi16(d, 5), m6), _mm_and_si128(_mm_srli_epi16(s, 5), m6), 6);
  const __m128i b = f(_mm_and_si128(d, m5), _mm_and_si128(s, m5), 5);
  return _mm_or_si128(_mm_or_si128(_mm_slli_epi16(r, 11), _mm_slli_epi16(g, 5)), b);
}

// The alpha-channel copy from the 4-byte alpha layout (colour in bytes 0-1, alpha in byte 2) under
// the transparency flag: alpha 0 keeps the destination, 255 copies the colour, others blend each
// field as (g * 256 + (f - g) * a) >> 8 = (g * (256 - a) + f * a) >> 8, which lies in 0..16128 and so
// fits a 16-bit lane. Eight pixels a step.
inline void AlphaCopyRow16(uint8_t* drow, const uint8_t* srow, int width) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i byteMask = _mm_set1_epi32(0xFF);
  const __m128i m5 = _mm_set1_epi16(31), m6 = _mm_set1_epi16(63);
  auto field = [](__m128i d, __m128i s, __m128i a, int shift, __m128i mask) {
    const __m128i g = _mm_and_si128(_mm_srli_epi16(d, shift), mask);
    const __m128i f = _mm_and_si128(_mm_srli_epi16(s, shift), mask);
    return _mm_srli_epi16(_mm_add_epi16(_mm_slli_epi16(g, 8), _mm_mullo_epi16(_mm_sub_epi16(f, g), a)), 8);
  };
  int x = 0;
  for (; x + 8 <= width; x += 8) {
    const __m128i s0 = LoadU(srow + 4 * x), s1 = LoadU(srow + 4 * x + 16);
    // Colours sign-extended before the saturating pack, so every 16-bit pattern survives it.
    const __m128i colour = _mm_packs_epi32(_mm_srai_epi32(_mm_slli_epi32(s0, 16), 16), _mm_srai_epi32(_mm_slli_epi32(s1, 16), 16));
    const __m128i a = _mm_packs_epi32(_mm_and_si128(_mm_srli_epi32(s0, 16), byteMask), _mm_and_si128(_mm_srli_epi32(s1, 16), byteMask));
    const __m128i d = LoadU(drow + 2 * x);
    __m128i mix = _mm_or_si128(_mm_or_si128(_mm_slli_epi16(field(d, colour, a, 11, m5), 11), _mm_slli_epi16(field(d, colour, a, 5, m6), 5)),
                               field(d, colour, a, 0, m5));
    mix = Select(_mm_cmpeq_epi16(a, _mm_set1_epi16(255)), colour, mix);
    StoreU(drow + 2 * x, Select(_mm_cmpeq_epi16(a, zero), d, mix));
  }
  for (; x < width; ++x) {
    const uint32_t v = blit::Load32(srow + 4 * x);
    const uint32_t s = v & 0xFFFF, a = (v >> 16) & 0xFF;
    if (a == 0) continue;
    const uint32_t d = blit::Load16(drow + 2 * x);
    uint32_t out = s;
    if (a != 255) {
      out = 0;
      const int shifts[3] = {11, 5, 0}, masks[3] = {31, 63, 31};
      for (int i = 0; i < 3; ++i) {
        const int g = static_cast<int>((d >> shifts[i]) & masks[i]), f = static_cast<int>((s >> shifts[i]) & masks[i]);
        out |= static_cast<uint32_t>((g * 256 + (f - g) * static_cast<int>(a)) >> 8) << shifts[i];
      }
    }
    drow[2 * x] = static_cast<uint8_t>(out);
    drow[2 * x + 1] = static_cast<uint8_t>(out >> 8);
  }
}

template <int SrcBytes, int Mode, bool Alpha, bool Trans, bool Bright, bool Blend>
inline bool FastRow16(uint8_t* drow, const uint8_t* srow, const uint8_t*, int width, const blit::Context& c) {
  if constexpr (SrcBytes == 4 && Mode == kBlendNone && Alpha && Trans && !Bright && !Blend) {
    AlphaCopyRow16(drow, srow, width);
    return true;
  } else if constexpr (SrcBytes != 2 || Alpha || Bright || Blend) {
    return false;
  } else {
    const __m128i key = _mm_set1_epi16(static_cast<short>(c.key));
    auto keyed = [&](__m128i d, __m128i s, __m128i out) {
      if constexpr (Trans) return Select(_mm_cmpeq_epi16(s, key), d, out);
      return out;
    };
    auto keyedOne = [&](uint32_t d, uint32_t s, uint32_t out) { return (Trans && s == (c.key & 0xFFFF)) ? d : out; };
    if constexpr (Mode == kBlendNone && Trans) {
      Row<2>(drow, srow, width, [&](__m128i d, __m128i s) { return keyed(d, s, s); },
             [&](uint32_t d, uint32_t s) { return keyedOne(d, s, s); });
      return true;
    } else if constexpr (Mode == kBlendAlpha) {
      // Six-bit table blend (k * f + (63 - k) * g) / 63, the division done as ((x + 1) * 1040) >> 16,
      // which is exact for every x up to 63 * 63.
      const int k = c.p / 4;
      const __m128i k16 = _mm_set1_epi16(static_cast<short>(k));
      const __m128i ik16 = _mm_set1_epi16(static_cast<short>(63 - k));
      const __m128i one = _mm_set1_epi16(1), mul = _mm_set1_epi16(1040);
      const uint8_t(*six)[64] = c.sixBit;
      Row<2>(drow, srow, width,
             [&](__m128i d, __m128i s) {
               return keyed(d, s, Fields8(d, s, [&](__m128i g, __m128i f, int) {
                              const __m128i x = _mm_add_epi16(_mm_mullo_epi16(f, k16), _mm_mullo_epi16(g, ik16));
                              return _mm_mulhi_epu16(_mm_add_epi16(x, one), mul);
                            }));
             },
             [&](uint32_t d, uint32_t s) {
               const uint32_t out = static_cast<uint32_t>(six[(s >> 11) & 31][(d >> 11) & 31]) << 11 |
                                    static_cast<uint32_t>(six[(s >> 5) & 63][(d >> 5) & 63]) << 5 | six[s & 31][d & 31];
               return keyedOne(d, s, out);
             });
      return true;
    } else if constexpr (Mode == kBlendInvert || Mode == kBlendMulAlpha) {
      // Each field moves toward its complement (10) or its product with d (11) through the signed
      // product row: g + trunc(p (t - g) / 255).
      const __m128i p16 = _mm_set1_epi16(static_cast<short>(c.p));
      const int32_t* sp = c.signedP;
      Row<2>(drow, srow, width,
             [&](__m128i d, __m128i s) {
               return keyed(d, s, Fields8(d, s, [&](__m128i g, __m128i f, int n) {
                              const __m128i t =
                                  Mode == kBlendInvert
                                      ? _mm_sub_epi16(_mm_set1_epi16(static_cast<short>((1 << n) - 1)), f)
                                      : _mm_srl_epi16(_mm_mullo_epi16(f, g), _mm_cvtsi32_si128(n));
                              return MoveBySignedP(g, t, p16);
                            }));
             },
             [&](uint32_t d, uint32_t s) {
               uint32_t out = 0;
               for (const int shift : {11, 5, 0}) {
                 const int n = shift == 5 ? 6 : 5;
                 const int mask = (1 << n) - 1;
                 const int g = static_cast<int>(d >> shift) & mask, f = static_cast<int>(s >> shift) & mask;
                 const int t = Mode == kBlendInvert ? mask - f : (f * g) >> n;
                 out |= static_cast<uint32_t>(g + sp[t - g]) << shift;
               }
               return keyedOne(d, s, out);
             });
      return true;
    } else if constexpr (Mode == kBlendAdd || Mode == kBlendSub) {
      // v = p * f / 255 per field, then the packed rule in 32-bit lanes (it needs the carry bit 16).
      const __m128i p16 = _mm_set1_epi16(static_cast<short>(c.p));
      const __m128i zero = _mm_setzero_si128();
      const __m128i bias = _mm_set1_epi32(0x8000), flip = _mm_set1_epi16(static_cast<short>(0x8000));
      const __m128i low16 = _mm_set1_epi32(0xFFFF), guard = _mm_set1_epi32(0x10820), mask = _mm_set1_epi32(0xF7DF);
      auto packed4 = [&](__m128i d, __m128i v) {
        __m128i r;
        if constexpr (Mode == kBlendAdd) {
          const __m128i sum = _mm_add_epi32(_mm_and_si128(d, mask), _mm_and_si128(v, mask));
          const __m128i cc = _mm_and_si128(sum, guard);
          r = _mm_or_si128(_mm_or_si128(sum, _mm_sub_epi32(cc, _mm_srli_epi32(cc, 5))),
                           _mm_and_si128(_mm_or_si128(d, v), _mm_set1_epi32(0x0820)));
        } else {
          const __m128i t = _mm_sub_epi32(_mm_or_si128(d, guard), _mm_and_si128(v, mask));
          const __m128i cc = _mm_and_si128(t, guard);
          r = _mm_and_si128(t, _mm_sub_epi32(cc, _mm_srli_epi32(cc, 5)));
        }
        return _mm_sub_epi32(_mm_and_si128(r, low16), bias);  // biased for the signed pack
      };
      const uint32_t* prod = c.prodP;
      Row<2>(drow, srow, width,
             [&](__m128i d, __m128i s) {
               const __m128i v = Fields8(zero, s, [&](__m128i, __m128i f, int) { return Div255(_mm_mullo_epi16(f, p16)); });
               const __m128i lo = packed4(_mm_unpacklo_epi16(d, zero), _mm_unpacklo_epi16(v, zero));
               const __m128i hi = packed4(_mm_unpackhi_epi16(d, zero), _mm_unpackhi_epi16(v, zero));
               return keyed(d, s, _mm_xor_si128(_mm_packs_epi32(lo, hi), flip));
             },
             [&](uint32_t d, uint32_t s) {
               const uint32_t v = prod[(s >> 11) & 31] << 11 | prod[(s >> 5) & 63] << 5 | prod[s & 31];
               return keyedOne(d, s, Mode == kBlendAdd ? pixel::PackedAdd565(d, v) : pixel::PackedSub565(d, v));
             });
      return true;
    } else if constexpr (Mode == kBlendMul) {
      Row<2>(drow, srow, width,
             [&](__m128i d, __m128i s) {
               return keyed(d, s, Fields8(d, s, [](__m128i g, __m128i f, int n) {
                              const __m128i x = _mm_mullo_epi16(f, g);
                              return n == 5 ? _mm_srli_epi16(x, 5) : _mm_srli_epi16(x, 6);
                            }));
             },
             [&](uint32_t d, uint32_t s) {
               const uint32_t out = ((((s >> 11) & 31) * ((d >> 11) & 31)) >> 5) << 11 |
                                    ((((s >> 5) & 63) * ((d >> 5) & 63)) >> 6) << 5 | (((s & 31) * (d & 31)) >> 5);
               return keyedOne(d, s, out);
             });
      return true;
    } else {
      return false;
    }
  }
}

#else  // no SSE2: the portable loops run

template <int SrcBytes, int Mode, bool Alpha, bool Trans, bool Bright, bool Blend>
inline bool FastRow32(uint8_t*, const uint8_t*, const uint8_t*, int, const blit::Context&) {
  return false;
}
template <int Bytes>
inline bool HalveRows(const PlainBlitFrame&, const blit::Context&) {
  return false;
}
template <int SrcBytes, int Mode, bool Alpha, bool Bright, bool Blend>
inline bool FastRuns32(const PlainBlitFrame&, const blit::Context&) {
  return false;
}
inline bool Saturate32Rows(const PlainBlitFrame&, const blit::Context&) { return false; }
template <int SrcBytes, int Mode, bool Alpha, bool Trans, bool Bright, bool Blend>
inline bool FastRow16(uint8_t*, const uint8_t*, const uint8_t*, int, const blit::Context&) {
  return false;
}

#endif

}  // namespace orbel::simd
