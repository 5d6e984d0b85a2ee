// The stretches of a run-table row that the vector rows draw: the run-code walk's grouping of runs,
// shared by the baseline rows and the AVX2 whole-picture walk. Depends on mem_img.h (the code format).
#pragma once

#include <cstddef>
#include <cstring>  // memchr

#include "orbel/softrender/mem_img.h"

namespace orbel::blit {

constexpr int kShortRowCodes = 16;

// The drawn part of a row: pixels x to x + n from its first opaque or translucent run to its last (n
// 0: none).
struct RowShape {
  int x = 0;
  int n = 0;
};

// Reads a row's shape and leaves `code` past its kRunEnd. A sprite's row has a few codes, read in
// place; a longer row's end is found with memchr (kRunEnd is the only code byte of kind 3) and its
// trailing transparent runs read backwards, the codes between never decoded.
inline RowShape ReadRowShape(const MemImgRunTable*& code, int width) {
  RowShape shape;
  const MemImgRunTable* at = code;
  int x = 0;
  int first = -1;
  int last = 0;
  for (int i = 0; i < kShortRowCodes && *at != kRunEnd; ++i, ++at) {
    const int kind = *at >> 6;
    const int next = x + (*at & 0x3F) + 1;
    if (kind != kRunTransparent) {
      if (first < 0) first = x;
      last = next;
    }
    x = next;
  }
  if (*at != kRunEnd) {
    const MemImgRunTable* lead = code;
    int left = 0;
    while (*lead != kRunEnd && (*lead >> 6) == kRunTransparent) left += (*lead++ & 0x3F) + 1;
    at = static_cast<const MemImgRunTable*>(std::memchr(at, kRunEnd, static_cast<size_t>(width) + 1));
    if (at == nullptr) return RowShape{};  // not a table this image built: draw nothing
    int right = width;
    for (const MemImgRunTable* back = at; back > lead && (back[-1] >> 6) == kRunTransparent;) right -= (*--back & 0x3F) + 1;
    first = left;
    last = right;
  }
  code = at + 1;
  // A table never runs past its row; stay safe regardless.
  if (last > width) last = width;
  if (first >= 0 && first < last) {
    shape.x = first;
    shape.n = last - first;
  }
  return shape;
}

// The stretches of one row of a run table to hand to a vector row, as draw(x, n) calls; `code` is left
// past the row's kRunEnd. With MergeClear the row's one stretch is its drawn part (the transparent
// runs inside are the vector row's own clear pixels); without it each string of consecutive opaque
// and translucent runs is one stretch.
template <bool MergeClear, class Draw>
inline void ForEachStretch(const MemImgRunTable*& code, int width, Draw draw) {
  if constexpr (MergeClear) {
    const RowShape shape = ReadRowShape(code, width);
    if (shape.n > 0) draw(shape.x, shape.n);
    return;
  }
  int x = 0;
  int begin = 0;
  for (uint8_t k = *code++; k != kRunEnd; k = *code++) {
    // A table never runs past its row; stay safe regardless.
    const int end = x + (k & 0x3F) + 1 < width ? x + (k & 0x3F) + 1 : width;
    if ((k >> 6) == kRunTransparent) {
      if (x > begin) draw(begin, x - begin);
      begin = end;
    }
    x = end;
  }
  if (x > begin) draw(begin, x - begin);
}

}  // namespace orbel::blit
