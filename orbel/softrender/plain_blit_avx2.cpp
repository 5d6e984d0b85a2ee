// AVX2 rows of 32-bit sources, with alpha and without. Everything here is compiled for AVX2 and kept file-local, so no
// function of this file can stand in for a baseline one elsewhere; only the two entries are shared.
// The 256-bit unpacks and packs work per 128-bit half, which keeps pixel order through each
// unpack-then-pack pair.
#include "orbel/softrender/plain_blit_avx2.h"

#include <immintrin.h>  // AVX2 intrinsics
#include <cstdlib>

#include "orbel/graphics/draw_state.h"
#include "orbel/softrender/run_plan.h"
#include "orbel/softrender/run_stretch.h"
#include "platform/win/kernel/cpu.h"

#define ORBEL_AVX2 __attribute__((target("avx2")))

namespace orbel::avx2 {
namespace {

using V = __m256i;

ORBEL_AVX2 inline V Load(const uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const V*>(p)); }
ORBEL_AVX2 inline void Store(uint8_t* p, V v) { _mm256_storeu_si256(reinterpret_cast<V*>(p), v); }
ORBEL_AVX2 inline V Set16(int v) { return _mm256_set1_epi16(static_cast<short>(v)); }
ORBEL_AVX2 inline V Set32(uint32_t v) { return _mm256_set1_epi32(static_cast<int>(v)); }
ORBEL_AVX2 inline V Select(V mask, V a, V b) { return _mm256_blendv_epi8(b, a, mask); }

ORBEL_AVX2 inline V Div255(V x) {
  return _mm256_srli_epi16(_mm256_add_epi16(_mm256_add_epi16(x, Set16(1)), _mm256_srli_epi16(x, 8)), 8);
}
// (d (256 - a) + s a) >> 8 per 16-bit lane.
ORBEL_AVX2 inline V Lerp16(V d, V s, V a) {
  return _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(d, _mm256_sub_epi16(Set16(256), a)),
                                            _mm256_mullo_epi16(s, a)),
                           8);
}
ORBEL_AVX2 inline V SpreadAlpha(V px16) {
  return _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(px16, _MM_SHUFFLE(3, 3, 3, 3)), _MM_SHUFFLE(3, 3, 3, 3));
}
// (d 65536 + (t - d) q) >> 16 for q up to 65025 (q read as signed is mended by adding t - d).
ORBEL_AVX2 inline V MoveByQ(V d, V t, V q) {
  const V diff = _mm256_sub_epi16(t, d);
  return _mm256_add_epi16(d, _mm256_add_epi16(_mm256_mulhi_epi16(diff, q), _mm256_and_si256(diff, _mm256_srai_epi16(q, 15))));
}
ORBEL_AVX2 inline V PackedAdd(V d, V v) {
  const V m = Set32(0xFEFEFF);
  const V sum = _mm256_add_epi32(_mm256_and_si256(d, m), _mm256_and_si256(v, m));
  const V c = _mm256_and_si256(sum, Set32(0x1010100));
  return _mm256_or_si256(_mm256_or_si256(sum, _mm256_sub_epi32(c, _mm256_srli_epi32(c, 8))),
                         _mm256_and_si256(_mm256_or_si256(d, v), Set32(0x10100)));
}
ORBEL_AVX2 inline V PackedSub(V d, V v) {
  const V t = _mm256_sub_epi32(_mm256_or_si256(d, Set32(0x1010100)), _mm256_and_si256(v, Set32(0xFEFEFF)));
  const V c = _mm256_and_si256(t, Set32(0x1010100));
  return _mm256_and_si256(t, _mm256_sub_epi32(c, _mm256_srli_epi32(c, 8)));
}
// Bytes 0-2 from `mix`, byte 3 from `d`.
ORBEL_AVX2 inline V KeepTop(V mix, V d) {
  const V keep = Set32(0xFF000000u);
  return _mm256_or_si256(_mm256_andnot_si256(keep, mix), _mm256_and_si256(d, keep));
}

// Groups of eight: all clear left alone when `skipClear`, all opaque copied when `copyOpaque`, others
// through vec(d, s).
template <bool kSkipClear, bool kCopyOpaque, class Vec>
ORBEL_AVX2 inline int Rows(uint8_t* drow, const uint8_t* srow, int width, Vec vec) {
  const V alpha = Set32(0xFF000000u);
  int x = 0;
  for (; x + 8 <= width; x += 8) {
    const V s = Load(srow + 4 * x);
    if constexpr (kSkipClear || kCopyOpaque) {
      const V a = _mm256_and_si256(s, alpha);
      if (kSkipClear && _mm256_testz_si256(a, a)) continue;
      if (kCopyOpaque && _mm256_movemask_epi8(_mm256_cmpeq_epi32(a, alpha)) == -1) {
        Store(drow + 4 * x, s);
        continue;
      }
    }
    Store(drow + 4 * x, vec(Load(drow + 4 * x), s));
  }
  return x;
}

// The last 1-7 pixels of a stretch through vec, read and written under a lane mask (the lanes past
// the stretch read as 0 and are not stored).
template <class Vec>
ORBEL_AVX2 inline void MaskedTail(uint8_t* drow, const uint8_t* srow, int n, Vec vec) {
  const V mask = _mm256_cmpgt_epi32(Set32(static_cast<uint32_t>(n)), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
  const V s = _mm256_maskload_epi32(reinterpret_cast<const int*>(srow), mask);
  const V d = _mm256_maskload_epi32(reinterpret_cast<const int*>(drow), mask);
  _mm256_maskstore_epi32(reinterpret_cast<int*>(drow), mask, vec(d, s));
}

// Walks one row of a run plan: draw(kind, x, end) for each segment that is not clear, its groups of
// eight from x to end on the row's own grid (end may pass the row's width). Returns the plan past the
// row's end word.
template <class Draw>
ORBEL_AVX2 __attribute__((always_inline)) inline const uint16_t* ForEachPlanSegment(const uint16_t* plan, Draw draw) {
  int x = 0;
  for (uint16_t segment = *plan++; segment != 0; segment = *plan++) {
    const int end = x + kRunPlanGroup * (segment & kRunPlanMaxGroups);
    if (segment >> 14 != kPlanClear) draw(segment >> 14, x, end);
    x = end;
  }
  return plan;
}

// Where a mode's vector goes. RowDrive: the leading groups of eight of one row (returns how many
// pixels it drew). RunDrive: every stretch of every row of a run-coded picture, whole (returns 1).
struct RowDrive {
  uint8_t* drow;
  const uint8_t* srow;
  int width;
  template <bool kSkipClear, bool kCopyOpaque, class Vec>
  ORBEL_AVX2 int Run(Vec vec) const {
    return Rows<kSkipClear, kCopyOpaque>(drow, srow, width, vec);
  }
};

struct RunDrive {
  const RunFrame& f;
  bool mergeClear;  // false: transparent runs split the stretches (multiply of alpha sources)
  template <bool kSkipClear, bool kCopyOpaque, class Vec>
  ORBEL_AVX2 int Run(Vec vec) const {
    const uint8_t* code = f.table;
    const uint16_t* plan = f.plan;
    for (int y = 0; y < f.height; ++y) {
      uint8_t* drow = f.dst + y * f.dstPitch;
      const uint8_t* srow = f.src + y * f.srcPitch;
      if (mergeClear && f.plan != nullptr) {
        plan = PlanRow<kCopyOpaque>(plan, drow, srow, f.width, vec);
        continue;
      }
      if (!mergeClear) {
        blit::ForEachStretch<false>(code, f.width, [&](int x, int n) ORBEL_AVX2 { Stretch<kSkipClear, kCopyOpaque>(drow, srow, x, n, vec); });
        continue;
      }
      const blit::RowShape shape = blit::ReadRowShape(code, f.width);
      if (shape.n == 0) continue;
      // Groups of eight on the row's own grid (the source's alignment). The drawn part lies between
      // transparent pixels, which every rule here leaves as they are, so it is widened to whole groups
      // as far as the row goes: masked stores are slow on some processors and stall the loads of the
      // next sprite drawn over the same place.
      const int x = shape.x & ~7;
      const int end = (shape.x + shape.n + 7) / 8 * 8 < f.width ? (shape.x + shape.n + 7) / 8 * 8 : f.width;
      Stretch<kSkipClear, kCopyOpaque>(drow, srow, x, end - x, vec);
    }
    return 1;
  }
  // One row of the run plan: clear groups left alone, opaque ones copied when the rule copies them,
  // the rest through vec; the row's last group, when the width cuts it, under a mask. Returns the
  // plan past the row's end word.
  template <bool kCopyOpaque, class Vec>
  ORBEL_AVX2 __attribute__((always_inline)) static const uint16_t* PlanRow(const uint16_t* plan, uint8_t* drow,
                                                                           const uint8_t* srow, int width, Vec& vec) {
    return ForEachPlanSegment(plan, [&](int kind, int x, int end) ORBEL_AVX2 {
      const int whole = end < width ? end : width & ~7;
      if (kCopyOpaque && kind == kPlanOpaque) {
        for (; x < whole; x += 8) Store(drow + 4 * x, Load(srow + 4 * x));
      } else {
        for (; x < whole; x += 8) Store(drow + 4 * x, vec(Load(drow + 4 * x), Load(srow + 4 * x)));
      }
      if (x < end && x < width) MaskedTail(drow + 4 * x, srow + 4 * x, width - x, vec);
    });
  }
  // Pixels x to x + n of a row: whole groups, then the rest under a mask.
  template <bool kSkipClear, bool kCopyOpaque, class Vec>
  ORBEL_AVX2 __attribute__((always_inline)) static void Stretch(uint8_t* drow, const uint8_t* srow, int x, int n, Vec& vec) {
    uint8_t* d = drow + 4 * static_cast<ptrdiff_t>(x);
    const uint8_t* s = srow + 4 * static_cast<ptrdiff_t>(x);
    const int done = Rows<kSkipClear, kCopyOpaque>(d, s, n, vec);
    if (done < n && n > 0) MaskedTail(d + 4 * done, s + 4 * done, n - done, vec);
  }
};

// d * w + t per channel, >> 8, for one mixed group from its blend words (run_plan.h).
ORBEL_AVX2 inline V Weighted(V d, const uint16_t* w) {
  const V zero = _mm256_setzero_si256();
  const V lo = _mm256_add_epi16(_mm256_mullo_epi16(_mm256_unpacklo_epi8(d, zero), Load(reinterpret_cast<const uint8_t*>(w))),
                                Load(reinterpret_cast<const uint8_t*>(w + 16)));
  const V hi = _mm256_add_epi16(_mm256_mullo_epi16(_mm256_unpackhi_epi8(d, zero), Load(reinterpret_cast<const uint8_t*>(w + 32))),
                                Load(reinterpret_cast<const uint8_t*>(w + 48)));
  return _mm256_packus_epi16(_mm256_srli_epi16(lo, 8), _mm256_srli_epi16(hi, 8));
}

// A group the row's end cuts goes under a lane mask.
ORBEL_AVX2 void CopyPlannedRows(const RunFrame& f) {
  const uint16_t* plan = f.plan;
  const uint16_t* w = f.weights;
  const int whole = f.width & ~7;
  const V tailMask = _mm256_cmpgt_epi32(Set32(static_cast<uint32_t>(f.width - whole)), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
  for (int y = 0; y < f.height; ++y) {
    uint8_t* drow = f.dst + y * f.dstPitch;
    const uint8_t* srow = f.src + y * f.srcPitch;
    plan = ForEachPlanSegment(plan, [&](int kind, int x, int end) ORBEL_AVX2 {
      const int stop = end < whole ? end : whole;
      if (kind == kPlanOpaque) {
        for (; x < stop; x += 8) Store(drow + 4 * x, Load(srow + 4 * x));
        if (x < end && x < f.width) {
          const V s = _mm256_maskload_epi32(reinterpret_cast<const int*>(srow + 4 * x), tailMask);
          _mm256_maskstore_epi32(reinterpret_cast<int*>(drow + 4 * x), tailMask, s);
        }
      } else {
        for (; x < stop; x += 8, w += kRunWeightWords) Store(drow + 4 * x, Weighted(Load(drow + 4 * x), w));
        if (x < end && x < f.width) {
          const V d = _mm256_maskload_epi32(reinterpret_cast<const int*>(drow + 4 * x), tailMask);
          _mm256_maskstore_epi32(reinterpret_cast<int*>(drow + 4 * x), tailMask, Weighted(d, w));
          w += kRunWeightWords;
        }
      }
    });
  }
}

template <bool kTrans, class Drive>
ORBEL_AVX2 int Copy(const Drive& drive) {
  const V zero = _mm256_setzero_si256();
  return drive.template Run<true, true>([&](V d, V s) ORBEL_AVX2 {
    const V s0 = _mm256_unpacklo_epi8(s, zero), s1 = _mm256_unpackhi_epi8(s, zero);
    const V d0 = _mm256_unpacklo_epi8(d, zero), d1 = _mm256_unpackhi_epi8(d, zero);
    const V mix = KeepTop(_mm256_packus_epi16(Lerp16(d0, s0, SpreadAlpha(s0)), Lerp16(d1, s1, SpreadAlpha(s1))), d);
    return Select(_mm256_cmpeq_epi32(_mm256_srli_epi32(s, 24), Set32(255)), s, mix);
  });
}

template <int kMode, bool kTrans, class Drive>
ORBEL_AVX2 int Toward(const Drive& drive, int p) {
  const V zero = _mm256_setzero_si256();
  const V p16 = Set16(p);
  auto term = [&](V d16, V s16) ORBEL_AVX2 {
    if constexpr (kMode == kBlendAlpha) return s16;
    else if constexpr (kMode == kBlendInvert) return _mm256_sub_epi16(Set16(255), s16);
    else return _mm256_srli_epi16(_mm256_mullo_epi16(s16, d16), 8);
  };
  return drive.template Run<true, false>([&](V d, V s) ORBEL_AVX2 {
    const V d0 = _mm256_unpacklo_epi8(d, zero), d1 = _mm256_unpackhi_epi8(d, zero);
    const V s0 = _mm256_unpacklo_epi8(s, zero), s1 = _mm256_unpackhi_epi8(s, zero);
    const V t0 = term(d0, s0), t1 = term(d1, s1);
    V mix = _mm256_packus_epi16(MoveByQ(d0, t0, _mm256_mullo_epi16(SpreadAlpha(s0), p16)),
                                MoveByQ(d1, t1, _mm256_mullo_epi16(SpreadAlpha(s1), p16)));
    if constexpr (kTrans) {
      const V a32 = _mm256_srli_epi32(s, 24);
      const V opaque = _mm256_packus_epi16(Lerp16(d0, t0, p16), Lerp16(d1, t1, p16));
      mix = Select(_mm256_cmpeq_epi32(a32, Set32(255)), opaque, mix);
      mix = Select(_mm256_cmpeq_epi32(a32, zero), d, mix);
    }
    return KeepTop(mix, d);
  });
}

template <bool kSubtract, bool kTrans, class Drive>
ORBEL_AVX2 int AddSub(const Drive& drive, int p) {
  const V zero = _mm256_setzero_si256();
  const V p16 = Set16(p);
  auto vec = [&](V d, V s) ORBEL_AVX2 {
    const V s0 = _mm256_unpacklo_epi8(s, zero), s1 = _mm256_unpackhi_epi8(s, zero);
    V v = _mm256_packus_epi16(_mm256_mulhi_epu16(s0, _mm256_mullo_epi16(SpreadAlpha(s0), p16)),
                              _mm256_mulhi_epu16(s1, _mm256_mullo_epi16(SpreadAlpha(s1), p16)));
    V a32 = zero;
    if constexpr (kTrans) {
      a32 = _mm256_srli_epi32(s, 24);
      const V opaque = _mm256_packus_epi16(Div255(_mm256_mullo_epi16(s0, p16)), Div255(_mm256_mullo_epi16(s1, p16)));
      v = Select(_mm256_cmpeq_epi32(a32, Set32(255)), opaque, v);
    }
    v = _mm256_and_si256(v, Set32(0xFFFFFF));
    const V r = kSubtract ? PackedSub(d, v) : PackedAdd(d, v);
    if constexpr (kTrans) return Select(_mm256_cmpeq_epi32(a32, zero), d, r);
    return r;
  };
  if constexpr (kTrans) return drive.template Run<true, false>(vec);
  else return drive.template Run<false, false>(vec);
}

template <bool kTrans, class Drive>
ORBEL_AVX2 int Multiply(const Drive& drive) {
  const V zero = _mm256_setzero_si256();
  return drive.template Run<false, false>([&](V d, V s) ORBEL_AVX2 {
    const V s0 = _mm256_unpacklo_epi8(s, zero), s1 = _mm256_unpackhi_epi8(s, zero);
    const V x0 = _mm256_mullo_epi16(_mm256_unpacklo_epi8(d, zero), s0);
    const V x1 = _mm256_mullo_epi16(_mm256_unpackhi_epi8(d, zero), s1);
    V mul = _mm256_packus_epi16(_mm256_mulhi_epu16(x0, SpreadAlpha(s0)), _mm256_mulhi_epu16(x1, SpreadAlpha(s1)));
    if constexpr (kTrans) {
      const V opaque = _mm256_packus_epi16(_mm256_srli_epi16(x0, 8), _mm256_srli_epi16(x1, 8));
      mul = Select(_mm256_cmpeq_epi32(_mm256_srli_epi32(s, 24), Set32(255)), opaque, mul);
    }
    return KeepTop(mul, d);
  });
}

// Sources without alpha: every pixel takes the mode's rule by p; under the flag a pixel equal to the
// transparent colour keeps the destination.
template <int kMode, bool kTrans, class Drive>
ORBEL_AVX2 int Plain(const Drive& drive, int p, uint32_t key) {
  const V zero = _mm256_setzero_si256();
  const V p16 = Set16(p);
  const V key32 = Set32(key);
  return drive.template Run<false, false>([&](V d, V s) ORBEL_AVX2 {
    const V d0 = _mm256_unpacklo_epi8(d, zero), d1 = _mm256_unpackhi_epi8(d, zero);
    const V s0 = _mm256_unpacklo_epi8(s, zero), s1 = _mm256_unpackhi_epi8(s, zero);
    V r;
    if constexpr (kMode == kBlendNone) {
      r = s;
    } else if constexpr (kMode == kBlendAlpha || kMode == kBlendInvert || kMode == kBlendMulAlpha) {
      auto term = [&](V dd, V ss) ORBEL_AVX2 {
        if constexpr (kMode == kBlendAlpha) return ss;
        else if constexpr (kMode == kBlendInvert) return _mm256_sub_epi16(Set16(255), ss);
        else return _mm256_srli_epi16(_mm256_mullo_epi16(ss, dd), 8);
      };
      r = KeepTop(_mm256_packus_epi16(Lerp16(d0, term(d0, s0), p16), Lerp16(d1, term(d1, s1), p16)), d);
    } else if constexpr (kMode == kBlendAdd || kMode == kBlendSub) {
      const V v = _mm256_and_si256(
          _mm256_packus_epi16(Div255(_mm256_mullo_epi16(s0, p16)), Div255(_mm256_mullo_epi16(s1, p16))), Set32(0xFFFFFF));
      r = kMode == kBlendAdd ? PackedAdd(d, v) : PackedSub(d, v);
    } else {
      static_assert(kMode == kBlendMul);
      r = KeepTop(_mm256_packus_epi16(_mm256_srli_epi16(_mm256_mullo_epi16(d0, s0), 8),
                                      _mm256_srli_epi16(_mm256_mullo_epi16(d1, s1), 8)),
                  d);
    }
    if constexpr (kTrans) return Select(_mm256_cmpeq_epi32(s, key32), d, r);
    return r;
  });
}

template <bool kTrans, class Drive>
ORBEL_AVX2 int PlainByMode(int mode, const Drive& drive, int p, uint32_t key) {
  switch (mode) {
    case kBlendNone: return kTrans ? Plain<kBlendNone, kTrans>(drive, p, key) : 0;
    case kBlendAlpha: return Plain<kBlendAlpha, kTrans>(drive, p, key);
    case kBlendInvert: return Plain<kBlendInvert, kTrans>(drive, p, key);
    case kBlendMulAlpha: return Plain<kBlendMulAlpha, kTrans>(drive, p, key);
    case kBlendAdd: return Plain<kBlendAdd, kTrans>(drive, p, key);
    case kBlendSub: return Plain<kBlendSub, kTrans>(drive, p, key);
    case kBlendMul: return Plain<kBlendMul, kTrans>(drive, p, key);
    default: return 0;
  }
}

template <bool kTrans, class Drive>
ORBEL_AVX2 int ByMode(int mode, const Drive& drive, int p) {
  switch (mode) {
    case kBlendNone: return kTrans ? Copy<kTrans>(drive) : 0;
    case kBlendAlpha: return Toward<kBlendAlpha, kTrans>(drive, p);
    case kBlendInvert: return Toward<kBlendInvert, kTrans>(drive, p);
    case kBlendMulAlpha: return Toward<kBlendMulAlpha, kTrans>(drive, p);
    case kBlendAdd: return AddSub<false, kTrans>(drive, p);
    case kBlendSub: return AddSub<true, kTrans>(drive, p);
    case kBlendMul: return Multiply<kTrans>(drive);
    default: return 0;
  }
}

// Exact per-byte saturating add or subtract of all four bytes; keyed pixels kept under the flag.
template <bool kSubtract, bool kTrans>
ORBEL_AVX2 int Saturate(uint8_t* drow, const uint8_t* srow, int width, uint32_t key) {
  const V key32 = Set32(key);
  return Rows<false, false>(drow, srow, width, [&](V d, V s) ORBEL_AVX2 {
    const V r = kSubtract ? _mm256_subs_epu8(d, s) : _mm256_adds_epu8(d, s);
    if constexpr (kTrans) return Select(_mm256_cmpeq_epi32(s, key32), d, r);
    return r;
  });
}

}  // namespace

bool Supported() { return plat::ProcessorHasAvx2(); }

ORBEL_AVX2 int AlphaRow32(int mode, bool trans, uint8_t* drow, const uint8_t* srow, int width, int p) {
  const RowDrive drive{drow, srow, width};
  return trans ? ByMode<true>(mode, drive, p) : ByMode<false>(mode, drive, p);
}

ORBEL_AVX2 int SaturateRow32(bool subtract, bool trans, uint8_t* drow, const uint8_t* srow, int width, uint32_t key) {
  if (subtract) return trans ? Saturate<true, true>(drow, srow, width, key) : Saturate<true, false>(drow, srow, width, key);
  return trans ? Saturate<false, true>(drow, srow, width, key) : Saturate<false, false>(drow, srow, width, key);
}

ORBEL_AVX2 int PlainRow32(int mode, bool trans, uint8_t* drow, const uint8_t* srow, int width, int p, uint32_t key) {
  const RowDrive drive{drow, srow, width};
  return trans ? PlainByMode<true>(mode, drive, p, key) : PlainByMode<false>(mode, drive, p, key);
}

ORBEL_AVX2 void CopyPlanned32(const RunFrame& frame) { CopyPlannedRows(frame); }

ORBEL_AVX2 bool RunRows32(int mode, bool alpha, const RunFrame& frame, int p, uint32_t key) {
  // Multiply draws an alpha-0 pixel of a row (it blackens) but skips a transparent run, so its
  // stretches stop at transparent runs; every other rule leaves an alpha-0 or keyed pixel alone.
  const RunDrive drive{frame, !alpha || mode != kBlendMul};
  return (alpha ? ByMode<true>(mode, drive, p) : PlainByMode<true>(mode, drive, p, key)) != 0;
}

}  // namespace orbel::avx2
