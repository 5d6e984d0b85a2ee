// Internals of the stretched blit shared by its frame and its pixel groups: the per-call set-up
// record, the 16.16 walk over the clipped destination rectangle, the packed 5:6:5 and 8:8:8 pixel
// arithmetic, and the table that turns the four loop selectors into one template instance each.
// Only stretch_blit*.cpp include this file.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "orbel/softrender/packed_pixels.h"
#include "orbel/softrender/stretch_blit.h"

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

using pixel::Load16;
using pixel::Load32;
using pixel::PackedAdd565;
using pixel::PackedAdd888;
using pixel::PackedSub565;
using pixel::PackedSub888;
using pixel::SatSubBytes;
using pixel::Store16;
using pixel::Store32;

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

// ---- Pixel kinds ---------------------------------------------------------------------------------

// The three colour fields of a pixel: 5:6:5 fields, or bytes 2, 1 and 0 of a 32-bit word.
struct Fields {
  int32_t r;
  int32_t g;
  int32_t b;
};

// What the loops of one pixel size need: access, the fields and their widths, joining fields back
// over a destination word, the packed add and subtract, and the move of a field toward x by p alone.
// 5:6:5 moves through the signed product row (p x / 255 toward zero), 32-bit by (d 256 + (x - d) p)
// >> 8: the two sizes round differently, and both roundings are kept.
struct Kind565 {
  static constexpr int kBytes = 2;
  static constexpr int kRedBits = 5;
  static constexpr int kGreenBits = 6;
  static constexpr int kBlueBits = 5;
  static constexpr uint32_t kValueMask = 0xFFFF;
  static uint32_t Load(const uint8_t* p) { return Load16(p); }
  static void Store(uint8_t* p, uint32_t v) { Store16(p, v); }
  static Fields Split(uint32_t w) { return {Red565(w), Green565(w), Blue565(w)}; }
  static uint32_t Join(uint32_t, const Fields& f) { return Pack565(f.r, f.g, f.b); }
  static uint32_t Add(uint32_t d, uint32_t v) { return PackedAdd565(d, v); }
  static uint32_t Sub(uint32_t d, uint32_t v) { return PackedSub565(d, v); }
  static int32_t MoveByP(const StretchSetup& s, int32_t d, int32_t x) { return d + s.signedP[x - d]; }
};

// 32-bit: Join keeps byte 3 of the destination.
struct Kind888 {
  static constexpr int kBytes = 4;
  static constexpr int kRedBits = 8;
  static constexpr int kGreenBits = 8;
  static constexpr int kBlueBits = 8;
  static constexpr uint32_t kValueMask = 0xFFFFFFFFu;
  static uint32_t Load(const uint8_t* p) { return Load32(p); }
  static void Store(uint8_t* p, uint32_t v) { Store32(p, v); }
  static Fields Split(uint32_t w) { return {Byte(w, 16), Byte(w, 8), Byte(w, 0)}; }
  static uint32_t Join(uint32_t d, const Fields& f) { return Keep3(d, Pack888(f.r, f.g, f.b)); }
  static uint32_t Add(uint32_t d, uint32_t v) { return PackedAdd888(d, v); }
  static uint32_t Sub(uint32_t d, uint32_t v) { return PackedSub888(d, v); }
  static int32_t MoveByP(const StretchSetup& s, int32_t d, int32_t x) { return Mix8(d, x, s.param); }
};

// Each field's complement within its width (mode 10).
template <class Px>
inline Fields Invert(const Fields& f) {
  return {((1 << Px::kRedBits) - 1) - f.r, ((1 << Px::kGreenBits) - 1) - f.g, ((1 << Px::kBlueBits) - 1) - f.b};
}

// The fields under the brightness (product-table rows of the brightness bytes).
template <bool kBright>
inline Fields Brighten(const StretchSetup& s, const Fields& f) {
  if constexpr (kBright) {
    return {static_cast<int32_t>(s.rowR[f.r]), static_cast<int32_t>(s.rowG[f.g]), static_cast<int32_t>(s.rowB[f.b])};
  } else {
    return f;
  }
}

// fn(d_c, x_c, n) on each field of the destination word d and of x (n: the field width in bits),
// joined back over d.
template <class Px, class Fn>
inline uint32_t MapFields(uint32_t d, const Fields& x, Fn fn) {
  const Fields df = Px::Split(d);
  return Px::Join(d, {fn(df.r, x.r, Px::kRedBits), fn(df.g, x.g, Px::kGreenBits), fn(df.b, x.b, Px::kBlueBits)});
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

// Runs the one loop of `Kernel` that the call's selectors pick. NOTE: give each kernel template a name
// of its own across the stretch_blit_*.cpp files, even inside anonymous namespaces: g++ 12 does not make
// the mangled name of a template template argument unique to its file, so two same-named kernels give
// RunSelected instantiations of one name, the linker keeps one, and one file runs the other's loops
// (the golden scenes caught it).
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

// ---- The full-strength subtract ----------------------------------------------------------------------

// Subtract at p = 255, white brightness, no blend image and no alpha: the source value itself (a
// direct pixel, or a paletted pixel's entry from ScratchPalette), byte by byte with saturation over
// all four bytes (32-bit with the MMX flag set) or by the packed subtract. A fast loop.
template <class Px, bool kPalette, bool kMmx>
struct FullSubtract {
  template <bool kBlend, bool kBright, bool kAlpha, bool kTrans>
  struct Kernel {
    static constexpr bool kFast = true;
    static constexpr int kDstBytes = Px::kBytes;
    struct Source {
      uint32_t v;
    };
    const StretchSetup& s;

    bool Fetch(ptrdiff_t so, ptrdiff_t, Source& out) const {
      if constexpr (kPalette) {
        const uint32_t index = s.src[so];
        if (kTrans && index == s.transColor) return false;
        out.v = Px::Load(reinterpret_cast<const uint8_t*>(ScratchPalette) + index * Px::kBytes);
        return true;
      } else {
        out.v = Px::Load(s.src + so);
        return !(kTrans && out.v == s.transColor);
      }
    }
    void Put(uint8_t* dst, const Source& src) const {
      const uint32_t d = Px::Load(dst);
      Px::Store(dst, kMmx ? SatSubBytes(d, src.v) : Px::Sub(d, src.v));
    }
  };
};

template <class Px, bool kPalette>
void RunFullSubtract(const StretchSetup& s) {
  if constexpr (Px::kBytes == 4) {
    if (s.mmx) {
      RunSelected<FullSubtract<Px, kPalette, true>::template Kernel>(s);
      return;
    }
  }
  RunSelected<FullSubtract<Px, kPalette, false>::template Kernel>(s);
}

// ---- Pixel groups (mode already checked against p by the frame; mode 1 at p = 255 arrives as 0) ----

template <class Px>
void DrawStretchDirect(const StretchSetup& s, int mode);   // modes 0-4, 10, 11
// Mode 0 without blend image, brightness or source alpha, a row at a time (stretch_blit_copy.cpp).
template <class Px>
void DrawStretchCopyRows(const StretchSetup& s);
template <class Px>
void DrawStretchPalette(const StretchSetup& s, int mode);  // modes 0-4, 10, 11

}  // namespace orbel::stretch
