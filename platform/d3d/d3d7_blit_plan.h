// A plan of a sprite blit's texels, made once and used for every draw of the same piece of a texture
// in a batch: each row as runs of whole groups of eight that are clear (skipped), opaque (copied) or
// mixed, and for each mixed group the weights that blend it, so that no group is sorted again and a
// mixed one costs a multiply and an add a channel. The bytes are those of avx2::OverRectX888.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/d3d/d3d7_span_avx2.h"

namespace plat::d3d::avx2 {

struct BlitPlan {
  std::vector<uint16_t> runs;     // per row: the run count, then (kind, groups) pairs
  std::vector<uint16_t> weights;  // per mixed group: 255 - a and s a + 128, 16-bit lanes, low and high halves
};

// Plans the whole groups of `frame`'s texels (the rest of each row is drawn apart); false, planning
// nothing, when the texels are too many to be worth keeping.
bool PlanBlit(const RectFrame& frame, BlitPlan* plan);

// Draws `frame` by `plan` (made from a frame with the same texels, width and rows); `next` as for
// OverRectX888.
void OverPlannedRectX888(const RectFrame& frame, const BlitPlan& plan, const RectFrame* next);

}  // namespace plat::d3d::avx2
