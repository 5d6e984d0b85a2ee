// Internals of the stretched blit shared by its frame and its pixel groups: the per-call set-up
// record, the 16.16 walk over the clipped destination rectangle, the packed 5:6:5 and 8:8:8 pixel
// arithmetic, and the table that turns the four loop selectors into one template instance each.
// Only stretch_blit*.cpp include this file.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>  // memcpy for unaligned pixel access
#include <utility>
#if defined(__SSE2__)
#include <emmintrin.h>  // packed saturating byte subtraction
#endif

namespace orbel::stretch {

// ---- Set-up, fixed once per call ----------------------------------------------------------------

struct StretchSetup {
  // Destination: first pixel of the clipped rectangle.
  uint8_t* dst;
  ptrdiff_t dstPitch;     // bytes
  int32_t width;          // clipped width, pixels (> 0)
  int32_t height;         // clipped height, rows (> 0)
  // Source and blend image are addressed as origin + byte offset, so a mirrored walk never forms a
  // pointer outside its buffer.
  const uint8_t* src;     // first pixel of the source view
  ptrdiff_t srcStart;     // offset of the first pixel shown
  ptrdiff_t srcStepX;     // bytes a pixel, negated when mirrored left-right
  ptrdiff_t srcStepY;     // pitch, negated when mirrored top-bottom
  const uint8_t* blend;   // first pixel of the blend image, or null
  ptrdiff_t blendStart;
  ptrdiff_t blendStepX;
  ptrdiff_t blendStepY;
  // 16.16 stepping: destination pixels per source pixel, and the accumulators' start values.
  int64_t stepX;
  int64_t stepY;
  int64_t accX;           // start of every row
  int64_t accY;           // start of the first row
  // Loop selectors.
  bool hasBlend;
  bool brightWhite;
  bool srcAlpha;
  bool transFlag;
  bool mmx;
  int32_t param;          // blend parameter p, 0-255
  uint32_t transColor;
  // Table rows fixed for the call.
  const uint32_t* rowR;   // BlendProductTable rows of the brightness bytes
  const uint32_t* rowG;
  const uint32_t* rowB;
  const uint32_t* rowP;   // BlendProductTable row p
  const int32_t* signedP; // BlendSignedProductTable row p, entered at 0
  const uint8_t* weights; // BlendGraphWeightTable
  const uint8_t* palette; // palette block of a paletted source
};

// ---- Pixel access and arithmetic ----------------------------------------------------------------

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

inline int32_t Red565(uint32_t x) { return static_cast<int32_t>((x >> 11) & 31); }
inline int32_t Green565(uint32_t x) { return static_cast<int32_t>((x >> 5) & 63); }
inline int32_t Blue565(uint32_t x) { return static_cast<int32_t>(x & 31); }
inline uint32_t Pack565(int32_t r, int32_t g, int32_t b) {
  return static_cast<uint32_t>((r << 11) | (g << 5) | b);
}
inline int32_t Byte(uint32_t x, int shift) { return static_cast<int32_t>((x >> shift) & 0xFF); }
inline uint32_t Pack888(int32_t r, int32_t g, int32_t b) {
  return static_cast<uint32_t>((r << 16) | (g << 8) | b);
}
// Bytes 0-2 replaced, byte 3 of `d` kept.
inline uint32_t Keep3(uint32_t d, uint32_t rgb) { return (d & 0xFF000000u) | rgb; }

// Moves d toward x by k/256, k/65536 or k/16777216; the sums are never negative.
inline int32_t Mix8(int32_t d, int32_t x, int32_t k) { return (d * 256 + (x - d) * k) >> 8; }
inline int32_t Mix16(int32_t d, int32_t x, int32_t k) { return (d * 65536 + (x - d) * k) >> 16; }
// Products reach 255^4: computed in 64 bits.
inline int32_t Mix24(int32_t d, int32_t x, int64_t k) {
  return static_cast<int32_t>((static_cast<int64_t>(d) * 16777216 + (x - d) * k) >> 24);
}

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

// ---- The walk -------------------------------------------------------------------------------------

// A kernel supplies:
//   kFast       the walk of the loops that take the source unscaled (see below);
//   kDstBytes   2 or 4;
//   Source      what is fixed per source pixel;
//   bool Fetch(srcOffset, blendOffset, Source&)  false: the source pixel is not drawn;
//   void Put(uint8_t* dst, const Source&)        writes one destination pixel.
// Every destination pixel shows the source pixel under it; when the accumulator runs out the source
// moves on until the accumulator is above 0 again. NOTE: the fast loops stop moving on as soon as the
// accumulator reaches 0, so a shrink whose accumulator lands exactly on 0 shows the earlier source
// pixel; that is their documented stepping, not an error.
template <class Kernel>
inline void StretchWalk(const StretchSetup& s, const Kernel& k) {
  uint8_t* dstRow = s.dst;
  ptrdiff_t srcRow = s.srcStart;
  ptrdiff_t blendRow = s.blendStart;
  int64_t accY = s.accY;
  for (int32_t y = 0;;) {
    uint8_t* d = dstRow;
    ptrdiff_t so = srcRow;
    ptrdiff_t bo = blendRow;
    int64_t accX = s.accX;
    typename Kernel::Source px;
    bool draw = k.Fetch(so, bo, px);
    for (int32_t x = 0;;) {
      if (draw) k.Put(d, px);
      d += Kernel::kDstBytes;
      if (++x == s.width) break;
      accX -= 0x10000;
      if (accX <= 0) {
        do {
          so += s.srcStepX;
          bo += s.blendStepX;
          accX += s.stepX;
        } while (Kernel::kFast ? accX < 0 : accX <= 0);
        draw = k.Fetch(so, bo, px);
      }
    }
    if (++y == s.height) break;
    dstRow += s.dstPitch;
    accY -= 0x10000;
    if (accY <= 0) {
      do {
        srcRow += s.srcStepY;
        blendRow += s.blendStepY;
        accY += s.stepY;
      } while (Kernel::kFast ? accY < 0 : accY <= 0);
    }
  }
}

// ---- Selector dispatch ------------------------------------------------------------------------------

// Kernel<kBlend, kBright, kAlpha, kTrans>: kBright means the brightness is not white.
using StretchLoop = void (*)(const StretchSetup&);

template <class Kernel>
void RunKernel(const StretchSetup& s) {
  const Kernel k{s};
  StretchWalk(s, k);
}

template <template <bool, bool, bool, bool> class Kernel, size_t... I>
constexpr std::array<StretchLoop, sizeof...(I)> MakeLoopTable(std::index_sequence<I...>) {
  return {&RunKernel<Kernel<((I >> 3) & 1) != 0, ((I >> 2) & 1) != 0, ((I >> 1) & 1) != 0, (I & 1) != 0>>...};
}

// Runs the one loop of `Kernel` that the call's selectors pick.
template <template <bool, bool, bool, bool> class Kernel>
void RunSelected(const StretchSetup& s) {
  static constexpr auto table = MakeLoopTable<Kernel>(std::make_index_sequence<16>());
  const size_t index = (s.hasBlend ? 8u : 0u) | (s.brightWhite ? 0u : 4u) | (s.srcAlpha ? 2u : 0u) |
                       (s.transFlag ? 1u : 0u);
  table[index](s);
}

// ---- Reading a direct-colour source pixel -----------------------------------------------------------

// What every loop of a direct source knows about the source pixel it shows.
struct DirectTexel {
  uint32_t word;  // 16-bit colour (zero-extended) or the whole 32-bit word
  int32_t a;      // source alpha, alpha sources only
  int32_t w;      // blend weight, with a blend image only
  bool useA;      // the formula with a applies (false: a = 255 under TransFlag)
};

// Reads the source pixel (kBits 16: a 5:6:5 word, its alpha in byte 2; 32: a word, alpha in byte 3)
// and settles the transparency and alpha shortcuts. With alpha and TransFlag: a = 0 skips, a = 255
// takes the formula without a. Without alpha and with TransFlag the pixel value (16-bit zero-extended,
// or all 32 bits) is compared with the whole transparent colour.
template <int kBits, bool kBlend, bool kAlpha, bool kTrans>
inline bool ReadDirect(const StretchSetup& s, ptrdiff_t so, ptrdiff_t bo, DirectTexel& t) {
  const uint8_t* p = s.src + so;
  if constexpr (kBits == 16) {
    t.word = Load16(p);
    if constexpr (kAlpha) t.a = p[2];
  } else {
    t.word = Load32(p);
    if constexpr (kAlpha) t.a = static_cast<int32_t>(t.word >> 24);
  }
  if constexpr (kAlpha) {
    if constexpr (kTrans) {
      if (t.a == 0) return false;
      t.useA = t.a != 255;
    } else {
      t.useA = true;
    }
  } else {
    t.useA = false;
    if constexpr (kTrans) {
      if (t.word == s.transColor) return false;
    }
  }
  if constexpr (kBlend) t.w = s.weights[s.blend[bo]];
  return true;
}

// Whether the alpha formula applies, known at compile time except for alpha sources under TransFlag.
template <bool kAlpha, bool kTrans>
inline bool UsesAlpha(const DirectTexel& t) {
  if constexpr (!kAlpha) {
    return false;
  } else if constexpr (!kTrans) {
    return true;
  } else {
    return t.useA;
  }
}

// ---- Pixel groups (mode already checked against p by the frame; mode 1 at p = 255 arrives as 0) ----

void DrawStretchDirect16(const StretchSetup& s, int mode);  // modes 1, 2, 3, 4, 10
void DrawStretchDirect32(const StretchSetup& s, int mode);  // modes 1, 2, 3, 4, 10
void DrawStretchCopy16(const StretchSetup& s, int mode);    // modes 0, 11
void DrawStretchCopy32(const StretchSetup& s, int mode);    // modes 0, 11
void DrawStretchPalette16(const StretchSetup& s, int mode); // modes 0-4, 10, 11
void DrawStretchPalette32(const StretchSetup& s, int mode); // modes 0-4, 10, 11

}  // namespace orbel::stretch
