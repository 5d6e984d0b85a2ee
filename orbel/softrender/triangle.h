// The software triangle: one textured or flat-coloured triangle drawn into a memory image under the
// draw state (blend mode and parameter, brightness, draw area). The four-corner draw of the software
// road calls it twice per quad.
#pragma once

#include <cstdint>

namespace orbel {

struct MemImg;

// Draws one triangle: corners = 3 x (x, y, u, v). No source: flat colour (in the destination's format).
void DrawTriangleMemImg(MemImg* dest, const MemImg* src, const int corners[12], int transFlag,
                        const MemImg* blendImg, uint32_t color);

}  // namespace orbel
