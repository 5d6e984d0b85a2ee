// Row copies and fills at memory speed (AVX2 where the processor has it), and widening 16-bit rows to
// 32 bits: AVX2 or SSE2 for 5-6-5 and 5-5-5 (exact integer forms of the rounding
// rule: 5 bits (v * 527 + 23) >> 6, 6 bits (v * 259 + 33) >> 6), a table for any other layout.
#include "platform/win/gdi/pixel_rows.h"

#include <cstring>

#include "platform/win/kernel/cpu.h"

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace plat {
namespace {

inline uint32_t Round5(uint32_t v) { return (v * 527 + 23) >> 6; }
inline uint32_t Round6(uint32_t v) { return (v * 259 + 33) >> 6; }

#if defined(__SSE2__)
bool HasAvx2() { return ProcessorHasAvx2(); }

// The SSE2 widening below sixteen pixels a step; returns the pixels done (a multiple of sixteen).
__attribute__((target("avx2"))) int WidenAvx2(const uint8_t* src, uint32_t* dst, int count, bool green6) {
  const __m256i m5 = _mm256_set1_epi16(0x1F);
  const __m256i mg = _mm256_set1_epi16(green6 ? 0x3F : 0x1F);
  const __m256i k5 = _mm256_set1_epi16(527), a5 = _mm256_set1_epi16(23);
  const __m256i kg = _mm256_set1_epi16(green6 ? 259 : 527), ag = _mm256_set1_epi16(green6 ? 33 : 23);
  int x = 0;
  for (; x + 16 <= count; x += 16) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 2 * x));
    const __m256i r = _mm256_and_si256(_mm256_srli_epi16(v, green6 ? 11 : 10), m5);
    const __m256i g = _mm256_and_si256(_mm256_srli_epi16(v, 5), mg);
    const __m256i b = _mm256_and_si256(v, m5);
    const __m256i r8 = _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(r, k5), a5), 6);
    const __m256i g8 = _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(g, kg), ag), 6);
    const __m256i b8 = _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(b, k5), a5), 6);
    const __m256i bg = _mm256_or_si256(b8, _mm256_slli_epi16(g8, 8));
    // Unpacking works within each 128-bit half: lo holds pixels 0-3 and 8-11, hi 4-7 and 12-15.
    const __m256i lo = _mm256_unpacklo_epi16(bg, r8);
    const __m256i hi = _mm256_unpackhi_epi16(bg, r8);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + x), _mm256_permute2x128_si256(lo, hi, 0x20));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + x + 8), _mm256_permute2x128_si256(lo, hi, 0x31));
  }
  return x;
}

__attribute__((target("avx2"))) void CopyAvx2(uint8_t* dst, const uint8_t* src, size_t bytes) {
  size_t i = 0;
  for (; i + 128 <= bytes; i += 128) {
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i + 32));
    const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i + 64));
    const __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i + 96));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), a);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i + 32), b);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i + 64), c);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i + 96), d);
  }
  for (; i + 32 <= bytes; i += 32)
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i),
                        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i)));
  if (i < bytes) std::memcpy(dst + i, src + i, bytes - i);
}
#endif

// 5-6-5 (green6 true) or 5-5-5 pixels; returns the pixels done (a multiple of eight).
int WidenFast(const uint8_t* src, uint32_t* dst, int count, bool green6) {
  int x = 0;
#if defined(__SSE2__)
  if (count >= 16 && HasAvx2()) x = WidenAvx2(src, dst, count, green6);
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

// Stores a 16-byte pattern over [p, p + bytes), bytes >= 16 and a whole number of pixels; the last
// store overlaps the one before it, which lands on the same phase of a 2- or 4-byte pattern.
#if defined(__SSE2__)
void FillPattern16(uint8_t* p, size_t bytes, __m128i v) {
  size_t i = 0;
  for (; i + 64 <= bytes; i += 64) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p + i), v);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p + i + 16), v);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p + i + 32), v);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p + i + 48), v);
  }
  for (; i + 16 <= bytes; i += 16) _mm_storeu_si128(reinterpret_cast<__m128i*>(p + i), v);
  if (i < bytes) _mm_storeu_si128(reinterpret_cast<__m128i*>(p + bytes - 16), v);
}

__attribute__((target("avx2"))) void FillPattern32(uint8_t* p, size_t bytes, uint32_t pattern) {
  const __m256i v = _mm256_set1_epi32(static_cast<int>(pattern));
  size_t i = 0;
  for (; i + 128 <= bytes; i += 128) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p + i), v);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p + i + 32), v);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p + i + 64), v);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p + i + 96), v);
  }
  for (; i + 32 <= bytes; i += 32) _mm256_storeu_si256(reinterpret_cast<__m256i*>(p + i), v);
  if (i < bytes) _mm256_storeu_si256(reinterpret_cast<__m256i*>(p + bytes - 32), v);
}

#endif

}  // namespace

void FillPixelRow(uint8_t* p, size_t bytes, int pixelBytes, uint32_t value) {
  uint32_t pattern = value;
  if (pixelBytes == 1) pattern = (value & 0xFF) * 0x01010101u;
  else if (pixelBytes == 2) pattern = (value & 0xFFFF) * 0x00010001u;
  if (pixelBytes != 3 && (pattern & 0xFF) * 0x01010101u == pattern) {
    std::memset(p, static_cast<int>(pattern & 0xFF), bytes);
    return;
  }
  if (pixelBytes == 3) {
    for (size_t i = 0; i < bytes; i += 3) std::memcpy(p + i, &value, 3);
    return;
  }
#if defined(__SSE2__)
  if (bytes >= 32 && HasAvx2()) return FillPattern32(p, bytes, pattern);
  if (bytes >= 16) return FillPattern16(p, bytes, _mm_set1_epi32(static_cast<int>(pattern)));
#endif
  for (size_t i = 0; i < bytes; i += static_cast<size_t>(pixelBytes))
    std::memcpy(p + i, &pattern, static_cast<size_t>(pixelBytes));
}

void CopyPixelRow(uint8_t* dst, const uint8_t* src, size_t bytes) {
  size_t i = 0;
#if defined(__SSE2__)
  if (bytes >= 128 && HasAvx2()) return CopyAvx2(dst, src, bytes);
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
