// Joined triangle-strip index lists of a vertex grid.
#include "orbel/graphics/d3d/d3d_grid_mesh.h"

namespace orbel {

int BuildGridMeshStrips(int columns, int rows, const std::function<void(const uint16_t*, int)>& draw) {
  if (columns < 2 || rows < 2) return -1;
  // A row's strip must fit one list, and every vertex must have a 16-bit index.
  if (2 * columns + 2 > kGridMeshMaxIndices || static_cast<long>(columns) * rows > 0x10000) return -1;
  uint16_t list[kGridMeshMaxIndices];
  int count = 0;
  for (int r = 0; r + 1 < rows; ++r) {
    const int base = r * columns;
    if (count + 2 * columns + 2 > kGridMeshMaxIndices) {
      draw(list, count);
      count = 0;
    } else if (count != 0) {
      list[count++] = static_cast<uint16_t>(base + columns);
    }
    for (int c = 0; c < columns; ++c) {
      list[count++] = static_cast<uint16_t>(base + columns + c);
      list[count++] = static_cast<uint16_t>(base + c);
    }
    if (r + 2 < rows) {
      list[count] = list[count - 1];
      ++count;
    }
  }
  if (count != 0) draw(list, count);
  return 0;
}

}  // namespace orbel
