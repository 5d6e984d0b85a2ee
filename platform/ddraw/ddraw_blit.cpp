// Blt and BltFast: colour and depth fills, copies (row memmove when the layouts match and nothing
// stretches), nearest-pixel stretching, source colour keys (SSE2 compares eight 16-bit or four 32-bit
// pixels a step), the clipper, and conversion between RGB layouts on the slow road.
#include <algorithm>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/ddraw/ddraw_internal.h"
#include "platform/win/gdi/pixel_rows.h"

namespace plat::ddraw {
namespace {

// ---- Pixel access ---------------------------------------------------------------------------------

inline uint32_t Load(const uint8_t* p, int bytes) {
  switch (bytes) {
    case 1: return p[0];
    case 2: return static_cast<uint32_t>(p[0] | p[1] << 8);
    case 3: return static_cast<uint32_t>(p[0] | p[1] << 8 | p[2] << 16);
    default: {
      uint32_t v;
      std::memcpy(&v, p, 4);
      return v;
    }
  }
}

inline void Store(uint8_t* p, int bytes, uint32_t v) {
  switch (bytes) {
    case 1: p[0] = static_cast<uint8_t>(v); return;
    case 2: p[0] = static_cast<uint8_t>(v), p[1] = static_cast<uint8_t>(v >> 8); return;
    case 3:
      p[0] = static_cast<uint8_t>(v), p[1] = static_cast<uint8_t>(v >> 8), p[2] = static_cast<uint8_t>(v >> 16);
      return;
    default: std::memcpy(p, &v, 4); return;
  }
}

// A colour key reduced to the compared bits.
struct Key {
  uint32_t low;
  uint32_t high;
  uint32_t mask;
  bool Transparent(uint32_t v) const {
    const uint32_t m = v & mask;
    return m >= low && m <= high;
  }
};

// ---- Keyed rows -----------------------------------------------------------------------------------

void KeyedRow16(uint8_t* dst, const uint8_t* src, int n, const Key& key) {
  int i = 0;
  if (key.low == key.high) {
#if defined(__SSE2__)
    const __m128i k = _mm_set1_epi16(static_cast<short>(key.low));
    const __m128i m = _mm_set1_epi16(static_cast<short>(key.mask));
    for (; i + 8 <= n; i += 8) {
      const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i * 2));
      const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst + i * 2));
      const __m128i clear = _mm_cmpeq_epi16(_mm_and_si128(s, m), k);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i * 2),
                       _mm_or_si128(_mm_and_si128(clear, d), _mm_andnot_si128(clear, s)));
    }
#endif
  }
  for (; i < n; ++i) {
    uint16_t v;
    std::memcpy(&v, src + i * 2, 2);
    if (!key.Transparent(v)) std::memcpy(dst + i * 2, &v, 2);
  }
}

void KeyedRow32(uint8_t* dst, const uint8_t* src, int n, const Key& key) {
  int i = 0;
  if (key.low == key.high) {
#if defined(__SSE2__)
    const __m128i k = _mm_set1_epi32(static_cast<int>(key.low));
    const __m128i m = _mm_set1_epi32(static_cast<int>(key.mask));
    for (; i + 4 <= n; i += 4) {
      const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i * 4));
      const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst + i * 4));
      const __m128i clear = _mm_cmpeq_epi32(_mm_and_si128(s, m), k);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i * 4),
                       _mm_or_si128(_mm_and_si128(clear, d), _mm_andnot_si128(clear, s)));
    }
#endif
  }
  for (; i < n; ++i) {
    uint32_t v;
    std::memcpy(&v, src + i * 4, 4);
    if (!key.Transparent(v)) std::memcpy(dst + i * 4, &v, 4);
  }
}

void KeyedRow(uint8_t* dst, const uint8_t* src, int n, int bytes, const Key& key) {
  if (bytes == 2) return KeyedRow16(dst, src, n, key);
  if (bytes == 4) return KeyedRow32(dst, src, n, key);
  for (int i = 0; i < n; ++i) {
    const uint32_t v = Load(src + i * bytes, bytes);
    if (!key.Transparent(v)) Store(dst + i * bytes, bytes, v);
  }
}

// One row of nearest-pixel samples through a column map.
template <typename Pixel>
void StretchRow(uint8_t* dst, const uint8_t* src, const int* columns, int n) {
  for (int x = 0; x < n; ++x) {
    Pixel v;
    std::memcpy(&v, src + static_cast<size_t>(columns[x]) * sizeof(Pixel), sizeof(Pixel));
    std::memcpy(dst + static_cast<size_t>(x) * sizeof(Pixel), &v, sizeof(Pixel));
  }
}

// ---- Conversion between RGB layouts ---------------------------------------------------------------

struct Channel {
  uint32_t mask;
  unsigned shift;
  uint32_t max;
};

Channel MakeChannel(uint32_t mask) {
  if (mask == 0) return Channel{0, 0, 0};
  const unsigned shift = static_cast<unsigned>(__builtin_ctz(mask));
  return Channel{mask, shift, mask >> shift};
}

inline uint32_t Widen(uint32_t v, const Channel& c, uint32_t absent) {
  if (c.max == 0) return absent;
  return (((v & c.mask) >> c.shift) * 255 + c.max / 2) / c.max;
}

inline uint32_t Narrow(uint32_t c8, const Channel& c) {
  if (c.max == 0) return 0;
  return ((c8 * c.max + 127) / 255) << c.shift;
}

struct Converter {
  Channel from[4];
  Channel to[4];
  uint32_t operator()(uint32_t v) const {
    uint32_t out = 0;
    for (int i = 0; i < 4; ++i) out |= Narrow(Widen(v, from[i], i == 3 ? 255 : 0), to[i]);
    return out;
  }
};

Converter MakeConverter(const PixelLayout& from, const PixelLayout& to) {
  const DDPIXELFORMAT& a = from.format;
  const DDPIXELFORMAT& b = to.format;
  const uint32_t alphaA = (a.dwFlags & DDPF_ALPHAPIXELS) ? a.dwRGBAlphaBitMask : 0;
  const uint32_t alphaB = (b.dwFlags & DDPF_ALPHAPIXELS) ? b.dwRGBAlphaBitMask : 0;
  return Converter{{MakeChannel(a.dwRBitMask), MakeChannel(a.dwGBitMask), MakeChannel(a.dwBBitMask), MakeChannel(alphaA)},
                   {MakeChannel(b.dwRBitMask), MakeChannel(b.dwGBitMask), MakeChannel(b.dwBBitMask), MakeChannel(alphaB)}};
}

// ---- Rectangles -----------------------------------------------------------------------------------

bool Empty(const RECT& r) { return r.left >= r.right || r.top >= r.bottom; }

RECT Intersect(const RECT& a, const RECT& b) {
  return RECT{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
}

bool Inside(const RECT& r, const Surface& s) {
  return r.left >= 0 && r.top >= 0 && r.right <= s.width && r.bottom <= s.height && !Empty(r);
}

// Where a blit onto `s` may write: its clipper's window area (on a primary the client area on the
// desktop, elsewhere the client size at the origin), else the whole surface.
RECT ClipArea(const Surface& s) {
  RECT area = s.Bounds();
  if (s.clipper == nullptr || s.clipper->window == nullptr) return area;
  RECT client;
  if (!ClientOnDesktop(s.clipper->window, &client)) return RECT{0, 0, 0, 0};
  if (!s.IsPrimary()) client = RECT{0, 0, client.right - client.left, client.bottom - client.top};
  return Intersect(area, client);
}

}  // namespace

// ---- Kernels --------------------------------------------------------------------------------------

void FillRect(Surface& s, const RECT& r, uint32_t value) {
  const int bytes = s.layout.bytes;
  const int n = r.right - r.left;
  if (n <= 0 || r.bottom <= r.top) return;
  const size_t rowBytes = static_cast<size_t>(n) * bytes;
  uint8_t* first = s.Row(r.top) + static_cast<size_t>(r.left) * bytes;
  // Rows that run on into each other (the whole width of the surface) fill as one block.
  if (rowBytes == static_cast<size_t>(s.pitch)) {
    FillPixelRow(first, rowBytes * static_cast<size_t>(r.bottom - r.top), bytes, value);
    return;
  }
  for (int y = r.top; y < r.bottom; ++y, first += s.pitch) FillPixelRow(first, rowBytes, bytes, value);
}

void CopyRect(Surface& d, const RECT& dr, const RECT& clip, const Surface& s, const RECT& sr, const DDCOLORKEY* ck) {
  const int dw = dr.right - dr.left, dh = dr.bottom - dr.top;
  const int sw = sr.right - sr.left, sh = sr.bottom - sr.top;
  const int bytes = d.layout.bytes;
  const bool sameLayout = SameLayout(d.layout, s.layout);
  Key key{0, 0, 0};
  if (ck != nullptr) {
    key.mask = s.layout.keyMask;
    key.low = ck->dwColorSpaceLowValue & key.mask;
    key.high = ck->dwColorSpaceHighValue & key.mask;
  }
  const int n = clip.right - clip.left;
  if (n <= 0 || clip.bottom <= clip.top) return;

  // Unstretched copy of one layout: whole rows at memory speed.
  if (sameLayout && dw == sw && dh == sh) {
    const int sx = sr.left + (clip.left - dr.left);
    const int sy0 = sr.top + (clip.top - dr.top);
    // On one surface, a copy downwards must go bottom-up so rows are read before they are written.
    const bool upwards = &d == &s && sy0 < clip.top;
    for (int i = 0; i < clip.bottom - clip.top; ++i) {
      const int row = upwards ? clip.bottom - clip.top - 1 - i : i;
      uint8_t* dp = d.Row(clip.top + row) + static_cast<size_t>(clip.left) * bytes;
      const uint8_t* sp = s.Row(sy0 + row) + static_cast<size_t>(sx) * bytes;
      if (ck != nullptr) KeyedRow(dp, sp, n, bytes, key);
      else if (&d == &s) std::memmove(dp, sp, static_cast<size_t>(n) * bytes);  // rows may overlap
      else CopyPixelRow(dp, sp, static_cast<size_t>(n) * bytes);
    }
    return;
  }

  // Stretched or converted: pixel by pixel, from a copy of the source when both are one surface.
  std::vector<uint8_t> copy;
  const uint8_t* sbase = s.pixels;
  if (&d == &s) {
    copy.assign(s.pixels, s.pixels + s.byteSize);
    sbase = copy.data();
  }
  std::vector<int> columns(static_cast<size_t>(n));
  for (int x = 0; x < n; ++x)
    columns[x] = sr.left + static_cast<int>(static_cast<int64_t>(clip.left + x - dr.left) * sw / dw);
  const int sbytes = s.layout.bytes;
  // One layout, unkeyed, 2 or 4 bytes: the common scaled present. A repeated source row is copied
  // whole from the row made before it.
  if (sameLayout && ck == nullptr && (bytes == 2 || bytes == 4)) {
    int lastSy = -1;
    const uint8_t* lastRow = nullptr;
    for (int y = clip.top; y < clip.bottom; ++y) {
      const int sy = sr.top + static_cast<int>(static_cast<int64_t>(y - dr.top) * sh / dh);
      uint8_t* drow = d.Row(y) + static_cast<size_t>(clip.left) * bytes;
      if (sy == lastSy) {
        CopyPixelRow(drow, lastRow, static_cast<size_t>(n) * bytes);
        continue;
      }
      const uint8_t* srow = sbase + static_cast<size_t>(sy) * s.pitch;
      if (bytes == 2) StretchRow<uint16_t>(drow, srow, columns.data(), n);
      else StretchRow<uint32_t>(drow, srow, columns.data(), n);
      lastSy = sy;
      lastRow = drow;
    }
    return;
  }
  const Converter convert = MakeConverter(s.layout, d.layout);
  for (int y = clip.top; y < clip.bottom; ++y) {
    const int sy = sr.top + static_cast<int>(static_cast<int64_t>(y - dr.top) * sh / dh);
    const uint8_t* srow = sbase + static_cast<size_t>(sy) * s.pitch;
    uint8_t* drow = d.Row(y) + static_cast<size_t>(clip.left) * bytes;
    for (int x = 0; x < n; ++x) {
      uint32_t v = Load(srow + static_cast<size_t>(columns[x]) * sbytes, sbytes);
      if (ck != nullptr && key.Transparent(v)) continue;
      if (!sameLayout) v = convert(v);
      Store(drow + static_cast<size_t>(x) * bytes, bytes, v);
    }
  }
}

// ---- Blt ------------------------------------------------------------------------------------------

HRESULT Surface::Blt(RECT* destRect, IDirectDrawSurface7* source, RECT* sourceRect, DWORD flags, DDBLTFX* fx) {
  HRESULT forced;
  if (Faulted("Blt", flags, &forced)) return forced;
  if (lost) return DDERR_SURFACELOST;
  if (Busy()) return DDERR_SURFACEBUSY;
  const RECT dr = destRect != nullptr ? *destRect : Bounds();
  if (Empty(dr)) return DDERR_INVALIDRECT;
  const bool clipped = clipper != nullptr && clipper->window != nullptr;
  if (!clipped && !Inside(dr, *this)) return DDERR_INVALIDRECT;
  const RECT clip = clipped ? Intersect(dr, ClipArea(*this)) : dr;

  if (flags & (DDBLT_COLORFILL | DDBLT_DEPTHFILL)) {
    if (fx == nullptr) return DDERR_INVALIDPARAMS;
    if ((flags & DDBLT_DEPTHFILL) && !layout.depth) return DDERR_INVALIDPARAMS;
    if (!Empty(clip)) FillRect(*this, clip, fx->dwFillColor);
    if (IsPrimary() && !Empty(clip)) PresentPrimary(*this, clip);
    return DD_OK;
  }
  if ((flags & DDBLT_DDFX) && fx != nullptr && fx->dwDDFX != 0) return DDERR_UNSUPPORTED;
  if (flags & DDBLT_KEYDEST) return DDERR_UNSUPPORTED;

  auto* src = static_cast<Surface*>(source);
  if (src == nullptr) return DDERR_INVALIDPARAMS;
  if (src->lost) return DDERR_SURFACELOST;
  if (src != this && src->Busy()) return DDERR_SURFACEBUSY;
  const RECT sr = sourceRect != nullptr ? *sourceRect : src->Bounds();
  if (!Inside(sr, *src)) return DDERR_INVALIDRECT;
  if (!SameLayout(layout, src->layout) && (layout.paletted || layout.depth || src->layout.paletted || src->layout.depth))
    return DDERR_INVALIDPIXELFORMAT;

  DDCOLORKEY overrideKey;
  const DDCOLORKEY* key = nullptr;
  if (flags & DDBLT_KEYSRCOVERRIDE) {
    if (fx == nullptr) return DDERR_INVALIDPARAMS;
    overrideKey = fx->ddckSrcColorkey;
    key = &overrideKey;
  } else if (flags & DDBLT_KEYSRC) {
    if (!src->hasSourceKey) return DDERR_NOCOLORKEY;
    key = &src->sourceKey;
  }
  if (Empty(clip)) return DD_OK;
  CopyRect(*this, dr, clip, *src, sr, key);
  if (IsPrimary()) PresentPrimary(*this, clip);
  return DD_OK;
}

HRESULT Surface::BltFast(DWORD x, DWORD y, IDirectDrawSurface7* source, RECT* sourceRect, DWORD flags) {
  HRESULT forced;
  if (Faulted("BltFast", flags, &forced)) return forced;
  if (lost) return DDERR_SURFACELOST;
  if (Busy()) return DDERR_SURFACEBUSY;
  auto* src = static_cast<Surface*>(source);
  if (src == nullptr) return DDERR_INVALIDPARAMS;
  if (src->lost) return DDERR_SURFACELOST;
  if (src != this && src->Busy()) return DDERR_SURFACEBUSY;
  if (flags & DDBLTFAST_DESTCOLORKEY) return DDERR_UNSUPPORTED;
  const RECT sr = sourceRect != nullptr ? *sourceRect : src->Bounds();
  if (!Inside(sr, *src)) return DDERR_INVALIDRECT;
  if (x > static_cast<DWORD>(width) || y > static_cast<DWORD>(height)) return DDERR_INVALIDRECT;
  const RECT dr{static_cast<LONG>(x), static_cast<LONG>(y), static_cast<LONG>(x) + (sr.right - sr.left),
                static_cast<LONG>(y) + (sr.bottom - sr.top)};
  if (!Inside(dr, *this)) return DDERR_INVALIDRECT;
  if (!SameLayout(layout, src->layout) && (layout.paletted || layout.depth || src->layout.paletted || src->layout.depth))
    return DDERR_INVALIDPIXELFORMAT;
  // A source without a key copies every pixel, as the hardware does.
  const DDCOLORKEY* key = (flags & DDBLTFAST_SRCCOLORKEY) && src->hasSourceKey ? &src->sourceKey : nullptr;
  CopyRect(*this, dr, dr, *src, sr, key);
  if (IsPrimary()) PresentPrimary(*this, dr);
  return DD_OK;
}

}  // namespace plat::ddraw
