// Software drawing onto DirectDraw surfaces: either a plain BltFast will do, or the target region
// (and the source) are locked and wrapped as memory-image views: in place when they hold the
// memory-image format (every surface lives in memory), through system-memory work surfaces where the
// display format differs from the memory-image format.
//
// The destination view covers exactly the clipped destination rectangle; callers draw into it with
// coordinates moved by (-clipped.left, -clipped.top) and the draw area narrowed to the view (see
// SoftDrawFrame in backend_2d.cpp). The source view always covers the whole source record, so that
// stretched and triangle draws can address it in its own coordinates. No pointer is ever formed
// outside a locked block.
#include <cstring>

#include "orbel/graphics/backend_2d.h"
#include "orbel/graphics/draw_state.h"
#include "orbel/graphics/graph_record.h"
#include "orbel/graphics/screen_road.h"
#include "orbel/graphics/screen_state.h"
#include "orbel/graphics/surface2d.h"
#include "orbel/image/color_convert.h"
#include "orbel/image/color_data.h"
#include "platform/ddraw/ddraw.h"

namespace orbel {

SurfaceSoftDrawState gSoftDraw;

namespace {

int ScreenMemImgType() { return GetScreenColorBitDepth() == 16 ? kMemImgR5G6B5 : kMemImgX8R8G8B8; }

// Converts a block in place between the display format and the memory-image format.
void ConvertInPlace(void* pixels, int pitch, int width, int height, bool toMemImg) {
  const ColorData* mem = GetMemImgColorData(ScreenMemImgType(), 0, 0);
  const ColorData* display = &gScreen.displayColorData;
  const plat::RECT r = {0, 0, width, height};
  if (toMemImg) {
    ConvertImageColor(pixels, pitch, mem, pixels, pitch, display, nullptr, 0, nullptr, 0, 0, &r, 0, 0, 0, 0, 0, 0, 0, 0);
  } else {
    ConvertImageColor(pixels, pitch, display, pixels, pitch, mem, nullptr, 0, nullptr, 0, 0, &r, 0, 0, 0, 0, 0, 0, 0, 0);
  }
}

// A colour value of the display format in the memory-image format (an 8-bit display gives palette
// indices, read through its palette).
uint32_t DisplayToViewColor(uint32_t value) {
  const ColorData* mem = GetMemImgColorData(ScreenMemImgType(), 0, 0);
  const ColorData* display = &gScreen.displayColorData;
  if (display->bitDepth == 8) {
    const ColorPaletteEntry& e = display->palette[value & 0xFF];
    return GetFormatColorValue(mem, e.red, e.green, e.blue, 255);
  }
  return ConvertColorValue(mem, display, value);
}

// Copies a block between the display format and a memory image of the renderer's format, when their
// pixel sizes differ and an in-place conversion is impossible.
void ConvertBlock(MemImg* img, void* pixels, int pitch, int width, int height, bool toMemImg) {
  const plat::RECT r = {0, 0, width, height};
  const ColorData* display = &gScreen.displayColorData;
  if (toMemImg) {
    ConvertImageColor(img->pixels, img->base->pitch, img->base->colorData, pixels, pitch, display, nullptr, 0, nullptr,
                      0, 0, &r, 0, 0, 0, 0, 0, 0, 0, 0);
  } else {
    ConvertImageColor(pixels, pitch, display, img->pixels, img->base->pitch, img->base->colorData, nullptr, 0, nullptr,
                      0, 0, &r, 0, 0, 0, 0, 0, 0, 0, 0);
  }
}

// The display's pixels are as wide as the renderer's.
bool DisplaySameSize() {
  return gScreen.displayColorData.bytesPerPixel == (ScreenMemImgType() == kMemImgR5G6B5 ? 2 : 4);
}

plat::HRESULT LockRect(plat::IDirectDrawSurface7* surface, plat::RECT* rect, void** pixels, int* pitch,
                       plat::DWORD extraFlags = 0) {
  plat::DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof(desc);
  const plat::HRESULT hr = surface->Lock(rect, &desc, plat::DDLOCK_WAIT | extraFlags, nullptr);
  if (hr == plat::DD_OK) {
    *pixels = desc.lpSurface;
    *pitch = static_cast<int>(desc.lPitch);
  }
  return hr;
}

// Undoes whatever the destination half of a begin took.
void AbandonDestination() {
  SurfaceSoftDrawState& s = gSoftDraw;
  TerminateMemImg(&s.destViewBlock);
  if (s.destLocked) {
    plat::RECT r = s.throughWork ? plat::RECT{0, 0, s.screenRect.right - s.screenRect.left,
                                              s.screenRect.bottom - s.screenRect.top}
                                 : s.screenRect;
    (s.throughWork ? gScreen.workSurface : s.targetSurface)->Unlock(&r);
  }
  s.destLocked = 0;
  s.throughWork = 0;
  s.destCopy = 0;
  s.viewConverted = 0;
  s.destView = nullptr;
}

}  // namespace

int BeginSurfaceSoftDraw(const Surface2DRecord* source, int blitAllowed, const plat::RECT* srcRect,
                         const plat::RECT* destRect, int transparent, uint32_t* color1, uint32_t* color2) {
  SurfaceSoftDrawState& s = gSoftDraw;
  s.destLocked = 0;
  s.sourceLocked = 0;
  s.throughWork = 0;
  s.sourceThroughWork2 = 0;
  s.destCopy = 0;
  s.viewConverted = 0;
  s.destView = nullptr;
  s.sourceView = nullptr;
  if (ScreensAreMemImgs()) return 0;

  const SurfaceDataRecord* data = source != nullptr ? GetSurfaceDataRecord(source->surfaceData) : nullptr;
  if (source != nullptr && data == nullptr) return -1;
  const bool plain = (gDrawState.blendMode == kBlendNone ||
                      (gDrawState.blendMode == kBlendAlpha && gDrawState.blendParam == 255)) &&
                     (data == nullptr || data->format.alpha == 0) && gDrawState.blendGraph == -1;
  plat::IDirectDrawSurface7* target = gScreen.targetSurface;
  const int originX = gDrawState.frontWindowRect.left + gScreen.targetX;
  const int originY = gDrawState.frontWindowRect.top + gScreen.targetY;

  // A plain, unbrightened copy between surfaces of the same memory kind is a BltFast.
  if (blitAllowed == 1 && data != nullptr && plain && gDrawState.brightColor == kBrightWhite && !data->memImgUse &&
      data->surface != nullptr && target != nullptr &&
      (gScreen.targetInVideoMemory != 0) == (data->format.memImg == 0)) {
    s.blit = 1;
    s.blitSource = data->surface;
    s.blitSourceRect = {srcRect->left + source->offsetX, srcRect->top + source->offsetY,
                        srcRect->right + source->offsetX, srcRect->bottom + source->offsetY};
    s.blitTarget = target;
    s.blitTargetRect = {destRect->left + originX, destRect->top + originY, destRect->right + originX,
                        destRect->bottom + originY};
    return 0;
  }

  s.blit = 0;
  s.convert = (gScreen.colorType == kScreenColorX1R5G5B5 || gScreen.colorType == kScreenColorOther) ? 1 : 0;
  s.clippedRect = *destRect;
  ClipRect(&s.clippedRect, &gDrawState.drawArea);
  const int w = s.clippedRect.right - s.clippedRect.left;
  const int h = s.clippedRect.bottom - s.clippedRect.top;
  if (w <= 0 || h <= 0) return -1;
  const int type = ScreenMemImgType();

  s.destViewBlock = MemImg{};
  if (gScreen.targetImage != nullptr && CheckValidMemImg(gScreen.targetImage)) {
    // A memory-image target: a view of the clipped rectangle, nothing locked.
    if (DeriveMemImg(&s.destViewBlock, gScreen.targetImage, s.clippedRect.left, s.clippedRect.top, w, h) != 0) {
      return -1;
    }
    s.destView = &s.destViewBlock;
  } else if (target != nullptr) {
    s.screenRect = {s.clippedRect.left + originX, s.clippedRect.top + originY, s.clippedRect.right + originX,
                    s.clippedRect.bottom + originY};
    s.targetSurface = target;
    int screenW = 0;
    int screenH = 0;
    GetScreenPixelSize(&screenW, &screenH);
    const bool fitsWork = gScreen.workSurface != nullptr && w <= screenW && h <= screenH;
    // Pixels of another size (an 8-bit display), and a converted region the work surface cannot hold,
    // are copied out into a memory image.
    s.destCopy = s.convert && (!DisplaySameSize() || !fitsWork) ? 1 : 0;
    // Surfaces live in memory, so a region in the display's own format is read and blended where it
    // lies; a region of the same pixel size in another format is converted in the work surface, also
    // for a plain draw, which writes the renderer's format.
    s.throughWork = ((s.convert && (!s.destCopy || !plain || transparent == 0)) ||
                     (s.destCopy && gScreen.targetInVideoMemory))
                        ? 1
                        : 0;
    if (!fitsWork) s.throughWork = 0;
    void* pixels = nullptr;
    int pitch = 0;
    plat::HRESULT hr;
    if (s.throughWork) {
      if (BlitSurfaceRect(gScreen.workSurface, target, 0, 0, &s.screenRect, -1) != 0) return -1;
      plat::RECT workRect = {0, 0, w, h};
      hr = LockRect(gScreen.workSurface, &workRect, &pixels, &pitch);
    } else {
      // Plain copies never read the target, so video memory is then locked for writing only.
      hr = LockRect(target, &s.screenRect, &pixels, &pitch,
                    gScreen.targetInVideoMemory && plain && !s.destCopy ? plat::DDLOCK_WRITEONLY : 0);
    }
    // A failed lock prepares nothing: the caller must not draw.
    if (hr != plat::DD_OK) {
      s.throughWork = 0;
      return -1;
    }
    s.destLocked = 1;
    s.destPixels = pixels;
    s.destPitch = pitch;
    s.viewConverted = s.destCopy || (s.throughWork && s.convert) ? 1 : 0;
    if (s.viewConverted) {
      if (color1 != nullptr) *color1 = DisplayToViewColor(*color1);
      if (color2 != nullptr) *color2 = DisplayToViewColor(*color2);
    }
    int made;
    if (s.destCopy) {
      made = InitializeMemImg(&s.destViewBlock, w, h, -1, 0, type, 0, 0, 0, nullptr);
      if (made == 0) ConvertBlock(&s.destViewBlock, pixels, pitch, w, h, true);
    } else {
      if (s.throughWork && s.convert) ConvertInPlace(pixels, pitch, w, h, true);
      made = InitializeMemImgOnBody(&s.destViewBlock, &s.destViewBody, w, h, pitch, 0, type, pixels);
    }
    if (made != 0) {
      AbandonDestination();
      return -1;
    }
    s.destView = &s.destViewBlock;
  } else {
    return -1;
  }

  if (source == nullptr) return 0;

  s.sourceViewBlock = MemImg{};
  if (data->memImgUse) {
    if (!CheckValidMemImg(&data->image)) {
      AbandonDestination();
      return -1;
    }
    if (source->offsetX == 0 && source->offsetY == 0 && source->width == data->image.width &&
        source->height == data->image.height) {
      s.sourceView = const_cast<MemImg*>(&data->image);
    } else {
      if (DeriveMemImg(&s.sourceViewBlock, &data->image, source->offsetX, source->offsetY, source->width,
                       source->height) != 0) {
        AbandonDestination();
        return -1;
      }
      s.sourceView = &s.sourceViewBlock;
    }
    return 0;
  }

  // DirectDraw source: the whole record, through work surface 2 when it lies in video memory or its
  // format must be converted.
  plat::RECT whole = {source->offsetX, source->offsetY, source->offsetX + source->width,
                      source->offsetY + source->height};
  int screenW = 0;
  int screenH = 0;
  GetScreenPixelSize(&screenW, &screenH);
  // As for the target: read in place unless the format changes.
  s.sourceThroughWork2 = s.convert && gScreen.workSurface2 != nullptr && source->width <= screenW &&
                                 source->height <= screenH
                             ? 1
                             : 0;
  // A converted source that work surface 2 cannot hold, or of another pixel size, is copied out.
  const bool sourceCopy = s.convert && (!DisplaySameSize() || !s.sourceThroughWork2);
  void* pixels = nullptr;
  int pitch = 0;
  plat::HRESULT hr;
  if (s.sourceThroughWork2) {
    if (BlitSurfaceRect(gScreen.workSurface2, data->surface, 0, 0, &whole, -1) != 0) {
      AbandonDestination();
      return -1;
    }
    s.sourceLockSurface = gScreen.workSurface2;
    s.sourceLockRect = {0, 0, source->width, source->height};
  } else {
    s.sourceLockSurface = data->surface;
    s.sourceLockRect = whole;
  }
  hr = LockRect(s.sourceLockSurface, &s.sourceLockRect, &pixels, &pitch);
  if (hr != plat::DD_OK) {
    AbandonDestination();
    return -1;
  }
  s.sourceLocked = 1;
  const ColorData* mem = GetMemImgColorData(type, 0, 0);
  const uint32_t rgb = data->transColor;
  const uint32_t key = GetFormatColorValue(mem, (rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF, 255);
  int made;
  if (sourceCopy) {
    // Copied out into a memory image of the renderer's format, and the lock ends at once.
    made = InitializeMemImg(&s.sourceViewBlock, source->width, source->height, -1, key, type, 0, 0, 0, nullptr);
    if (made == 0) ConvertBlock(&s.sourceViewBlock, pixels, pitch, source->width, source->height, true);
    s.sourceLockSurface->Unlock(&s.sourceLockRect);
    s.sourceLocked = 0;
  } else {
    if (s.sourceThroughWork2 && s.convert) ConvertInPlace(pixels, pitch, source->width, source->height, true);
    made = InitializeMemImgOnBody(&s.sourceViewBlock, &s.sourceViewBody, source->width, source->height, pitch, key,
                                  type, pixels);
  }
  if (made != 0) {
    if (s.sourceLocked) s.sourceLockSurface->Unlock(&s.sourceLockRect);
    s.sourceLocked = 0;
    AbandonDestination();
    return -1;
  }
  s.sourceView = &s.sourceViewBlock;
  return 0;
}

uint32_t SoftDrawViewColor(uint32_t displayColor) {
  return gSoftDraw.viewConverted ? DisplayToViewColor(displayColor) : displayColor;
}

uint32_t DisplayToRendererColor(uint32_t displayColor) {
  if (gScreen.colorType != kScreenColorX1R5G5B5 && gScreen.colorType != kScreenColorOther) return displayColor;
  return DisplayToViewColor(displayColor) & ~GetMemImgColorData(ScreenMemImgType(), 0, 0)->noneMask;
}

int EndSurfaceSoftDraw() {
  SurfaceSoftDrawState& s = gSoftDraw;
  const int copyW = s.clippedRect.right - s.clippedRect.left;
  const int copyH = s.clippedRect.bottom - s.clippedRect.top;
  if (s.destLocked && s.destCopy && CheckValidMemImg(&s.destViewBlock)) {
    ConvertBlock(&s.destViewBlock, s.destPixels, s.destPitch, copyW, copyH, false);
  }
  TerminateMemImg(&s.destViewBlock);
  TerminateMemImg(&s.sourceViewBlock);
  s.destView = nullptr;
  s.sourceView = nullptr;
  if (ScreensAreMemImgs()) return 0;
  const int w = s.screenRect.right - s.screenRect.left;
  const int h = s.screenRect.bottom - s.screenRect.top;
  if (s.destLocked) {
    if (s.throughWork) {
      plat::RECT workRect = {0, 0, w, h};
      if (s.convert && !s.destCopy) ConvertInPlace(s.destPixels, s.destPitch, w, h, false);
      gScreen.workSurface->Unlock(&workRect);
    } else {
      s.targetSurface->Unlock(&s.screenRect);
    }
  }
  if (s.sourceLocked) s.sourceLockSurface->Unlock(&s.sourceLockRect);
  if (s.destLocked && s.throughWork) {
    const plat::RECT back = {0, 0, w, h};
    BlitSurfaceRect(s.targetSurface, gScreen.workSurface, s.screenRect.left, s.screenRect.top, &back, -1);
  }
  s.destLocked = 0;
  s.sourceLocked = 0;
  s.throughWork = 0;
  s.sourceThroughWork2 = 0;
  s.destCopy = 0;
  s.viewConverted = 0;
  return 0;
}

}  // namespace orbel
