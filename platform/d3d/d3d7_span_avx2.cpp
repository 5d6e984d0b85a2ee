// AVX2 source-over rows, compiled for AVX2 per function (d3d7_avx2_target.h); the span routine calls
// them where Avx2Supported() holds.
#include "platform/d3d/d3d7_span_avx2.h"

#include <cstring>

#include "platform/d3d/d3d7_avx2_target.h"
#include "platform/win/kernel/cpu.h"

namespace plat::d3d {

#if defined(D3D_AVX2)

bool Avx2Supported() { return ProcessorHasAvx2(); }

namespace avx2 {
namespace {

constexpr uint64_t kAllLive = 0x0101010101010101ull;

D3D_AVX2 inline bool AllLive(const uint8_t* live, int count) {
  for (int k = 0; k < count; k += 8) {
    uint64_t bits;
    std::memcpy(&bits, live + k, 8);
    if (bits != kAllLive) return false;
  }
  return true;
}

// The scalar Div255 on 16-bit lanes: with t = x + 128, (t + (t >> 8)) >> 8 is (t * 257) >> 16 for
// every t below 65536 (writing t = 256 a + b, both are a + (a + b) / 256 rounded down), one multiply.
D3D_AVX2 inline __m256i Div255(__m256i x) {
  return _mm256_mulhi_epu16(_mm256_add_epi16(x, _mm256_set1_epi16(128)), _mm256_set1_epi16(257));
}

template <int kGreenBits, int kRedShift>
D3D_AVX2 int StoreOver16(uint8_t* row, const uint32_t* src, const uint8_t* live, int n) {
  const __m256i zero = _mm256_setzero_si256(), byte = _mm256_set1_epi32(0xFF), c255 = _mm256_set1_epi16(255),
                five = _mm256_set1_epi16(31), green = _mm256_set1_epi16((1 << kGreenBits) - 1);
  int i = 0;
  for (; i + 16 <= n; i += 16) {
    if (!AllLive(live + i, 16)) break;
    const __m256i s0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i));
    const __m256i s1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i + 8));
    // Packing works within 128-bit lanes: pair the halves so the packed lanes come out in pixel order.
    const __m256i lo = _mm256_permute2x128_si256(s0, s1, 0x20), hi = _mm256_permute2x128_si256(s0, s1, 0x31);
    auto channel = [&](int shift) D3D_AVX2 {
      return _mm256_packs_epi32(_mm256_and_si256(_mm256_srli_epi32(lo, shift), byte),
                                _mm256_and_si256(_mm256_srli_epi32(hi, shift), byte));
    };
    const __m256i a = channel(24);
    if (_mm256_movemask_epi8(_mm256_cmpeq_epi16(a, zero)) == -1) continue;
    __m256i r = channel(16), g = channel(8), b = channel(0);
    auto* p = reinterpret_cast<__m256i*>(row + i * 2);
    if (_mm256_movemask_epi8(_mm256_cmpeq_epi16(a, c255)) != -1) {
      const __m256i d = _mm256_loadu_si256(p);
      const __m256i dr = _mm256_and_si256(_mm256_srli_epi16(d, kRedShift), five);
      const __m256i dg = _mm256_and_si256(_mm256_srli_epi16(d, 5), green);
      const __m256i db = _mm256_and_si256(d, five);
      const __m256i r8 = _mm256_or_si256(_mm256_slli_epi16(dr, 3), _mm256_srli_epi16(dr, 2));
      const __m256i g8 = kGreenBits == 6 ? _mm256_or_si256(_mm256_slli_epi16(dg, 2), _mm256_srli_epi16(dg, 4))
                                         : _mm256_or_si256(_mm256_slli_epi16(dg, 3), _mm256_srli_epi16(dg, 2));
      const __m256i b8 = _mm256_or_si256(_mm256_slli_epi16(db, 3), _mm256_srli_epi16(db, 2));
      const __m256i ia = _mm256_sub_epi16(c255, a);
      auto mix = [&](__m256i s16, __m256i d16) D3D_AVX2 {
        return Div255(_mm256_add_epi16(_mm256_mullo_epi16(s16, a), _mm256_mullo_epi16(d16, ia)));
      };
      r = mix(r, r8);
      g = mix(g, g8);
      b = mix(b, b8);
    }
    const __m256i packed =
        _mm256_or_si256(_mm256_or_si256(_mm256_slli_epi16(_mm256_srli_epi16(r, 3), kRedShift),
                                        _mm256_slli_epi16(_mm256_srli_epi16(g, 8 - kGreenBits), 5)),
                        _mm256_srli_epi16(b, 3));
    _mm256_storeu_si256(p, packed);
  }
  return i;
}

// Source over one group of eight XRGB pixels at `at`, whole or only the lanes in `mask`. Lanes with
// alpha 0 keep the destination; all clear leaves it untouched, all opaque (whole groups) is a copy.
D3D_AVX2 inline void OverGroupX888(__m256i s, uint8_t* at, __m256i mask, bool whole) {
  const __m256i zero = _mm256_setzero_si256(), rgb = _mm256_set1_epi32(0x00FFFFFF);
  auto* p = reinterpret_cast<__m256i*>(at);
  const __m256i alpha = _mm256_srli_epi32(s, 24);
  const __m256i clearLanes = _mm256_cmpeq_epi32(alpha, zero);
  const int clear = _mm256_movemask_epi8(clearLanes);
  if (clear == -1) return;
  if (whole && _mm256_movemask_epi8(_mm256_cmpeq_epi32(alpha, _mm256_set1_epi32(255))) == -1) {
    _mm256_storeu_si256(p, _mm256_and_si256(s, rgb));
    return;
  }
  const __m256i dst = whole ? _mm256_loadu_si256(p) : _mm256_maskload_epi32(reinterpret_cast<const int*>(at), mask);
  // s a + d (255 - a) in one multiply-add a channel: with both colours moved to signed bytes (c - 128)
  // the pair sums to that minus 255 * 128, which a signed 16-bit lane holds without saturating, and
  // adding 32768 (wrapping) puts back the 255 * 128 and Div255's 128. Weights are (a, 255 - a) pairs.
  const __m256i flip = _mm256_set1_epi8(static_cast<char>(0x80));
  const __m256i sx = _mm256_xor_si256(s, flip), dx = _mm256_xor_si256(dst, flip);
  const __m256i spreadLo = _mm256_setr_epi8(3, 3, 3, 3, 3, 3, 3, 3, 7, 7, 7, 7, 7, 7, 7, 7,  //
                                            3, 3, 3, 3, 3, 3, 3, 3, 7, 7, 7, 7, 7, 7, 7, 7);
  const __m256i spreadHi = _mm256_add_epi8(spreadLo, _mm256_set1_epi8(8));
  const __m256i inverse = _mm256_set1_epi16(static_cast<short>(0xFF00)), round = _mm256_set1_epi16(static_cast<short>(0x8000));
  auto half = [&](__m256i pairs, __m256i spread) D3D_AVX2 {
    const __m256i weights = _mm256_xor_si256(_mm256_shuffle_epi8(s, spread), inverse);
    return _mm256_mulhi_epu16(_mm256_add_epi16(_mm256_maddubs_epi16(weights, pairs), round), _mm256_set1_epi16(257));
  };
  const __m256i lo = half(_mm256_unpacklo_epi8(sx, dx), spreadLo);
  const __m256i hi = half(_mm256_unpackhi_epi8(sx, dx), spreadHi);
  // A clear pixel blends to its destination exactly, X byte too; the others take X = 0 as a copy does.
  const __m256i out = _mm256_and_si256(_mm256_packus_epi16(lo, hi), _mm256_or_si256(rgb, clearLanes));
  if (whole) {
    _mm256_storeu_si256(p, out);
  } else {
    _mm256_maskstore_epi32(reinterpret_cast<int*>(at), mask, out);
  }
}

}  // namespace

D3D_AVX2 int StoreOverX888(uint8_t* row, const uint32_t* src, const uint8_t* live, int n) {
  const __m256i all = _mm256_set1_epi32(-1);
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    if (!AllLive(live + i, 8)) return i;
    OverGroupX888(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i)), row + i * 4, all, true);
  }
  // A live tail of a short span (a turned sprite's rows) goes as one masked group.
  const int rest = n - i;
  if (rest == 0) return n;
  for (int k = 0; k < rest; ++k) {
    if (!live[i + k]) return i;
  }
  const __m256i tail = _mm256_cmpgt_epi32(_mm256_set1_epi32(rest), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
  OverGroupX888(_mm256_maskload_epi32(reinterpret_cast<const int*>(src + i), tail), row + i * 4, tail, false);
  return n;
}

D3D_AVX2 void OverRectX888(const RectFrame& f, const RectFrame* next) {
  const __m256i all = _mm256_set1_epi32(-1);
  const int whole = f.width & ~7, rest = f.width - whole;
  const __m256i tail = _mm256_cmpgt_epi32(_mm256_set1_epi32(rest), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
  for (int r = 0; r < f.rows; ++r) {
    AskForRow(next, r);
    uint8_t* drow = f.dst + r * f.dstPitch;
    const uint8_t* srow = f.src + r * f.srcPitch;
    for (int x = 0; x < whole; x += 8) {
      OverGroupX888(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(srow + x * 4)), drow + x * 4, all, true);
    }
    if (rest != 0) {
      const __m256i s = _mm256_maskload_epi32(reinterpret_cast<const int*>(srow + whole * 4), tail);
      OverGroupX888(s, drow + whole * 4, tail, false);
    }
  }
}

D3D_AVX2 int PointTexels32(const TexelWalk& w, int n, uint32_t* out) {
  // Every sample lies inside the texture, so coordinates and byte offsets fit 32-bit lanes.
  const __m256i steps = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
  __m256i u = _mm256_add_epi32(_mm256_set1_epi32(static_cast<int>(w.u)), _mm256_mullo_epi32(steps, _mm256_set1_epi32(w.du)));
  __m256i v = _mm256_add_epi32(_mm256_set1_epi32(static_cast<int>(w.v)), _mm256_mullo_epi32(steps, _mm256_set1_epi32(w.dv)));
  const __m256i du8 = _mm256_set1_epi32(w.du * 8), dv8 = _mm256_set1_epi32(w.dv * 8);
  const __m256i pitch = _mm256_set1_epi32(w.pitch), alpha = _mm256_set1_epi32(static_cast<int>(w.alpha));
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m256i offset = _mm256_add_epi32(_mm256_mullo_epi32(_mm256_srai_epi32(v, 16), pitch),
                                            _mm256_slli_epi32(_mm256_srai_epi32(u, 16), 2));
    const __m256i texels = _mm256_i32gather_epi32(reinterpret_cast<const int*>(w.pixels), offset, 1);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), _mm256_or_si256(texels, alpha));
    u = _mm256_add_epi32(u, du8);
    v = _mm256_add_epi32(v, dv8);
  }
  return i;
}

D3D_AVX2 void OverPointSpanX888(const TexelWalk& w, uint8_t* row, int n) {
  const __m256i steps = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
  __m256i u = _mm256_add_epi32(_mm256_set1_epi32(static_cast<int>(w.u)), _mm256_mullo_epi32(steps, _mm256_set1_epi32(w.du)));
  __m256i v = _mm256_add_epi32(_mm256_set1_epi32(static_cast<int>(w.v)), _mm256_mullo_epi32(steps, _mm256_set1_epi32(w.dv)));
  const __m256i du8 = _mm256_set1_epi32(w.du * 8), dv8 = _mm256_set1_epi32(w.dv * 8);
  const __m256i pitch = _mm256_set1_epi32(w.pitch), all = _mm256_set1_epi32(-1);
  const auto* pixels = reinterpret_cast<const int*>(w.pixels);
  auto offsets = [&]() D3D_AVX2 {
    return _mm256_add_epi32(_mm256_mullo_epi32(_mm256_srai_epi32(v, 16), pitch), _mm256_slli_epi32(_mm256_srai_epi32(u, 16), 2));
  };
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    OverGroupX888(_mm256_i32gather_epi32(pixels, offsets(), 1), row + i * 4, all, true);
    u = _mm256_add_epi32(u, du8);
    v = _mm256_add_epi32(v, dv8);
  }
  if (i == n) return;
  // The last few lanes as one masked group: the lanes past the span gather nothing and read as clear.
  const __m256i tail = _mm256_cmpgt_epi32(_mm256_set1_epi32(n - i), steps);
  const __m256i texels = _mm256_mask_i32gather_epi32(_mm256_setzero_si256(), pixels, offsets(), tail, 1);
  OverGroupX888(texels, row + i * 4, tail, false);
}

D3D_AVX2 int StoreOver565(uint8_t* row, const uint32_t* src, const uint8_t* live, int n) {
  return StoreOver16<6, 11>(row, src, live, n);
}

D3D_AVX2 int StoreOver555(uint8_t* row, const uint32_t* src, const uint8_t* live, int n) {
  return StoreOver16<5, 10>(row, src, live, n);
}

}  // namespace avx2

#else  // no x86: the SSE2 and scalar loops do all of it

bool Avx2Supported() { return false; }

namespace avx2 {
int StoreOverX888(uint8_t*, const uint32_t*, const uint8_t*, int) { return 0; }
int StoreOver565(uint8_t*, const uint32_t*, const uint8_t*, int) { return 0; }
int StoreOver555(uint8_t*, const uint32_t*, const uint8_t*, int) { return 0; }
int PointTexels32(const TexelWalk&, int, uint32_t*) { return 0; }
void OverPointSpanX888(const TexelWalk&, uint8_t*, int) {}
void OverRectX888(const RectFrame&, const RectFrame*) {}
}  // namespace avx2

#endif

}  // namespace plat::d3d
