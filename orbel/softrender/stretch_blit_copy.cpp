// Stretched-blit pixel loops of direct-colour sources (16-bit 5:6:5 and 32-bit) in the copy mode (0,
// also mode 1 at p = 255) and the multiply-then-alpha mode (11). Copy at white brightness without a
// blend image or alpha is the fast loop; the alpha shortcuts under TransFlag and which 32-bit writes
// cover byte 3 follow the loop's selectors. One kernel template per mode and pixel size.
#include "orbel/softrender/stretch_blit_walk.h"

namespace orbel::stretch {
namespace {

// ---- 16-bit copy --------------------------------------------------------------------------------------
// Channel value: s'; mix8(d, s', a); mix8(d, s', w); mix16(d, s', w * a).

template <bool kBlend, bool kBright, bool kAlpha, bool kTrans>
struct Copy16 {
  static constexpr bool kFast = !kBlend && !kBright && !kAlpha;
  static constexpr int kDstBytes = 2;
  struct Source {
    int32_t r;
    int32_t g;
    int32_t b;
    uint32_t word;  // s' packed
    int32_t k;      // mix weight
    int32_t shift;  // 8 or 16
    bool direct;    // s' is written as it is
  };
  const StretchSetup& s;

  bool Fetch(ptrdiff_t so, ptrdiff_t bo, Source& out) const {
    if constexpr (kFast) {
      // The plain copy compares only the low 16 bits of the transparent colour.
      out.word = Load16(s.src + so);
      return !(kTrans && out.word == (s.transColor & 0xFFFF));
    } else {
      DirectTexel t{};
      if (!ReadDirect<16, kBlend, kAlpha, kTrans>(s, so, bo, t)) return false;
      if constexpr (kBright) {
        out.r = static_cast<int32_t>(s.rowR[Red565(t.word)]);
        out.g = static_cast<int32_t>(s.rowG[Green565(t.word)]);
        out.b = static_cast<int32_t>(s.rowB[Blue565(t.word)]);
        out.word = Pack565(out.r, out.g, out.b);
      } else {
        out.r = Red565(t.word);
        out.g = Green565(t.word);
        out.b = Blue565(t.word);
        out.word = t.word;
      }
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
    if (kFast || (!kBlend && src.direct)) {
      Store16(dst, src.word);
      return;
    }
    const uint32_t d = Load16(dst);
    if (src.shift == 8) {
      Store16(dst, Pack565(Mix8(Red565(d), src.r, src.k), Mix8(Green565(d), src.g, src.k),
                           Mix8(Blue565(d), src.b, src.k)));
    } else {
      Store16(dst, Pack565(Mix16(Red565(d), src.r, src.k), Mix16(Green565(d), src.g, src.k),
                           Mix16(Blue565(d), src.b, src.k)));
    }
  }
};

// ---- 16-bit multiply then alpha -------------------------------------------------------------------
// m = (s' * d) >> n; then d + S(p, m - d), mix16(d, m, a * p), mix16(d, m, w * p) or mix24(d, m, w*a*p).
// With white brightness, no blend image and alpha, the alpha formula forms green on the 11-bit field:
// F = (sG * 32) * (dG * 32) >> 11, mix16(dG * 32, F, a * p) >> 5.

template <bool kBlend, bool kBright, bool kAlpha, bool kTrans>
struct MulAlpha16 {
  static constexpr bool kFast = false;
  static constexpr int kDstBytes = 2;
  static constexpr bool kFineGreen = !kBlend && !kBright && kAlpha;
  struct Source {
    int32_t r;
    int32_t g;
    int32_t b;
    int64_t k;      // weight of the mix
    int32_t shift;  // 0: the signed table; 16 or 24: mix16 or mix24
  };
  const StretchSetup& s;

  bool Fetch(ptrdiff_t so, ptrdiff_t bo, Source& out) const {
    DirectTexel t{};
    if (!ReadDirect<16, kBlend, kAlpha, kTrans>(s, so, bo, t)) return false;
    if constexpr (kBright) {
      out.r = static_cast<int32_t>(s.rowR[Red565(t.word)]);
      out.g = static_cast<int32_t>(s.rowG[Green565(t.word)]);
      out.b = static_cast<int32_t>(s.rowB[Blue565(t.word)]);
    } else {
      out.r = Red565(t.word);
      out.g = Green565(t.word);
      out.b = Blue565(t.word);
    }
    const bool useA = UsesAlpha<kAlpha, kTrans>(t);
    if constexpr (kBlend) {
      out.k = useA ? static_cast<int64_t>(t.w) * t.a * s.param : t.w * s.param;
      out.shift = useA ? 24 : 16;
    } else {
      out.k = useA ? t.a * s.param : 0;
      out.shift = useA ? 16 : 0;
    }
    return true;
  }

  int32_t Move(int32_t d, int32_t m, const Source& src) const {
    if (src.shift == 0) return d + s.signedP[m - d];
    if (src.shift == 16) return Mix16(d, m, static_cast<int32_t>(src.k));
    return Mix24(d, m, src.k);
  }

  void Put(uint8_t* dst, const Source& src) const {
    const uint32_t d = Load16(dst);
    const int32_t dr = Red565(d);
    const int32_t dg = Green565(d);
    const int32_t db = Blue565(d);
    const int32_t r = Move(dr, (src.r * dr) >> 5, src);
    const int32_t b = Move(db, (src.b * db) >> 5, src);
    int32_t g;
    if (kFineGreen && src.shift == 16) {
      const int32_t fine = ((src.g * 32) * (dg * 32)) >> 11;
      g = Mix16(dg * 32, fine, static_cast<int32_t>(src.k)) >> 5;
    } else {
      g = Move(dg, (src.g * dg) >> 6, src);
    }
    Store16(dst, Pack565(r, g, b));
  }
};

// ---- 32-bit copy --------------------------------------------------------------------------------------
// The whole word (byte 3 included) is written only by the plain copy and, at white brightness without
// a blend image, by an alpha pixel of a = 255 under TransFlag; every other write keeps byte 3.

template <bool kBlend, bool kBright, bool kAlpha, bool kTrans>
struct Copy32 {
  static constexpr bool kFast = !kBlend && !kBright && !kAlpha;
  static constexpr int kDstBytes = 4;
  struct Source {
    uint32_t word;  // s' (bytes 0-2) with the source's byte 3
    int32_t k;      // mix weight
    int32_t shift;  // 8 or 16
    bool direct;    // s' is written as it is
  };
  const StretchSetup& s;

  bool Fetch(ptrdiff_t so, ptrdiff_t bo, Source& out) const {
    if constexpr (kFast) {
      out.word = Load32(s.src + so);
      return !(kTrans && out.word == s.transColor);
    } else {
      DirectTexel t{};
      if (!ReadDirect<32, kBlend, kAlpha, kTrans>(s, so, bo, t)) return false;
      if constexpr (kBright) {
        out.word = (t.word & 0xFF000000u) |
                   Pack888(static_cast<int32_t>(s.rowR[Byte(t.word, 16)]),
                           static_cast<int32_t>(s.rowG[Byte(t.word, 8)]),
                           static_cast<int32_t>(s.rowB[Byte(t.word, 0)]));
      } else {
        out.word = t.word;
      }
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
      Store32(dst, src.word);
      return;
    } else {
      const uint32_t d = Load32(dst);
      if (!kBlend && src.direct) {
        // s' as it is: the whole word at white brightness (only an a = 255 pixel under TransFlag
        // gets here), bytes 0-2 otherwise.
        Store32(dst, kBright ? Keep3(d, src.word & 0xFFFFFF) : src.word);
        return;
      }
      const uint32_t x = src.word;
      if (src.shift == 8) {
        Store32(dst, Keep3(d, Pack888(Mix8(Byte(d, 16), Byte(x, 16), src.k), Mix8(Byte(d, 8), Byte(x, 8), src.k),
                                      Mix8(Byte(d, 0), Byte(x, 0), src.k))));
      } else {
        Store32(dst, Keep3(d, Pack888(Mix16(Byte(d, 16), Byte(x, 16), src.k),
                                      Mix16(Byte(d, 8), Byte(x, 8), src.k), Mix16(Byte(d, 0), Byte(x, 0), src.k))));
      }
    }
  }
};

// ---- 32-bit multiply then alpha -----------------------------------------------------------------------
// m = (s' * d) >> 8; then mix8(d, m, p), mix16(d, m, a * p), mix16(d, m, w * p) or mix24(d, m, w*a*p).

template <bool kBlend, bool kBright, bool kAlpha, bool kTrans>
struct MulAlpha32 {
  static constexpr bool kFast = false;
  static constexpr int kDstBytes = 4;
  struct Source {
    uint32_t word;  // s'
    int64_t k;
    int32_t shift;  // 8, 16 or 24
  };
  const StretchSetup& s;

  bool Fetch(ptrdiff_t so, ptrdiff_t bo, Source& out) const {
    DirectTexel t{};
    if (!ReadDirect<32, kBlend, kAlpha, kTrans>(s, so, bo, t)) return false;
    if constexpr (kBright) {
      out.word = Pack888(static_cast<int32_t>(s.rowR[Byte(t.word, 16)]), static_cast<int32_t>(s.rowG[Byte(t.word, 8)]),
                         static_cast<int32_t>(s.rowB[Byte(t.word, 0)]));
    } else {
      out.word = t.word;
    }
    const bool useA = UsesAlpha<kAlpha, kTrans>(t);
    if constexpr (kBlend) {
      out.k = useA ? static_cast<int64_t>(t.w) * t.a * s.param : t.w * s.param;
      out.shift = useA ? 24 : 16;
    } else {
      out.k = useA ? t.a * s.param : s.param;
      out.shift = useA ? 16 : 8;
    }
    return true;
  }

  static int32_t Channel(int32_t d, int32_t x, const Source& src) {
    const int32_t m = (x * d) >> 8;
    if (src.shift == 8) return Mix8(d, m, static_cast<int32_t>(src.k));
    if (src.shift == 16) return Mix16(d, m, static_cast<int32_t>(src.k));
    return Mix24(d, m, src.k);
  }

  void Put(uint8_t* dst, const Source& src) const {
    const uint32_t d = Load32(dst);
    const uint32_t x = src.word;
    Store32(dst, Keep3(d, Pack888(Channel(Byte(d, 16), Byte(x, 16), src), Channel(Byte(d, 8), Byte(x, 8), src),
                                  Channel(Byte(d, 0), Byte(x, 0), src))));
  }
};

}  // namespace

void DrawStretchCopy16(const StretchSetup& s, int mode) {
  if (mode == 0) {
    RunSelected<Copy16>(s);
  } else {
    RunSelected<MulAlpha16>(s);
  }
}

void DrawStretchCopy32(const StretchSetup& s, int mode) {
  if (mode == 0) {
    RunSelected<Copy32>(s);
  } else {
    RunSelected<MulAlpha32>(s);
  }
}

}  // namespace orbel::stretch
