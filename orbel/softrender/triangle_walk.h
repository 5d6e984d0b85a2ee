// Inside the software triangle: the values fixed for one call (the frame), the edge walk with its row
// step, and the two row walkers (flat and textured) that every span loop is built from. Each loop is a
// template instance over its pixel operation, so no pixel tests a setting that cannot change within
// the call. Positions are 14.18 fixed point; texture coordinates wrap in 32 bits.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "orbel/graphics/draw_state.h"

namespace orbel::triangle {

constexpr int kFixedShift = 18;

// Integer part of a 14.18 value, rounded toward zero.
inline int32_t IntPart(int64_t v) { return static_cast<int32_t>(v / (int64_t{1} << kFixedShift)); }

// Everything the span loops read; fixed before the first row.
struct Frame {
  uint8_t* dstPixels;
  ptrdiff_t dstPitch;
  // Draw area, already inside the destination; right and bottom exclusive.
  int32_t areaLeft, areaTop, areaRight, areaBottom;
  // Texture mapping: u and v of the origin corner and their changes per pixel and per row.
  int32_t originX, originY;
  uint32_t originU, originV;
  uint32_t uStepX, uStepY, vStepX, vStepY;
  uint32_t texLimitU, texLimitV;  // columns and rows that may be fetched, << 18
  const uint8_t* srcPixels;
  ptrdiff_t srcPitch;
  uint32_t srcTransColor;
  const uint8_t* srcPalette;
  const uint8_t* blendPixels;     // null: no blend image
  ptrdiff_t blendPitch;
  const uint32_t* brightR;        // product rows of the brightness bytes
  const uint32_t* brightG;
  const uint32_t* brightB;
  const uint32_t* paramMul;       // x -> x * p / 255
  const int32_t* paramDelta;      // d -> p * d / 255, entered at d = 0
  const uint8_t* weights;         // blend-image byte -> weight
  uint32_t param;                 // p
  uint32_t flatColor;             // after brightness, destination format
};

// The two edges and the current row. NextRow runs the row step after every row, drawn or not.
struct Walk {
  int64_t leftX, leftStep, rightX, rightStep;
  int32_t leftLines, rightLines;
  bool leftLast, rightLast;
  int64_t leftNextX, leftNextStep, rightNextX, rightNextStep;
  int32_t leftNextRow, leftNextLines, rightNextLines;
  int32_t spanY, spanStartX, spanWidth;

  // False once an edge on its last segment runs out of rows.
  bool NextRow() {
    leftX += leftStep;
    rightX += rightStep;
    spanStartX = IntPart(leftX);
    spanWidth = IntPart(rightX) - spanStartX;
    ++spanY;
    --leftLines;
    --rightLines;
    if (leftLines == 0) {
      if (leftLast) return false;
      leftLast = true;
      leftStep = leftNextStep;
      leftX = leftNextX;
      spanStartX = IntPart(leftX);
      // The second left segment restarts at the middle corner's row (a row may be drawn twice).
      spanY = leftNextRow;
      spanWidth = IntPart(rightX) - spanStartX;
      leftLines = leftNextLines;
    }
    if (rightLines == 0) {
      if (rightLast) return false;
      rightLast = true;
      rightStep = rightNextStep;
      rightX = rightNextX;
      rightLines = rightNextLines;
      spanWidth = IntPart(rightX) - spanStartX;
    }
    return true;
  }
};

// The part of the current row to draw: first pixel and count after the left cut and the area tests.
// False when the row draws nothing.
inline bool ClipRow(const Frame& f, const Walk& w, int32_t* x, int32_t* count) {
  int32_t startX = w.spanStartX;
  int32_t width = w.spanWidth;
  if (startX < f.areaLeft) {
    width -= f.areaLeft - startX;
    startX = f.areaLeft;
  }
  if (w.spanY < f.areaTop || w.spanY >= f.areaBottom || startX >= f.areaRight || width + 1 <= 0) return false;
  *x = startX;
  *count = std::min(width + 1, f.areaRight - startX);
  return true;
}

inline uint8_t* RowPixel(const Frame& f, const Walk& w, int32_t x, int bytes) {
  return f.dstPixels + static_cast<ptrdiff_t>(w.spanY) * f.dstPitch + static_cast<ptrdiff_t>(x) * bytes;
}

// Flat rows: pixel(dst) for every pixel of every drawn row.
template <int Bytes, class Pixel>
void WalkFlat(const Frame& f, Walk w, Pixel pixel) {
  do {
    int32_t x;
    int32_t count;
    if (!ClipRow(f, w, &x, &count)) continue;
    for (uint8_t* d = RowPixel(f, w, x, Bytes); count > 0; --count, d += Bytes) pixel(d);
  } while (w.NextRow());
}

// Textured rows: u and v start from the clipped first pixel; pixel(dst, column, row) for every pixel
// whose texture coordinate lies inside the fetchable range (unsigned, so negatives fail too).
template <int Bytes, class Pixel>
void WalkTextured(const Frame& f, Walk w, Pixel pixel) {
  do {
    int32_t x;
    int32_t count;
    if (!ClipRow(f, w, &x, &count)) continue;
    const uint32_t dx = static_cast<uint32_t>(x - f.originX);
    const uint32_t dy = static_cast<uint32_t>(w.spanY - f.originY);
    uint32_t u = f.originU + dx * f.uStepX + dy * f.uStepY;
    uint32_t v = f.originV + dx * f.vStepX + dy * f.vStepY;
    for (uint8_t* d = RowPixel(f, w, x, Bytes); count > 0; --count, d += Bytes, u += f.uStepX, v += f.vStepX) {
      if (u < f.texLimitU && v < f.texLimitV) pixel(d, u >> kFixedShift, v >> kFixedShift);
    }
  } while (w.NextRow());
}

// One loop of a family: a span loop instance with its pixel operation.
using SpanLoop = void (*)(const Frame&, const Walk&);

// The live blend modes and their loop slots; -1 for a mode without loops.
inline int ModeSlot(uint32_t mode) {
  switch (mode) {
    case kBlendNone: return 0;
    case kBlendAlpha: return 1;
    case kBlendAdd: return 2;
    case kBlendSub: return 3;
    case kBlendMul: return 4;
    case kBlendInvert: return 5;
    case kBlendMulAlpha: return 6;
    default: return -1;
  }
}
constexpr int kSlotModes[7] = {0, 1, 2, 3, 4, 10, 11};

// The textured loops of one family, Family<mode, blend, brightness, alpha, flag, paletted>::kLoop, in a
// table indexed by the loop slot of the mode and the five selectors.
template <template <int, bool, bool, bool, bool, bool> class Family>
struct TexturedLoops {
  template <size_t I>
  static constexpr SpanLoop At() {
    constexpr bool kAlpha = (I >> 2) & 1;
    constexpr bool kPaletted = I & 1;
    if constexpr (kAlpha && kPaletted) {
      return nullptr;  // a paletted source never carries alpha
    } else {
      return Family<kSlotModes[I >> 5], ((I >> 4) & 1) != 0, ((I >> 3) & 1) != 0, kAlpha, ((I >> 1) & 1) != 0,
                    kPaletted>::kLoop;
    }
  }
  template <size_t... I>
  static constexpr std::array<SpanLoop, sizeof...(I)> Make(std::index_sequence<I...>) {
    return {At<I>()...};
  }
  static constexpr std::array<SpanLoop, 7 * 32> kTable = Make(std::make_index_sequence<7 * 32>());

  // Null when the triangle draws nothing: a mode without loops, or a zero parameter in alpha and add
  // (and in subtract for direct sources). Alpha at 255 is the normal mode.
  static SpanLoop Select(uint32_t mode, uint32_t param, bool blend, bool bright, bool alpha, bool trans,
                         bool paletted) {
    int slot = ModeSlot(mode);
    if (slot < 0) return nullptr;
    if (param == 0 && (mode == kBlendAlpha || mode == kBlendAdd || (mode == kBlendSub && !paletted))) return nullptr;
    if (mode == kBlendAlpha && param == 255) slot = 0;
    const size_t index = static_cast<size_t>(slot) << 5 | size_t{blend} << 4 | size_t{bright} << 3 |
                         size_t{alpha && !paletted} << 2 | size_t{trans} << 1 | size_t{paletted};
    return kTable[index];
  }
};

// Family loop selectors (triangle_flat.cpp, triangle_textured32.cpp, triangle_textured16.cpp). Each
// returns null when the triangle draws nothing (a mode without loops, or a parameter shortcut).
SpanLoop SelectFlatLoop(int colorType, uint32_t mode, uint32_t param);
SpanLoop SelectTextured32Loop(uint32_t mode, uint32_t param, bool blend, bool bright, bool alpha, bool trans,
                              bool paletted);
SpanLoop SelectTextured16Loop(uint32_t mode, uint32_t param, bool blend, bool bright, bool alpha, bool trans,
                              bool paletted);

}  // namespace orbel::triangle
