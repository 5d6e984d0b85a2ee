// The run plan: a 32-bit body's run table read once, at the time it is built, into the shape the
// vector walk of run-coded sprites takes it: each row as segments of whole groups of eight pixels
// (on the row's own grid from column 0), each segment clear (every pixel in transparent runs), opaque
// (every pixel in opaque runs) or mixed. The walk then neither decodes run codes nor tests pixels to
// find what a group needs. Depends on mem_img.h (the run-code format).
#pragma once

#include <cstddef>
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

// The blend words of one mixed group of an alpha body, for the copy rule (mode 0 under the
// transparency flag): per channel a weight w and a term t with result (d * w + t) >> 8, exact for
// every alpha (255: w 0, t s * 256; 0: w 256, t 0; else w 256 - a, t s * a; the alpha channel keeps d
// unless the pixel is opaque). Four runs of 16 words: w, t of pixels 0, 1, 4, 5, then w, t of pixels 2,
// 3, 6, 7, the order in which 256-bit byte unpacks spread a group. Pixels past the row's end keep d.
constexpr int kRunWeightWords = 64;
// Bodies whose weights would exceed this many bytes draw their mixed groups from the pixels instead.
constexpr uint32_t kRunWeightsMaxBytes = 1u << 20;

// Words the plan of a width x height body may take at most.
uint32_t RunPlanWords(int width, int height);
// Writes the plan of the body's run table into `out` (RunPlanWords words). The run table must
// describe whole rows of `width` pixels, as the body's own builder writes it.
void BuildRunPlan(const MemImgRunTable* table, int width, int height, MemImgRunPlan* out);
// Mixed groups of a plan of `height` rows.
uint32_t RunPlanMixedGroups(const MemImgRunPlan* plan, int height);
// Writes the blend words of every mixed group of the plan, in walk order, from the body's 32-bit
// pixels (alpha in byte 3) into `out` (RunPlanMixedGroups x kRunWeightWords words).
void BuildRunWeights(const uint8_t* pixels, ptrdiff_t pitch, int width, int height, const MemImgRunPlan* plan,
                     uint16_t* out);

}  // namespace orbel
