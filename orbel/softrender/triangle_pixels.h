// Pixel arithmetic shared by the triangle's span loops: the mix of a target value into a destination
// channel, and channel access for 8:8:8 words (bytes 0-2) and 5:6:5 words (fields at their own widths).
#pragma once

#include <cstdint>

namespace orbel::triangle {

// Mix(n, X, k) = ((X - d) k + d 2^n) >> n, written without the negative middle term (k < 2^n).
template <int N>
inline uint32_t Mix(uint32_t x, uint32_t d, uint32_t k) {
  return (x * k + d * ((1u << N) - k)) >> N;
}

// The three colour bytes of a 32-bit word: channel 0 blue, 1 green, 2 red.
inline uint32_t Byte(uint32_t word, int c) { return (word >> (8 * c)) & 0xFF; }

// Builds a word from per-channel results op(c) for bytes 0-2, keeping byte 3 of `keep`.
template <class Op>
inline uint32_t PerByte(uint32_t keep, Op op) {
  return (keep & 0xFF000000u) | op(2) << 16 | op(1) << 8 | op(0);
}

// The fields of a 5:6:5 word: channel 0 blue (5 bits at 0), 1 green (6 bits at 5), 2 red (5 bits at 11).
constexpr int kFieldShift[3] = {0, 5, 11};
constexpr int kFieldBits[3] = {5, 6, 5};
constexpr uint32_t kFieldMax[3] = {31, 63, 31};

inline uint32_t Field(uint32_t word, int c) { return (word >> kFieldShift[c]) & kFieldMax[c]; }

// Builds a 5:6:5 word from per-field results op(c).
template <class Op>
inline uint32_t PerField(Op op) {
  return op(2) << 11 | op(1) << 5 | op(0);
}

}  // namespace orbel::triangle
