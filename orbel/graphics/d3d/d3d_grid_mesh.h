// Index lists of a vertex grid drawn as joined triangle strips: one strip per row pair, consecutive
// strips joined by two repeated indices (degenerate triangles), cut into lists of at most 1,000
// indices. Pure; the device draw is the caller's.
#pragma once

#include <cstdint>
#include <functional>

namespace orbel {

constexpr int kGridMeshMaxIndices = 1000;  // indices one indexed draw takes; its list is built on the stack

// Calls `draw(indices, count)` for each list of a columns x rows grid (vertex index = row x columns +
// column). 0; -1 when columns or rows is below 2, when one row's strip does not fit a list (more than
// 499 columns), or when the grid has more vertices than 16-bit indices reach.
int BuildGridMeshStrips(int columns, int rows, const std::function<void(const uint16_t*, int)>& draw);

}  // namespace orbel
