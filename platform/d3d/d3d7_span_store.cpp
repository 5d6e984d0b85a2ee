// The store into the render target: the blend factors, and the stores of computed colours with and
// without blending, with vector loops for the usual blend and the usual targets that give the bytes
// the general per-pixel store gives (the AVX2 road in d3d7_span_avx2.cpp).
#include <algorithm>
#include <cstring>

#include "platform/d3d/d3d7_span_avx2.h"
#include "platform/d3d/d3d7_span_steps.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace plat::d3d {
namespace {

// The blend factor of one channel (shift 24 is alpha).
inline uint32_t Factor(DWORD blend, uint32_t s, uint32_t dst, int shift, bool source) {
  const uint32_t sa = s >> 24, da = dst >> 24;
  switch (blend) {
    case D3DBLEND_ZERO: return 0;
    case D3DBLEND_ONE: return 255;
    case D3DBLEND_SRCCOLOR: return Ch(s, shift);
    case D3DBLEND_INVSRCCOLOR: return 255 - Ch(s, shift);
    case D3DBLEND_SRCALPHA: return sa;
    case D3DBLEND_INVSRCALPHA: return 255 - sa;
    case D3DBLEND_DESTALPHA: return da;
    case D3DBLEND_INVDESTALPHA: return 255 - da;
    case D3DBLEND_DESTCOLOR: return Ch(dst, shift);
    case D3DBLEND_INVDESTCOLOR: return 255 - Ch(dst, shift);
    case D3DBLEND_SRCALPHASAT: return shift == 24 ? 255 : std::min(sa, 255 - da);
    case D3DBLEND_BOTHSRCALPHA: return source ? sa : 255 - sa;
    case D3DBLEND_BOTHINVSRCALPHA: return source ? 255 - sa : sa;
    default: return source ? 255 : 0;
  }
}

inline uint32_t Blend(const DrawSetup& d, uint32_t s, uint32_t dst) {
  // BOTH* source factors decide the destination factor too.
  const bool both = d.srcBlend == D3DBLEND_BOTHSRCALPHA || d.srcBlend == D3DBLEND_BOTHINVSRCALPHA;
  uint32_t out = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const uint32_t fs = Factor(d.srcBlend, s, dst, shift, true);
    const uint32_t fd = both ? Factor(d.srcBlend, s, dst, shift, false) : Factor(d.destBlend, s, dst, shift, false);
    out |= Div255Sat(Ch(s, shift) * fs + Ch(dst, shift) * fd) << shift;
  }
  return out;
}

}  // namespace

// Source over destination for the usual blend, into a 32-bit XRGB target: eight pixels a step on the
// AVX2 road, then four, groups all clear or all opaque taking a shortcut. The arithmetic is the scalar
// Div255 rule, lane by lane.
void StoreOverX888(bool avx2, uint8_t* row, const uint32_t* src, const uint8_t* live, int n) {
  int i = avx2 ? avx2::StoreOverX888(row, src, live, n) : 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128(), rgb = _mm_set1_epi32(0x00FFFFFF), c255 = _mm_set1_epi16(255),
                c128 = _mm_set1_epi16(128);
  for (; i + 4 <= n; i += 4) {
    uint32_t liveBits;
    std::memcpy(&liveBits, live + i, 4);
    if (liveBits != 0x01010101u) break;  // the scalar loop finishes rows with discarded pixels
    const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
    const __m128i alpha = _mm_srli_epi32(s, 24);
    const int clear = _mm_movemask_epi8(_mm_cmpeq_epi32(alpha, zero));
    if (clear == 0xFFFF) continue;
    __m128i* p = reinterpret_cast<__m128i*>(row + i * 4);
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(alpha, _mm_set1_epi32(255))) == 0xFFFF) {
      _mm_storeu_si128(p, _mm_and_si128(s, rgb));
      continue;
    }
    const __m128i dst = _mm_loadu_si128(p);
    auto half = [&](__m128i s16, __m128i d16) {
      __m128i a = _mm_shufflelo_epi16(s16, 0xFF);
      a = _mm_shufflehi_epi16(a, 0xFF);
      __m128i t = _mm_add_epi16(_mm_mullo_epi16(s16, a), _mm_mullo_epi16(d16, _mm_sub_epi16(c255, a)));
      t = _mm_add_epi16(t, c128);
      return _mm_srli_epi16(_mm_add_epi16(t, _mm_srli_epi16(t, 8)), 8);
    };
    const __m128i lo = half(_mm_unpacklo_epi8(s, zero), _mm_unpacklo_epi8(dst, zero));
    const __m128i hi = half(_mm_unpackhi_epi8(s, zero), _mm_unpackhi_epi8(dst, zero));
    __m128i out = _mm_and_si128(_mm_packus_epi16(lo, hi), rgb);
    if (clear != 0) {
      // Clear pixels keep the destination as it is, as the scalar rule does.
      const __m128i keep = _mm_cmpeq_epi32(alpha, zero);
      out = _mm_or_si128(_mm_and_si128(keep, dst), _mm_andnot_si128(keep, out));
    }
    _mm_storeu_si128(p, out);
  }
#endif
  for (; i < n; ++i) {
    const uint32_t s = src[i], a = s >> 24;
    if (!live[i] || a == 0) continue;
    uint32_t* p = reinterpret_cast<uint32_t*>(row) + i;
    if (a == 255) {
      *p = s & 0xFFFFFF;
      continue;
    }
    const uint32_t dst = *p, ia = 255 - a;
    *p = Div255(Ch(s, 16) * a + Ch(dst, 16) * ia) << 16 | Div255(Ch(s, 8) * a + Ch(dst, 8) * ia) << 8 |
         Div255((s & 0xFF) * a + (dst & 0xFF) * ia);
  }
}

namespace {

// The same into a 16-bit target without alpha; a clear source pixel leaves the stored bits as they are,
// as unpacking and packing them again would.
template <PixelKind kKind>
void StoreOver16(bool avx2, const PixelCode& f, uint8_t* row, const uint32_t* src, const uint8_t* live, int n) {
  int i = 0;
  if (avx2) i = kKind == PixelKind::k565 ? avx2::StoreOver565(row, src, live, n) : avx2::StoreOver555(row, src, live, n);
#if defined(__SSE2__)
  // Eight pixels a step, each channel in a 16-bit lane; the same replicate, Div255, truncate rule.
  constexpr int kGreenBits = kKind == PixelKind::k565 ? 6 : 5;
  constexpr int kRedShift = kKind == PixelKind::k565 ? 11 : 10;
  const __m128i zero = _mm_setzero_si128(), byte = _mm_set1_epi32(0xFF), c255 = _mm_set1_epi16(255),
                c128 = _mm_set1_epi16(128), five = _mm_set1_epi16(31), green = _mm_set1_epi16((1 << kGreenBits) - 1);
  auto channel = [&](__m128i a, __m128i b, int shift) {
    return _mm_packs_epi32(_mm_and_si128(_mm_srli_epi32(a, shift), byte), _mm_and_si128(_mm_srli_epi32(b, shift), byte));
  };
  auto mix = [&](__m128i s16, __m128i d16, __m128i a, __m128i ia) {
    __m128i t = _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(s16, a), _mm_mullo_epi16(d16, ia)), c128);
    return _mm_srli_epi16(_mm_add_epi16(t, _mm_srli_epi16(t, 8)), 8);
  };
  for (; i + 8 <= n; i += 8) {
    uint64_t liveBits;
    std::memcpy(&liveBits, live + i, 8);
    if (liveBits != 0x0101010101010101ull) break;
    const __m128i s0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
    const __m128i s1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 4));
    const __m128i a = channel(s0, s1, 24);
    if (_mm_movemask_epi8(_mm_cmpeq_epi16(a, zero)) == 0xFFFF) continue;
    __m128i r = channel(s0, s1, 16), g = channel(s0, s1, 8), b = channel(s0, s1, 0);
    __m128i* p = reinterpret_cast<__m128i*>(row + i * 2);
    if (_mm_movemask_epi8(_mm_cmpeq_epi16(a, c255)) != 0xFFFF) {
      const __m128i d = _mm_loadu_si128(p);
      const __m128i dr = _mm_and_si128(_mm_srli_epi16(d, kRedShift), five);
      const __m128i dg = _mm_and_si128(_mm_srli_epi16(d, 5), green);
      const __m128i db = _mm_and_si128(d, five);
      const __m128i r8 = _mm_or_si128(_mm_slli_epi16(dr, 3), _mm_srli_epi16(dr, 2));
      const __m128i g8 = kGreenBits == 6 ? _mm_or_si128(_mm_slli_epi16(dg, 2), _mm_srli_epi16(dg, 4))
                                         : _mm_or_si128(_mm_slli_epi16(dg, 3), _mm_srli_epi16(dg, 2));
      const __m128i b8 = _mm_or_si128(_mm_slli_epi16(db, 3), _mm_srli_epi16(db, 2));
      const __m128i ia = _mm_sub_epi16(c255, a);
      r = mix(r, r8, a, ia);
      g = mix(g, g8, a, ia);
      b = mix(b, b8, a, ia);
    }
    const __m128i packed = _mm_or_si128(_mm_or_si128(_mm_slli_epi16(_mm_srli_epi16(r, 3), kRedShift),
                                                     _mm_slli_epi16(_mm_srli_epi16(g, 8 - kGreenBits), 5)),
                                        _mm_srli_epi16(b, 3));
    _mm_storeu_si128(p, packed);
  }
#endif
  for (; i < n; ++i) {
    const uint32_t s = src[i], a = s >> 24;
    if (!live[i] || a == 0) continue;
    uint16_t raw;
    std::memcpy(&raw, row + i * 2, 2);
    uint32_t out = s;
    if (a != 255) {
      const uint32_t dst = Unpack(f, raw), ia = 255 - a;
      out = 0xFF000000u | Div255(Ch(s, 16) * a + Ch(dst, 16) * ia) << 16 | Div255(Ch(s, 8) * a + Ch(dst, 8) * ia) << 8 |
            Div255((s & 0xFF) * a + (dst & 0xFF) * ia);
    }
    const auto packed = static_cast<uint16_t>(Pack(f, out));
    std::memcpy(row + i * 2, &packed, 2);
  }
}

// Unblended stores into the usual targets, Pack's packing kind by kind; pixels that failed a test keep
// what they had. With every pixel live, the 16-bit targets take eight pixels a step.
template <PixelKind kKind>
void StoreOpaque(uint8_t* row, const uint32_t* src, const uint8_t* live, int n, bool allLive) {
  int i = 0;
  if constexpr (kKind == PixelKind::kX888 || kKind == PixelKind::k8888) {
    const uint32_t keep = kKind == PixelKind::kX888 ? 0x00FFFFFFu : 0xFFFFFFFFu;
    if (allLive) {
#if defined(__SSE2__)
      const __m128i k = _mm_set1_epi32(static_cast<int>(keep));
      for (; i + 4 <= n; i += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(row + i * 4), _mm_and_si128(v, k));
      }
#endif
      for (; i < n; ++i) {
        const uint32_t v = src[i] & keep;
        std::memcpy(row + i * 4, &v, 4);
      }
      return;
    }
    for (; i < n; ++i) {
      if (!live[i]) continue;
      const uint32_t v = src[i] & keep;
      std::memcpy(row + i * 4, &v, 4);
    }
  } else {
    constexpr bool k565 = kKind == PixelKind::k565;
#if defined(__SSE2__)
    const __m128i r = _mm_set1_epi32(k565 ? 0xF800 : 0x7C00), g = _mm_set1_epi32(k565 ? 0x07E0 : 0x03E0),
                  b = _mm_set1_epi32(0x001F), zero = _mm_setzero_si128();
    auto pack = [&](__m128i v) {
      const __m128i x = _mm_or_si128(
          _mm_or_si128(_mm_and_si128(_mm_srli_epi32(v, k565 ? 8 : 9), r), _mm_and_si128(_mm_srli_epi32(v, k565 ? 5 : 6), g)),
          _mm_and_si128(_mm_srli_epi32(v, 3), b));
      return _mm_srai_epi32(_mm_slli_epi32(x, 16), 16);  // sign-extended, so the signed pack keeps the bits
    };
    for (; i + 8 <= n; i += 8) {
      const __m128i lo = pack(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i)));
      const __m128i hi = pack(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 4)));
      __m128i packed = _mm_packs_epi32(lo, hi);
      auto* p = reinterpret_cast<__m128i*>(row + i * 2);
      if (!allLive) {
        // Discarded pixels keep the target's bits.
        const __m128i keep = _mm_cmpeq_epi16(
            _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(live + i)), zero), zero);
        packed = _mm_or_si128(_mm_andnot_si128(keep, packed), _mm_and_si128(keep, _mm_loadu_si128(p)));
      }
      _mm_storeu_si128(p, packed);
    }
#endif
    for (; i < n; ++i) {
      if (!allLive && !live[i]) continue;
      const uint32_t v = src[i];
      const auto packed = static_cast<uint16_t>(k565 ? (v >> 8 & 0xF800) | (v >> 5 & 0x07E0) | (v >> 3 & 0x001F)
                                                     : (v >> 9 & 0x7C00) | (v >> 6 & 0x03E0) | (v >> 3 & 0x001F));
      std::memcpy(row + i * 2, &packed, 2);
    }
  }
}

}  // namespace

void Store(const DrawSetup& d, int y, int x, const uint32_t* src, const uint8_t* live, int n, bool allLive) {
  const PixelCode& f = d.targetCode;
  uint8_t* row = d.target + static_cast<size_t>(y) * d.targetPitch + static_cast<size_t>(x) * f.bytes;
  if (!d.blend) {
    if (d.fastPaths) {
      switch (f.kind) {
        case PixelKind::k565: return StoreOpaque<PixelKind::k565>(row, src, live, n, allLive);
        case PixelKind::k555: return StoreOpaque<PixelKind::k555>(row, src, live, n, allLive);
        case PixelKind::kX888: return StoreOpaque<PixelKind::kX888>(row, src, live, n, allLive);
        case PixelKind::k8888: return StoreOpaque<PixelKind::k8888>(row, src, live, n, allLive);
        default: break;
      }
    }
    for (int i = 0; i < n; ++i) {
      if (live[i]) StorePixel(row + i * f.bytes, f.bytes, Pack(f, src[i]));
    }
    return;
  }
  if (d.fastPaths && OverBlend(d)) {
    switch (f.kind) {
      case PixelKind::kX888: return StoreOverX888(d.avx2, row, src, live, n);
      case PixelKind::k565: return StoreOver16<PixelKind::k565>(d.avx2, f, row, src, live, n);
      case PixelKind::k555: return StoreOver16<PixelKind::k555>(d.avx2, f, row, src, live, n);
      default: break;
    }
  }
  for (int i = 0; i < n; ++i) {
    if (!live[i]) continue;
    uint8_t* p = row + i * f.bytes;
    StorePixel(p, f.bytes, Pack(f, Blend(d, src[i], Unpack(f, LoadPixel(p, f.bytes)))));
  }
}

}  // namespace plat::d3d
