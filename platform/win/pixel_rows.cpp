// Row copies at memory speed, and widening 16-bit rows to 32 bits: SSE2 for 5-6-5 and 5-5-5 (exact integer forms of the rounding
// rule: 5 bits (v * 527 + 23) >> 6, 6 bits (v * 259 + 33) >> 6), a table for any other layout.
#include "platform/win/pixel_rows.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace plat {
namespace {

inline uint32_t Round5(uint32_t v) { return (v * 527 + 23) >> 6; }
inline uint32_t Round6(uint32_t v) { return (v * 259 + 33) >> 6; }

// 5-6-5 (green6 true) or 5-5-5 pixels; returns the pixels done (a multiple of eight).
int WidenFast(const uint8_t* src, uint32_t* dst, int count, bool green6) {
  int x = 0;
#if defined(__SSE2__)
  const __m128i m5 = _mm_set1_epi16(0x1F);
  const __m128i mg = _mm_set1_epi16(green6 ? 0x3F : 0x1F);
  const __m128i k5 = _mm_set1_epi16(527), a5 = _mm_set1_epi16(23);
  const __m128i kg = _mm_set1_epi16(green6 ? 259 : 527), ag = _mm_set1_epi16(green6 ? 33 : 23);
  for (; x + 8 <= count; x += 8) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 2 * x));
    const __m128i r = _mm_and_si128(_mm_srli_epi16(v, green6 ? 11 : 10), m5);
    const __m128i g = _mm_and_si128(_mm_srli_epi16(v, 5), mg);
    const __m128i b = _mm_and_si128(v, m5);
    const __m128i r8 = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(r, k5), a5), 6);
    const __m128i g8 = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(g, kg), ag), 6);
    const __m128i b8 = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(b, k5), a5), 6);
    const __m128i bg = _mm_or_si128(b8, _mm_slli_epi16(g8, 8));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + x), _mm_unpacklo_epi16(bg, r8));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + x + 4), _mm_unpackhi_epi16(bg, r8));
  }
#endif
  for (; x < count; ++x) {
    const uint32_t v = static_cast<uint32_t>(src[2 * x] | src[2 * x + 1] << 8);
    const uint32_t r = green6 ? v >> 11 : (v >> 10) & 0x1F;
    const uint32_t g = green6 ? (v >> 5) & 0x3F : (v >> 5) & 0x1F;
    dst[x] = Round5(r) << 16 | (green6 ? Round6(g) : Round5(g)) << 8 | Round5(v & 0x1F);
  }
  return count;
}

}  // namespace

void CopyPixelRow(uint8_t* dst, const uint8_t* src, size_t bytes) {
  size_t i = 0;
#if defined(__SSE2__)
  for (; i + 64 <= bytes; i += 64) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 16));
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 32));
    const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 48));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), a);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i + 16), b);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i + 32), c);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i + 48), d);
  }
#endif
  if (i < bytes) std::memcpy(dst + i, src + i, bytes - i);
}

void WidenRow16To32(const uint8_t* src, uint32_t* dst, int count, uint32_t redMask, uint32_t greenMask,
                    uint32_t blueMask) {
  if (count <= 0) return;
  if (blueMask == 0x1F && ((redMask == 0xF800 && greenMask == 0x07E0) || (redMask == 0x7C00 && greenMask == 0x03E0))) {
    WidenFast(src, dst, count, greenMask == 0x07E0);
    return;
  }
  const uint32_t masks[3] = {redMask & 0xFFFF, greenMask & 0xFFFF, blueMask & 0xFFFF};
  uint32_t table[3][256] = {};
  int shifts[3];
  for (int c = 0; c < 3; ++c) {
    shifts[c] = masks[c] != 0 ? __builtin_ctz(masks[c]) : 0;
    const uint32_t max = masks[c] >> shifts[c];
    for (uint32_t v = 0; max != 0 && v <= max && v < 256; ++v) table[c][v] = ((v * 255 + max / 2) / max) << (16 - 8 * c);
  }
  for (int x = 0; x < count; ++x) {
    const uint32_t v = static_cast<uint32_t>(src[2 * x] | src[2 * x + 1] << 8);
    dst[x] = table[0][((v & masks[0]) >> shifts[0]) & 0xFF] | table[1][((v & masks[1]) >> shifts[1]) & 0xFF] |
             table[2][((v & masks[2]) >> shifts[2]) & 0xFF];
  }
}

}  // namespace plat
