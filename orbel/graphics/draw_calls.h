// The public draw calls of graphs and boxes onto the current draw screen. 0 on success, also when the
// draw area is empty and nothing was drawn; -1 on failure. DrawGraphAt and DrawStretchGraph are
// declared in graphics_system.h, which core uses.
#pragma once

#include <cstdint>

#include "orbel/graphics/graphics_system.h"

namespace orbel {

// The graph mirrored left-right with its top-left at (x, y).
int DrawMirroredGraph(int x, int y, int graph, int transparent);
// The graph's corners (0, 0), (w, 0), (w, h), (0, h) go to points 1, 2, 3, 4 (top-left, top-right,
// bottom-right, bottom-left).
int DrawQuadGraph(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4, int graph,
                  int transparent);
// The part (srcX, srcY, width, height) of the graph at (x, y); mirror 1 mirrors it left-right.
int DrawGraphPart(int x, int y, int srcX, int srcY, int width, int height, int graph, int transparent, int mirror);
// The part of the graph stretched into (x1, y1)-(x2, y2); a reversed axis mirrors.
int DrawStretchGraphPart(int x1, int y1, int x2, int y2, int srcX, int srcY, int srcWidth, int srcHeight, int graph,
                         int transparent);
// A box in a colour of the screen's format (MakeColor), filled or as its outline.
int DrawRectangle(int x1, int y1, int x2, int y2, uint32_t color, int fill);
int DrawFillBox(int x1, int y1, int x2, int y2, uint32_t color);
int DrawLineBox(int x1, int y1, int x2, int y2, uint32_t color);

// Invert, add, invert: the Direct3D road's subtraction around texture draws (and texture-mode text) in
// blend mode 3. Begin inverts the rectangle and switches to adding; End inverts it back and restores
// what Begin changed.
struct SubtractBracket {
  uint32_t bright;
  uint32_t param;
};
SubtractBracket BeginSubtractBlendDraw(const plat::RECT& rect);
void EndSubtractBlendDraw(const plat::RECT& rect, const SubtractBracket& saved);

}  // namespace orbel
