// Stretched-blit pixel loops of direct-colour sources, 16-bit (5:6:5) and 32-bit, with or without
// per-pixel alpha, in every drawn mode: copy (0), the moves toward the source, its inverse or the
// product with d (1, 10, 11), add and subtract (2, 3), multiply (4) and the full-strength subtract.
// 5:6:5 fields are blended at their own 5- or 6-bit width. On 32-bit images the moves and multiply
// keep byte 3 of the destination; add and subtract store the whole word, and the copy writes it only
// as its loop's selectors say.
#include <type_traits>

#include "orbel/graphics/draw_state.h"
#include "orbel/softrender/simd_road.h"
#include "orbel/softrender/stretch_blit_walk.h"

namespace orbel::stretch {
namespace {

// The factor of a pixel beyond p and the shift that divides it out again: none (1, 0), w or a (8),
// w and a (16).
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

template <class Px, bool kBlend, bool kAlpha, bool kTrans>
inline bool Read(const StretchSetup& s, ptrdiff_t so, ptrdiff_t bo, DirectTexel& t) {
  return ReadDirect<Px::kBytes * 8, kBlend, kAlpha, kTrans>(s, so, bo, t);
}

// ---- Mode 0 (copy) ------------------------------------------------------------------------------------
// Channel value: x; mix8(d, x, a); mix8(d, x, w); mix16(d, x, w a). At 32 bits the whole word (byte 3
// included) is written only by the plain copy and, at white brightness without a blend image, by an
// alpha pixel of a = 255 under TransFlag; every other write keeps byte 3.

template <class Px>
struct Copy {
  template <bool kBlend, bool kBright, bool kAlpha, bool kTrans>
  struct Kernel {
    static constexpr bool kFast = !kBlend && !kBright && !kAlpha;
    static constexpr int kDstBytes = Px::kBytes;
    struct Source {
      Fields x;
      uint32_t word;  // x packed (at 32 bits with the source's byte 3)
      int32_t k;      // mix weight
      int32_t shift;  // 8 or 16
      bool direct;    // x is written as it is
    };
    const StretchSetup& s;

    bool Fetch(ptrdiff_t so, ptrdiff_t bo, Source& out) const {
      if constexpr (kFast) {
        // The plain copy compares only the pixel's own bits of the transparent colour.
        out.word = Px::Load(s.src + so);
        return !(kTrans && out.word == (s.transColor & Px::kValueMask));
      } else {
        DirectTexel t{};
        if (!Read<Px, kBlend, kAlpha, kTrans>(s, so, bo, t)) return false;
        out.x = Brighten<kBright>(s, Px::Split(t.word));
        out.word = kBright ? Px::Join(t.word, out.x) : t.word;
        const bool useA = UsesAlpha<kAlpha, kTrans>(t);
        if constexpr (kBlend) {
          out.k = useA ? t.w * t.a : t.w;
          out.shift = useA ? 16 : 8;
          out.direct = false;
        } else {
          out.k = t.a;
          out.shift = 8;
          out.direct = !useA;
        }
        return true;
      }
    }

    void Put(uint8_t* dst, const Source& src) const {
      if constexpr (kFast) {
        Px::Store(dst, src.word);
      } else {
        const uint32_t d = Px::Load(dst);
        if (!kBlend && src.direct) {
          // x as it is: at 32 bits the whole word at white brightness (only an a = 255 pixel under
          // TransFlag gets here), bytes 0-2 otherwise.
          Px::Store(dst, kBright ? Px::Join(d, src.x) : src.word);
        } else if (src.shift == 8) {
          Px::Store(dst, MapFields<Px>(d, src.x, [&src](int32_t dc, int32_t x, int32_t) { return Mix8(dc, x, src.k); }));
        } else {
          Px::Store(dst, MapFields<Px>(d, src.x, [&src](int32_t dc, int32_t x, int32_t) { return Mix16(dc, x, src.k); }));
        }
      }
    }
  };
};

// ---- Modes 1 (alpha), 10 (invert) and 11 (multiply then alpha) --------------------------------------
// The target t is x, its inverse (inverted before the brightness) or m = (x d) >> n. No factor: the
// move by p; otherwise d = (d 2^k + (t - d) f p) >> k with (f, k) = (w, 16), (a, 16), (w a, 24).
// 5:6:5 multiply with alpha at white brightness and without a blend image forms green on the 11-bit
// field: F = (xG 32) (dG 32) >> 11, mix16(dG 32, F, a p) >> 5.

enum class Target { kSource, kInvert, kMultiply };

template <class Px, Target kTarget>
struct Toward {
  template <bool kBlend, bool kBright, bool kAlpha, bool kTrans>
  struct Kernel {
    static constexpr bool kFast = false;
    static constexpr int kDstBytes = Px::kBytes;
    static constexpr bool kFineGreen =
        std::is_same_v<Px, Kind565> && kTarget == Target::kMultiply && !kBlend && !kBright && kAlpha;
    struct Source {
      Fields x;
      int64_t f;      // factor times p
      int32_t shift;  // 0: no factor (the move by p); else 16 or 24
    };
    const StretchSetup& s;

    bool Fetch(ptrdiff_t so, ptrdiff_t bo, Source& out) const {
      DirectTexel t{};
      if (!Read<Px, kBlend, kAlpha, kTrans>(s, so, bo, t)) return false;
      Fields x = Px::Split(t.word);
      if constexpr (kTarget == Target::kInvert) x = Invert<Px>(x);
      out.x = Brighten<kBright>(s, x);
      const Factor factor = FactorOf<kBlend, kAlpha, kTrans>(t);
      out.f = factor.k * s.param;
      out.shift = factor.shift == 0 ? 0 : 8 + factor.shift;
      return true;
    }

    int32_t Channel(int32_t d, int32_t x, int32_t n, const Source& src) const {
      if constexpr (kTarget == Target::kMultiply) x = (x * d) >> n;
      if constexpr (!kBlend && !kAlpha) {
        return Px::MoveByP(s, d, x);
      } else {
        if (!kBlend && src.shift == 0) return Px::MoveByP(s, d, x);
        return static_cast<int32_t>(((static_cast<int64_t>(d) << src.shift) + (x - d) * src.f) >> src.shift);
      }
    }

    void Put(uint8_t* dst, const Source& src) const {
      const uint32_t d = Px::Load(dst);
      auto channel = [&](int32_t dc, int32_t x, int32_t n) { return Channel(dc, x, n, src); };
      if constexpr (kFineGreen) {
        if (src.shift == 16) {
          const int32_t dg = Green565(d);
          const int32_t fine = ((src.x.g * 32) * (dg * 32)) >> 11;
          Px::Store(dst, Pack565(channel(Red565(d), src.x.r, 5), Mix16(dg * 32, fine, static_cast<int32_t>(src.f)) >> 5,
                                 channel(Blue565(d), src.x.b, 5)));
          return;
        }
      }
      Px::Store(dst, MapFields<Px>(d, src.x, channel));
    }
  };
};

// ---- Modes 2 (add) and 3 (subtract) -----------------------------------------------------------------
// The value v is fixed per source pixel. 5:6:5: alpha scales the raw field before the brightness, the
// weight the brightened field, then P(p, .). 32-bit: v_c = P(p, x_c), (x_c w p) >> 16, (x_c a p) >> 16
// or (x_c w a p) >> 24, packed with byte 3 zero.

template <bool kBlend, bool kBright, bool kUseA>
inline int32_t Scaled565(int32_t raw, const uint32_t* brightRow, const DirectTexel& t) {
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

template <bool kBlend, bool kBright, bool kUseA>
inline uint32_t Value565(const StretchSetup& s, const DirectTexel& t) {
  const uint32_t* p = s.rowP;
  return Pack565(static_cast<int32_t>(p[Scaled565<kBlend, kBright, kUseA>(Red565(t.word), s.rowR, t)]),
                 static_cast<int32_t>(p[Scaled565<kBlend, kBright, kUseA>(Green565(t.word), s.rowG, t)]),
                 static_cast<int32_t>(p[Scaled565<kBlend, kBright, kUseA>(Blue565(t.word), s.rowB, t)]));
}

template <bool kBlend, bool kBright, bool kAlpha, bool kTrans>
inline uint32_t Value888(const StretchSetup& s, const DirectTexel& t) {
  const Fields x = Brighten<kBright>(s, Kind888::Split(t.word));
  const Factor factor = FactorOf<kBlend, kAlpha, kTrans>(t);
  if (factor.shift == 0) {
    return Pack888(static_cast<int32_t>(s.rowP[x.r]), static_cast<int32_t>(s.rowP[x.g]),
                   static_cast<int32_t>(s.rowP[x.b]));
  }
  const int64_t f = factor.k * s.param;
  const int32_t shift = 8 + factor.shift;
  return Pack888(static_cast<int32_t>((x.r * f) >> shift), static_cast<int32_t>((x.g * f) >> shift),
                 static_cast<int32_t>((x.b * f) >> shift));
}

template <class Px, bool kSubtract>
struct AddSub {
  template <bool kBlend, bool kBright, bool kAlpha, bool kTrans>
  struct Kernel {
    static constexpr bool kFast = false;
    static constexpr int kDstBytes = Px::kBytes;
    struct Source {
      uint32_t v;
    };
    const StretchSetup& s;

    bool Fetch(ptrdiff_t so, ptrdiff_t bo, Source& out) const {
      DirectTexel t{};
      if (!Read<Px, kBlend, kAlpha, kTrans>(s, so, bo, t)) return false;
      if constexpr (Px::kBytes == 2) {
        out.v = UsesAlpha<kAlpha, kTrans>(t) ? Value565<kBlend, kBright, kAlpha>(s, t)
                                             : Value565<kBlend, kBright, false>(s, t);
      } else {
        out.v = Value888<kBlend, kBright, kAlpha, kTrans>(s, t);
      }
      return true;
    }

    void Put(uint8_t* dst, const Source& src) const {
      const uint32_t d = Px::Load(dst);
      Px::Store(dst, kSubtract ? Px::Sub(d, src.v) : Px::Add(d, src.v));
    }
  };
};

// ---- Mode 4 (multiply) --------------------------------------------------------------------------------
// The factors scale the product itself: (d x f) >> (n + 8) for one factor, >> (n + 16) for w and a.

template <class Px>
struct Multiply {
  template <bool kBlend, bool kBright, bool kAlpha, bool kTrans>
  struct Kernel {
    static constexpr bool kFast = false;
    static constexpr int kDstBytes = Px::kBytes;
    struct Source {
      Fields x;
      int64_t k;      // 1, a, w or w a
      int32_t shift;  // 0, 8 or 16 beyond the field width
    };
    const StretchSetup& s;

    bool Fetch(ptrdiff_t so, ptrdiff_t bo, Source& out) const {
      DirectTexel t{};
      if (!Read<Px, kBlend, kAlpha, kTrans>(s, so, bo, t)) return false;
      out.x = Brighten<kBright>(s, Px::Split(t.word));
      const Factor factor = FactorOf<kBlend, kAlpha, kTrans>(t);
      out.k = factor.k;
      out.shift = factor.shift;
      return true;
    }

    void Put(uint8_t* dst, const Source& src) const {
      Px::Store(dst, MapFields<Px>(Px::Load(dst), src.x, [&src](int32_t d, int32_t x, int32_t n) {
                  return static_cast<int32_t>((d * x * src.k) >> (n + src.shift));
                }));
    }
  };
};

}  // namespace

template <class Px>
void DrawStretchDirect(const StretchSetup& s, int mode) {
  switch (mode) {
    case kBlendNone:
      if (!s.hasBlend && s.brightWhite && !s.srcAlpha && SimdRoadOpen()) {
        DrawStretchCopyRows<Px>(s);
      } else {
        RunSelected<Copy<Px>::template Kernel>(s);
      }
      break;
    case kBlendAlpha:
      RunSelected<Toward<Px, Target::kSource>::template Kernel>(s);
      break;
    case kBlendInvert:
      RunSelected<Toward<Px, Target::kInvert>::template Kernel>(s);
      break;
    case kBlendMulAlpha:
      RunSelected<Toward<Px, Target::kMultiply>::template Kernel>(s);
      break;
    case kBlendAdd:
      RunSelected<AddSub<Px, false>::template Kernel>(s);
      break;
    case kBlendSub:
      if (s.param == 255 && !s.hasBlend && s.brightWhite && !s.srcAlpha) {
        RunFullSubtract<Px, false>(s);
      } else {
        RunSelected<AddSub<Px, true>::template Kernel>(s);
      }
      break;
    case kBlendMul:
      RunSelected<Multiply<Px>::template Kernel>(s);
      break;
    default:
      break;
  }
}

template void DrawStretchDirect<Kind565>(const StretchSetup& s, int mode);
template void DrawStretchDirect<Kind888>(const StretchSetup& s, int mode);

}  // namespace orbel::stretch
