// The run plan: a 32-bit body's run table read once, at the time it is built, into the shape the
// vector walk of run-coded sprites takes it: each row as segments of whole groups of eight pixels
// (on the row's own grid from column 0), each segment clear (every pixel in transparent runs), opaque
// (every pixel in opaque runs) or mixed. The walk then neither decodes run codes nor tests pixels to
// find what a group needs. Depends on mem_img.h (the run-code format).
#pragma once

#include <cstdint>

#include "orbel/softrender/mem_img.h"

namespace orbel {

// A segment word: (kind << 14) | groups, groups 1 to kRunPlanMaxGroups; a row ends with a 0 word.
// Trailing clear groups are left out, so a row without drawn pixels is the 0 word alone.
using MemImgRunPlan = uint16_t;
constexpr int kPlanClear = 0;
constexpr int kPlanOpaque = 1;
constexpr int kPlanMixed = 2;
constexpr int kRunPlanMaxGroups = 0x3FFF;
constexpr int kRunPlanGroup = 8;  // pixels a group

// Words the plan of a width x height body may take at most.
uint32_t RunPlanWords(int width, int height);
// Writes the plan of the body's run table into `out` (RunPlanWords words). The run table must
// describe whole rows of `width` pixels, as the body's own builder writes it.
void BuildRunPlan(const MemImgRunTable* table, int width, int height, MemImgRunPlan* out);

}  // namespace orbel
