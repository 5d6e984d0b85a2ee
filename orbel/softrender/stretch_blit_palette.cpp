// Stretched-blit pixel loops of paletted sources: one index byte a source pixel into a palette of
// 5:6:5 colours (16-bit images) or 32-bit words, in every drawn mode (0-4, 10, 11). The transparency
// test compares the index byte, never the colour. On 32-bit images only the plain copy (the whole
// entry), add (carry out of red), the packed subtract (0) and the full-strength MMX subtract write
// byte 3; every other loop keeps it. Copy at white brightness without a blend image and the
// full-strength subtract walk as fast loops.
#include "orbel/graphics/draw_state.h"
#include "orbel/softrender/stretch_blit_walk.h"

namespace orbel::stretch {
namespace {

// The palette entry of a source pixel, its fields under the brightness (inverted first for mode 10),
// and the blend weight.
struct PalTexel {
  uint32_t entry;  // the palette entry as stored
  Fields x;
  int32_t w;
};

template <class Px, bool kBlend, bool kBright, bool kTrans, bool kInvert>
inline bool ReadPaletteTexel(const StretchSetup& s, ptrdiff_t so, ptrdiff_t bo, PalTexel& t) {
  const uint32_t index = s.src[so];
  if (kTrans && index == s.transColor) return false;
  t.entry = Px::Load(s.palette + index * Px::kBytes);
  Fields f = Px::Split(t.entry);
  if constexpr (kInvert) f = Invert<Px>(f);
  t.x = Brighten<kBright>(s, f);
  if constexpr (kBlend) t.w = s.weights[s.blend[bo]];
  return true;
}

// ---- Modes 0, 1, 10, 11: move d toward a target --------------------------------------------------
// Mode 0: x (with a blend image mix8 by w). Modes 1 and 10: the move by p, or mix16 by w p with a
// blend image; mode 10's target is the inverted colour. Mode 11's target is m = (x d) >> n. At 32
// bits modes 10 and 11 at p = 255 stop 1/256 short of the target.

enum class Target { kCopy, kAlpha, kInvert, kMultiply };

template <class Px, Target kTarget>
struct MovePal {
  template <bool kBlend, bool kBright, bool kAlpha, bool kTrans>
  struct Kernel {
    static constexpr bool kFast = kTarget == Target::kCopy && !kBlend && !kBright;
    static constexpr int kDstBytes = Px::kBytes;
    using Source = PalTexel;
    const StretchSetup& s;

    bool Fetch(ptrdiff_t so, ptrdiff_t bo, Source& out) const {
      if (!ReadPaletteTexel<Px, kBlend, kBright, kTrans, kTarget == Target::kInvert>(s, so, bo, out)) return false;
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
        return Px::MoveByP(s, d, x);
      }
    }

    void Put(uint8_t* dst, const Source& src) const {
      if constexpr (kTarget == Target::kCopy && !kBlend) {
        Px::Store(dst, kBright ? Px::Join(Px::Load(dst), src.x) : src.entry);
      } else {
        Px::Store(dst, MapFields<Px>(Px::Load(dst), src.x,
                                     [&](int32_t d, int32_t x, int32_t n) { return Channel(d, x, n, src); }));
      }
    }
  };
};

// ---- Modes 2 (add) and 3 (subtract) -----------------------------------------------------------------
// v_c = P(p, x_c); with a blend image P(p, (x_c w) >> 8) at 16 bits, (x_c w p) >> 16 at 32 bits.

template <class Px, bool kSubtract>
struct AddSubPal {
  template <bool kBlend, bool kBright, bool kAlpha, bool kTrans>
  struct Kernel {
    static constexpr bool kFast = false;
    static constexpr int kDstBytes = Px::kBytes;
    struct Source {
      uint32_t v;
    };
    const StretchSetup& s;

    int32_t Scaled(int32_t x, int32_t w) const {
      if constexpr (kBlend && Px::kBytes == 4) return (x * (w * s.param)) >> 16;
      if constexpr (kBlend && Px::kBytes == 2) x = (x * w) >> 8;
      return static_cast<int32_t>(s.rowP[x]);
    }

    bool Fetch(ptrdiff_t so, ptrdiff_t bo, Source& out) const {
      PalTexel t;
      if (!ReadPaletteTexel<Px, kBlend, kBright, kTrans, false>(s, so, bo, t)) return false;
      const int32_t w = kBlend ? t.w : 0;
      out.v = Px::Join(0, {Scaled(t.x.r, w), Scaled(t.x.g, w), Scaled(t.x.b, w)});
      return true;
    }

    void Put(uint8_t* dst, const Source& src) const {
      const uint32_t d = Px::Load(dst);
      Px::Store(dst, kSubtract ? Px::Sub(d, src.v) : Px::Add(d, src.v));
    }
  };
};

// ---- Mode 4 (multiply) --------------------------------------------------------------------------------
// (x d) >> n, or (x d w) >> (n + 8): a weight of 0 gives black.

template <class Px>
struct MultiplyPal {
  template <bool kBlend, bool kBright, bool kAlpha, bool kTrans>
  struct Kernel {
    static constexpr bool kFast = false;
    static constexpr int kDstBytes = Px::kBytes;
    using Source = PalTexel;
    const StretchSetup& s;

    bool Fetch(ptrdiff_t so, ptrdiff_t bo, Source& out) const {
      return ReadPaletteTexel<Px, kBlend, kBright, kTrans, false>(s, so, bo, out);
    }
    void Put(uint8_t* dst, const Source& src) const {
      Px::Store(dst, MapFields<Px>(Px::Load(dst), src.x, [&src](int32_t d, int32_t x, int32_t n) {
                  if constexpr (kBlend) return (x * d * src.w) >> (n + 8);
                  return (x * d) >> n;
                }));
    }
  };
};

}  // namespace

template <class Px>
void DrawStretchPalette(const StretchSetup& s, int mode) {
  switch (mode) {
    case kBlendNone:
      RunSelected<MovePal<Px, Target::kCopy>::template Kernel>(s);
      break;
    case kBlendAlpha:
      RunSelected<MovePal<Px, Target::kAlpha>::template Kernel>(s);
      break;
    case kBlendInvert:
      RunSelected<MovePal<Px, Target::kInvert>::template Kernel>(s);
      break;
    case kBlendMulAlpha:
      RunSelected<MovePal<Px, Target::kMultiply>::template Kernel>(s);
      break;
    case kBlendAdd:
      RunSelected<AddSubPal<Px, false>::template Kernel>(s);
      break;
    case kBlendSub:
      if (s.param == 255 && !s.hasBlend && s.brightWhite) {
        RunFullSubtract<Px, true>(s);
      } else {
        RunSelected<AddSubPal<Px, true>::template Kernel>(s);
      }
      break;
    case kBlendMul:
      RunSelected<MultiplyPal<Px>::template Kernel>(s);
      break;
    default:
      break;
  }
}

template void DrawStretchPalette<Kind565>(const StretchSetup& s, int mode);
template void DrawStretchPalette<Kind888>(const StretchSetup& s, int mode);

}  // namespace orbel::stretch
