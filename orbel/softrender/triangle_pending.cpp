// PENDING: stands in for the triangle rasteriser until it is built; delete this file then.
// Draws nothing.
#include "orbel/softrender/triangle.h"

namespace orbel {

void DrawTriangleMemImg(MemImg*, const MemImg*, const int[12], int, const MemImg*, uint32_t) {}

}  // namespace orbel
