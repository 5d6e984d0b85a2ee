// The box fill of memory images: a rectangle (or the whole image) filled with one colour under the
// draw state's blend mode, parameter and brightness, clipped to the draw area and the image. Each mode
// runs its own row loop; the copy fills rows with one store per pixel.
#include "orbel/softrender/box_fill.h"

#include <algorithm>
#include <type_traits>

#include "orbel/graphics/rect_math.h"

namespace orbel {
namespace {

// The draw area, kept inside the image so that no write can leave it.
plat::RECT ImageDrawArea(const MemImg* img) {
  plat::RECT area = gDrawState.drawArea;
  const plat::RECT bounds = {0, 0, img->width, img->height};
  ClipRect(&area, &bounds);
  return area;
}

}  // namespace

void DrawBoxMemImg(MemImg* dest, const plat::RECT* rect, uint32_t color) {
  if (!CheckValidMemImg(dest)) return;
  const MemImgBase* base = dest->base;
  if (base->paletted != 0 || base->alpha != 0) return;

  plat::RECT box = {0, 0, dest->width, dest->height};
  if (rect != nullptr) {
    box = {std::min(rect->left, rect->right), std::min(rect->top, rect->bottom), std::max(rect->left, rect->right),
           std::max(rect->top, rect->bottom)};
  }
  const plat::RECT area = ImageDrawArea(dest);
  ClipRect(&box, &area);
  const int32_t width = box.right - box.left;
  const int32_t height = box.bottom - box.top;
  if (width <= 0 || height <= 0) return;

  uint8_t* row = dest->pixels + MemImgOffset(dest, box.left, box.top);
  const ptrdiff_t pitch = base->pitch;
  plain_color::VisitColorOp(base->colorType, color, [&](auto op) {
    using Op = decltype(op);
    constexpr int kBytes = Op::kBytes;
    for (int32_t y = 0; y < height; ++y, row += pitch) {
      if constexpr (Op::kPlainFill) {
        // The copy stores whole rows of the pixel value when the row is aligned to it (always, for
        // images the renderer allocated).
        if (reinterpret_cast<uintptr_t>(row) % kBytes == 0) {
          using Pixel = std::conditional_t<kBytes == 2, uint16_t, uint32_t>;
          std::fill_n(reinterpret_cast<Pixel*>(row), width, static_cast<Pixel>(op.s.color));
          continue;
        }
      }
      uint8_t* d = row;
      for (int32_t x = 0; x < width; ++x, d += kBytes) op.Apply(d);
    }
  });
}

}  // namespace orbel
