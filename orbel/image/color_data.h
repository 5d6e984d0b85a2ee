// Pixel formats and decoded pictures: the ColorData format record, the GraphImage record that every
// loader fills, and their small operations (format builders, compare, makers, single-pixel access,
// value conversion, mirroring, freeing). Pixel blocks come from the tracked allocator (core/memory.h).
// Rectangle conversion between formats lives in color_convert.h.
#pragma once

#include <cstdint>

namespace orbel {

// One palette entry as stored in ColorData: blue, green, red, fourth byte (0 as loaded).
struct ColorPaletteEntry {
  uint8_t blue;
  uint8_t green;
  uint8_t red;
  uint8_t alpha;
};

// A pixel format. Copied by value inside every image. An 8-bit format is always a palette format: its
// pixels are palette indices and its channel fields describe a palette entry read as a little-endian
// 32-bit value (X8R8G8B8).
struct ColorData {
  uint16_t bitDepth;       // 8, 16, 24 or 32; 0 means "no format"
  uint16_t bytesPerPixel;  // bitDepth / 8
  uint8_t redWidth;        // bits of each channel (0 = channel absent)
  uint8_t greenWidth;
  uint8_t blueWidth;
  uint8_t alphaWidth;
  uint8_t redShift;  // bit position of each channel's lowest bit
  uint8_t greenShift;
  uint8_t blueShift;
  uint8_t alphaShift;
  uint32_t redMask;  // the channel's bits in a pixel value
  uint32_t greenMask;
  uint32_t blueMask;
  uint32_t alphaMask;
  uint32_t noneMask;                 // bits of the depth no channel covers; set in every value made
  ColorPaletteEntry palette[256];    // 8-bit images only; unused entries are 0
  uint8_t noneShift;                 // lowest set bit of noneMask (0 when noneMask is 0)
  uint8_t noneWidth;                 // run of set bits of noneMask from noneShift
  uint32_t reserved;                 // always 0
};

// A decoded picture. A zeroed record is an empty image. Copying the record by value moves ownership
// of the pixel block.
struct GraphImage {
  ColorData format;  // pixel format of the rows
  uint32_t width;    // pixels per row
  uint32_t height;   // rows
  uint32_t pitch;    // bytes from one row to the next; always step rows by this
  void* pixels;      // first (top) row; rows run top-down; owned, from MemAlloc
};

// ---- Format builders (each returns 0) ---------------------------------------------------------------

// Fills a format from masks: widths and shifts from each mask's lowest run of set bits, none-mask
// from the depth's bits no mask covers. The palette is not touched.
int BuildColorFormat(ColorData* format, int bitDepth, uint32_t redMask, uint32_t greenMask,
                     uint32_t blueMask, uint32_t alphaMask);
int SetColorData8Bit(ColorData* format);    // palette format, palette untouched
int SetColorDataGray8(ColorData* format);   // palette format with the grey ramp (i, i, i, 0)
int SetColorData24Bit(ColorData* format);   // R8G8B8
int SetColorDataXRGB32(ColorData* format);  // X8R8G8B8, none-mask 0xFF000000
int SetColorDataARGB32(ColorData* format);  // A8R8G8B8
// Recomputes the none-mask (0 when the widths fill the depth); none shift and width are kept.
void UpdateColorDataNoneMask(ColorData* format);
// 1 when depths and the four masks are equal, else 0.
int CompareColorData(const ColorData* a, const ColorData* b);

// ---- Images -----------------------------------------------------------------------------------------

// Makers: pitch rounded up to 4 bytes, pixels uninitialised. 0, or -1 when out of memory (the record's
// format, size and pitch are then set and the pixel pointer is null). Negative sizes give -1.
int MakeImage32Alpha(int width, int height, GraphImage* image);  // A8R8G8B8
int MakeImage32(int width, int height, GraphImage* image);       // X8R8G8B8
int MakeImage24(int width, int height, GraphImage* image);       // R8G8B8
// Every pixel set to one colour; a palette image gets the nearest palette index.
int FillImage(GraphImage* image, int red, int green, int blue, int alpha);
// Frees the pixel block and zeroes the whole record; harmless on a zeroed record.
int FreeGraphImage(GraphImage* image);
// Mirrors left-right in place. 0, or -1 when width or height is 0.
int ReverseImageHorizontal(GraphImage* image);

// ---- Single values and pixels -----------------------------------------------------------------------

// The pixel value of a colour in the image's format (nearest palette index for 1-byte images).
// Components are taken by their low 8 bits and truncated to the channel widths.
uint32_t GetImageColorValue(const GraphImage* image, int red, int green, int blue, int alpha);
uint32_t GetFormatColorValue(const ColorData* format, int red, int green, int blue, int alpha);
// One pixel value converted between formats by shifting each channel.
uint32_t ConvertColorValue(const ColorData* destFormat, const ColorData* srcFormat, uint32_t value);
// A value split into 0-255 channels; any output may be null. Alpha is 0 without an alpha channel.
int GetColorValueRGBA(const ColorData* format, uint32_t value, int* red, int* green, int* blue,
                      int* alpha);
// The pixel at (x, y) as A8R8G8B8 with left-aligned channels (a 5-bit 31 reads 248); 0 without pixels.
uint32_t GetImagePixelARGB(const GraphImage* image, int x, int y);
// 0, or -1 when (x, y) is outside (coordinates compare unsigned, so negatives are outside).
int SetImagePixel(GraphImage* image, int x, int y, int red, int green, int blue, int alpha);
int GetImagePixel(const GraphImage* image, int x, int y, int* red, int* green, int* blue, int* alpha);

}  // namespace orbel
