// Memory images: create, derive, release, test, fill and copy memory images, fill them from a
// GraphImage (palette, premultiplied second layer, run table), and the shared colour-format caches.
// Depends on core/memory.h (bodies and buffers), image/color_convert.h (every pixel conversion) and
// graphics/rect_math.h (clipping). The blits live in plain_blit*.cpp.
#include "orbel/softrender/mem_img.h"

#include <cstring>  // memset, memcpy

#include "orbel/core/memory.h"
#include "orbel/graphics/draw_state.h"
#include "orbel/graphics/rect_math.h"
#include "orbel/image/color_convert.h"
#include "orbel/image/color_data.h"
#include "orbel/softrender/run_plan.h"
#include "platform/win/gdi/pixel_rows.h"

namespace orbel {

namespace {

constexpr int kFormatCacheSize = 10;

ColorData gColorDataCache[kFormatCacheSize];
bool gColorDataBuilt[kFormatCacheSize];
MemImgDDPixelFormat gDDFormatCache[kFormatCacheSize];
bool gDDFormatBuilt[kFormatCacheSize];

// Cache slot: types 0/1 by alpha and paletted (0-7), then type 2 (8) and type 3 (9); -1 above 3.
int FormatSlot(int colorType, int alpha, int paletted) {
  if (colorType < 0 || colorType > 3) return -1;
  if (colorType >= 2) return 6 + colorType;
  return colorType * 4 + (alpha != 0 ? 2 : 0) + (paletted != 0 ? 1 : 0);
}

struct TypeMasks {
  uint32_t red, green, blue, alpha;
};

TypeMasks MasksOf(int colorType, int alpha) {
  if (colorType == kMemImgR5G6B5) return {0xF800, 0x07E0, 0x001F, alpha != 0 ? 0xFF0000u : 0u};
  return {0xFF0000, 0xFF00, 0xFF, alpha != 0 ? 0xFF000000u : 0u};
}

// Single-channel formats are filled by hand: every channel covers the whole pixel.
void FillSingleChannelFormat(ColorData* cd, int bits) {
  std::memset(cd, 0, sizeof(*cd));
  const uint32_t mask = bits == 8 ? 0xFFu : 0xFFFFu;
  cd->bitDepth = static_cast<uint16_t>(bits);
  cd->bytesPerPixel = static_cast<uint16_t>(bits / 8);
  cd->redWidth = cd->greenWidth = cd->blueWidth = cd->alphaWidth = static_cast<uint8_t>(bits);
  cd->redMask = cd->greenMask = cd->blueMask = cd->alphaMask = mask;
}

bool RectInside(int64_t x, int64_t y, int64_t w, int64_t h, int64_t limitW, int64_t limitH) {
  return x >= 0 && y >= 0 && w >= 0 && h >= 0 && x + w <= limitW && y + h <= limitH;
}

// Frees everything a body holds, then the body.
void ReleaseBody(MemImgBase* base) {
  if (base->callerBody) return;  // a body of caller pixels in the caller's record holds nothing of ours
  if (!base->userPixels) MemFree(base->pixels);
  MemFree(base->layer2);
  MemFree(base->runTable);
  MemFree(base->runPlan);
  MemFree(base->runWeights);
  MemFree(base->palette);
  MemFree(base);
}

// Pixel class for the run table: 0 transparent, 1 opaque, 2 translucent.
int PixelClass(const MemImgBase* base, const uint8_t* p) {
  if (base->paletted) return p[0] == (base->transColor & 0xFF) ? kRunTransparent : kRunOpaque;
  if (base->alpha) {
    const uint8_t a = base->colorType == kMemImgR5G6B5 ? p[2] : p[3];
    return a == 0 ? kRunTransparent : (a == 255 ? kRunOpaque : kRunTranslucent);
  }
  if (base->colorType == kMemImgR5G6B5) {
    const uint32_t v = static_cast<uint32_t>(p[0] | p[1] << 8);
    return v == (base->transColor & 0xFFFF) ? kRunTransparent : kRunOpaque;
  }
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v == base->transColor ? kRunTransparent : kRunOpaque;
}

void BuildRunTable(const MemImg* img) {
  const MemImgBase* base = img->base;
  const int bpp = base->pixelBytes;
  MemImgRunTable* out = base->runTable;
  for (int y = 0; y < img->height; ++y) {
    const uint8_t* row = img->pixels + static_cast<ptrdiff_t>(y) * base->pitch;
    int x = 0;
    while (x < img->width) {
      const int kind = PixelClass(base, row + x * bpp);
      int n = 1;
      while (n < kRunMaxLength && x + n < img->width && PixelClass(base, row + (x + n) * bpp) == kind) ++n;
      *out++ = static_cast<uint8_t>(kind << 6 | (n - 1));
      x += n;
    }
    *out++ = kRunEnd;
  }
}

// The plan and the weights only speed the walk up: without memory for them the walk reads the table
// and the pixels themselves.
void BuildRunPlanLayers(MemImgBase* base) {
  const uint32_t words = RunPlanWords(base->width, base->height);
  if (base->runPlan == nullptr) base->runPlan = static_cast<uint16_t*>(MemAlloc(words * 2, "MemImgRunPlan", __LINE__));
  if (base->runPlan == nullptr) return;
  BuildRunPlan(base->runTable, base->width, base->height, base->runPlan);
  if (!base->alpha) return;
  const uint32_t groups = RunPlanMixedGroups(base->runPlan, base->height);
  const uint64_t bytes = static_cast<uint64_t>(groups) * kRunWeightWords * 2;
  if (groups != base->runWeightGroups || bytes > kRunWeightsMaxBytes) {
    MemFree(base->runWeights);
    base->runWeights = nullptr;
    base->runWeightGroups = 0;
  }
  if (bytes == 0 || bytes > kRunWeightsMaxBytes) return;
  if (base->runWeights == nullptr) {
    base->runWeights = static_cast<uint16_t*>(MemAlloc(static_cast<uint32_t>(bytes), "MemImgRunWeights", __LINE__));
    if (base->runWeights == nullptr) return;
    base->runWeightGroups = groups;
  }
  BuildRunWeights(base->pixels, base->pitch, base->width, base->height, base->runPlan, base->runWeights);
}

void BuildPremultipliedLayer(const MemImg* img) {
  const MemImgBase* base = img->base;
  for (int y = 0; y < img->height; ++y) {
    const uint8_t* src = img->pixels + static_cast<ptrdiff_t>(y) * base->pitch;
    uint8_t* dst = img->layer2 + static_cast<ptrdiff_t>(y) * base->pitch;
    for (int x = 0; x < img->width; ++x, src += 4, dst += 4) {
      uint32_t v;
      std::memcpy(&v, src, 4);
      uint32_t out;
      if (base->colorType == kMemImgR5G6B5) {
        const uint32_t c = v & 0xFFFF;
        const uint32_t a = (v >> 16) & 0xFF;
        const uint32_t rgb =
            (((c & 0xF800) * a & 0xF80000) | ((c & 0x07E0) * a & 0x07E000) | ((c & 0x001F) * a & 0x1F00)) >> 8;
        out = rgb | a << 16;
      } else {
        const uint32_t a = v >> 24;
        out = ((v & 0xFF) * a >> 8) | (((v >> 8) & 0xFF) * a >> 8) << 8 | (((v >> 16) & 0xFF) * a >> 8) << 16 |
              a << 24;
      }
      std::memcpy(dst, &out, 4);
    }
  }
}

// Palette words in the image's own pixel form, from the picture's B, G, R, x entries.
void BuildPalette(MemImgBase* base, const ColorData* format) {
  if (base->colorType == kMemImgR5G6B5) {
    uint16_t words[256];
    for (int i = 0; i < 256; ++i) {
      const ColorPaletteEntry& e = format->palette[i];
      words[i] = static_cast<uint16_t>((e.red & 0xF8) << 8 | (e.green & 0xFC) << 3 | e.blue >> 3);
    }
    std::memcpy(base->palette, words, sizeof(words));
    std::memcpy(base->palette2, base->palette, sizeof(words));
  } else {
    uint32_t words[256];
    for (int i = 0; i < 256; ++i) {
      const ColorPaletteEntry& e = format->palette[i];
      words[i] = static_cast<uint32_t>(e.red) << 16 | static_cast<uint32_t>(e.green) << 8 | e.blue;
    }
    std::memcpy(base->palette, words, sizeof(words));
    std::memcpy(base->palette2, base->palette, sizeof(words));
  }
}

}  // namespace

// ---- Colour-format caches ---------------------------------------------------------------------------

const ColorData* GetMemImgColorData(int colorType, int alpha, int paletted) {
  const int slot = FormatSlot(colorType, alpha, paletted);
  if (slot < 0) return nullptr;
  ColorData* cd = &gColorDataCache[slot];
  if (!gColorDataBuilt[slot]) {
    if (colorType >= 2) {
      FillSingleChannelFormat(cd, colorType == kMemImgSingle8 ? 8 : 16);
    } else {
      const TypeMasks m = MasksOf(colorType, alpha);
      const int bits = paletted != 0 ? 8 : (colorType == kMemImgR5G6B5 && alpha == 0 ? 16 : 32);
      std::memset(cd, 0, sizeof(*cd));
      BuildColorFormat(cd, bits, m.red, m.green, m.blue, m.alpha);
    }
    gColorDataBuilt[slot] = true;
  }
  return cd;
}

const MemImgDDPixelFormat* GetMemImgDDPixelFormat(int colorType, int alpha, int paletted) {
  const int slot = FormatSlot(colorType, alpha, paletted);
  if (slot < 0) return nullptr;
  MemImgDDPixelFormat* pf = &gDDFormatCache[slot];
  if (!gDDFormatBuilt[slot]) {
    *pf = MemImgDDPixelFormat{};
    if (colorType >= 2) {
      const uint32_t mask = colorType == kMemImgSingle8 ? 0xFFu : 0xFFFFu;
      pf->rgbBitCount = colorType == kMemImgSingle8 ? 8 : 16;
      pf->redMask = pf->greenMask = pf->blueMask = pf->alphaMask = mask;
    } else {
      const ColorData* cd = GetMemImgColorData(colorType, alpha, paletted);
      pf->size = sizeof(MemImgDDPixelFormat);
      pf->flags = kDDPixelFormatRGB;
      pf->rgbBitCount = cd->bitDepth;
      pf->redMask = cd->redMask;
      pf->greenMask = cd->greenMask;
      pf->blueMask = cd->blueMask;
      pf->alphaMask = cd->alphaMask;
    }
    gDDFormatBuilt[slot] = true;
  }
  return pf;
}

// ---- Life cycle ----------------------------------------------------------------------------------------

namespace {

// What InitializeMemImg works out from its arguments.
struct BodyShape {
  int paletted;
  int alpha;
  int bpp;
  int64_t pitch;     // bytes
  int64_t bytes;     // pitch x height
  int pitchShift;
};

// Checks the arguments and works out the body's shape; false for arguments refused.
bool ShapeBody(int width, int height, int pitch, int colorType, int paletted, int alpha, BodyShape* out) {
  if (colorType < 0 || colorType > 3 || width < 0 || height < 0 || pitch < -1) return false;
  const bool single = colorType >= kMemImgSingle8;
  out->paletted = single ? 0 : (paletted != 0 ? 1 : 0);
  out->alpha = (single || out->paletted) ? 0 : (alpha != 0 ? 1 : 0);
  static constexpr int kTypeBytes[4] = {2, 4, 1, 2};
  out->bpp = out->paletted ? 1 : (colorType == kMemImgR5G6B5 && out->alpha ? 4 : kTypeBytes[colorType]);

  const int64_t rowBytes = static_cast<int64_t>(out->bpp) * width;
  out->pitch = pitch == -1 ? ((rowBytes + 15) & ~int64_t{15}) : pitch;
  // A caller's pitch shorter than a row would make rows overlap and writes run past the buffer.
  if (out->pitch < rowBytes) return false;
  out->bytes = out->pitch * height;
  const int64_t runBytes = (static_cast<int64_t>(width) + 5) * height;
  if (out->pitch > INT32_MAX || out->bytes > UINT32_MAX || runBytes > UINT32_MAX) return false;

  // The pitch shift is n only when the pitch is exactly the power of two at or above the row size
  // that was asked for.
  const int64_t request = pitch == -1 ? rowBytes : pitch;
  int shift = 0;
  int64_t pow2 = 1;
  while (pow2 < request) {
    pow2 <<= 1;
    ++shift;
  }
  out->pitchShift = out->pitch == pow2 ? shift : -1;
  return true;
}

void SetBodyFields(MemImgBase* base, const BodyShape& shape, int width, int height, uint32_t transColor,
                   int colorType) {
  base->refCount = 1;
  base->width = width;
  base->height = height;
  base->pitch = static_cast<int32_t>(shape.pitch);
  base->pitchShift = shape.pitchShift;
  base->colorData = GetMemImgColorData(colorType, shape.alpha, shape.paletted);
  base->transColor = transColor;
  base->colorType = static_cast<MemImgColorType>(colorType);
  base->paletted = shape.paletted;
  base->alpha = shape.alpha;
  base->pixelBytes = shape.bpp;
}

void MakeWholeView(MemImg* img, MemImgBase* base) {
  img->magic = kMemImgMagic;
  img->width = base->width;
  img->height = base->height;
  img->pixels = base->pixels;
  img->layer2 = base->layer2;
  img->base = base;
}

}  // namespace

int InitializeMemImg(MemImg* img, int width, int height, int pitch, uint32_t transColor, int colorType,
                     int paletted, int alpha, int layers, void* userPixels) {
  if (img->magic == kMemImgMagic) return -1;
  BodyShape shape;
  if (!ShapeBody(width, height, pitch, colorType, paletted, alpha, &shape)) return -1;
  const int storedPaletted = shape.paletted;
  const int storedAlpha = shape.alpha;
  const int64_t bytes = shape.bytes;
  const int64_t runBytes = (static_cast<int64_t>(width) + 5) * height;

  auto* base = static_cast<MemImgBase*>(MemCalloc(sizeof(MemImgBase), "MemImgBase", __LINE__));
  if (base == nullptr) return -1;
  SetBodyFields(base, shape, width, height, transColor, colorType);

  // Every block is zero-filled, so a fresh image reads as black and an empty palette as zeros.
  const uint32_t blockBytes = bytes > 0 ? static_cast<uint32_t>(bytes) : 1;
  bool ok = true;
  if (storedPaletted) {
    base->palette = static_cast<uint8_t*>(MemCalloc(kMemImgPaletteBlockSize, "MemImgPalette", __LINE__));
    base->palette2 = base->palette != nullptr ? base->palette + 1024 : nullptr;
    ok = base->palette != nullptr;
  }
  if (ok) {
    if (userPixels != nullptr) {
      base->pixels = static_cast<uint8_t*>(userPixels);
      base->userPixels = 1;
    } else {
      base->pixels = static_cast<uint8_t*>(MemCalloc(blockBytes, "MemImgPixels", __LINE__));
      ok = base->pixels != nullptr;
    }
  }
  if (ok && storedAlpha && layers) {
    base->layer2 = static_cast<uint8_t*>(MemCalloc(blockBytes, "MemImgLayer2", __LINE__));
    ok = base->layer2 != nullptr;
  }
  if (ok && layers && colorType != kMemImgSingle8) {
    const uint32_t n = runBytes > 0 ? static_cast<uint32_t>(runBytes) : 1;
    base->runTable = static_cast<MemImgRunTable*>(MemCalloc(n, "MemImgRunTable", __LINE__));
    ok = base->runTable != nullptr;
  }
  if (!ok) {
    ReleaseBody(base);
    return -1;
  }

  MakeWholeView(img, base);
  return 0;
}

int InitializeMemImgOnBody(MemImg* img, MemImgBase* body, int width, int height, int pitch, uint32_t transColor,
                           int colorType, void* userPixels) {
  if (img->magic == kMemImgMagic || body == nullptr || userPixels == nullptr) return -1;
  // A record whose last view was of the same shape needs only its pixels moved: views made around
  // each draw of a sprite mostly are.
  if (body->callerBody == 1 && body->refCount == 0 && body->width == width && body->height == height &&
      body->pitch == pitch && body->colorType == colorType && body->transColor == transColor && body->colorData != nullptr) {
    body->refCount = 1;
    body->pixels = static_cast<uint8_t*>(userPixels);
    MakeWholeView(img, body);
    return 0;
  }
  BodyShape shape;
  if (!ShapeBody(width, height, pitch, colorType, 0, 0, &shape)) return -1;
  *body = MemImgBase{};
  SetBodyFields(body, shape, width, height, transColor, colorType);
  body->pixels = static_cast<uint8_t*>(userPixels);
  body->userPixels = 1;
  body->callerBody = 1;
  MakeWholeView(img, body);
  return 0;
}

// NOTE: both create helpers refuse a live header instead of clearing it, which would leak the body
// it holds.
int CreateMemImgScreenType(MemImg* img, int width, int height, int colorType) {
  if (img->magic == kMemImgMagic) return -1;
  if (colorType == -1) {
    int depth = 0;
    GetScreenSizeAndDepth(nullptr, nullptr, &depth);
    colorType = depth == 16 ? kMemImgR5G6B5 : kMemImgX8R8G8B8;
  }
  *img = MemImg{};
  return InitializeMemImg(img, width, height, -1, 0, colorType, 0, 0, 0, nullptr);
}

int CreateMemImgDepth16(MemImg* img, int width, int height) {
  if (img->magic == kMemImgMagic) return -1;
  *img = MemImg{};
  return InitializeMemImg(img, width, height, -1, 0, kMemImgSingle16, 0, 0, 0, nullptr);
}

// NOTE: a live destination header is refused as InitializeMemImg does: overwriting it would leak the
// reference it holds on its body.
int DeriveMemImg(MemImg* dst, const MemImg* src, int x, int y, int width, int height) {
  if (!CheckValidMemImg(src) || dst == src || dst->magic == kMemImgMagic) return -1;
  if (!RectInside(x, y, width, height, src->width, src->height)) return -1;
  const ptrdiff_t offset = MemImgOffset(src, x, y);
  MemImgBase* base = src->base;
  dst->magic = kMemImgMagic;
  dst->width = width;
  dst->height = height;
  dst->pixels = src->pixels + offset;
  dst->layer2 = base->layer2 != nullptr && src->layer2 != nullptr ? src->layer2 + offset : nullptr;
  dst->base = base;
  base->refCount += 1;
  return 0;
}

void TerminateMemImg(MemImg* img) {
  if (img == nullptr || img->magic != kMemImgMagic) return;
  MemImgBase* base = img->base;
  if (base != nullptr && --base->refCount <= 0) ReleaseBody(base);
  img->base = nullptr;
  img->magic = 0;
}

int CheckValidMemImg(const MemImg* img) {
  return img != nullptr && img->magic == kMemImgMagic && img->base != nullptr ? 1 : 0;
}

// ---- Pixels ----------------------------------------------------------------------------------------

void FillMemImgRect(MemImg* img, const plat::RECT* rect, uint32_t value) {
  if (!CheckValidMemImg(img)) return;
  const plat::RECT view = {0, 0, img->width, img->height};
  plat::RECT r = rect != nullptr ? *rect : view;
  ClipRect(&r, &view);
  const int w = r.right - r.left;
  const int h = r.bottom - r.top;
  if (w <= 0 || h <= 0) return;
  const int bpp = img->base->pixelBytes;
  if (bpp != 1 && bpp != 2 && bpp != 4) return;
  for (int y = 0; y < h; ++y) {
    plat::FillPixelRow(img->pixels + MemImgOffset(img, r.left, r.top + y), static_cast<size_t>(w) * bpp, bpp, value);
  }
}

int TransferImageToMemImg(const GraphImage* image, const GraphImage* alphaImage, MemImg* img, int srcX,
                          int srcY, int width, int height, int destX, int destY, int convertOption,
                          bool buildLayers) {
  if (!CheckValidMemImg(img) || image == nullptr || image->pixels == nullptr) return -1;
  // The converter trusts its rectangles, so both are checked here.
  if (!RectInside(srcX, srcY, width, height, image->width, image->height) ||
      !RectInside(destX, destY, width, height, img->width, img->height)) {
    return -1;
  }
  if (alphaImage != nullptr &&
      (alphaImage->pixels == nullptr || !RectInside(srcX, srcY, width, height, alphaImage->width, alphaImage->height))) {
    return -1;
  }
  MemImgBase* base = img->base;
  const plat::RECT srcRect = {srcX, srcY, srcX + width, srcY + height};

  int result;
  if (base->colorType >= kMemImgSingle8) {
    result = ConvertImageColor(img->pixels, base->pitch, base->colorData, image->pixels,
                               static_cast<int>(image->pitch), &image->format, nullptr, 0, nullptr, destX, destY,
                               &srcRect, 0, 0, 0, 0, 1, 1, 0, 0);
    if (result < 0) return result;
  } else {
    result = ConvertImageColor(img->pixels, base->pitch, base->colorData, image->pixels,
                               static_cast<int>(image->pitch), &image->format,
                               alphaImage != nullptr ? alphaImage->pixels : nullptr,
                               alphaImage != nullptr ? static_cast<int>(alphaImage->pitch) : 0,
                               alphaImage != nullptr ? &alphaImage->format : nullptr, destX, destY, &srcRect, 0, 0,
                               base->transColor, convertOption, 0, 0, 0, 0);
    if (result < 0) return result;
    if (base->paletted && alphaImage == nullptr) base->paletteCount = result + 1;
    if (base->paletted) BuildPalette(base, &image->format);
  }

  base->premulValid = 0;
  base->runTableValid = 0;
  base->layersPending = 0;
  // The run table and the premultiplied layer describe the whole body, so they are built only when
  // the write covered all of it: a view of part of a larger body must not mark them valid.
  const bool wholeBody = img->pixels == base->pixels && img->width == base->width && img->height == base->height &&
                         width == base->width && height == base->height;
  if (!wholeBody || base->colorType >= kMemImgSingle8 || base->runTable == nullptr) return result;
  base->layersPending = 1;
  if (buildLayers) BuildPendingMemImgLayers(img);
  return result;
}

int BuildPendingMemImgLayers(MemImg* img) {
  if (!CheckValidMemImg(img) || !img->base->layersPending) return 0;
  MemImgBase* base = img->base;
  const MemImg whole = {kMemImgMagic, base->width, base->height, base->pixels, base->layer2, base};
  base->layersPending = 0;
  base->runTableValid = 1;
  if (base->alpha && base->layer2 != nullptr) {
    base->premulValid = 1;
    BuildPremultipliedLayer(&whole);
  }
  BuildRunTable(&whole);
  if (base->colorType == kMemImgX8R8G8B8 && !base->paletted) BuildRunPlanLayers(base);
  return 0;
}

void CopyMemImgToImage(GraphImage* image, const MemImg* img, int srcX, int srcY, int width, int height,
                       int destX, int destY, uint32_t keyColor, int keySkip) {
  if (!CheckValidMemImg(img) || image == nullptr || image->pixels == nullptr) return;
  const MemImgBase* base = img->base;
  if (base->colorType >= kMemImgSingle8 || base->paletted || base->alpha) return;
  if (!RectInside(srcX, srcY, width, height, img->width, img->height) ||
      !RectInside(destX, destY, width, height, image->width, image->height)) {
    return;
  }
  const plat::RECT srcRect = {srcX, srcY, srcX + width, srcY + height};
  ConvertImageColor(image->pixels, static_cast<int>(image->pitch), &image->format, img->pixels, base->pitch,
                    base->colorData, nullptr, 0, nullptr, destX, destY, &srcRect, 0, 0, keyColor, 0, 0, 0, keySkip,
                    0);
}

int BltMemImgRect(MemImg* dest, const MemImg* src, const plat::RECT* srcRect, int destX, int destY) {
  if (!CheckValidMemImg(dest) || !CheckValidMemImg(src)) return -1;
  const plat::RECT r = srcRect != nullptr ? *srcRect : plat::RECT{0, 0, src->width, src->height};
  const int64_t w = static_cast<int64_t>(r.right) - r.left;
  const int64_t h = static_cast<int64_t>(r.bottom) - r.top;
  if (!RectInside(r.left, r.top, w, h, src->width, src->height) ||
      !RectInside(destX, destY, w, h, dest->width, dest->height)) {
    return -1;
  }
  return ConvertImageColor(dest->pixels, dest->base->pitch, dest->base->colorData, src->pixels, src->base->pitch,
                           src->base->colorData, nullptr, 0, nullptr, destX, destY, &r, 0, 0, 0, 0, 0, 0, 0, 0);
}

}  // namespace orbel
