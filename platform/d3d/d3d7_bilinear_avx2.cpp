// The AVX2 road of the bilinear rows, eight pixels a step: the arithmetic of the SSE2 rows, with the
// lanes put back in pixel order where AVX2's unpacking and packing work within 128-bit halves.
#include "platform/d3d/d3d7_bilinear_rows.h"

#include "platform/d3d/d3d7_avx2_target.h"

namespace plat::d3d::avx2 {

#if defined(D3D_AVX2)

namespace {

constexpr int kBiasDown = 32768 + 32768 * 256;

// Two rows across of four pixels each (0-3 and 4-7) into eight pixels, 0xAARRGGBB in order.
D3D_AVX2 inline __m256i PackDown(__m256i s0, __m256i s1, __m256i s2, __m256i s3) {
  // s0, s1: pixels 0 | 2 and 1 | 3; s2, s3: pixels 4 | 6 and 5 | 7 (one per 128-bit half).
  const __m256i bytes = _mm256_packus_epi16(_mm256_packs_epi32(s0, s1), _mm256_packs_epi32(s2, s3));
  return _mm256_permute4x64_epi64(bytes, 0xD8);  // 0 1 4 5 | 2 3 6 7 -> 0 1 2 3 | 4 5 6 7
}

// left * (256 - fx) + right * fx as (left << 8) + (right - left) * fx, wrapping to the same sum.
D3D_AVX2 inline __m256i AcrossLanes(__m256i l16, __m256i r16, __m256i w) {
  return _mm256_add_epi16(_mm256_slli_epi16(l16, 8), _mm256_mullo_epi16(_mm256_sub_epi16(r16, l16), w));
}

}  // namespace

D3D_AVX2 int Across(const uint32_t* left, const uint32_t* right, const uint16_t* fx, int from, int n, int16_t* out) {
  const __m256i zero = _mm256_setzero_si256(), flip = _mm256_set1_epi16(-32768);
  int i = from;
  for (; i + 8 <= n; i += 8) {
    const __m256i l = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(left + i));
    const __m256i r = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(right + i));
    // Fractions 0-3 in the low half, 4-7 in the high half, each spread over its pixel's four channels.
    const __m128i f = _mm_loadu_si128(reinterpret_cast<const __m128i*>(fx + i));
    const __m256i halves = _mm256_inserti128_si256(_mm256_castsi128_si256(f), _mm_srli_si128(f, 8), 1);
    const __m256i pairs = _mm256_unpacklo_epi16(halves, halves);
    const __m256i wLo = _mm256_unpacklo_epi32(pairs, pairs), wHi = _mm256_unpackhi_epi32(pairs, pairs);
    // Unpacking works within halves: lo holds pixels 0, 1 | 4, 5, hi holds 2, 3 | 6, 7.
    const __m256i lo = AcrossLanes(_mm256_unpacklo_epi8(l, zero), _mm256_unpacklo_epi8(r, zero), wLo);
    const __m256i hi = AcrossLanes(_mm256_unpackhi_epi8(l, zero), _mm256_unpackhi_epi8(r, zero), wHi);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 4 * i), _mm256_xor_si256(_mm256_permute2x128_si256(lo, hi, 0x20), flip));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 4 * i + 16), _mm256_xor_si256(_mm256_permute2x128_si256(lo, hi, 0x31), flip));
  }
  return i;
}

D3D_AVX2 int Down(const int16_t* top, const int16_t* bottom, uint32_t fy, int from, int n, uint32_t* out) {
  const __m256i w = _mm256_set1_epi32(static_cast<int>(fy << 16 | (256 - fy))), bias = _mm256_set1_epi32(kBiasDown);
  auto sum = [&](__m256i tb) D3D_AVX2 { return _mm256_srli_epi32(_mm256_add_epi32(_mm256_madd_epi16(tb, w), bias), 16); };
  int i = from;
  for (; i + 8 <= n; i += 8) {
    const __m256i t0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(top + 4 * i));
    const __m256i t1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(top + 4 * i + 16));
    const __m256i b0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bottom + 4 * i));
    const __m256i b1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bottom + 4 * i + 16));
    const __m256i px = PackDown(sum(_mm256_unpacklo_epi16(t0, b0)), sum(_mm256_unpackhi_epi16(t0, b0)),
                                sum(_mm256_unpacklo_epi16(t1, b1)), sum(_mm256_unpackhi_epi16(t1, b1)));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), px);
  }
  return i;
}

D3D_AVX2 int DownEach(const int16_t* top, const int16_t* bottom, const uint16_t* fy, int from, int n, uint32_t* out) {
  const __m256i c256 = _mm256_set1_epi16(256), bias = _mm256_set1_epi32(kBiasDown);
  // unpacklo of a row of four pixels holds pixels 0 | 2, unpackhi 1 | 3: their weights picked so.
  const __m256i evens = _mm256_setr_epi32(0, 0, 0, 0, 2, 2, 2, 2), odds = _mm256_setr_epi32(1, 1, 1, 1, 3, 3, 3, 3);
  const __m256i four = _mm256_set1_epi32(4);
  auto sum = [&](__m256i tb, __m256i w) D3D_AVX2 {
    return _mm256_srli_epi32(_mm256_add_epi32(_mm256_madd_epi16(tb, w), bias), 16);
  };
  int i = from;
  for (; i + 8 <= n; i += 8) {
    const __m256i g = _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(fy + i)));
    // (256 - fy, fy) of pixels 0-3 in the low half, 4-7 in the high half; then eight pairs in order.
    const __m256i w = _mm256_unpacklo_epi16(_mm256_permute4x64_epi64(_mm256_sub_epi16(c256, g), 0x50),
                                            _mm256_permute4x64_epi64(g, 0x50));
    const __m256i t0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(top + 4 * i));
    const __m256i t1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(top + 4 * i + 16));
    const __m256i b0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bottom + 4 * i));
    const __m256i b1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bottom + 4 * i + 16));
    const __m256i px = PackDown(sum(_mm256_unpacklo_epi16(t0, b0), _mm256_permutevar8x32_epi32(w, evens)),
                                sum(_mm256_unpackhi_epi16(t0, b0), _mm256_permutevar8x32_epi32(w, odds)),
                                sum(_mm256_unpacklo_epi16(t1, b1), _mm256_permutevar8x32_epi32(w, _mm256_add_epi32(evens, four))),
                                sum(_mm256_unpackhi_epi16(t1, b1), _mm256_permutevar8x32_epi32(w, _mm256_add_epi32(odds, four))));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), px);
  }
  return i;
}

#else  // no x86: the SSE2 and scalar rows do all of it

int Across(const uint32_t*, const uint32_t*, const uint16_t*, int from, int, int16_t*) { return from; }
int Down(const int16_t*, const int16_t*, uint32_t, int from, int, uint32_t*) { return from; }
int DownEach(const int16_t*, const int16_t*, const uint16_t*, int from, int, uint32_t*) { return from; }

#endif

}  // namespace plat::d3d::avx2
