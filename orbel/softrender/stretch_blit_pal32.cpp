// Stretched-blit pixel loops of paletted sources on 32-bit images: one index byte a source pixel into
// a palette of 32-bit words, in every drawn mode (0-4, 10, 11). The index byte is what the transparent
// colour is compared with. Only the plain copy (the whole entry), add (carry out of red), the packed
// subtract (0) and the full-strength MMX subtract write byte 3; every other loop keeps it.
#include "orbel/softrender/stretch_blit.h"
#include "orbel/softrender/stretch_blit_walk.h"

namespace orbel::stretch {
namespace {

// The palette entry of a source pixel, its channels under the brightness (q_c, or n_c for mode 10),
// and the blend weight.
struct PalTexel32 {
  uint32_t entry;  // the palette word as stored
  uint32_t q;      // channels packed in bytes 0-2
  int32_t w;
};

template <bool kBlend, bool kBright, bool kTrans, bool kInvert>
inline bool ReadPalette32(const StretchSetup& s, ptrdiff_t so, ptrdiff_t bo, PalTexel32& t) {
  const uint32_t index = s.src[so];
  if (kTrans && index == s.transColor) return false;
  t.entry = Load32(s.palette + index * 4);
  int32_t r = Byte(t.entry, 16);
  int32_t g = Byte(t.entry, 8);
  int32_t b = Byte(t.entry, 0);
  if constexpr (kInvert) {
    r = 255 - r;
    g = 255 - g;
    b = 255 - b;
  }
  if constexpr (kBright) {
    r = static_cast<int32_t>(s.rowR[r]);
    g = static_cast<int32_t>(s.rowG[g]);
    b = static_cast<int32_t>(s.rowB[b]);
  }
  t.q = Pack888(r, g, b);
  if constexpr (kBlend) t.w = s.weights[s.blend[bo]];
  return true;
}

// ---- Modes 0, 1, 10, 11: move d toward a target --------------------------------------------------
// mix8 by p (mode 0: straight copy) without a blend image; mix16 by w p (mode 0: mix8 by w) with one.
// Mode 11's target is m = (q d) >> 8. Modes 10 and 11 at p = 255 stop 1/256 short of the target.

enum class Target { kCopy, kAlpha, kInvert, kMultiply };

template <Target kTarget>
struct Move32 {
  template <bool kBlend, bool kBright, bool kAlpha, bool kTrans>
  struct Kernel {
    static constexpr bool kFast = kTarget == Target::kCopy && !kBlend && !kBright;
    static constexpr int kDstBytes = 4;
    using Source = PalTexel32;
    const StretchSetup& s;

    bool Fetch(ptrdiff_t so, ptrdiff_t bo, Source& out) const {
      if (!ReadPalette32<kBlend, kBright, kTrans, kTarget == Target::kInvert>(s, so, bo, out)) return false;
      if constexpr (kBlend && kTarget != Target::kCopy) out.w *= s.param;
      return true;
    }

    int32_t Channel(int32_t d, int32_t x, const Source& src) const {
      if constexpr (kTarget == Target::kMultiply) x = (x * d) >> 8;
      if constexpr (kTarget == Target::kCopy) {
        return Mix8(d, x, src.w);
      } else if constexpr (kBlend) {
        return Mix16(d, x, src.w);
      } else {
        return Mix8(d, x, s.param);
      }
    }

    void Put(uint8_t* dst, const Source& src) const {
      if constexpr (kTarget == Target::kCopy && !kBlend) {
        if constexpr (kBright) {
          Store32(dst, Keep3(Load32(dst), src.q));
        } else {
          Store32(dst, src.entry);
        }
      } else {
        const uint32_t d = Load32(dst);
        Store32(dst, Keep3(d, Pack888(Channel(Byte(d, 16), Byte(src.q, 16), src), Channel(Byte(d, 8), Byte(src.q, 8), src),
                                      Channel(Byte(d, 0), Byte(src.q, 0), src))));
      }
    }
  };
};

// ---- Modes 2 (add) and 3 (subtract) -----------------------------------------------------------------
// v_c = P(p, q_c), or (q_c w p) >> 16 with a blend image.

template <bool kSubtract>
struct AddSubPal32 {
  template <bool kBlend, bool kBright, bool kAlpha, bool kTrans>
  struct Kernel {
    static constexpr bool kFast = false;
    static constexpr int kDstBytes = 4;
    struct Source {
      uint32_t v;
    };
    const StretchSetup& s;

    int32_t Scaled(int32_t x, int32_t wp) const {
      if constexpr (kBlend) return (x * wp) >> 16;
      return static_cast<int32_t>(s.rowP[x]);
    }

    bool Fetch(ptrdiff_t so, ptrdiff_t bo, Source& out) const {
      PalTexel32 t;
      if (!ReadPalette32<kBlend, kBright, kTrans, false>(s, so, bo, t)) return false;
      const int32_t wp = kBlend ? t.w * s.param : 0;
      out.v = Pack888(Scaled(Byte(t.q, 16), wp), Scaled(Byte(t.q, 8), wp), Scaled(Byte(t.q, 0), wp));
      return true;
    }

    void Put(uint8_t* dst, const Source& src) const {
      const uint32_t d = Load32(dst);
      Store32(dst, kSubtract ? PackedSub888(d, src.v) : PackedAdd888(d, src.v));
    }
  };
};

// Subtract at p = 255, white brightness and no blend image: the whole entry from ScratchPalette, byte
// by byte with saturation (MMX flag set) or by the packed subtract.
template <bool kMmx>
struct FullSubtractPal32 {
  template <bool kBlend, bool kBright, bool kAlpha, bool kTrans>
  struct Kernel {
    static constexpr bool kFast = true;
    static constexpr int kDstBytes = 4;
    struct Source {
      uint32_t v;
    };
    const StretchSetup& s;

    bool Fetch(ptrdiff_t so, ptrdiff_t, Source& out) const {
      const uint32_t index = s.src[so];
      if (kTrans && index == s.transColor) return false;
      out.v = ScratchPalette[index];
      return true;
    }
    void Put(uint8_t* dst, const Source& src) const {
      const uint32_t d = Load32(dst);
      Store32(dst, kMmx ? SatSubBytes(d, src.v) : PackedSub888(d, src.v));
    }
  };
};

// ---- Mode 4 (multiply) --------------------------------------------------------------------------------

template <bool kBlend, bool kBright, bool kAlpha, bool kTrans>
struct MultiplyPal32 {
  static constexpr bool kFast = false;
  static constexpr int kDstBytes = 4;
  using Source = PalTexel32;
  const StretchSetup& s;

  bool Fetch(ptrdiff_t so, ptrdiff_t bo, Source& out) const {
    return ReadPalette32<kBlend, kBright, kTrans, false>(s, so, bo, out);
  }
  static int32_t Channel(int32_t d, int32_t x, const Source& src) {
    if constexpr (kBlend) return (d * x * src.w) >> 16;
    return (d * x) >> 8;
  }
  void Put(uint8_t* dst, const Source& src) const {
    const uint32_t d = Load32(dst);
    Store32(dst, Keep3(d, Pack888(Channel(Byte(d, 16), Byte(src.q, 16), src), Channel(Byte(d, 8), Byte(src.q, 8), src),
                                  Channel(Byte(d, 0), Byte(src.q, 0), src))));
  }
};

}  // namespace

void DrawStretchPalette32(const StretchSetup& s, int mode) {
  switch (mode) {
    case 0:
      RunSelected<Move32<Target::kCopy>::Kernel>(s);
      break;
    case 1:
      RunSelected<Move32<Target::kAlpha>::Kernel>(s);
      break;
    case 10:
      RunSelected<Move32<Target::kInvert>::Kernel>(s);
      break;
    case 11:
      RunSelected<Move32<Target::kMultiply>::Kernel>(s);
      break;
    case 2:
      RunSelected<AddSubPal32<false>::Kernel>(s);
      break;
    case 3:
      if (s.param == 255 && !s.hasBlend && s.brightWhite) {
        if (s.mmx) {
          RunSelected<FullSubtractPal32<true>::Kernel>(s);
        } else {
          RunSelected<FullSubtractPal32<false>::Kernel>(s);
        }
      } else {
        RunSelected<AddSubPal32<true>::Kernel>(s);
      }
      break;
    case 4:
      RunSelected<MultiplyPal32>(s);
      break;
    default:
      break;
  }
}

}  // namespace orbel::stretch
