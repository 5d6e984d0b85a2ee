// Pixel layouts of the rasteriser: recognising a DirectDraw pixel format, and unpacking rows.
#include "platform/d3d/d3d7_formats.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace plat::d3d {
namespace {

bool MakeChannel(uint32_t mask, ChannelCode* out) {
  if (mask == 0) {
    *out = ChannelCode{};
    return true;
  }
  const int shift = __builtin_ctz(mask);
  const uint32_t bits = mask >> shift;
  if ((bits & (bits + 1)) != 0) return false;  // not contiguous
  const int width = __builtin_popcount(bits);
  if (width > 8) return false;
  *out = ChannelCode{static_cast<uint8_t>(shift), static_cast<uint8_t>(width)};
  return true;
}

}  // namespace

bool MakePixelCode(const DDPIXELFORMAT& format, PixelCode* out) {
  if ((format.dwFlags & DDPF_RGB) == 0 || (format.dwFlags & (DDPF_FOURCC | DDPF_PALETTEINDEXED8 | DDPF_ZBUFFER))) {
    return false;
  }
  const DWORD bits = format.dwRGBBitCount;
  if (bits != 16 && bits != 32) return false;
  PixelCode f;
  f.bytes = static_cast<int>(bits / 8);
  const DWORD alpha = (format.dwFlags & DDPF_ALPHAPIXELS) ? format.dwRGBAlphaBitMask : 0;
  if (!MakeChannel(format.dwRBitMask, &f.r) || !MakeChannel(format.dwGBitMask, &f.g) ||
      !MakeChannel(format.dwBBitMask, &f.b) || !MakeChannel(alpha, &f.a)) {
    return false;
  }
  if (f.r.bits == 0 && f.g.bits == 0 && f.b.bits == 0) return false;
  f.usedMask = format.dwRBitMask | format.dwGBitMask | format.dwBBitMask | alpha;
  const DWORD r = format.dwRBitMask, g = format.dwGBitMask, b = format.dwBBitMask;
  if (bits == 16 && r == 0xF800 && g == 0x07E0 && b == 0x001F && alpha == 0) f.kind = PixelKind::k565;
  if (bits == 16 && r == 0x7C00 && g == 0x03E0 && b == 0x001F && alpha == 0) f.kind = PixelKind::k555;
  if (bits == 16 && r == 0x7C00 && g == 0x03E0 && b == 0x001F && alpha == 0x8000) f.kind = PixelKind::k1555;
  if (bits == 16 && r == 0x0F00 && g == 0x00F0 && b == 0x000F && alpha == 0xF000) f.kind = PixelKind::k4444;
  if (bits == 32 && r == 0xFF0000 && g == 0xFF00 && b == 0xFF && alpha == 0) f.kind = PixelKind::kX888;
  if (bits == 32 && r == 0xFF0000 && g == 0xFF00 && b == 0xFF && alpha == 0xFF000000) f.kind = PixelKind::k8888;
  *out = f;
  return true;
}

namespace {

template <PixelKind kKind>
void UnpackRowOf(const uint8_t* src, uint32_t* dst, int n) {
  if constexpr (kKind == PixelKind::k8888 || kKind == PixelKind::kX888) {
    std::memcpy(dst, src, static_cast<size_t>(n) * 4);
    if constexpr (kKind == PixelKind::kX888) {
      for (int i = 0; i < n; ++i) dst[i] |= 0xFF000000u;
    }
  } else {
    int i = 0;
#if defined(__SSE2__)
    if constexpr (kKind == PixelKind::k4444) {
      // Eight texels a step: each nibble n becomes n * 17 = n << 4 | n.
      for (; i + 8 <= n; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i * 2));
        const __m128i ar = _mm_or_si128(_mm_and_si128(_mm_srli_epi16(v, 4), _mm_set1_epi16(0x0F00)),
                                        _mm_and_si128(_mm_srli_epi16(v, 8), _mm_set1_epi16(0x000F)));  // A high, R low
        const __m128i gb = _mm_or_si128(_mm_and_si128(_mm_slli_epi16(v, 4), _mm_set1_epi16(0x0F00)),
                                        _mm_and_si128(v, _mm_set1_epi16(0x000F)));  // G high, B low
        const __m128i ar8 = _mm_or_si128(ar, _mm_slli_epi16(ar, 4));
        const __m128i gb8 = _mm_or_si128(gb, _mm_slli_epi16(gb, 4));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_unpacklo_epi16(gb8, ar8));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i + 4), _mm_unpackhi_epi16(gb8, ar8));
      }
    } else {
      // Eight texels a step: 5-bit c becomes c << 3 | c >> 2, 6-bit green g << 2 | g >> 4, the 1-bit
      // alpha 0 or 255.
      constexpr bool k565 = kKind == PixelKind::k565;
      const __m128i five = _mm_set1_epi16(31);
      for (; i + 8 <= n; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i * 2));
        const __m128i r = _mm_and_si128(_mm_srli_epi16(v, k565 ? 11 : 10), five);
        const __m128i b = _mm_and_si128(v, five);
        __m128i g8;
        if constexpr (k565) {
          const __m128i g = _mm_and_si128(_mm_srli_epi16(v, 5), _mm_set1_epi16(63));
          g8 = _mm_or_si128(_mm_slli_epi16(g, 2), _mm_srli_epi16(g, 4));
        } else {
          const __m128i g = _mm_and_si128(_mm_srli_epi16(v, 5), five);
          g8 = _mm_or_si128(_mm_slli_epi16(g, 3), _mm_srli_epi16(g, 2));
        }
        const __m128i r8 = _mm_or_si128(_mm_slli_epi16(r, 3), _mm_srli_epi16(r, 2));
        const __m128i b8 = _mm_or_si128(_mm_slli_epi16(b, 3), _mm_srli_epi16(b, 2));
        const __m128i a8 = kKind == PixelKind::k1555 ? _mm_and_si128(_mm_srai_epi16(v, 15), _mm_set1_epi16(0xFF00))
                                                     : _mm_set1_epi16(static_cast<short>(0xFF00));
        const __m128i gb8 = _mm_or_si128(_mm_slli_epi16(g8, 8), b8), ar8 = _mm_or_si128(a8, r8);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_unpacklo_epi16(gb8, ar8));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i + 4), _mm_unpackhi_epi16(gb8, ar8));
      }
    }
#endif
    for (; i < n; ++i) {
      uint16_t v;
      std::memcpy(&v, src + i * 2, 2);
      dst[i] = UnpackKind<kKind>(v);
    }
  }
}

}  // namespace

void UnpackRow(const PixelCode& f, const uint8_t* src, uint32_t* dst, int n) {
  switch (f.kind) {
    case PixelKind::k565: return UnpackRowOf<PixelKind::k565>(src, dst, n);
    case PixelKind::k555: return UnpackRowOf<PixelKind::k555>(src, dst, n);
    case PixelKind::k1555: return UnpackRowOf<PixelKind::k1555>(src, dst, n);
    case PixelKind::k4444: return UnpackRowOf<PixelKind::k4444>(src, dst, n);
    case PixelKind::kX888: return UnpackRowOf<PixelKind::kX888>(src, dst, n);
    case PixelKind::k8888: return UnpackRowOf<PixelKind::k8888>(src, dst, n);
    default:
      for (int i = 0; i < n; ++i) dst[i] = Unpack(f, LoadPixel(src + static_cast<size_t>(i) * f.bytes, f.bytes));
      return;
  }
}

}  // namespace plat::d3d
