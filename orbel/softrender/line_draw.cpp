// Lines on memory images. The end points are first clipped to the draw area along the line's equations
// in double precision, then the line is stepped with integers (the end point is never drawn), applying
// the blend mode's colour operation to every pixel.
#include "orbel/softrender/line_draw.h"

#include <algorithm>

#include "orbel/core/string_routines.h"
#include "orbel/graphics/rect_math.h"
#include "orbel/softrender/box_fill.h"

namespace orbel {

void DrawLineMemImg(MemImg* dest, int x1, int y1, int x2, int y2, uint32_t color) {
  if (!CheckValidMemImg(dest)) return;
  const MemImgBase* base = dest->base;
  // A line steps by the colour type's pixel size, which would not fit a paletted or 4-byte 5:6:5 image.
  if (base->paletted != 0 || base->alpha != 0) return;

  // The draw area, kept inside the image.
  plat::RECT area = gDrawState.drawArea;
  const plat::RECT bounds = {0, 0, dest->width, dest->height};
  ClipRect(&area, &bounds);
  const int32_t l = area.left;
  const int32_t t = area.top;
  const int32_t r = area.right;
  const int32_t b = area.bottom;
  if (r <= l || b <= t) return;
  if (std::min(x1, x2) >= r || std::min(y1, y2) >= b || std::max(y1, y2) < t || std::max(x1, x2) < l) return;

  // Line equations from the given points: x = kx * y + bx, y = ky * x + by.
  const double dx = static_cast<double>(x2) - x1;
  const double dy = static_cast<double>(y2) - y1;
  const double kx = y1 == y2 ? 0.0 : dx / dy;
  const double ky = x1 == x2 ? 0.0 : dy / dx;
  const double bx = x1 - kx * y1;
  const double by = y1 - ky * x1;

  // The start is moved onto the area, the end at most one step beyond it (it is not drawn).
  if (x1 < l) {
    x1 = l;
    y1 = DoubleToInt(ky * l + by);
  } else if (x1 >= r) {
    x1 = r - 1;
    y1 = DoubleToInt(ky * (r - 1) + by);
  }
  if (x2 < l) {
    x2 = l - 1;
    y2 = DoubleToInt(ky * (l - 1) + by);
  } else if (x2 >= r) {
    x2 = r;
    y2 = DoubleToInt(ky * r + by);
  }
  if (y1 < t) {
    y1 = t;
    x1 = DoubleToInt(kx * t + bx);
  } else if (y1 >= b) {
    y1 = b - 1;
    x1 = DoubleToInt(kx * (b - 1) + bx);
  }
  if (y2 < t) {
    y2 = t - 1;
    x2 = DoubleToInt(kx * (t - 1) + bx);
  } else if (y2 >= b) {
    y2 = b;
    x2 = DoubleToInt(kx * b + bx);
  }
  x1 = std::clamp(x1, l, r - 1);
  y1 = std::clamp(y1, t, b - 1);
  x2 = std::clamp(x2, l - 1, r);
  y2 = std::clamp(y2, t - 1, b);

  const int32_t runX = x2 - x1;
  const int32_t runY = y2 - y1;
  if (runX == 0 && runY == 0) return;
  const int32_t ax = runX < 0 ? -runX : runX;
  const int32_t ay = runY < 0 ? -runY : runY;
  const ptrdiff_t pitch = base->pitch;

  plain_color::VisitColorOp(base->colorType, color, [&](auto op) {
    constexpr ptrdiff_t kBytes = decltype(op)::kBytes;
    // Offsets from the first pixel: the position after the last step may lie outside the image.
    ptrdiff_t at = static_cast<ptrdiff_t>(y1) * pitch + static_cast<ptrdiff_t>(x1) * kBytes;
    const ptrdiff_t stepX = runX < 0 ? -kBytes : kBytes;
    const ptrdiff_t stepY = runY < 0 ? -pitch : pitch;
    const ptrdiff_t major = ax >= ay ? stepX : stepY;
    const ptrdiff_t minor = ax >= ay ? stepY : stepX;
    const int32_t longRun = std::max(ax, ay);
    const int32_t shortRun = std::min(ax, ay);
    int32_t e = 0;
    for (int32_t i = 0; i < longRun; ++i) {
      op.Apply(dest->pixels + at);
      at += major;
      e += shortRun;
      if (e >= longRun) {
        at += minor;
        e -= longRun;
      }
    }
  });
}

void DrawLineSetMemImg(MemImg* dest, const MemImgLine* lines, int count) {
  if (lines == nullptr) return;
  for (int i = 0; i < count; ++i) {
    const MemImgLine& line = lines[i];
    DrawLineMemImg(dest, line.x1, line.y1, line.x2, line.y2, line.color);
  }
}

}  // namespace orbel
