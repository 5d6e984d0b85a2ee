// ConvertImageColor: copies a pixel rectangle between any two image formats. The roads, tried in order:
// empty rectangle, palette remap, 8-bit destination, same format, colour key to alpha, fast shifting
// pairs for the screen and texture formats, and the general per-channel road (with dither).
// Depends on color_data (formats, nearest palette entry) and the core MMX flag. Allocates nothing.
// NOTE: the fast roads and the general road give deliberately different results when a channel widens
// (fast: zero low bits, 5-bit 31 -> 248; general: full range, 31 -> 255). Callers rely on both.
#include "orbel/image/color_convert.h"

#include <cstring>  // memcpy, memcmp

#include "orbel/core/system_report.h"  // GetMmxAvailableFlag

namespace orbel {

namespace {

int g_convertOption = 0;

const uint8_t kOrderedDither[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

inline uint32_t Shl(uint32_t v, unsigned n) { return n >= 32 ? 0 : v << n; }
inline uint32_t Shr(uint32_t v, unsigned n) { return n >= 32 ? 0 : v >> n; }
inline uint32_t WidthMax(unsigned w) { return w >= 32 ? 0xFFFFFFFFu : (1u << w) - 1; }

inline uint32_t Load(const uint8_t* p, unsigned bytes) {
  switch (bytes) {
    case 1: return p[0];
    case 2: return static_cast<uint32_t>(p[0] | (p[1] << 8));
    case 3: return static_cast<uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16));
    case 4: {
      uint32_t v;
      memcpy(&v, p, 4);
      return v;
    }
    default: return 0;
  }
}

inline void Store(uint8_t* p, unsigned bytes, uint32_t v) {
  switch (bytes) {
    case 1: p[0] = static_cast<uint8_t>(v); break;
    case 2: p[0] = static_cast<uint8_t>(v); p[1] = static_cast<uint8_t>(v >> 8); break;
    case 3: p[0] = static_cast<uint8_t>(v); p[1] = static_cast<uint8_t>(v >> 8); p[2] = static_cast<uint8_t>(v >> 16); break;
    case 4: memcpy(p, &v, 4); break;
    default: break;
  }
}

inline uint16_t Load16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline void Store16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline uint32_t Load24(const uint8_t* p) { return static_cast<uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16)); }
inline void Store24(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
}
inline uint32_t Load32(const uint8_t* p) {
  uint32_t v;
  memcpy(&v, p, 4);
  return v;
}
inline void Store32(uint8_t* p, uint32_t v) { memcpy(p, &v, 4); }

bool Masks(const ColorData* f, int depth, uint32_t r, uint32_t g, uint32_t b) {
  return f->bitDepth == depth && f->redMask == r && f->greenMask == g && f->blueMask == b;
}
bool IsR5G6B5(const ColorData* f) { return Masks(f, 16, 0xF800, 0x07E0, 0x001F) && f->alphaMask == 0; }
bool IsX1R5G5B5(const ColorData* f) { return Masks(f, 16, 0x7C00, 0x03E0, 0x001F) && f->alphaMask == 0; }
bool IsA1R5G5B5(const ColorData* f) { return Masks(f, 16, 0x7C00, 0x03E0, 0x001F) && f->alphaMask == 0x8000; }
bool IsR8G8B8(const ColorData* f) { return Masks(f, 24, 0xFF0000, 0xFF00, 0xFF) && f->alphaMask == 0; }
bool Is32Rgb(const ColorData* f) { return Masks(f, 32, 0xFF0000, 0xFF00, 0xFF); }
bool IsX8R8G8B8(const ColorData* f) { return Is32Rgb(f) && f->alphaMask == 0; }
bool IsA8R8G8B8(const ColorData* f) { return Is32Rgb(f) && f->alphaMask == 0xFF000000u; }
bool IsPalette(const ColorData* f) { return f->bytesPerPixel == 1; }

inline uint32_t PaletteRgb(const ColorData* f, uint8_t index) {
  const ColorPaletteEntry& e = f->palette[index];
  return static_cast<uint32_t>(e.red << 16 | e.green << 8 | e.blue);
}
inline uint32_t RgbTo565(uint32_t c) { return ((c >> 8) & 0xF800) | ((c >> 5) & 0x07E0) | ((c >> 3) & 0x001F); }
inline uint32_t RgbTo555(uint32_t c) { return ((c >> 9) & 0x7C00) | ((c >> 6) & 0x03E0) | ((c >> 3) & 0x001F); }
inline uint32_t R565ToRgb(uint32_t x) { return ((x & 0xF800) << 8) | ((x & 0x07E0) << 5) | ((x & 0x001F) << 3); }
inline uint32_t R565To555(uint32_t x) { return ((x & 0xFFC0) >> 1) | (x & 0x001F); }

// Everything a road needs, decided once per call.
struct Job {
  uint8_t* dst;
  ptrdiff_t dstPitch;
  const ColorData* d;
  const uint8_t* src;
  ptrdiff_t srcPitch;
  const ColorData* s;
  const uint8_t* alpha;
  ptrdiff_t alphaPitch;
  const ColorData* af;
  int destX, destY, left, top, width, height;
  bool mirror, transparent, colorClear, alphaFromRed, keySkip, useAlphaImage, alphaImageGiven;
  uint32_t transColor;
  int option;

  const uint8_t* SrcRow(int j) const { return src + (top + j) * srcPitch + static_cast<ptrdiff_t>(left) * s->bytesPerPixel; }
  const uint8_t* AlphaRow(int j) const { return alpha + (top + j) * alphaPitch + static_cast<ptrdiff_t>(left) * af->bytesPerPixel; }
  uint8_t* DstRow(int j) const { return dst + (destY + j) * dstPitch + static_cast<ptrdiff_t>(destX) * d->bytesPerPixel; }
  // Destination column of source column i (mirrored rows fill from their right end).
  int DstCol(int i) const { return mirror ? width - 1 - i : i; }
};

// Runs op(srcPixel, dstPixel) over the rectangle; sb/db are the pixel sizes.
template <typename Op>
inline void ForEachPixel(const Job& job, unsigned sb, unsigned db, Op op) {
  for (int j = 0; j < job.height; ++j) {
    const uint8_t* s = job.SrcRow(j);
    uint8_t* d = job.DstRow(j);
    for (int i = 0; i < job.width; ++i) op(s + static_cast<size_t>(i) * sb, d + static_cast<size_t>(job.DstCol(i)) * db);
  }
}

// ---- Palette roads ----------------------------------------------------------------------------------

int PaletteRemap(const Job& job) {
  int16_t map[256];
  for (int16_t& m : map) m = -1;
  ForEachPixel(job, 1, 1, [&](const uint8_t* s, uint8_t* d) {
    uint8_t i = s[0];
    if (map[i] < 0) {
      const ColorPaletteEntry& e = job.s->palette[i];
      map[i] = static_cast<int16_t>(GetFormatColorValue(job.d, e.red, e.green, e.blue, 0));
    }
    d[0] = static_cast<uint8_t>(map[i]);
  });
  return 0;
}

int ToPalette(const Job& job) {
  const ColorData* s = job.s;
  unsigned sb = s->bytesPerPixel;
  if (sb == 1) {
    if (!job.colorClear && !job.keySkip) {
      uint8_t largest = 0;
      for (int j = 0; j < job.height; ++j) {
        const uint8_t* sr = job.SrcRow(j);
        uint8_t* dr = job.DstRow(j);
        for (int i = 0; i < job.width; ++i) {
          if (sr[i] > largest) largest = sr[i];
        }
        if (!job.mirror) {
          memcpy(dr, sr, static_cast<size_t>(job.width));
        } else {
          for (int i = 0; i < job.width; ++i) dr[job.width - 1 - i] = sr[i];
        }
      }
      return largest;
    }
    return -2;  // goes on to the same-format road
  }
  if (sb < 2 || sb > 4) return 0;
  // Channels are widened to 0-255 before the nearest-entry search, which works in 0-255.
  uint32_t lastValue = 0;
  uint32_t lastIndex = 0;
  bool haveLast = false;
  for (int j = 0; j < job.height; ++j) {
    const uint8_t* sr = job.SrcRow(j);
    uint8_t* dr = job.DstRow(j);
    for (int i = 0; i < job.width; ++i) {
      uint32_t v = Load(sr + static_cast<size_t>(i) * sb, sb);
      if (!haveLast || v != lastValue) {
        int r, g, b, a;
        GetColorValueRGBA(s, v, &r, &g, &b, &a);
        lastIndex = GetFormatColorValue(job.d, r, g, b, a);
        lastValue = v;
        haveLast = true;
      }
      dr[i] = static_cast<uint8_t>(lastIndex);
    }
  }
  return 0;
}

// ---- Same format and colour key ---------------------------------------------------------------------

void SameFormat(const Job& job) {
  unsigned bytes = job.d->bytesPerPixel;
  size_t rowBytes = static_cast<size_t>(job.width) * bytes;
  if (!job.keySkip && !job.mirror) {
    for (int j = 0; j < job.height; ++j) memmove(job.DstRow(j), job.SrcRow(j), rowBytes);
    return;
  }
  uint32_t key = job.transColor & WidthMax(job.s->bitDepth);
  bool skip = job.keySkip;
  ForEachPixel(job, bytes, bytes, [=](const uint8_t* s, uint8_t* d) {
    if (skip && Load(s, bytes) == key) return;
    memcpy(d, s, bytes);
  });
}

void ColorKeyToAlpha(const Job& job) {
  const ColorData* d = job.d;
  unsigned bytes = d->bytesPerPixel;
  uint32_t key = GetFormatColorValue(d, (job.transColor >> 16) & 0xFF, (job.transColor >> 8) & 0xFF,
                                     job.transColor & 0xFF, 255);
  uint32_t colorBits = d->redMask | d->greenMask | d->blueMask;
  uint32_t alphaMask = d->alphaMask;
  if (bytes == 4) {
    uint32_t keyCmp = key | ~colorBits;
    ForEachPixel(job, 4, 4, [=](const uint8_t* s, uint8_t* p) {
      uint32_t v = Load32(s);
      Store32(p, (v | ~colorBits) == keyCmp ? (v & ~alphaMask) : (v | alphaMask));
    });
    return;
  }
  ForEachPixel(job, bytes, bytes, [=](const uint8_t* s, uint8_t* p) {
    uint32_t v = Load(s, bytes);
    Store(p, bytes, v == key ? (v & ~alphaMask) : (v | alphaMask));
  });
}

// ---- Fast roads -------------------------------------------------------------------------------------

// 5:6:5 <-> 5:5:5 by a fixed formula, four pixels per 64-bit step when the MMX flag is set (the
// results are identical either way).
template <uint64_t kKeep, int kShift, uint64_t kLow>
void Convert16Pairs(const Job& job) {
  bool wide = GetMmxAvailableFlag() != 0;
  for (int j = 0; j < job.height; ++j) {
    const uint8_t* s = job.SrcRow(j);
    uint8_t* d = job.DstRow(j);
    int i = 0;
    if (wide) {
      for (; i + 4 <= job.width; i += 4) {
        uint64_t x;
        memcpy(&x, s + i * 2, 8);
        x = (kShift > 0 ? (x & kKeep) << kShift : (x & kKeep) >> -kShift) | (x & kLow);
        memcpy(d + i * 2, &x, 8);
      }
    }
    for (; i < job.width; ++i) {
      uint32_t x = Load16(s + i * 2);
      x = (kShift > 0 ? (x & static_cast<uint32_t>(kKeep & 0xFFFF)) << kShift
                      : (x & static_cast<uint32_t>(kKeep & 0xFFFF)) >> -kShift) |
          (x & static_cast<uint32_t>(kLow & 0xFFFF));
      Store16(d + i * 2, x);
    }
  }
}

// A 0x00RRGGBB colour written to a fast-road destination; `keyed` marks the transparent colour.
enum class FastDest { R565, X555, Rgb32Full, A1555Keyed, A8888Keyed };

template <FastDest kDest>
inline void PutRgb(uint8_t* p, uint32_t c, bool keyed) {
  if constexpr (kDest == FastDest::R565) Store16(p, RgbTo565(c));
  if constexpr (kDest == FastDest::X555) Store16(p, RgbTo555(c));
  if constexpr (kDest == FastDest::Rgb32Full) Store32(p, c | 0xFF000000u);
  if constexpr (kDest == FastDest::A1555Keyed) Store16(p, RgbTo555(c) | (keyed ? 0 : 0x8000));
  if constexpr (kDest == FastDest::A8888Keyed) Store32(p, c | (keyed ? 0 : 0xFF000000u));
}

template <FastDest kDest>
void FromRgbSource(const Job& job, int srcKind /* 1 palette, 3 R8G8B8, 4 X8R8G8B8 */) {
  constexpr unsigned db = (kDest == FastDest::Rgb32Full || kDest == FastDest::A8888Keyed) ? 4 : 2;
  uint32_t key = job.transColor & 0x00FFFFFF;
  if (srcKind == 1) {
    const ColorData* s = job.s;
    ForEachPixel(job, 1, db, [=](const uint8_t* sp, uint8_t* dp) {
      uint32_t c = PaletteRgb(s, sp[0]);
      PutRgb<kDest>(dp, c, c == key);
    });
  } else if (srcKind == 3) {
    ForEachPixel(job, 3, db, [=](const uint8_t* sp, uint8_t* dp) {
      uint32_t c = Load24(sp);
      PutRgb<kDest>(dp, c, c == key);
    });
  } else {
    ForEachPixel(job, 4, db, [=](const uint8_t* sp, uint8_t* dp) {
      uint32_t c = Load32(sp) & 0x00FFFFFF;
      PutRgb<kDest>(dp, c, c == key);
    });
  }
}

// Tries the shifting fast roads; false when the pair has none.
bool FastRoad(const Job& job) {
  const ColorData* s = job.s;
  const ColorData* d = job.d;
  if (job.option != 0 || job.colorClear || job.alphaFromRed || job.mirror || job.alphaImageGiven ||
      job.keySkip || s->alphaWidth != 0) {
    return false;
  }
  int srcKind = IsPalette(s) ? 1 : IsR8G8B8(s) ? 3 : IsX8R8G8B8(s) ? 4 : IsR5G6B5(s) ? 5 : IsX1R5G5B5(s) ? 6 : 0;
  if (srcKind == 0) return false;
  if (!job.transparent) {
    if (srcKind == 1 || srcKind == 3 || srcKind == 4) {
      if (IsR5G6B5(d)) return FromRgbSource<FastDest::R565>(job, srcKind), true;
      if (srcKind == 4) return false;
      if (IsX1R5G5B5(d)) return FromRgbSource<FastDest::X555>(job, srcKind), true;
      if (srcKind == 1 ? IsX8R8G8B8(d) : Is32Rgb(d)) return FromRgbSource<FastDest::Rgb32Full>(job, srcKind), true;
      return false;
    }
    if (srcKind == 5) {
      if (IsR8G8B8(d)) {
        ForEachPixel(job, 2, 3, [](const uint8_t* sp, uint8_t* dp) { Store24(dp, R565ToRgb(Load16(sp))); });
        return true;
      }
      if (IsX8R8G8B8(d)) {
        ForEachPixel(job, 2, 4, [](const uint8_t* sp, uint8_t* dp) { Store32(dp, R565ToRgb(Load16(sp))); });
        return true;
      }
      if (IsX1R5G5B5(d)) return Convert16Pairs<0xFFC0FFC0FFC0FFC0ull, -1, 0x001F001F001F001Full>(job), true;
      return false;
    }
    if (IsR5G6B5(d)) return Convert16Pairs<0x7FE07FE07FE07FE0ull, 1, 0x003F003F003F003Full>(job), true;
    return false;
  }
  if (srcKind == 1 || srcKind == 3) {
    if (IsA1R5G5B5(d)) return FromRgbSource<FastDest::A1555Keyed>(job, srcKind), true;
    if (IsA8R8G8B8(d)) return FromRgbSource<FastDest::A8888Keyed>(job, srcKind), true;
    return false;
  }
  if (srcKind == 5 && IsA1R5G5B5(d)) {
    uint32_t key = RgbTo555(job.transColor);
    ForEachPixel(job, 2, 2, [=](const uint8_t* sp, uint8_t* dp) {
      uint32_t c = R565To555(Load16(sp));
      Store16(dp, c | (c == key ? 0 : 0x8000));
    });
    return true;
  }
  return false;
}

// ---- General road -----------------------------------------------------------------------------------

// How one channel moves from its source width to its destination width.
struct ChannelMove {
  uint32_t mask;       // source mask
  unsigned shift;      // source shift
  unsigned srcWidth;
  unsigned dstWidth;
  unsigned dstShift;
  uint32_t dstMax;     // 2^dstWidth - 1
  unsigned drop;       // bits dropped when narrowing
  uint32_t dropMask;
  unsigned widen;      // bits added when widening
  uint32_t srcMax;     // 2^srcWidth - 1

  void Set(uint32_t m, unsigned sh, unsigned sw, unsigned dw, unsigned dsh) {
    mask = m;
    shift = sh;
    srcWidth = sw;
    dstWidth = dw;
    dstShift = dsh;
    dstMax = WidthMax(dw);
    drop = sw > dw ? sw - dw : 0;
    dropMask = WidthMax(drop);
    widen = dw > sw ? dw - sw : 0;
    srcMax = WidthMax(sw);
  }

  // Moves a raw channel value; `dropped` receives the bits narrowing removed.
  uint32_t Move(uint32_t v, uint32_t* dropped) const {
    *dropped = 0;
    if (drop != 0) {
      *dropped = v & dropMask;
      return Shr(v, drop);
    }
    if (widen != 0) {
      if (srcWidth == 0) return 0;  // an absent source channel stays 0
      uint64_t add = static_cast<uint64_t>(v) * WidthMax(widen) / srcMax;
      return Shl(v, widen) + static_cast<uint32_t>(add);
    }
    return v;
  }
};

struct Carry {
  uint32_t acc[4] = {0, 0, 0, 0};
};

// Applies the dither option to a narrowed channel, then clamps it to its width.
inline uint32_t Dither(const Job& job, const ChannelMove& m, uint32_t v, uint32_t dropped, int i, int j,
                       uint32_t* acc) {
  if (m.drop != 0) {
    if (job.option == kConvertOrderedDither) {
      uint64_t threshold = (static_cast<uint64_t>(kOrderedDither[j & 3][i & 3]) << m.drop) >> 4;
      if (dropped > threshold) ++v;
    } else if (job.option == kConvertCarriedDither) {
      *acc += dropped;
      if (*acc > m.dropMask) ++v;
      *acc &= m.dropMask;
    }
  }
  return v > m.dstMax ? m.dstMax : v;
}

void GeneralRoad(const Job& job) {
  const ColorData* s = job.s;
  const ColorData* d = job.d;
  unsigned sb = s->bytesPerPixel, db = d->bytesPerPixel;
  if (sb < 1 || sb > 4 || db < 1 || db > 4) return;
  ChannelMove red, green, blue, alpha;
  red.Set(s->redMask, s->redShift, s->redWidth, d->redWidth, d->redShift);
  green.Set(s->greenMask, s->greenShift, s->greenWidth, d->greenWidth, d->greenShift);
  blue.Set(s->blueMask, s->blueShift, s->blueWidth, d->blueWidth, d->blueShift);
  bool destAlpha = d->alphaWidth != 0;
  bool srcAlpha = s->alphaWidth != 0;
  if (job.useAlphaImage) {
    alpha.Set(job.af->redMask, job.af->redShift, job.af->redWidth, d->alphaWidth, d->alphaShift);
  } else {
    alpha.Set(s->alphaMask, s->alphaShift, s->alphaWidth, d->alphaWidth, d->alphaShift);
  }
  bool alphaFromPalette = job.useAlphaImage && job.af->bytesPerPixel == 1;
  unsigned ab = job.useAlphaImage ? job.af->bytesPerPixel : 0;
  if (job.useAlphaImage && (ab < 1 || ab > 4)) return;
  uint32_t fullAlpha = d->alphaMask;
  uint32_t colorBits = d->redMask | d->greenMask | d->blueMask;
  uint32_t transKey = GetFormatColorValue(d, (job.transColor >> 16) & 0xFF, (job.transColor >> 8) & 0xFF,
                                          job.transColor & 0xFF, 255) & colorBits;
  uint32_t skipKey = job.transColor & WidthMax(s->bitDepth);
  uint32_t none = (db == 2 || db == 4) ? d->noneMask : 0;
  Carry carry;

  for (int j = 0; j < job.height; ++j) {
    const uint8_t* sr = job.SrcRow(j);
    const uint8_t* ar = job.useAlphaImage ? job.AlphaRow(j) : nullptr;
    uint8_t* dr = job.DstRow(j);
    for (int i = 0; i < job.width; ++i) {
      uint32_t raw = Load(sr + static_cast<size_t>(i) * sb, sb);
      if (job.keySkip && raw == skipKey) continue;
      uint32_t value = sb == 1 ? PaletteRgb(s, static_cast<uint8_t>(raw)) : raw;
      uint32_t dropped;
      uint32_t r = red.Move(Shr(value & red.mask, red.shift), &dropped);
      r = Dither(job, red, r, dropped, i, j, &carry.acc[0]);
      uint32_t g = green.Move(Shr(value & green.mask, green.shift), &dropped);
      g = Dither(job, green, g, dropped, i, j, &carry.acc[1]);
      uint32_t b = blue.Move(Shr(value & blue.mask, blue.shift), &dropped);
      b = Dither(job, blue, b, dropped, i, j, &carry.acc[2]);
      uint32_t out = 0;
      if (destAlpha) {
        if (job.alphaFromRed) {
          out = Shl(r, d->alphaShift) & d->alphaMask;
        } else if (job.useAlphaImage || srcAlpha) {
          uint32_t a;
          if (job.useAlphaImage) {
            uint32_t av = Load(ar + static_cast<size_t>(i) * ab, ab);
            if (alphaFromPalette) av = PaletteRgb(job.af, static_cast<uint8_t>(av));
            a = Shr(av & alpha.mask, alpha.shift);
          } else {
            a = Shr(value & alpha.mask, alpha.shift);
          }
          a = alpha.Move(a, &dropped);
          a = Dither(job, alpha, a, dropped, i, j, &carry.acc[3]);
          out = Shl(a, d->alphaShift) & d->alphaMask;
        } else {
          out = fullAlpha;
        }
      }
      if (job.colorClear) r = g = b = 0;
      out |= (Shl(r, red.dstShift) & d->redMask) | (Shl(g, green.dstShift) & d->greenMask) |
             (Shl(b, blue.dstShift) & d->blueMask);
      if (job.transparent) {
        out = (out & colorBits) == transKey ? (out & ~d->alphaMask) : (out | d->alphaMask);
      }
      Store(dr + static_cast<size_t>(job.DstCol(i)) * db, db, out | none);
    }
  }
}

}  // namespace

// ---- Public -----------------------------------------------------------------------------------------

int GetImageConvertOption() { return g_convertOption; }
void SetImageConvertOption(int option) { g_convertOption = option; }

int ConvertImageColor(void* destPixels, int destPitch, const ColorData* destFormat, const void* srcPixels,
                      int srcPitch, const ColorData* srcFormat, const void* alphaPixels, int alphaPitch,
                      const ColorData* alphaFormat, int destX, int destY, const plat::RECT* srcRect, int mirror,
                      int transparent, uint32_t transColor, int convertOption, int colorClear, int alphaFromRed,
                      int keySkip, int paletteRemap) {
  int width = srcRect->right - srcRect->left;
  int height = srcRect->bottom - srcRect->top;
  if (width <= 0 || height <= 0) return -1;

  Job job{};
  job.dst = static_cast<uint8_t*>(destPixels);
  job.dstPitch = destPitch;
  job.d = destFormat;
  job.src = static_cast<const uint8_t*>(srcPixels);
  job.srcPitch = srcPitch;
  job.s = srcFormat;
  job.alpha = static_cast<const uint8_t*>(alphaPixels);
  job.alphaPitch = alphaPitch;
  job.af = alphaFormat;
  job.destX = destX;
  job.destY = destY;
  job.left = srcRect->left;
  job.top = srcRect->top;
  job.width = width;
  job.height = height;
  job.mirror = mirror == 1;
  job.transColor = transColor;
  job.option = convertOption;
  job.colorClear = colorClear == 1;
  job.alphaFromRed = alphaFromRed == 1;

  bool destAlpha = destFormat->alphaWidth != 0;
  bool srcAlpha = srcFormat->alphaWidth != 0;
  job.alphaImageGiven = alphaPixels != nullptr && alphaFormat != nullptr;
  job.useAlphaImage = destAlpha && job.alphaImageGiven && !srcAlpha;
  bool alphaSource = job.alphaImageGiven || srcAlpha;
  job.transparent = transparent == 1 && destAlpha && !alphaSource && !job.alphaFromRed;
  job.keySkip = keySkip == 1 && !alphaSource && !job.mirror;

  unsigned sb = srcFormat->bytesPerPixel, db = destFormat->bytesPerPixel;
  if (paletteRemap == 1 && sb == 1 && db == 1 &&
      memcmp(srcFormat->palette, destFormat->palette, sizeof(srcFormat->palette)) != 0) {
    return PaletteRemap(job);
  }
  if (db == 1) {
    int r = ToPalette(job);
    if (r != -2) return r;
  }
  if (!job.transparent && !job.useAlphaImage && !job.colorClear && !job.alphaFromRed &&
      srcFormat->bitDepth == destFormat->bitDepth && srcFormat->redMask == destFormat->redMask &&
      srcFormat->greenMask == destFormat->greenMask && srcFormat->blueMask == destFormat->blueMask &&
      srcFormat->alphaMask == destFormat->alphaMask) {
    if (db >= 1 && db <= 4) SameFormat(job);
    return 0;
  }
  if (!job.keySkip) {
    if (destAlpha && job.transparent && !job.colorClear && !job.alphaFromRed &&
        srcFormat->bitDepth == destFormat->bitDepth && srcFormat->redMask == destFormat->redMask &&
        srcFormat->greenMask == destFormat->greenMask && srcFormat->blueMask == destFormat->blueMask) {
      if (db >= 1 && db <= 4) ColorKeyToAlpha(job);
      return 0;
    }
    if (FastRoad(job)) return 0;
  }
  GeneralRoad(job);
  return 0;
}

}  // namespace orbel
