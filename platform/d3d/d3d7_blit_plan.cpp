// Planned sprite blits on the AVX2 road, compiled for AVX2 per function (d3d7_avx2_target.h) and
// called only where the processor runs it.
#include "platform/d3d/d3d7_blit_plan.h"

#include "platform/d3d/d3d7_avx2_target.h"

namespace plat::d3d::avx2 {

#if defined(D3D_AVX2)

namespace {

enum RunKind : uint16_t { kClear, kOpaque, kMixed };

constexpr size_t kMaxGroups = 2048;  // 16,384 texels: 256 KiB of weights at most
constexpr int kWeightWords = 64;     // a mixed group's: four vectors of sixteen

// The weights of one mixed group: d (255 - a) + s a + 128, then Div255 by a multiply, gives the blend
// of every lane; the X lane keeps the destination's where the texel is clear (255, 128) and is 0 elsewhere
// (0, 0), as the unplanned blit does.
D3D_AVX2 void AppendWeights(__m256i s, std::vector<uint16_t>* out) {
  const __m256i zero = _mm256_setzero_si256(), c255 = _mm256_set1_epi16(255), c128 = _mm256_set1_epi16(128);
  const __m256i xLanes = _mm256_set1_epi64x(static_cast<long long>(0xFFFF000000000000ull));
  const __m256i spreadLo = _mm256_setr_epi8(3, -1, 3, -1, 3, -1, 3, -1, 7, -1, 7, -1, 7, -1, 7, -1,  //
                                            3, -1, 3, -1, 3, -1, 3, -1, 7, -1, 7, -1, 7, -1, 7, -1);
  const __m256i spreadHi = _mm256_add_epi8(spreadLo, _mm256_set1_epi16(8));
  out->resize(out->size() + kWeightWords);
  uint16_t* words = out->data() + out->size() - kWeightWords;
  auto half = [&](__m256i s16, __m256i a16, uint16_t* w, uint16_t* t) D3D_AVX2 {
    const __m256i clear = _mm256_cmpeq_epi16(a16, zero);
    const __m256i weight = _mm256_blendv_epi8(_mm256_sub_epi16(c255, a16), _mm256_and_si256(clear, c255), xLanes);
    const __m256i term = _mm256_blendv_epi8(_mm256_add_epi16(_mm256_mullo_epi16(s16, a16), c128),
                                            _mm256_and_si256(clear, c128), xLanes);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(w), weight);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(t), term);
  };
  half(_mm256_unpacklo_epi8(s, zero), _mm256_shuffle_epi8(s, spreadLo), words, words + 16);
  half(_mm256_unpackhi_epi8(s, zero), _mm256_shuffle_epi8(s, spreadHi), words + 32, words + 48);
}

D3D_AVX2 inline __m256i Load(const uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
D3D_AVX2 inline __m256i Load(const uint16_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }

}  // namespace

D3D_AVX2 bool PlanBlit(const RectFrame& f, BlitPlan* plan) {
  const int groups = f.width / 8;
  plan->runs.clear();
  plan->weights.clear();
  if (static_cast<size_t>(groups) * static_cast<size_t>(f.rows) > kMaxGroups) return false;
  const __m256i alphaBits = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
  for (int r = 0; r < f.rows; ++r) {
    const uint8_t* srow = f.src + r * f.srcPitch;
    const size_t count = plan->runs.size();
    plan->runs.push_back(0);
    int last = -1;
    for (int g = 0; g < groups; ++g) {
      const __m256i s = Load(srow + g * 32);
      const int kind = _mm256_testz_si256(s, alphaBits) ? kClear : _mm256_testc_si256(s, alphaBits) ? kOpaque : kMixed;
      if (kind == last) {
        ++plan->runs.back();
      } else {
        plan->runs.push_back(static_cast<uint16_t>(kind));
        plan->runs.push_back(1);
        ++plan->runs[count];
        last = kind;
      }
      if (kind == kMixed) AppendWeights(s, &plan->weights);
    }
  }
  return true;
}

D3D_AVX2 void OverPlannedRectX888(const RectFrame& f, const BlitPlan& plan, const RectFrame* next) {
  const __m256i zero = _mm256_setzero_si256(), rgb = _mm256_set1_epi32(0x00FFFFFF), by257 = _mm256_set1_epi16(257);
  const uint16_t* run = plan.runs.data();
  const uint16_t* w = plan.weights.data();
  for (int r = 0; r < f.rows; ++r) {
    AskForRow(next, r);
    uint8_t* d = f.dst + r * f.dstPitch;
    const uint8_t* s = f.src + r * f.srcPitch;
    for (int runs = *run++; runs > 0; --runs, run += 2) {
      const int kind = run[0], groups = run[1];
      if (kind == kOpaque) {
        for (int g = 0; g < groups; ++g) {
          _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + g * 32), _mm256_and_si256(Load(s + g * 32), rgb));
        }
      } else if (kind == kMixed) {
        for (int g = 0; g < groups; ++g, w += kWeightWords) {
          auto* at = reinterpret_cast<__m256i*>(d + g * 32);
          const __m256i dst = _mm256_loadu_si256(at);
          const __m256i lo = _mm256_add_epi16(_mm256_mullo_epi16(_mm256_unpacklo_epi8(dst, zero), Load(w)), Load(w + 16));
          const __m256i hi = _mm256_add_epi16(_mm256_mullo_epi16(_mm256_unpackhi_epi8(dst, zero), Load(w + 32)), Load(w + 48));
          _mm256_storeu_si256(at, _mm256_packus_epi16(_mm256_mulhi_epu16(lo, by257), _mm256_mulhi_epu16(hi, by257)));
        }
      }
      d += groups * 32;
      s += groups * 32;
    }
  }
  const int whole = f.width & ~7;
  if (whole < f.width) {
    RectFrame rest = f;
    rest.dst += whole * 4;
    rest.src += whole * 4;
    rest.width -= whole;
    OverRectX888(rest, nullptr);
  }
}

#else

bool PlanBlit(const RectFrame&, BlitPlan*) { return false; }
void OverPlannedRectX888(const RectFrame&, const BlitPlan&, const RectFrame*) {}

#endif

}  // namespace plat::d3d::avx2
