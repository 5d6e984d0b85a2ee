// Stretched-blit pixel loops of paletted sources on 16-bit (5:6:5) images: one index byte a source
// pixel into a palette of 5:6:5 colours, in every drawn mode (0-4, 10, 11). The transparency test
// compares the index byte, never the colour. Copy at white brightness without a blend image and the
// full-strength subtract walk as fast loops.
#include "orbel/softrender/stretch_blit.h"
#include "orbel/softrender/stretch_blit_walk.h"

namespace orbel::stretch {
namespace {

// The palette colour of a source pixel with its fields under the brightness, and the blend weight.
struct PalTexel {
  uint32_t color;  // palette entry (inverted for mode 10)
  int32_t r;       // s'_c fields
  int32_t g;
  int32_t b;
  int32_t w;
};

template <bool kBlend, bool kBright, bool kTrans, bool kInvert>
inline bool ReadPalette16(const StretchSetup& s, ptrdiff_t so, ptrdiff_t bo, PalTexel& t) {
  const uint32_t index = s.src[so];
  if (kTrans && index == s.transColor) return false;
  uint32_t color = Load16(s.palette + index * 2);
  if constexpr (kInvert) color = ~color & 0xFFFF;
  t.color = color;
  if constexpr (kBright) {
    t.r = static_cast<int32_t>(s.rowR[Red565(color)]);
    t.g = static_cast<int32_t>(s.rowG[Green565(color)]);
    t.b = static_cast<int32_t>(s.rowB[Blue565(color)]);
  } else {
    t.r = Red565(color);
    t.g = Green565(color);
    t.b = Blue565(color);
  }
  if constexpr (kBlend) t.w = s.weights[s.blend[bo]];
  return true;
}

// ---- Modes 0, 1, 10, 11: move d toward a target --------------------------------------------------
// Mode 0: s' (with a blend image mix8 by w). Modes 1 and 10: d + T(x - d), or mix16 by w p; mode 10's
// target is the inverted colour. Mode 11's target is m = (s' d) >> n.

enum class Target { kCopy, kAlpha, kInvert, kMultiply };

template <Target kTarget>
struct Move16 {
  template <bool kBlend, bool kBright, bool kAlpha, bool kTrans>
  struct Kernel {
    static constexpr bool kFast = kTarget == Target::kCopy && !kBlend && !kBright;
    static constexpr int kDstBytes = 2;
    using Source = PalTexel;
    const StretchSetup& s;

    bool Fetch(ptrdiff_t so, ptrdiff_t bo, Source& out) const {
      if (!ReadPalette16<kBlend, kBright, kTrans, kTarget == Target::kInvert>(s, so, bo, out)) return false;
      if constexpr (kBlend && kTarget != Target::kCopy) out.w *= s.param;
      return true;
    }

    int32_t Channel(int32_t d, int32_t x, int32_t n, const Source& src) const {
      if constexpr (kTarget == Target::kMultiply) x = (x * d) >> n;
      if constexpr (kTarget == Target::kCopy) {
        return Mix8(d, x, src.w);
      } else if constexpr (kBlend) {
        return Mix16(d, x, src.w);
      } else {
        return d + s.signedP[x - d];
      }
    }

    void Put(uint8_t* dst, const Source& src) const {
      if constexpr (kTarget == Target::kCopy && !kBlend) {
        Store16(dst, kBright ? Pack565(src.r, src.g, src.b) : src.color);
      } else {
        const uint32_t d = Load16(dst);
        Store16(dst, Pack565(Channel(Red565(d), src.r, 5, src), Channel(Green565(d), src.g, 6, src),
                             Channel(Blue565(d), src.b, 5, src)));
      }
    }
  };
};

// ---- Modes 2 (add) and 3 (subtract) -----------------------------------------------------------------
// v_c = P(s'_c), or P((s'_c w) >> 8) with a blend image.

template <bool kSubtract>
struct AddSubPal16 {
  template <bool kBlend, bool kBright, bool kAlpha, bool kTrans>
  struct Kernel {
    static constexpr bool kFast = false;
    static constexpr int kDstBytes = 2;
    struct Source {
      uint32_t v;
    };
    const StretchSetup& s;

    int32_t Scaled(int32_t x, const PalTexel& t) const {
      if constexpr (kBlend) x = (x * t.w) >> 8;
      return static_cast<int32_t>(s.rowP[x]);
    }

    bool Fetch(ptrdiff_t so, ptrdiff_t bo, Source& out) const {
      PalTexel t;
      if (!ReadPalette16<kBlend, kBright, kTrans, false>(s, so, bo, t)) return false;
      out.v = Pack565(Scaled(t.r, t), Scaled(t.g, t), Scaled(t.b, t));
      return true;
    }

    void Put(uint8_t* dst, const Source& src) const {
      const uint32_t d = Load16(dst);
      Store16(dst, kSubtract ? PackedSub565(d, src.v) : PackedAdd565(d, src.v));
    }
  };
};

// Subtract at p = 255, white brightness and no blend image: the entry from ScratchPalette, unscaled.
template <bool kBlend, bool kBright, bool kAlpha, bool kTrans>
struct FullSubtractPal16 {
  static constexpr bool kFast = true;
  static constexpr int kDstBytes = 2;
  struct Source {
    uint32_t v;
  };
  const StretchSetup& s;

  bool Fetch(ptrdiff_t so, ptrdiff_t, Source& out) const {
    const uint32_t index = s.src[so];
    if (kTrans && index == s.transColor) return false;
    out.v = Load16(reinterpret_cast<const uint8_t*>(ScratchPalette) + index * 2);
    return true;
  }
  void Put(uint8_t* dst, const Source& src) const { Store16(dst, PackedSub565(Load16(dst), src.v)); }
};

// ---- Mode 4 (multiply) --------------------------------------------------------------------------------
// (s' d) >> n, or (s' d w) >> (n + 8): a weight of 0 gives black.

template <bool kBlend, bool kBright, bool kAlpha, bool kTrans>
struct MultiplyPal16 {
  static constexpr bool kFast = false;
  static constexpr int kDstBytes = 2;
  using Source = PalTexel;
  const StretchSetup& s;

  bool Fetch(ptrdiff_t so, ptrdiff_t bo, Source& out) const {
    return ReadPalette16<kBlend, kBright, kTrans, false>(s, so, bo, out);
  }
  static int32_t Channel(int32_t d, int32_t x, int32_t n, const Source& src) {
    if constexpr (kBlend) return (x * d * src.w) >> (n + 8);
    return (x * d) >> n;
  }
  void Put(uint8_t* dst, const Source& src) const {
    const uint32_t d = Load16(dst);
    Store16(dst, Pack565(Channel(Red565(d), src.r, 5, src), Channel(Green565(d), src.g, 6, src),
                         Channel(Blue565(d), src.b, 5, src)));
  }
};

}  // namespace

void DrawStretchPalette16(const StretchSetup& s, int mode) {
  switch (mode) {
    case 0:
      RunSelected<Move16<Target::kCopy>::Kernel>(s);
      break;
    case 1:
      RunSelected<Move16<Target::kAlpha>::Kernel>(s);
      break;
    case 10:
      RunSelected<Move16<Target::kInvert>::Kernel>(s);
      break;
    case 11:
      RunSelected<Move16<Target::kMultiply>::Kernel>(s);
      break;
    case 2:
      RunSelected<AddSubPal16<false>::Kernel>(s);
      break;
    case 3:
      if (s.param == 255 && !s.hasBlend && s.brightWhite) {
        RunSelected<FullSubtractPal16>(s);
      } else {
        RunSelected<AddSubPal16<true>::Kernel>(s);
      }
      break;
    case 4:
      RunSelected<MultiplyPal16>(s);
      break;
    default:
      break;
  }
}

}  // namespace orbel::stretch
