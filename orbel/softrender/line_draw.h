// Lines on memory images: one line from a start point up to, but not including, its end point, and a
// list of such lines, in one colour under the draw state's blend mode, parameter and brightness,
// clipped to the draw area. The clipping is done in double precision, the stepping in integers.
// Depends on box_fill.h (the per-pixel colour operations) and DoubleToInt.
#pragma once

#include <cstdint>

#include "orbel/softrender/mem_img.h"

namespace orbel {

// One record of a line list: six 32-bit words.
struct MemImgLine {
  int32_t x1;      // start, drawn
  int32_t y1;
  int32_t x2;      // end, not drawn
  int32_t y2;
  uint32_t color;  // in the destination's pixel format
  int32_t param;   // not read: lines take the draw state's blend parameter
};

// Draws the line (x1, y1)-(x2, y2) without its end point. Draws nothing on a paletted or alpha image,
// on colour types 2 and 3, in blend modes 5-9 and above 11, in modes 1-3 with parameter 0, for a line
// of zero length or one outside the draw area.
void DrawLineMemImg(MemImg* dest, int x1, int y1, int x2, int y2, uint32_t color);
// Draws `count` records in order; a count of 0 or less draws nothing.
void DrawLineSetMemImg(MemImg* dest, const MemImgLine* lines, int count);

}  // namespace orbel
