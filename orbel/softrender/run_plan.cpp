// Builds the run plan of a run table (run_plan.h): the kinds of run each group of eight pixels
// touches, then the row's groups as segments of one class.
#include "orbel/softrender/run_plan.h"

#include <algorithm>  // fill
#include <vector>

namespace orbel {

namespace {

int GroupsOf(int width) { return (width + kRunPlanGroup - 1) / kRunPlanGroup; }

// The class of a group from the kinds of run it touches (none: a table that stops short of the row's
// end, which the builder never writes; the group is then left alone as clear).
int ClassOf(uint8_t kinds) {
  if (kinds == 0 || kinds == 1u << kRunTransparent) return kPlanClear;
  if (kinds == 1u << kRunOpaque) return kPlanOpaque;
  return kPlanMixed;
}

}  // namespace

uint32_t RunPlanWords(int width, int height) {
  // At worst one segment a group and the row's end word.
  return static_cast<uint32_t>(GroupsOf(width) + 1) * static_cast<uint32_t>(height);
}

void BuildRunPlan(const MemImgRunTable* table, int width, int height, MemImgRunPlan* out) {
  const int groups = GroupsOf(width);
  std::vector<uint8_t> kinds(static_cast<size_t>(groups));
  for (int y = 0; y < height; ++y) {
    std::fill(kinds.begin(), kinds.end(), uint8_t{0});
    int x = 0;
    for (uint8_t k = *table++; k != kRunEnd; k = *table++) {
      const int end = x + (k & 0x3F) + 1 < width ? x + (k & 0x3F) + 1 : width;
      for (int g = x / kRunPlanGroup; g * kRunPlanGroup < end; ++g) kinds[static_cast<size_t>(g)] |= static_cast<uint8_t>(1u << (k >> 6));
      x = end;
    }
    std::vector<uint8_t>& classes = kinds;
    for (uint8_t& k : classes) k = static_cast<uint8_t>(ClassOf(k));
    int drawn = groups;
    while (drawn > 0 && classes[static_cast<size_t>(drawn - 1)] == kPlanClear) --drawn;
    for (int g = 0; g < drawn;) {
      const int kind = classes[static_cast<size_t>(g)];
      int n = 1;
      while (g + n < drawn && n < kRunPlanMaxGroups && classes[static_cast<size_t>(g + n)] == kind) ++n;
      *out++ = static_cast<MemImgRunPlan>(kind << 14 | n);
      g += n;
    }
    *out++ = 0;
  }
}

}  // namespace orbel
