// The vector rows of the bilinear sample, on the SSE2 road (d3d7_bilinear_rows.cpp) and the AVX2 road
// (d3d7_bilinear_avx2.cpp, called only where the processor runs it). Together they give the bytes of
// the reference sample, Bilinear(): its four-texel sum of c * (256 - fx or fx) * (256 - fy or fy) is
// taken as two sums of two, first across (at most 255 * 256, which a 16-bit lane holds), then down (in
// 32-bit lanes), which is the same integer.
#pragma once

#include <cstdint>

namespace plat::d3d {

// The sum across of `n` pixels: for pixel i and channel c (blue first), left[i].c * (256 - fx[i]) +
// right[i].c * fx[i], less 32768 (so that it fits a signed lane for the sum down), in out[4 i + c].
void AcrossSse2(const uint32_t* left, const uint32_t* right, const uint16_t* fx, int from, int n, int16_t* out);

// The sum down of two such rows, 0xAARRGGBB: (top * (256 - fy) + bottom * fy + 32768) >> 16 per
// channel, with one fraction for the row ...
void DownSse2(const int16_t* top, const int16_t* bottom, uint32_t fy, int from, int n, uint32_t* out);
// ... or each pixel's own.
void DownEachSse2(const int16_t* top, const int16_t* bottom, const uint16_t* fy, int from, int n, uint32_t* out);

// The same on the AVX2 road, whole groups of eight from `from` on: each returns where it stopped.
namespace avx2 {
int Across(const uint32_t* left, const uint32_t* right, const uint16_t* fx, int from, int n, int16_t* out);
int Down(const int16_t* top, const int16_t* bottom, uint32_t fy, int from, int n, uint32_t* out);
int DownEach(const int16_t* top, const int16_t* bottom, const uint16_t* fy, int from, int n, uint32_t* out);
}  // namespace avx2

// The whole rows, on the road the draw chose.
inline void Across(bool useAvx2, const uint32_t* left, const uint32_t* right, const uint16_t* fx, int n, int16_t* out) {
  AcrossSse2(left, right, fx, useAvx2 ? avx2::Across(left, right, fx, 0, n, out) : 0, n, out);
}
inline void Down(bool useAvx2, const int16_t* top, const int16_t* bottom, uint32_t fy, int n, uint32_t* out) {
  DownSse2(top, bottom, fy, useAvx2 ? avx2::Down(top, bottom, fy, 0, n, out) : 0, n, out);
}
inline void DownEach(bool useAvx2, const int16_t* top, const int16_t* bottom, const uint16_t* fy, int n, uint32_t* out) {
  DownEachSse2(top, bottom, fy, useAvx2 ? avx2::DownEach(top, bottom, fy, 0, n, out) : 0, n, out);
}

}  // namespace plat::d3d
