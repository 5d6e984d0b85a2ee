// Stretched-blit pixel loops of direct 16-bit (5:6:5) sources, with or without per-pixel alpha, in the
// alpha (1), add (2), subtract (3), multiply (4) and invert (10) modes. Fields are blended at their
// own 5- or 6-bit width; brightness scales them through the product table. One kernel template per
// mode family; the selector table makes the 16 loops of each. Copy and mode 11 are stretch_blit_copy.
#include "orbel/softrender/stretch_blit_walk.h"

namespace orbel::stretch {
namespace {

// The brightness-scaled fields of a 5:6:5 word.
struct Fields {
  int32_t r;
  int32_t g;
  int32_t b;
};

template <bool kBright>
inline Fields Brighten565(const StretchSetup& s, uint32_t word) {
  if constexpr (kBright) {
    return {static_cast<int32_t>(s.rowR[Red565(word)]), static_cast<int32_t>(s.rowG[Green565(word)]),
            static_cast<int32_t>(s.rowB[Blue565(word)])};
  } else {
    return {Red565(word), Green565(word), Blue565(word)};
  }
}

// ---- Modes 1 (alpha) and 10 (invert) ----------------------------------------------------------------
// No factor: d + S(p, s' - d); one factor f: (d * 65536 + (s' - d) * f * p) >> 16; w and a: the same
// over 2^24. Mode 10 inverts the word first; brightness then scales the inverted fields.

template <bool kInvert>
struct AlphaBlend16 {
  template <bool kBlend, bool kBright, bool kAlpha, bool kTrans>
  struct Kernel {
    static constexpr bool kFast = false;
    static constexpr int kDstBytes = 2;
    struct Source {
      Fields f;
      int32_t k;  // factor product with p (0 when no factor applies)
      int32_t shift;
    };
    const StretchSetup& s;

    bool Fetch(ptrdiff_t so, ptrdiff_t bo, Source& out) const {
      DirectTexel t{};
      if (!ReadDirect<16, kBlend, kAlpha, kTrans>(s, so, bo, t)) return false;
      const uint32_t word = kInvert ? (~t.word & 0xFFFF) : t.word;
      out.f = Brighten565<kBright>(s, word);
      const bool useA = UsesAlpha<kAlpha, kTrans>(t);
      if constexpr (kBlend) {
        out.k = useA ? t.w * t.a * s.param : t.w * s.param;
        out.shift = useA ? 24 : 16;
      } else {
        out.k = useA ? t.a * s.param : 0;
        out.shift = useA ? 16 : 0;
      }
      return true;
    }

    static int32_t Channel(const StretchSetup& s, int32_t d, int32_t x, const Source& src) {
      if (!kBlend && src.shift == 0) return d + s.signedP[x - d];
      return static_cast<int32_t>(((static_cast<int64_t>(d) << src.shift) + static_cast<int64_t>(x - d) * src.k) >>
                                  src.shift);
    }

    void Put(uint8_t* dst, const Source& src) const {
      const uint32_t d = Load16(dst);
      Store16(dst, Pack565(Channel(s, Red565(d), src.f.r, src), Channel(s, Green565(d), src.f.g, src),
                           Channel(s, Blue565(d), src.f.b, src)));
    }
  };
};

// ---- Modes 2 (add) and 3 (subtract) -----------------------------------------------------------------
// The value v is fixed per source pixel: x_c from the source, alpha and weight, then P(p, x_c).

template <bool kSubtract>
struct AddSub16 {
  template <bool kBlend, bool kBright, bool kAlpha, bool kTrans>
  struct Kernel {
    static constexpr bool kFast = false;
    static constexpr int kDstBytes = 2;
    struct Source {
      uint32_t v;
    };
    const StretchSetup& s;

    // Alpha scales the raw field before the brightness; the weight scales the brightened field.
    template <bool kUseA>
    int32_t Scaled(int32_t raw, const uint32_t* brightRow, const DirectTexel& t) const {
      if constexpr (kUseA && !kBlend) {
        const int32_t x = (raw * t.a) >> 8;
        return kBright ? static_cast<int32_t>(brightRow[x]) : x;
      } else {
        const int32_t bright = kBright ? static_cast<int32_t>(brightRow[raw]) : raw;
        if constexpr (kUseA) {
          return (bright * t.w * t.a) >> 16;
        } else if constexpr (kBlend) {
          return (bright * t.w) >> 8;
        } else {
          return bright;
        }
      }
    }

    template <bool kUseA>
    uint32_t Value(const DirectTexel& t) const {
      const uint32_t* p = s.rowP;
      return Pack565(static_cast<int32_t>(p[Scaled<kUseA>(Red565(t.word), s.rowR, t)]),
                     static_cast<int32_t>(p[Scaled<kUseA>(Green565(t.word), s.rowG, t)]),
                     static_cast<int32_t>(p[Scaled<kUseA>(Blue565(t.word), s.rowB, t)]));
    }

    bool Fetch(ptrdiff_t so, ptrdiff_t bo, Source& out) const {
      DirectTexel t{};
      if (!ReadDirect<16, kBlend, kAlpha, kTrans>(s, so, bo, t)) return false;
      out.v = UsesAlpha<kAlpha, kTrans>(t) ? Value<kAlpha>(t) : Value<false>(t);
      return true;
    }

    void Put(uint8_t* dst, const Source& src) const {
      const uint32_t d = Load16(dst);
      Store16(dst, kSubtract ? PackedSub565(d, src.v) : PackedAdd565(d, src.v));
    }
  };
};

// Subtract at p = 255 with white brightness, no blend image and no alpha: v is the source word itself,
// and the walk is the fast one.
template <bool kBlend, bool kBright, bool kAlpha, bool kTrans>
struct FullSubtract16 {
  static constexpr bool kFast = true;
  static constexpr int kDstBytes = 2;
  struct Source {
    uint32_t v;
  };
  const StretchSetup& s;

  bool Fetch(ptrdiff_t so, ptrdiff_t, Source& out) const {
    out.v = Load16(s.src + so);
    return !(kTrans && out.v == s.transColor);
  }
  void Put(uint8_t* dst, const Source& src) const { Store16(dst, PackedSub565(Load16(dst), src.v)); }
};

// ---- Mode 4 (multiply) --------------------------------------------------------------------------------
// The factors scale the product itself: (d * s' * f) >> (n + 8), or >> (n + 16) for w and a.

template <bool kBlend, bool kBright, bool kAlpha, bool kTrans>
struct Multiply16 {
  static constexpr bool kFast = false;
  static constexpr int kDstBytes = 2;
  struct Source {
    Fields f;
    int32_t k;      // 1, a, w or w * a
    int32_t shift;  // 0, 8 or 16 beyond the field width
  };
  const StretchSetup& s;

  bool Fetch(ptrdiff_t so, ptrdiff_t bo, Source& out) const {
    DirectTexel t{};
    if (!ReadDirect<16, kBlend, kAlpha, kTrans>(s, so, bo, t)) return false;
    out.f = Brighten565<kBright>(s, t.word);
    const bool useA = UsesAlpha<kAlpha, kTrans>(t);
    if constexpr (kBlend) {
      out.k = useA ? t.w * t.a : t.w;
      out.shift = useA ? 16 : 8;
    } else {
      out.k = useA ? t.a : 1;
      out.shift = useA ? 8 : 0;
    }
    return true;
  }

  void Put(uint8_t* dst, const Source& src) const {
    const uint32_t d = Load16(dst);
    const int32_t r = (Red565(d) * src.f.r * src.k) >> (5 + src.shift);
    const int32_t g = (Green565(d) * src.f.g * src.k) >> (6 + src.shift);
    const int32_t b = (Blue565(d) * src.f.b * src.k) >> (5 + src.shift);
    Store16(dst, Pack565(r, g, b));
  }
};

}  // namespace

void DrawStretchDirect16(const StretchSetup& s, int mode) {
  switch (mode) {
    case 1:
      RunSelected<AlphaBlend16<false>::Kernel>(s);
      break;
    case 10:
      RunSelected<AlphaBlend16<true>::Kernel>(s);
      break;
    case 2:
      RunSelected<AddSub16<false>::Kernel>(s);
      break;
    case 3:
      if (s.param == 255 && !s.hasBlend && s.brightWhite && !s.srcAlpha) {
        RunSelected<FullSubtract16>(s);
      } else {
        RunSelected<AddSub16<true>::Kernel>(s);
      }
      break;
    case 4:
      RunSelected<Multiply16>(s);
      break;
    default:
      break;
  }
}

}  // namespace orbel::stretch
