// The software triangle's set-up: refusals, 14.18 fixed point, corner orders, texture gradients, the
// edges (flat top, flat bottom or general with a second segment), the frame values and the choice of
// span loop. The pixel loops live in triangle_flat.cpp and triangle_textured*.cpp.
//
// Beyond the plain rules: the draw area is kept inside the destination, a blend image narrower or lower
// than the source limits the texels that may be fetched, edge differences and steps are 64-bit (an edge
// may span more than 8192 pixels), and corners outside the 14.18 range (-8192..8191) draw nothing.
#include "orbel/softrender/triangle.h"

#include <utility>

#include "orbel/core/string_routines.h"
#include "orbel/graphics/draw_state.h"
#include "orbel/graphics/rect_math.h"
#include "orbel/softrender/blend_tables.h"
#include "orbel/softrender/mem_img.h"
#include "orbel/softrender/triangle_walk.h"

namespace orbel {

namespace {

using triangle::Frame;
using triangle::IntPart;
using triangle::kFixedShift;
using triangle::Walk;

constexpr int kCoordMin = -8192;
constexpr int kCoordMax = 8191;
constexpr int64_t kHalfPixel = 0x20000;

struct Corners {
  int64_t x[3], y[3];
  int32_t u[3], v[3];  // texture coordinates in 14.18 (wrapping 32-bit values)
};

bool LoadCorners(const int* c, Corners* out) {
  for (int i = 0; i < 3; ++i) {
    for (int k = 0; k < 4; ++k) {
      if (c[4 * i + k] < kCoordMin || c[4 * i + k] > kCoordMax) return false;
    }
    out->x[i] = (int64_t{c[4 * i]} << kFixedShift) + kHalfPixel;
    out->y[i] = (int64_t{c[4 * i + 1]} << kFixedShift) + kHalfPixel;
    out->u[i] = static_cast<int32_t>(static_cast<uint32_t>(c[4 * i + 2]) << kFixedShift);
    out->v[i] = static_cast<int32_t>(static_cast<uint32_t>(c[4 * i + 3]) << kFixedShift);
  }
  return true;
}

// The corners in ascending order of `value`: the three compare-exchanges (0,1), (0,2), (1,2), where
// equal values are never exchanged by their own comparison.
void SortCorners(const int64_t* value, int order[3]) {
  order[0] = 0;
  order[1] = 1;
  order[2] = 2;
  static constexpr int kPairs[3][2] = {{0, 1}, {0, 2}, {1, 2}};
  for (const auto& pair : kPairs) {
    int& first = order[pair[0]];
    int& second = order[pair[1]];
    if (value[first] > value[second]) std::swap(first, second);
  }
}

// Texture gradients from the origin corner a and the corners b, c. False for three corners on a line.
bool SetGradients(const Corners& k, const int order[3], Frame* f) {
  const int a = order[0];
  const int b = order[1];
  const int c = order[2];
  const int32_t dx1 = IntPart(k.x[b] - k.x[a]);
  const int32_t dy1 = IntPart(k.y[b] - k.y[a]);
  const int32_t du1 = IntPart(int64_t{k.u[b]} - k.u[a]);
  const int32_t dv1 = IntPart(int64_t{k.v[b]} - k.v[a]);
  const int32_t dx2 = IntPart(k.x[c] - k.x[a]);
  const int32_t dy2 = IntPart(k.y[c] - k.y[a]);
  const int32_t du2 = IntPart(int64_t{k.u[c]} - k.u[a]);
  const int32_t dv2 = IntPart(int64_t{k.v[c]} - k.v[a]);
  const int32_t d = dy1 * dx2 - dy2 * dx1;
  if (d == 0) return false;
  const auto gradient = [d](int32_t numerator) {
    return static_cast<uint32_t>(DoubleToInt(static_cast<double>(numerator) * 262144.0 / static_cast<double>(d)));
  };
  f->uStepX = gradient(dy1 * du2 - dy2 * du1);
  f->uStepY = gradient(dx2 * du1 - dx1 * du2);
  f->vStepX = gradient(dy1 * dv2 - dy2 * dv1);
  f->vStepY = gradient(dx2 * dv1 - dx1 * dv2);
  f->originX = IntPart(k.x[a]);
  f->originY = IntPart(k.y[a]);
  f->originU = static_cast<uint32_t>(k.u[a]);
  f->originV = static_cast<uint32_t>(k.v[a]);
  return true;
}

// One edge segment from corner `from` to corner `to`: start x, step and row count. False for no rows.
bool Segment(const Corners& k, int from, int to, int64_t* x, int64_t* step, int32_t* lines) {
  *lines = IntPart(k.y[to] - k.y[from]);
  if (*lines == 0) return false;
  *x = k.x[from];
  *step = (k.x[to] - k.x[from]) / *lines;
  return true;
}

// The edges from the y order. False when a row count is 0.
bool SetEdges(const Corners& k, const int order[3], Walk* w) {
  const int t = order[0];
  const int m = order[1];
  const int n = order[2];
  if (k.y[t] == k.y[m]) {
    // Flat top: the corner with the greater x starts the right edge; on equal x, t is the left one.
    const int left = k.x[m] < k.x[t] ? m : t;
    const int right = left == t ? m : t;
    if (!Segment(k, left, n, &w->leftX, &w->leftStep, &w->leftLines)) return false;
    if (!Segment(k, right, n, &w->rightX, &w->rightStep, &w->rightLines)) return false;
    w->leftLast = true;
    w->rightLast = true;
  } else if (k.y[m] == k.y[n]) {
    // Flat bottom: both edges leave the top corner.
    const int left = k.x[n] < k.x[m] ? n : m;
    const int right = left == m ? n : m;
    if (!Segment(k, t, left, &w->leftX, &w->leftStep, &w->leftLines)) return false;
    if (!Segment(k, t, right, &w->rightX, &w->rightStep, &w->rightLines)) return false;
    w->leftLast = true;
    w->rightLast = true;
  } else {
    const double scale = 1.0 / 262144.0;
    const double slopeTM = static_cast<double>(k.x[m] - k.x[t]) / (static_cast<double>(k.y[m] - k.y[t]) * scale);
    const double slopeTN = static_cast<double>(k.x[n] - k.x[t]) / (static_cast<double>(k.y[n] - k.y[t]) * scale);
    if (slopeTN > slopeTM) {
      // The middle corner lies on the left: the left edge bends there.
      if (!Segment(k, t, m, &w->leftX, &w->leftStep, &w->leftLines)) return false;
      if (!Segment(k, m, n, &w->leftNextX, &w->leftNextStep, &w->leftNextLines)) return false;
      w->leftNextRow = IntPart(k.y[m]);
      w->leftLast = false;
      if (!Segment(k, t, n, &w->rightX, &w->rightStep, &w->rightLines)) return false;
      w->rightLast = true;
    } else {
      // The middle corner lies on the right; its second segment starts one 2^-18 step right of it.
      if (!Segment(k, t, n, &w->leftX, &w->leftStep, &w->leftLines)) return false;
      w->leftLast = true;
      if (!Segment(k, t, m, &w->rightX, &w->rightStep, &w->rightLines)) return false;
      w->rightNextLines = IntPart(k.y[n] - k.y[m]);
      if (w->rightNextLines == 0) return false;
      w->rightNextX = k.x[m] + 1;
      w->rightNextStep = (k.x[n] - w->rightNextX) / w->rightNextLines;
      w->rightLast = false;
    }
  }
  w->spanY = IntPart(k.y[t]);
  w->spanStartX = IntPart(w->leftX);
  w->spanWidth = IntPart(w->rightX) - w->spanStartX;
  return true;
}

// The flat colour after brightness, in the destination's pixel format.
uint32_t BrightFlatColor(const Frame& f, int colorType, uint32_t color) {
  if (colorType == kMemImgR5G6B5) {
    return f.brightR[(color >> 11) & 31] << 11 | f.brightG[(color >> 5) & 63] << 5 | f.brightB[color & 31];
  }
  return (color & 0xFF000000u) | f.brightR[(color >> 16) & 0xFF] << 16 | f.brightG[(color >> 8) & 0xFF] << 8 |
         f.brightB[color & 0xFF];
}

}  // namespace

void DrawTriangleMemImg(MemImg* dest, const MemImg* src, const int corners[12], int transFlag,
                        const MemImg* blendImg, uint32_t color) {
  if (corners == nullptr || !CheckValidMemImg(dest)) return;
  if (src != nullptr && (!CheckValidMemImg(src) || src->base->colorType != dest->base->colorType)) return;
  const MemImgBase* dstBase = dest->base;
  if (dstBase->paletted == 1 || dstBase->alpha == 1) return;

  Frame f{};
  plat::RECT area = gDrawState.drawArea;
  const plat::RECT bounds = {0, 0, dest->width, dest->height};
  ClipRect(&area, &bounds);
  if (area.right <= area.left || area.bottom <= area.top) return;
  f.areaLeft = area.left;
  f.areaTop = area.top;
  f.areaRight = area.right;
  f.areaBottom = area.bottom;

  Corners k;
  if (!LoadCorners(corners, &k)) return;
  int xOrder[3];
  int yOrder[3];
  SortCorners(k.x, xOrder);
  SortCorners(k.y, yOrder);
  if (!SetGradients(k, xOrder, &f)) return;
  Walk walk{};
  if (!SetEdges(k, yOrder, &walk)) return;

  const uint32_t mode = gDrawState.blendMode;
  const uint32_t param = gDrawState.blendParam > 255 ? 255 : gDrawState.blendParam;
  const uint32_t bright = gDrawState.brightColor & 0xFFFFFF;
  f.dstPixels = dest->pixels;
  f.dstPitch = dstBase->pitch;
  f.brightR = BlendProductTable[(bright >> 16) & 0xFF];
  f.brightG = BlendProductTable[(bright >> 8) & 0xFF];
  f.brightB = BlendProductTable[bright & 0xFF];
  f.paramMul = BlendProductTable[param];
  f.paramDelta = BlendSignedProductRow(static_cast<int>(param));
  f.weights = BlendGraphWeightTable;
  f.param = param;

  triangle::SpanLoop loop = nullptr;
  if (src == nullptr) {
    f.flatColor = BrightFlatColor(f, dstBase->colorType, color);
    loop = triangle::SelectFlatLoop(dstBase->colorType, mode, param);
  } else {
    const MemImgBase* srcBase = src->base;
    int32_t fetchWidth = src->width;
    int32_t fetchHeight = src->height;
    const bool blend = CheckValidMemImg(blendImg) != 0;
    if (blend) {
      fetchWidth = std::min(fetchWidth, blendImg->width);
      fetchHeight = std::min(fetchHeight, blendImg->height);
      f.blendPixels = blendImg->pixels;
      f.blendPitch = blendImg->base->pitch;
    }
    f.texLimitU = static_cast<uint32_t>(fetchWidth) << kFixedShift;
    f.texLimitV = static_cast<uint32_t>(fetchHeight) << kFixedShift;
    f.srcPixels = src->pixels;
    f.srcPitch = srcBase->pitch;
    f.srcTransColor = srcBase->transColor;
    f.srcPalette = srcBase->palette;
    const bool paletted = srcBase->paletted == 1;
    const bool alpha = !paletted && srcBase->alpha == 1;
    const bool brightOn = bright != kBrightWhite;
    if (paletted && f.srcPalette == nullptr) return;
    if (srcBase->colorType == kMemImgX8R8G8B8) {
      loop = triangle::SelectTextured32Loop(mode, param, blend, brightOn, alpha, transFlag != 0, paletted);
    } else if (srcBase->colorType == kMemImgR5G6B5) {
      loop = triangle::SelectTextured16Loop(mode, param, blend, brightOn, alpha, transFlag != 0, paletted);
    }
  }
  if (loop != nullptr) loop(f, walk);
}

}  // namespace orbel
