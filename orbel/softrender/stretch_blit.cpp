// The frame of the stretched blit: orders and mirrors the rectangle, hands a 1:1 draw to DrawMemImg,
// works out the 16.16 steps, clips against the draw area, sets up the source, blend-image and
// destination walks, fixes the table rows and dispatches to the pixel group of the source's kind.
// Depends on the draw state, ClipRect, the blend tables and the system report's MMX flag.
#include "orbel/softrender/stretch_blit.h"

#include <algorithm>
#include <cstring>

#include "orbel/core/system_report.h"
#include "orbel/graphics/draw_state.h"
#include "orbel/graphics/rect_math.h"
#include "orbel/softrender/blend_tables.h"
#include "orbel/softrender/stretch_blit_walk.h"

namespace orbel {

uint32_t ScratchPalette[256];

namespace {

using stretch::StretchSetup;

// The blend mode as the groups receive it, or -1 when the call draws nothing. Mode 1 at p = 255 is
// the copy; the subtract of paletted sources runs even at p = 0.
int EffectiveMode(uint32_t mode, int32_t p, bool paletted) {
  switch (mode) {
    case kBlendNone:
    case kBlendMul:
    case kBlendInvert:
    case kBlendMulAlpha:
      return static_cast<int>(mode);
    case kBlendAlpha:
      if (p == 255) return kBlendNone;
      return p == 0 ? -1 : kBlendAlpha;
    case kBlendAdd:
      return p == 0 ? -1 : kBlendAdd;
    case kBlendSub:
      return (p == 0 && !paletted) ? -1 : kBlendSub;
    default:
      return -1;
  }
}

// The source kinds the groups can draw: a plain destination of the source's colour type (so every
// write stays within the destination's pixel size), and a blend image that covers the source.
bool ImagesDrawable(const MemImg* dest, const MemImg* src, const MemImg* blendImg) {
  const MemImgBase* sb = src->base;
  const MemImgBase* db = dest->base;
  if (sb->colorType != kMemImgR5G6B5 && sb->colorType != kMemImgX8R8G8B8) return false;
  if (db->colorType != sb->colorType || db->paletted != 0 || db->alpha != 0) return false;
  if (src->width <= 0 || src->height <= 0) return false;
  if (blendImg != nullptr) {
    if (!CheckValidMemImg(blendImg) || blendImg->base->colorType != kMemImgSingle8) return false;
    if (blendImg->width < src->width || blendImg->height < src->height) return false;
  }
  return true;
}

}  // namespace

// ---- Public entries -------------------------------------------------------------------------------

void DrawExtendMemImg(MemImg* dest, const MemImg* src, const plat::RECT* destRect, int transFlag,
                      const MemImg* blendImg) {
  DrawExtendMemImgMmx(dest, src, destRect, transFlag, blendImg, GetMmxAvailableFlag());
}

void DrawExtendMemImgMmx(MemImg* dest, const MemImg* src, const plat::RECT* destRect, int transFlag,
                         const MemImg* blendImg, int mmxAvailable) {
  if (destRect == nullptr || !CheckValidMemImg(dest) || !CheckValidMemImg(src)) return;

  // Order each pair; reversed coordinates mirror that axis.
  const bool mirrorX = destRect->left > destRect->right;
  const bool mirrorY = destRect->top > destRect->bottom;
  const int32_t left = std::min(destRect->left, destRect->right);
  const int32_t right = std::max(destRect->left, destRect->right);
  const int32_t top = std::min(destRect->top, destRect->bottom);
  const int32_t bottom = std::max(destRect->top, destRect->bottom);
  const int64_t width = static_cast<int64_t>(right) - left;
  const int64_t height = static_cast<int64_t>(bottom) - top;
  if (width == 0 || height == 0) return;

  if (width == src->width && height == src->height && !mirrorX && !mirrorY) {
    DrawMemImg(dest, src, left, top, transFlag, blendImg);
    return;
  }
  if (!ImagesDrawable(dest, src, blendImg)) return;

  const MemImgBase* sb = src->base;
  const bool paletted = sb->paletted != 0;
  const int32_t p = static_cast<int32_t>(std::min<uint32_t>(gDrawState.blendParam, 255));
  const int mode = EffectiveMode(gDrawState.blendMode, p, paletted);
  if (mode < 0) return;

  // 16.16 steps. Kept in 64 bits so that rectangles beyond 32767 pixels cannot wrap into steps that
  // would walk outside the source; within that range the values are the 32-bit ones.
  const int64_t stepX = (width << 16) / src->width;
  const int64_t stepY = (height << 16) / src->height;
  if (stepX == 0 || stepY == 0) return;

  // Clip by the draw area, itself kept inside the destination view.
  plat::RECT area = gDrawState.drawArea;
  const plat::RECT bounds = {0, 0, dest->width, dest->height};
  ClipRect(&area, &bounds);
  plat::RECT clip = {left, top, right, bottom};
  ClipRect(&clip, &area);
  const int32_t clippedWidth = clip.right - clip.left;
  const int32_t clippedHeight = clip.bottom - clip.top;
  if (clippedWidth <= 0 || clippedHeight <= 0) return;

  const int64_t offX = (static_cast<int64_t>(clip.left) - left) << 16;
  const int64_t offY = (static_cast<int64_t>(clip.top) - top) << 16;
  const int64_t skipX = offX / stepX;
  const int64_t skipY = offY / stepY;

  StretchSetup s{};
  s.stepX = stepX;
  s.stepY = stepY;
  s.accX = stepX - offX % stepX;
  s.accY = stepY - offY % stepY;
  s.width = clippedWidth;
  s.height = clippedHeight;

  const int64_t startCol = mirrorX ? src->width - 1 - skipX : skipX;
  const int64_t startRow = mirrorY ? src->height - 1 - skipY : skipY;
  const ptrdiff_t srcBytes = sb->pixelBytes;
  s.src = src->pixels;
  s.srcStart = static_cast<ptrdiff_t>(startRow * sb->pitch + startCol * srcBytes);
  s.srcStepX = mirrorX ? -srcBytes : srcBytes;
  s.srcStepY = mirrorY ? -static_cast<ptrdiff_t>(sb->pitch) : sb->pitch;
  if (blendImg != nullptr) {
    const ptrdiff_t blendPitch = blendImg->base->pitch;
    s.blend = blendImg->pixels;
    s.blendStart = static_cast<ptrdiff_t>(startRow * blendPitch + startCol);
    s.blendStepX = mirrorX ? -1 : 1;
    s.blendStepY = mirrorY ? -blendPitch : blendPitch;
  }
  const MemImgBase* db = dest->base;
  s.dst = dest->pixels + MemImgOffset(dest, clip.left, clip.top);
  s.dstPitch = db->pitch;

  // Every palette entry is copied, so indices beyond the palette count read this image's block, not
  // colours left over from an earlier call.
  if (paletted) {
    std::memcpy(ScratchPalette, sb->palette, sb->colorType == kMemImgR5G6B5 ? 512 : 1024);
  }

  const uint32_t bright = gDrawState.brightColor & 0xFFFFFF;
  s.brightWhite = bright == 0xFFFFFF;
  s.rowR = BlendProductTable[(bright >> 16) & 0xFF];
  s.rowG = BlendProductTable[(bright >> 8) & 0xFF];
  s.rowB = BlendProductTable[bright & 0xFF];
  s.rowP = BlendProductTable[p];
  s.signedP = BlendSignedProductRow(p);
  s.weights = BlendGraphWeightTable;
  s.palette = sb->palette;
  s.param = p;
  s.transColor = sb->transColor;
  s.hasBlend = blendImg != nullptr;
  s.srcAlpha = !paletted && sb->alpha == 1;
  s.transFlag = transFlag != 0;
  s.mmx = mmxAvailable != 0;

  const bool is16 = sb->colorType == kMemImgR5G6B5;
  if (paletted) {
    if (is16) {
      stretch::DrawStretchPalette<stretch::Kind565>(s, mode);
    } else {
      stretch::DrawStretchPalette<stretch::Kind888>(s, mode);
    }
  } else if (is16) {
    stretch::DrawStretchDirect<stretch::Kind565>(s, mode);
  } else {
    stretch::DrawStretchDirect<stretch::Kind888>(s, mode);
  }
}

}  // namespace orbel
