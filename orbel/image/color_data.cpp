// Pixel formats and decoded pictures: format builders, compare, makers, single-pixel access, value
// conversion, mirroring and freeing. Depends on the tracked allocator. Logs nothing.
// NOTE: channels wider than 8 bits (10-bit formats) are scaled the other way instead of shifting by a
// negative amount; a channel of width 0 reads as 0.
#include "orbel/image/color_data.h"

#include <cstring>  // memset, memcpy

#include "orbel/core/memory.h"

namespace orbel {

namespace {

// Shifts that tolerate counts of 32 or more (a 32-bit mask makes a width of 32).
inline uint32_t Shl(uint32_t v, unsigned n) { return n >= 32 ? 0 : v << n; }
inline uint32_t Shr(uint32_t v, unsigned n) { return n >= 32 ? 0 : v >> n; }

// Lowest set bit and the length of the run of set bits from there; (0, 0) for 0.
void MaskRun(uint32_t mask, uint8_t* shift, uint8_t* width) {
  if (mask == 0) {
    *shift = 0;
    *width = 0;
    return;
  }
  unsigned s = static_cast<unsigned>(__builtin_ctz(mask));
  uint32_t run = mask >> s;
  unsigned w = (run == 0xFFFFFFFFu) ? 32 : static_cast<unsigned>(__builtin_ctz(~run));
  *shift = static_cast<uint8_t>(s);
  *width = static_cast<uint8_t>(w);
}

uint32_t DepthBits(int bitDepth) {
  if (bitDepth >= 32) return 0xFFFFFFFFu;
  if (bitDepth <= 0) return 0;
  return (1u << bitDepth) - 1;
}

// An 8-bit component truncated to `width` bits.
inline uint32_t FromByte(uint32_t c, unsigned width) {
  c &= 0xFF;
  return width <= 8 ? Shr(c, 8 - width) : c << (width - 8);
}

// A `width`-bit value left-aligned in a byte, without replicating high bits into the low ones.
inline uint32_t ToByteLeft(uint32_t v, unsigned width) {
  return (width <= 8 ? v << (8 - width) : Shr(v, width - 8)) & 0xFF;
}

// A `width`-bit value scaled to 0-255.
inline uint32_t ToByteScaled(uint32_t v, unsigned width) {
  if (width == 0) return 0;
  uint64_t full = (width >= 32) ? 0xFFFFFFFFull : ((1ull << width) - 1);
  return static_cast<uint32_t>(static_cast<uint64_t>(v) * 255u / full);
}

// Fills the fields every 8-8-8 builder shares.
void SetRgb888(ColorData* f, int depth) {
  f->bitDepth = static_cast<uint16_t>(depth);
  f->bytesPerPixel = static_cast<uint16_t>(depth / 8);
  f->redWidth = f->greenWidth = f->blueWidth = 8;
  f->alphaWidth = 0;
  f->redShift = 16;
  f->greenShift = 8;
  f->blueShift = 0;
  f->alphaShift = 0;
  f->redMask = 0x00FF0000u;
  f->greenMask = 0x0000FF00u;
  f->blueMask = 0x000000FFu;
  f->alphaMask = 0;
  f->reserved = 0;
}

uint32_t ReadPixelValue(const uint8_t* p, unsigned bytes) {
  switch (bytes) {
    case 1: return p[0];
    case 2: return static_cast<uint32_t>(p[0] | (p[1] << 8));
    case 3: return static_cast<uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16));
    case 4: return static_cast<uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16)) | (static_cast<uint32_t>(p[3]) << 24);
    default: return 0;
  }
}

void WritePixelValue(uint8_t* p, unsigned bytes, uint32_t v) {
  switch (bytes) {
    case 4: p[3] = static_cast<uint8_t>(v >> 24); [[fallthrough]];
    case 3: p[2] = static_cast<uint8_t>(v >> 16); [[fallthrough]];
    case 2: p[1] = static_cast<uint8_t>(v >> 8); [[fallthrough]];
    case 1: p[0] = static_cast<uint8_t>(v); break;
    default: break;
  }
}

bool Inside(const GraphImage* image, int x, int y) {
  return image->pixels != nullptr && static_cast<uint32_t>(x) < image->width &&
         static_cast<uint32_t>(y) < image->height;
}

uint8_t* PixelAt(const GraphImage* image, int x, int y) {
  return static_cast<uint8_t*>(image->pixels) + static_cast<size_t>(y) * image->pitch +
         static_cast<size_t>(x) * image->format.bytesPerPixel;
}

// Sets the record and allocates pitch x height bytes; the fields stay set when allocation fails.
int MakeImage(int width, int height, GraphImage* image) {
  image->width = static_cast<uint32_t>(width);
  image->height = static_cast<uint32_t>(height);
  uint64_t pitch = (static_cast<uint64_t>(image->format.bytesPerPixel) * static_cast<uint32_t>(width) + 3) & ~3ull;
  uint64_t total = pitch * static_cast<uint32_t>(height);
  image->pitch = static_cast<uint32_t>(pitch);
  image->pixels = nullptr;
  if (width < 0 || height < 0 || pitch > 0xFFFFFFFFu || total > 0x7FFFFFFFu) return -1;
  image->pixels = MemAlloc(static_cast<uint32_t>(total), "GraphImage", __LINE__);
  return image->pixels != nullptr ? 0 : -1;
}

}  // namespace

// ---- Format builders --------------------------------------------------------------------------------

int BuildColorFormat(ColorData* f, int bitDepth, uint32_t redMask, uint32_t greenMask, uint32_t blueMask,
                     uint32_t alphaMask) {
  f->bitDepth = static_cast<uint16_t>(bitDepth);
  f->bytesPerPixel = static_cast<uint16_t>(bitDepth / 8);
  f->redMask = redMask;
  f->greenMask = greenMask;
  f->blueMask = blueMask;
  f->alphaMask = alphaMask;
  f->reserved = 0;
  f->noneMask = DepthBits(bitDepth) & ~(redMask | greenMask | blueMask | alphaMask);
  MaskRun(redMask, &f->redShift, &f->redWidth);
  MaskRun(greenMask, &f->greenShift, &f->greenWidth);
  MaskRun(blueMask, &f->blueShift, &f->blueWidth);
  MaskRun(alphaMask, &f->alphaShift, &f->alphaWidth);
  MaskRun(f->noneMask, &f->noneShift, &f->noneWidth);
  return 0;
}

int SetColorData8Bit(ColorData* f) {
  SetRgb888(f, 8);
  f->noneMask = 0xFF000000u;
  return 0;
}

int SetColorDataGray8(ColorData* f) {
  SetColorData8Bit(f);
  for (int i = 0; i < 256; ++i) {
    f->palette[i] = ColorPaletteEntry{static_cast<uint8_t>(i), static_cast<uint8_t>(i), static_cast<uint8_t>(i), 0};
  }
  return 0;
}

int SetColorData24Bit(ColorData* f) {
  SetRgb888(f, 24);
  f->noneMask = 0;
  return 0;
}

int SetColorDataXRGB32(ColorData* f) {
  SetRgb888(f, 32);
  f->noneMask = 0xFF000000u;
  f->noneShift = 24;
  f->noneWidth = 8;
  return 0;
}

int SetColorDataARGB32(ColorData* f) {
  SetRgb888(f, 32);
  f->alphaWidth = 8;
  f->alphaShift = 24;
  f->alphaMask = 0xFF000000u;
  f->noneMask = 0;
  return 0;
}

void UpdateColorDataNoneMask(ColorData* f) {
  if (f->redWidth + f->greenWidth + f->blueWidth + f->alphaWidth == f->bitDepth) {
    f->noneMask = 0;
  } else {
    f->noneMask = DepthBits(f->bitDepth) & ~(f->redMask | f->greenMask | f->blueMask | f->alphaMask);
  }
}

int CompareColorData(const ColorData* a, const ColorData* b) {
  return (a->bitDepth == b->bitDepth && a->redMask == b->redMask && a->greenMask == b->greenMask &&
          a->blueMask == b->blueMask && a->alphaMask == b->alphaMask)
             ? 1
             : 0;
}

// ---- Images -----------------------------------------------------------------------------------------

int MakeImage32Alpha(int width, int height, GraphImage* image) {
  SetColorDataARGB32(&image->format);
  return MakeImage(width, height, image);
}

int MakeImage32(int width, int height, GraphImage* image) {
  SetColorDataXRGB32(&image->format);
  return MakeImage(width, height, image);
}

int MakeImage24(int width, int height, GraphImage* image) {
  SetColorData24Bit(&image->format);
  return MakeImage(width, height, image);
}

int FillImage(GraphImage* image, int red, int green, int blue, int alpha) {
  if (image->pixels == nullptr) return 0;
  uint32_t value = GetImageColorValue(image, red, green, blue, alpha);
  unsigned bytes = image->format.bytesPerPixel;
  if (bytes < 1 || bytes > 4) return 0;
  uint8_t* row = static_cast<uint8_t*>(image->pixels);
  for (uint32_t y = 0; y < image->height; ++y, row += image->pitch) {
    if (bytes == 1) {
      memset(row, static_cast<int>(value & 0xFF), image->width);
      continue;
    }
    uint8_t* p = row;
    for (uint32_t x = 0; x < image->width; ++x, p += bytes) WritePixelValue(p, bytes, value);
  }
  return 0;
}

int FreeGraphImage(GraphImage* image) {
  if (image->pixels != nullptr) MemFree(image->pixels);
  memset(image, 0, sizeof(*image));
  return 0;
}

int ReverseImageHorizontal(GraphImage* image) {
  if (image->width == 0 || image->height == 0) return -1;
  unsigned bytes = image->format.bytesPerPixel;
  if (bytes < 1 || bytes > 4 || image->pixels == nullptr) return 0;
  uint8_t* row = static_cast<uint8_t*>(image->pixels);
  uint8_t tmp[4];
  for (uint32_t y = 0; y < image->height; ++y, row += image->pitch) {
    uint8_t* l = row;
    uint8_t* r = row + static_cast<size_t>(image->width - 1) * bytes;
    for (uint32_t i = 0; i < image->width / 2; ++i, l += bytes, r -= bytes) {
      memcpy(tmp, l, bytes);
      memcpy(l, r, bytes);
      memcpy(r, tmp, bytes);
    }
  }
  return 0;
}

// ---- Single values and pixels -----------------------------------------------------------------------

uint32_t GetFormatColorValue(const ColorData* f, int red, int green, int blue, int alpha) {
  if (f->bytesPerPixel == 1) {
    int r = red & 0xFF, g = green & 0xFF, b = blue & 0xFF;
    uint32_t best = 0xFFFFFF, index = 0;
    for (uint32_t i = 0; i < 256; ++i) {
      const ColorPaletteEntry& e = f->palette[i];
      int dr = e.red - r, dg = e.green - g, db = e.blue - b;
      uint32_t d = static_cast<uint32_t>(dr * dr + dg * dg + db * db);
      if (d < best) {
        best = d;
        index = i;
      }
    }
    return index;
  }
  uint32_t v = Shl(FromByte(static_cast<uint32_t>(red), f->redWidth), f->redShift) +
               Shl(FromByte(static_cast<uint32_t>(green), f->greenWidth), f->greenShift) +
               Shl(FromByte(static_cast<uint32_t>(blue), f->blueWidth), f->blueShift) + f->noneMask;
  if (f->alphaWidth != 0) v += Shl(FromByte(static_cast<uint32_t>(alpha), f->alphaWidth), f->alphaShift);
  return v;
}

uint32_t GetImageColorValue(const GraphImage* image, int red, int green, int blue, int alpha) {
  return GetFormatColorValue(&image->format, red, green, blue, alpha);
}

uint32_t ConvertColorValue(const ColorData* d, const ColorData* s, uint32_t value) {
  auto channel = [value](uint32_t sMask, unsigned sShift, unsigned sWidth, unsigned dShift, unsigned dWidth,
                         uint32_t dMask) {
    uint32_t v = Shr(value & sMask, sShift);
    v = dWidth > sWidth ? Shl(v, dWidth - sWidth) : Shr(v, sWidth - dWidth);
    return Shl(v, dShift) & dMask;
  };
  uint32_t out = channel(s->redMask, s->redShift, s->redWidth, d->redShift, d->redWidth, d->redMask) |
                 channel(s->greenMask, s->greenShift, s->greenWidth, d->greenShift, d->greenWidth, d->greenMask) |
                 channel(s->blueMask, s->blueShift, s->blueWidth, d->blueShift, d->blueWidth, d->blueMask);
  if (s->alphaWidth == 0) {
    out |= Shl(Shr(d->alphaMask, d->alphaShift), d->alphaShift);
  } else {
    out |= channel(s->alphaMask, s->alphaShift, s->alphaWidth, d->alphaShift, d->alphaWidth, d->alphaMask);
  }
  return out | d->noneMask;
}

int GetColorValueRGBA(const ColorData* f, uint32_t value, int* red, int* green, int* blue, int* alpha) {
  if (red) *red = static_cast<int>(ToByteScaled(Shr(value & f->redMask, f->redShift), f->redWidth));
  if (green) *green = static_cast<int>(ToByteScaled(Shr(value & f->greenMask, f->greenShift), f->greenWidth));
  if (blue) *blue = static_cast<int>(ToByteScaled(Shr(value & f->blueMask, f->blueShift), f->blueWidth));
  if (alpha) *alpha = static_cast<int>(ToByteScaled(Shr(value & f->alphaMask, f->alphaShift), f->alphaWidth));
  return 0;
}

uint32_t GetImagePixelARGB(const GraphImage* image, int x, int y) {
  if (!Inside(image, x, y)) return 0;
  const ColorData& f = image->format;
  const uint8_t* p = PixelAt(image, x, y);
  if (f.bytesPerPixel == 1) {
    // Palette images answer from their palette entry (alpha stays 0: the format has none).
    const ColorPaletteEntry& e = f.palette[p[0]];
    return static_cast<uint32_t>(e.red << 16 | e.green << 8 | e.blue);
  }
  uint32_t v = ReadPixelValue(p, f.bytesPerPixel);
  uint32_t out = ToByteLeft(Shr(v & f.blueMask, f.blueShift), f.blueWidth) |
                 ToByteLeft(Shr(v & f.greenMask, f.greenShift), f.greenWidth) << 8 |
                 ToByteLeft(Shr(v & f.redMask, f.redShift), f.redWidth) << 16;
  if (f.alphaWidth != 0) out |= ToByteLeft(Shr(v & f.alphaMask, f.alphaShift), f.alphaWidth) << 24;
  return out;
}

int SetImagePixel(GraphImage* image, int x, int y, int red, int green, int blue, int alpha) {
  if (!Inside(image, x, y)) return -1;
  WritePixelValue(PixelAt(image, x, y), image->format.bytesPerPixel,
                  GetImageColorValue(image, red, green, blue, alpha));
  return 0;
}

int GetImagePixel(const GraphImage* image, int x, int y, int* red, int* green, int* blue, int* alpha) {
  if (!Inside(image, x, y)) return -1;
  const uint8_t* p = PixelAt(image, x, y);
  if (image->format.bytesPerPixel == 1) {
    const ColorPaletteEntry& e = image->format.palette[p[0]];
    if (red) *red = e.red;
    if (green) *green = e.green;
    if (blue) *blue = e.blue;
    if (alpha) *alpha = e.alpha;
    return 0;
  }
  return GetColorValueRGBA(&image->format, ReadPixelValue(p, image->format.bytesPerPixel), red, green, blue,
                           alpha);
}

}  // namespace orbel
