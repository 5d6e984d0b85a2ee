// The triangle rasteriser of the software renderer: one triangle with texture coordinates, drawn from a
// source memory image (or in a flat colour) under the draw state.
#pragma once

#include <cstdint>

namespace orbel {
struct MemImg;
// Draws one triangle: corners = 3 x (x, y, u, v). No source: flat colour (in the destination's format).
void DrawTriangleMemImg(MemImg* dest, const MemImg* src, const int corners[12], int transFlag,
                        const MemImg* blendImg, uint32_t color);
}  // namespace orbel
