// Stretched-blit pixel loops of direct 32-bit sources, with or without per-pixel alpha, in the alpha
// (1), add (2), subtract (3), multiply (4) and invert (10) modes, and the full-strength subtract in its
// packed-byte (MMX flag set) and plain forms. Modes 1, 4 and 10 keep byte 3 of the destination; add
// and subtract store the whole word. Copy and mode 11 are stretch_blit_copy.
#include "orbel/softrender/stretch_blit_walk.h"

namespace orbel::stretch {
namespace {

// The factor of a pixel and the shift that divides it out again: none (1, 0), w or a (8), w and a (16),
// on top of each formula's own shift of 8.
struct Factor {
  int64_t k;
  int32_t shift;
};

template <bool kBlend, bool kAlpha, bool kTrans>
inline Factor FactorOf(const DirectTexel& t) {
  const bool useA = UsesAlpha<kAlpha, kTrans>(t);
  if constexpr (kBlend) {
    return useA ? Factor{static_cast<int64_t>(t.w) * t.a, 16} : Factor{t.w, 8};
  } else {
    return useA ? Factor{t.a, 8} : Factor{1, 0};
  }
}

// x_c: the source channel under the brightness (inverted first for mode 10).
template <bool kBright, bool kInvert>
inline uint32_t SourceChannels(const StretchSetup& s, uint32_t word) {
  int32_t r = Byte(word, 16);
  int32_t g = Byte(word, 8);
  int32_t b = Byte(word, 0);
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
  return Pack888(r, g, b);
}

// ---- Modes 1 (alpha) and 10 (invert) ----------------------------------------------------------------
// d_c = (d_c * 2^k + (x_c - d_c) * f) >> k with (f, k) = (p, 8), (w p, 16), (a p, 16), (w a p, 24).

template <bool kInvert>
struct AlphaBlend32 {
  template <bool kBlend, bool kBright, bool kAlpha, bool kTrans>
  struct Kernel {
    static constexpr bool kFast = false;
    static constexpr int kDstBytes = 4;
    struct Source {
      uint32_t x;
      int64_t f;
      int32_t k;
    };
    const StretchSetup& s;

    bool Fetch(ptrdiff_t so, ptrdiff_t bo, Source& out) const {
      DirectTexel t{};
      if (!ReadDirect<32, kBlend, kAlpha, kTrans>(s, so, bo, t)) return false;
      out.x = SourceChannels<kBright, kInvert>(s, t.word);
      const Factor factor = FactorOf<kBlend, kAlpha, kTrans>(t);
      out.f = factor.k * s.param;
      out.k = 8 + factor.shift;
      return true;
    }

    static int32_t Channel(int32_t d, int32_t x, const Source& src) {
      return static_cast<int32_t>(((static_cast<int64_t>(d) << src.k) + (x - d) * src.f) >> src.k);
    }

    void Put(uint8_t* dst, const Source& src) const {
      const uint32_t d = Load32(dst);
      Store32(dst, Keep3(d, Pack888(Channel(Byte(d, 16), Byte(src.x, 16), src), Channel(Byte(d, 8), Byte(src.x, 8), src),
                                    Channel(Byte(d, 0), Byte(src.x, 0), src))));
    }
  };
};

// ---- Modes 2 (add) and 3 (subtract) -----------------------------------------------------------------
// v_c = P(p, x_c), (x_c w p) >> 16, (x_c a p) >> 16 or (x_c w a p) >> 24, packed with byte 3 zero.

template <bool kSubtract>
struct AddSub32 {
  template <bool kBlend, bool kBright, bool kAlpha, bool kTrans>
  struct Kernel {
    static constexpr bool kFast = false;
    static constexpr int kDstBytes = 4;
    struct Source {
      uint32_t v;
    };
    const StretchSetup& s;

    bool Fetch(ptrdiff_t so, ptrdiff_t bo, Source& out) const {
      DirectTexel t{};
      if (!ReadDirect<32, kBlend, kAlpha, kTrans>(s, so, bo, t)) return false;
      const uint32_t x = SourceChannels<kBright, false>(s, t.word);
      const Factor factor = FactorOf<kBlend, kAlpha, kTrans>(t);
      if (factor.shift == 0) {
        out.v = Pack888(static_cast<int32_t>(s.rowP[Byte(x, 16)]), static_cast<int32_t>(s.rowP[Byte(x, 8)]),
                        static_cast<int32_t>(s.rowP[Byte(x, 0)]));
      } else {
        const int64_t f = factor.k * s.param;
        const int32_t shift = 8 + factor.shift;
        out.v = Pack888(static_cast<int32_t>((Byte(x, 16) * f) >> shift), static_cast<int32_t>((Byte(x, 8) * f) >> shift),
                        static_cast<int32_t>((Byte(x, 0) * f) >> shift));
      }
      return true;
    }

    void Put(uint8_t* dst, const Source& src) const {
      const uint32_t d = Load32(dst);
      Store32(dst, kSubtract ? PackedSub888(d, src.v) : PackedAdd888(d, src.v));
    }
  };
};

// Subtract at p = 255, white brightness, no blend image and no alpha: the source word itself, either
// byte by byte with saturation over all four bytes (MMX flag set) or by the packed subtract (byte 3
// then 0). Both walk as fast loops.
template <bool kMmx>
struct FullSubtract32 {
  template <bool kBlend, bool kBright, bool kAlpha, bool kTrans>
  struct Kernel {
    static constexpr bool kFast = true;
    static constexpr int kDstBytes = 4;
    struct Source {
      uint32_t v;
    };
    const StretchSetup& s;

    bool Fetch(ptrdiff_t so, ptrdiff_t, Source& out) const {
      out.v = Load32(s.src + so);
      return !(kTrans && out.v == s.transColor);
    }
    void Put(uint8_t* dst, const Source& src) const {
      const uint32_t d = Load32(dst);
      Store32(dst, kMmx ? SatSubBytes(d, src.v) : PackedSub888(d, src.v & 0x00FEFEFFu));
    }
  };
};

// ---- Mode 4 (multiply) --------------------------------------------------------------------------------
// (d x) >> 8, (f x d) >> 16 for one factor, (w a x d) >> 24: the factors scale the product itself.

template <bool kBlend, bool kBright, bool kAlpha, bool kTrans>
struct Multiply32 {
  static constexpr bool kFast = false;
  static constexpr int kDstBytes = 4;
  struct Source {
    uint32_t x;
    int64_t f;
    int32_t shift;
  };
  const StretchSetup& s;

  bool Fetch(ptrdiff_t so, ptrdiff_t bo, Source& out) const {
    DirectTexel t{};
    if (!ReadDirect<32, kBlend, kAlpha, kTrans>(s, so, bo, t)) return false;
    out.x = SourceChannels<kBright, false>(s, t.word);
    const Factor factor = FactorOf<kBlend, kAlpha, kTrans>(t);
    out.f = factor.k;
    out.shift = 8 + factor.shift;
    return true;
  }

  static int32_t Channel(int32_t d, int32_t x, const Source& src) {
    return static_cast<int32_t>((d * x * src.f) >> src.shift);
  }

  void Put(uint8_t* dst, const Source& src) const {
    const uint32_t d = Load32(dst);
    Store32(dst, Keep3(d, Pack888(Channel(Byte(d, 16), Byte(src.x, 16), src), Channel(Byte(d, 8), Byte(src.x, 8), src),
                                  Channel(Byte(d, 0), Byte(src.x, 0), src))));
  }
};

}  // namespace

void DrawStretchDirect32(const StretchSetup& s, int mode) {
  switch (mode) {
    case 1:
      RunSelected<AlphaBlend32<false>::Kernel>(s);
      break;
    case 10:
      RunSelected<AlphaBlend32<true>::Kernel>(s);
      break;
    case 2:
      RunSelected<AddSub32<false>::Kernel>(s);
      break;
    case 3:
      if (s.param == 255 && !s.hasBlend && s.brightWhite && !s.srcAlpha) {
        if (s.mmx) {
          RunSelected<FullSubtract32<true>::Kernel>(s);
        } else {
          RunSelected<FullSubtract32<false>::Kernel>(s);
        }
      } else {
        RunSelected<AddSub32<true>::Kernel>(s);
      }
      break;
    case 4:
      RunSelected<Multiply32>(s);
      break;
    default:
      break;
  }
}

}  // namespace orbel::stretch
