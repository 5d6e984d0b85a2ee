// Pixel words shared by the plain blit, the stretched blit and the box fill: unaligned loads and
// stores of 16- and 32-bit pixels (through memcpy, which the compiler turns into one move), and the
// packed saturating add and subtract of 5:6:5 and 8:8:8 pixels in one word.
#pragma once

#include <cstdint>
#include <cstring>  // memcpy
#if defined(__SSE2__)
#include <emmintrin.h>  // packed saturating byte arithmetic
#endif

namespace orbel::pixel {

inline uint32_t Load16(const uint8_t* p) {
  uint16_t v;
  std::memcpy(&v, p, 2);
  return v;
}
inline uint32_t Load32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
inline void Store16(uint8_t* p, uint32_t v) {
  const uint16_t w = static_cast<uint16_t>(v);
  std::memcpy(p, &w, 2);
}
inline void Store32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

// Saturating add of two 5:6:5 pixels in one word. The lowest green and red bits (5 and 11) and bit 16
// serve as carry slots; a field that does not saturate gets the OR of both lowest bits and the carry
// from below as its lowest bit.
inline uint32_t PackedAdd565(uint32_t d, uint32_t v) {
  const uint32_t t = (d & 0xF7DEF7DFu) + (v & 0xF7DEF7DFu);
  const uint32_t c = t & 0x08210820u;
  return ((c - (c >> 5)) | ((d | v) & 0x820u) | t) & 0xFFFFu;
}
// Saturating subtract of 5:6:5 pixels: the same slots act as borrow guards, so a pixel minus itself
// leaves the lowest red bit set (0x0800).
inline uint32_t PackedSub565(uint32_t d, uint32_t v) {
  const uint32_t t = (d | 0x08210820u) - (v & 0xF7DEF7DFu);
  const uint32_t c = t & 0x08210820u;
  return ((c - (c >> 5)) & t) & 0xFFFFu;
}
// Saturating add of the three colour bytes; byte 3 of the result is the carry out of red.
inline uint32_t PackedAdd888(uint32_t d, uint32_t v) {
  const uint32_t t = (v & 0x00FEFEFFu) + (d & 0x00FEFEFFu);
  const uint32_t c = t & 0x01010100u;
  return (c - (c >> 8)) | ((v | d) & 0x00010100u) | t;
}
// Saturating subtract of the three colour bytes; byte 3 of the result is 0.
inline uint32_t PackedSub888(uint32_t d, uint32_t v) {
  const uint32_t t = (d | 0x01010100u) - (v & ~0x01010100u);
  const uint32_t m = t & 0x01010100u;
  return (m - (m >> 8)) & t;
}
// Exact unsigned saturating subtraction of all four bytes (the processor's packed form).
inline uint32_t SatSubBytes(uint32_t d, uint32_t s) {
#if defined(__SSE2__)
  const __m128i r = _mm_subs_epu8(_mm_cvtsi32_si128(static_cast<int>(d)), _mm_cvtsi32_si128(static_cast<int>(s)));
  return static_cast<uint32_t>(_mm_cvtsi128_si32(r));
#else
  uint32_t out = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const uint32_t a = (d >> shift) & 0xFF;
    const uint32_t b = (s >> shift) & 0xFF;
    out |= (a > b ? a - b : 0u) << shift;
  }
  return out;
#endif
}

// Exact unsigned saturating addition of all four bytes (the processor's packed form).
inline uint32_t SatAddBytes(uint32_t d, uint32_t s) {
#if defined(__SSE2__)
  const __m128i r = _mm_adds_epu8(_mm_cvtsi32_si128(static_cast<int>(d)), _mm_cvtsi32_si128(static_cast<int>(s)));
  return static_cast<uint32_t>(_mm_cvtsi128_si32(r));
#else
  uint32_t out = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const uint32_t v = ((d >> shift) & 0xFF) + ((s >> shift) & 0xFF);
    out |= (v > 255 ? 255u : v) << shift;
  }
  return out;
#endif
}

}  // namespace orbel::pixel
