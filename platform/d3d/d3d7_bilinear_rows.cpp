// The SSE2 road of the bilinear rows, four pixels a step, with scalar tails (the whole rows where the
// processor has no SSE2). The sums are exact integers: every lane holds its value without wrapping.
#include "platform/d3d/d3d7_bilinear_rows.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace plat::d3d {
namespace {

constexpr int kBiasDown = 32768 + 32768 * 256;  // the rounding half, and the 32768 taken from each sum across

inline uint32_t DownPixel(const int16_t* top, const int16_t* bottom, uint32_t fy) {
  uint32_t out = 0;
  for (int c = 0; c < 4; ++c) {
    const int sum = top[c] * static_cast<int>(256 - fy) + bottom[c] * static_cast<int>(fy) + kBiasDown;
    out |= static_cast<uint32_t>(sum >> 16) << (8 * c);
  }
  return out;
}

}  // namespace

void AcrossSse2(const uint32_t* left, const uint32_t* right, const uint16_t* fx, int from, int n, int16_t* out) {
  int i = from;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128(), flip = _mm_set1_epi16(-32768);
  // left * (256 - fx) + right * fx as (left << 8) + (right - left) * fx: the sum lies in 0..65280, so
  // 16-bit lanes that wrap on the way still end on it.
  auto across = [](__m128i l16, __m128i r16, __m128i w) {
    return _mm_add_epi16(_mm_slli_epi16(l16, 8), _mm_mullo_epi16(_mm_sub_epi16(r16, l16), w));
  };
  for (; i + 4 <= n; i += 4) {
    const __m128i l = _mm_loadu_si128(reinterpret_cast<const __m128i*>(left + i));
    const __m128i r = _mm_loadu_si128(reinterpret_cast<const __m128i*>(right + i));
    const __m128i f = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(fx + i));
    const __m128i pairs = _mm_unpacklo_epi16(f, f);
    const __m128i h0 = across(_mm_unpacklo_epi8(l, zero), _mm_unpacklo_epi8(r, zero), _mm_unpacklo_epi32(pairs, pairs));
    const __m128i h1 = across(_mm_unpackhi_epi8(l, zero), _mm_unpackhi_epi8(r, zero), _mm_unpackhi_epi32(pairs, pairs));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * i), _mm_xor_si128(h0, flip));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * i + 8), _mm_xor_si128(h1, flip));
  }
#endif
  for (; i < n; ++i) {
    const uint32_t w = fx[i];
    for (int c = 0; c < 4; ++c) {
      const uint32_t sum = ((left[i] >> (8 * c)) & 0xFF) * (256 - w) + ((right[i] >> (8 * c)) & 0xFF) * w;
      out[4 * i + c] = static_cast<int16_t>(static_cast<int>(sum) - 32768);
    }
  }
}

void DownSse2(const int16_t* top, const int16_t* bottom, uint32_t fy, int from, int n, uint32_t* out) {
  int i = from;
#if defined(__SSE2__)
  const __m128i w = _mm_set1_epi32(static_cast<int>(fy << 16 | (256 - fy))), bias = _mm_set1_epi32(kBiasDown);
  auto sum = [&](__m128i tb) { return _mm_srli_epi32(_mm_add_epi32(_mm_madd_epi16(tb, w), bias), 16); };
  for (; i + 4 <= n; i += 4) {
    const __m128i t0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(top + 4 * i));
    const __m128i t1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(top + 4 * i + 8));
    const __m128i b0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bottom + 4 * i));
    const __m128i b1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bottom + 4 * i + 8));
    const __m128i p01 = _mm_packs_epi32(sum(_mm_unpacklo_epi16(t0, b0)), sum(_mm_unpackhi_epi16(t0, b0)));
    const __m128i p23 = _mm_packs_epi32(sum(_mm_unpacklo_epi16(t1, b1)), sum(_mm_unpackhi_epi16(t1, b1)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(p01, p23));
  }
#endif
  for (; i < n; ++i) out[i] = DownPixel(top + 4 * i, bottom + 4 * i, fy);
}

void DownEachSse2(const int16_t* top, const int16_t* bottom, const uint16_t* fy, int from, int n, uint32_t* out) {
  int i = from;
#if defined(__SSE2__)
  const __m128i c256 = _mm_set1_epi16(256), bias = _mm_set1_epi32(kBiasDown);
  auto sum = [&](__m128i tb, __m128i w) { return _mm_srli_epi32(_mm_add_epi32(_mm_madd_epi16(tb, w), bias), 16); };
  for (; i + 4 <= n; i += 4) {
    const __m128i g = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(fy + i));
    const __m128i w = _mm_unpacklo_epi16(_mm_sub_epi16(c256, g), g);  // (256 - fy, fy) for each pixel
    const __m128i t0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(top + 4 * i));
    const __m128i t1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(top + 4 * i + 8));
    const __m128i b0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bottom + 4 * i));
    const __m128i b1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bottom + 4 * i + 8));
    const __m128i p01 = _mm_packs_epi32(sum(_mm_unpacklo_epi16(t0, b0), _mm_shuffle_epi32(w, 0x00)),
                                        sum(_mm_unpackhi_epi16(t0, b0), _mm_shuffle_epi32(w, 0x55)));
    const __m128i p23 = _mm_packs_epi32(sum(_mm_unpacklo_epi16(t1, b1), _mm_shuffle_epi32(w, 0xAA)),
                                        sum(_mm_unpackhi_epi16(t1, b1), _mm_shuffle_epi32(w, 0xFF)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(p01, p23));
  }
#endif
  for (; i < n; ++i) out[i] = DownPixel(top + 4 * i, bottom + 4 * i, fy[i]);
}

}  // namespace plat::d3d
