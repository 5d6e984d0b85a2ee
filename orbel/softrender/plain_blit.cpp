// The plain blit's frame: DrawMemImg's refusals, clipping to the draw area, blend-image offsets, the
// mode shortcuts, the choice between the normal and the run-code path, and the hand-off to the
// 32-bit or 16-bit family. Depends on the draw state, rect maths and the MMX flag of the system report.
#include "orbel/softrender/plain_blit.h"

#include "orbel/graphics/draw_state.h"
#include "orbel/graphics/rect_math.h"
#include "orbel/core/system_report.h"

namespace orbel {

namespace {

bool ModeHasLoops(int mode) {
  return (mode >= kBlendNone && mode <= kBlendMul) || mode == kBlendInvert || mode == kBlendMulAlpha;
}

plat::LONG ClampToLong(int64_t v) {
  return static_cast<plat::LONG>(v < INT32_MIN ? INT32_MIN : (v > INT32_MAX ? INT32_MAX : v));
}

}  // namespace

void DrawMemImgWithMmxFlag(MemImg* dest, const MemImg* src, int x, int y, int transFlag, const MemImg* blendImg,
                           int mmxFlag) {
  if (!CheckValidMemImg(dest) || !CheckValidMemImg(src)) return;
  const MemImgBase* db = dest->base;
  const MemImgBase* sb = src->base;
  if (sb->colorType != db->colorType || db->paletted || db->alpha) return;
  if (sb->colorType != kMemImgR5G6B5 && sb->colorType != kMemImgX8R8G8B8) return;

  // The blend image is read at the source's offsets, one byte a pixel; a smaller or wider-pixelled
  // one would be read out of bounds, so it refuses the draw.
  if (blendImg != nullptr) {
    if (!CheckValidMemImg(blendImg) || blendImg->base->pixelBytes != 1 || blendImg->width < src->width ||
        blendImg->height < src->height) {
      return;
    }
  }

  const DrawState& ds = gDrawState;
  int mode = static_cast<int>(ds.blendMode);
  const int param = static_cast<int>(ds.blendParam > 255 ? 255 : ds.blendParam);
  if (mode == kBlendAlpha && param == 255) mode = kBlendNone;
  if ((mode == kBlendAlpha || mode == kBlendAdd || mode == kBlendSub) && param == 0) return;
  if (!ModeHasLoops(mode)) return;

  // Clip to the draw area, and to the destination itself: the draw area is meant to lie inside it,
  // but a stale one must not turn into writes past the image.
  plat::RECT r = {x, y, ClampToLong(static_cast<int64_t>(x) + src->width),
                  ClampToLong(static_cast<int64_t>(y) + src->height)};
  ClipRect(&r, &ds.drawArea);
  const plat::RECT view = {0, 0, dest->width, dest->height};
  ClipRect(&r, &view);
  const int w = r.right - r.left;
  const int h = r.bottom - r.top;
  if (w <= 0 || h <= 0) return;
  const int sx = r.left - x;
  const int sy = r.top - y;

  PlainBlitFrame f;
  f.dst = dest->pixels + MemImgOffset(dest, r.left, r.top);
  f.dstPitch = db->pitch;
  f.src = src->pixels + MemImgOffset(src, sx, sy);
  f.srcPitch = sb->pitch;
  f.blend = blendImg != nullptr ? blendImg->pixels + MemImgOffset(blendImg, sx, sy) : nullptr;
  f.blendPitch = blendImg != nullptr ? blendImg->base->pitch : 0;
  f.width = w;
  f.height = h;
  f.mode = mode;
  f.param = param;
  f.bright = ds.brightColor & 0xFFFFFF;
  f.palette = sb->paletted ? sb->palette : nullptr;
  f.key = sb->paletted ? (sb->transColor & 0xFF) : (sb->colorType == kMemImgR5G6B5 ? sb->transColor & 0xFFFF : sb->transColor);
  f.srcAlpha = sb->alpha != 0;
  f.trans = transFlag != 0;
  f.mmx = mmxFlag != 0;

  // The run table describes the whole body, so it is replayed only for an unclipped draw of a view
  // that is the whole body; a view of part of a larger image takes the normal path.
  const bool wholeBody = src->pixels == sb->pixels && src->width == sb->width && src->height == sb->height;
  const bool unclipped = w == src->width && h == src->height;
  f.runTable = (f.trans && sb->runTableValid && sb->runTable != nullptr && wholeBody && unclipped) ? sb->runTable : nullptr;
  f.runPlan = f.runTable != nullptr ? sb->runPlan : nullptr;
  f.runWeights = f.runPlan != nullptr ? sb->runWeights : nullptr;

  if (sb->colorType == kMemImgX8R8G8B8) PlainBlit32(f);
  else PlainBlit16(f);
}

void DrawMemImg(MemImg* dest, const MemImg* src, int x, int y, int transFlag, const MemImg* blendImg) {
  DrawMemImgWithMmxFlag(dest, src, x, y, transFlag, blendImg, GetMmxAvailableFlag());
}

}  // namespace orbel
