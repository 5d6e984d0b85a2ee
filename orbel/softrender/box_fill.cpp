// The box fill of memory images: a rectangle (or the whole image) filled with one colour under the
// draw state's blend mode, parameter and brightness, clipped to the draw area and the image. Each mode
// runs its own row loop; the copy fills rows with one store per pixel.
#include "orbel/softrender/box_fill.h"

#include <algorithm>
#include <type_traits>

#include "orbel/graphics/draw_state.h"
#include "orbel/graphics/rect_math.h"
#include "orbel/softrender/plain_blit_simd.h"
#include "orbel/softrender/simd_road.h"

namespace orbel {
namespace {

// The draw area, kept inside the image so that no write can leave it.
plat::RECT ImageDrawArea(const MemImg* img) {
  plat::RECT area = gDrawState.drawArea;
  const plat::RECT bounds = {0, 0, img->width, img->height};
  ClipRect(&area, &bounds);
  return area;
}

// `width` copies of `value`, sixteen bytes a store where SSE2 is there (the compiler does not always
// turn the plain loop into one).
template <class Pixel>
void FillRow(Pixel* row, int32_t width, Pixel value) {
  int32_t x = 0;
#if defined(__SSE2__)
  const __m128i v = sizeof(Pixel) == 2 ? _mm_set1_epi16(static_cast<short>(value)) : _mm_set1_epi32(static_cast<int>(value));
  constexpr int32_t kStep = 16 / sizeof(Pixel);
  for (; x + kStep <= width; x += kStep) _mm_storeu_si128(reinterpret_cast<__m128i*>(row + x), v);
#endif
  for (; x < width; ++x) row[x] = value;
}

#if defined(__SSE2__)
// Modes 1, 10 and 11 over a row in SSE2: 5:6:5 fields moved by the signed product row, 32-bit channels
// by (d 256 + (t - d) p) >> 8 with byte 3 kept. The tail goes through the per-pixel operation.
template <class Op>
void MoveRow(const Op& op, uint8_t* row, int32_t width) {
  constexpr int kMode = Op::kModeValue;
  const __m128i p16 = _mm_set1_epi16(static_cast<short>(op.s.param));
  int32_t x = 0;
  if constexpr (Op::kBytes == 2) {
    const __m128i colour = _mm_set1_epi16(static_cast<short>(op.s.color));
    for (; x + 8 <= width; x += 8) {
      uint8_t* d = row + 2 * x;
      simd::StoreU(d, simd::Fields8(simd::LoadU(d), colour, [&](__m128i g, __m128i c, int n) {
                     __m128i t = c;
                     if constexpr (kMode == kBlendInvert) {
                       t = _mm_sub_epi16(_mm_set1_epi16(static_cast<short>((1 << n) - 1)), c);
                     }
                     if constexpr (kMode == kBlendMulAlpha) {
                       t = _mm_srl_epi16(_mm_mullo_epi16(g, c), _mm_cvtsi32_si128(n));
                     }
                     return simd::MoveBySignedP(g, t, p16);
                   }));
    }
  } else {
    const __m128i zero = _mm_setzero_si128();
    const __m128i keep = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    const __m128i c16 = _mm_unpacklo_epi8(_mm_set1_epi32(static_cast<int>(op.s.color)), zero);
    auto target = [&](__m128i d16) {
      if constexpr (kMode == kBlendAlpha) return c16;
      else if constexpr (kMode == kBlendInvert) return _mm_sub_epi16(_mm_set1_epi16(255), c16);
      else return _mm_srli_epi16(_mm_mullo_epi16(d16, c16), 8);
    };
    for (; x + 4 <= width; x += 4) {
      uint8_t* d = row + 4 * x;
      const __m128i v = simd::LoadU(d);
      const __m128i d0 = _mm_unpacklo_epi8(v, zero), d1 = _mm_unpackhi_epi8(v, zero);
      const __m128i mix = _mm_packus_epi16(simd::Lerp16(d0, target(d0), p16), simd::Lerp16(d1, target(d1), p16));
      simd::StoreU(d, _mm_or_si128(_mm_andnot_si128(keep, mix), _mm_and_si128(v, keep)));
    }
  }
  for (uint8_t* d = row + Op::kBytes * x; x < width; ++x, d += Op::kBytes) op.Apply(d);
}
#endif

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
          FillRow(reinterpret_cast<Pixel*>(row), width, static_cast<Pixel>(op.s.color));
          continue;
        }
      }
#if defined(__SSE2__)
      if constexpr (Op::kModeValue == 1 || Op::kModeValue == 10 || Op::kModeValue == 11) {
        if (SimdRoadOpen()) {
          MoveRow(op, row, width);
          continue;
        }
      }
#endif
      uint8_t* d = row;
      for (int32_t x = 0; x < width; ++x, d += kBytes) op.Apply(d);
    }
  });
}

}  // namespace orbel
