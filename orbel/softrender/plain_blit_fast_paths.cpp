// The plain blit's fast-path table (plain_blit_fast_paths.h): the rows, the traits of a draw, the
// first-match walk and the hit counters.
#include "orbel/softrender/plain_blit_fast_paths.h"

#include <atomic>
#include <iterator>  // size

#include "orbel/graphics/draw_state.h"
#include "orbel/softrender/plain_blit_family.h"

namespace orbel {

namespace {

constexpr uint32_t Modes(std::initializer_list<int> modes) {
  uint32_t bits = 0;
  for (const int m : modes) bits |= 1u << m;
  return bits;
}

constexpr uint32_t kAllModes = Modes({0, 1, 2, 3, 4, 10, 11});
constexpr uint32_t kPlainFlags = kTraitBright | kTraitBlendImage;

using namespace blit;

// First match wins: the specialised rows of a kind before its wider ones.
constexpr PlainBlitFastPath kRows[] = {
    // name                                need                                                         refuse                                       modes                       road
    {"copy_plan_a8r8g8b8_avx2", kTraitDeep | kTraitDirect | kTraitSrcAlpha | kTraitTrans | kTraitRunTable | kTraitRunPlan | kTraitRunWeights,
     kPlainFlags, Modes({0}), SimdRoad::kAvx2, CopyPlanA8R8G8B8Avx2},
    {"runs_x8r8g8b8_avx2", kTraitDeep | kTraitDirect | kTraitTrans | kTraitRunTable, kPlainFlags, kAllModes, SimdRoad::kAvx2, RunsX8R8G8B8Avx2},
    {"run_stretches_x8r8g8b8", kTraitDeep | kTraitDirect | kTraitTrans | kTraitRunTable, kPlainFlags, kAllModes, SimdRoad::kSse2,
     RunStretchesX8R8G8B8},
    {"halve_rows_x8r8g8b8", kTraitDeep | kTraitDirect | kTraitHalve, 0, Modes({1}), SimdRoad::kSse2, HalveRowsX8R8G8B8},
    {"saturate_rows_x8r8g8b8", kTraitDeep | kTraitDirect | kTraitSaturate, 0, Modes({2, 3}), SimdRoad::kSse2, SaturateRowsX8R8G8B8},
    {"rows_x8r8g8b8", kTraitDeep | kTraitDirect, kPlainFlags | kTraitRunTable | kTraitCopy | kTraitHalve | kTraitSaturate, kAllModes,
     SimdRoad::kSse2, RowsX8R8G8B8},
    // The 16-bit plain mode-1 run rule is not its row rule, so its runs stay on the general path.
    {"run_stretches_r5g6b5", kTraitDirect | kTraitTrans | kTraitRunTable, kTraitDeep | kPlainFlags, Modes({0, 2, 3, 4, 10, 11}),
     SimdRoad::kSse2, RunStretchesR5G6B5},
    {"alpha_run_stretches_r5g6b5", kTraitAlphaLayout | kTraitSrcAlpha | kTraitTrans | kTraitRunTable, kTraitDeep | kPlainFlags, Modes({0}),
     SimdRoad::kSse2, AlphaRunStretchesR5G6B5},
    {"halve_rows_r5g6b5", kTraitDirect | kTraitHalve, kTraitDeep, Modes({1}), SimdRoad::kSse2, HalveRowsR5G6B5},
    {"rows_r5g6b5", kTraitDirect, kTraitDeep | kPlainFlags | kTraitRunTable | kTraitCopy | kTraitHalve, kAllModes, SimdRoad::kSse2,
     RowsR5G6B5},
    {"alpha_copy_rows_r5g6b5", kTraitAlphaLayout | kTraitSrcAlpha | kTraitTrans, kTraitDeep | kPlainFlags | kTraitRunTable, Modes({0}),
     SimdRoad::kSse2, AlphaCopyRowsR5G6B5},
};
constexpr int kRowCount = static_cast<int>(std::size(kRows));

// Counters for tests: a plain load and store (no locked add on every draw), so draws on two threads
// at once may lose a count, never tear one.
std::atomic<uint64_t> gHits[kRowCount];
std::atomic<uint64_t> gGeneralHits;

void Count(std::atomic<uint64_t>& counter) { counter.store(counter.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed); }

}  // namespace

uint32_t PlainBlitTraits(const PlainBlitFrame& f, bool deep) {
  uint32_t t = deep ? uint32_t{kTraitDeep} : 0u;
  if (f.palette == nullptr) t |= (deep || !f.srcAlpha) ? kTraitDirect : kTraitAlphaLayout;
  if (f.srcAlpha) t |= kTraitSrcAlpha;
  if (f.trans) t |= kTraitTrans;
  if (f.bright != 0xFFFFFF) t |= kTraitBright;
  if (f.blend != nullptr) t |= kTraitBlendImage;
  if (f.runTable != nullptr) t |= kTraitRunTable;
  if (f.runPlan != nullptr) t |= kTraitRunPlan;
  if (f.runWeights != nullptr) t |= kTraitRunWeights;
  // The special-value rules, as blit::RunCopyOrHalve and the 32-bit family's saturation apply them.
  if (blit::SpecialAllowed(f)) {
    if (f.mode == kBlendNone && !f.trans && (t & kTraitDirect)) t |= kTraitCopy;
    if (f.mode == kBlendAlpha && f.param == 128) t |= kTraitHalve;
    if (deep && (f.mode == kBlendAdd || f.mode == kBlendSub) && f.param == 255 && f.mmx) t |= kTraitSaturate;
  }
  return t;
}

bool RunPlainBlitFastPath(const PlainBlitFrame& frame, const blit::Context& c, bool deep) {
  const SimdRoad road = ActiveSimdRoad();
  if (road != SimdRoad::kPortable) {
    const uint32_t traits = PlainBlitTraits(frame, deep);
    const uint32_t mode = 1u << frame.mode;
    for (int i = 0; i < kRowCount; ++i) {
      const PlainBlitFastPath& row = kRows[i];
      if ((traits & row.need) != row.need || (traits & row.refuse) != 0 || (row.modes & mode) == 0 ||
          static_cast<int>(road) < static_cast<int>(row.road)) {
        continue;
      }
      Count(gHits[i]);
      row.routine(frame, c);
      return true;
    }
  }
  Count(gGeneralHits);
  return false;
}

int PlainBlitFastPathCount() { return kRowCount; }
const PlainBlitFastPath& PlainBlitFastPathAt(int index) { return kRows[index]; }
uint64_t PlainBlitFastPathHits(int index) { return gHits[index].load(std::memory_order_relaxed); }
uint64_t PlainBlitGeneralPathHits() { return gGeneralHits.load(std::memory_order_relaxed); }

void ResetPlainBlitFastPathHits() {
  for (std::atomic<uint64_t>& h : gHits) h.store(0, std::memory_order_relaxed);
  gGeneralHits.store(0, std::memory_order_relaxed);
}

}  // namespace orbel
