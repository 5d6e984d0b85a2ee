// Builds the run plan of a run table (run_plan.h): the kinds of run each group of eight pixels
// touches, then the row's groups as segments of one class; and the blend words of its mixed groups.
#include "orbel/softrender/run_plan.h"

#include <algorithm>  // fill
#include <cstring>    // memcpy
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

// The blend words of pixel `v` (0xAARRGGBB) for its channel `c` (0-3, 3 alpha): {w, t}.
void PixelWords(uint32_t v, int c, uint16_t* w, uint16_t* t) {
  const uint32_t a = v >> 24, s = (v >> (8 * c)) & 0xFF;
  if (a == 255) {
    *w = 0;
    *t = static_cast<uint16_t>(s * 256);
  } else if (c == 3) {
    *w = 256;
    *t = 0;
  } else {
    *w = static_cast<uint16_t>(256 - a);
    *t = static_cast<uint16_t>(s * a);
  }
}

// One group's words: pixel i of the group goes to half (i >> 1) & 1, slot (i & 1) + 2 * (i >> 2).
void GroupWords(const uint8_t* row, int pixels, uint16_t* out) {
  for (int i = 0; i < kRunPlanGroup; ++i) {
    uint32_t v = 0;  // past the row's end: alpha 0, which keeps d
    if (i < pixels) std::memcpy(&v, row + 4 * i, 4);
    uint16_t* half = out + 32 * ((i >> 1) & 1);
    const int slot = (i & 1) + 2 * (i >> 2);
    for (int c = 0; c < 4; ++c) PixelWords(v, c, &half[4 * slot + c], &half[16 + 4 * slot + c]);
  }
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

uint32_t RunPlanMixedGroups(const MemImgRunPlan* plan, int height) {
  uint32_t groups = 0;
  for (int y = 0; y < height; ++y) {
    for (MemImgRunPlan segment = *plan++; segment != 0; segment = *plan++) {
      if (segment >> 14 == kPlanMixed) groups += segment & kRunPlanMaxGroups;
    }
  }
  return groups;
}

void BuildRunWeights(const uint8_t* pixels, ptrdiff_t pitch, int width, int height, const MemImgRunPlan* plan,
                     uint16_t* out) {
  for (int y = 0; y < height; ++y) {
    const uint8_t* row = pixels + y * pitch;
    int x = 0;
    for (MemImgRunPlan segment = *plan++; segment != 0; segment = *plan++) {
      const int end = x + kRunPlanGroup * (segment & kRunPlanMaxGroups);
      if (segment >> 14 == kPlanMixed) {
        for (; x < end; x += kRunPlanGroup, out += kRunWeightWords) GroupWords(row + 4 * x, std::min(kRunPlanGroup, width - x), out);
      }
      x = end;
    }
  }
}

}  // namespace orbel
