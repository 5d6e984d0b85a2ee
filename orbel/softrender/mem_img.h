// Memory images: the software renderer's pictures. A caller-owned header (MemImg) views a rectangle
// of a shared, reference-counted body (MemImgBase) that holds the pixels, the colour format, an
// optional palette, an optional premultiplied second layer and an optional run table.
// Depends on image/color_data.h (ColorData, GraphImage) and the colour converter. The blits that draw
// on memory images are declared here too; their pixel loops live in plain_blit*.cpp and stretch_*.cpp.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win/kernel/win_types.h"

namespace orbel {

struct ColorData;
struct GraphImage;

// ---- Records ----------------------------------------------------------------------------------------

constexpr uint32_t kMemImgMagic = 0x12345678;

// Pixel kinds of a memory image.
enum MemImgColorType : int32_t {
  kMemImgR5G6B5 = 0,    // 16-bit 5:6:5; with alpha 4 bytes: colour in bits 0-15, alpha in bits 16-23
  kMemImgX8R8G8B8 = 1,  // 32-bit; with alpha A8R8G8B8
  kMemImgSingle8 = 2,   // 8-bit single channel (blend images)
  kMemImgSingle16 = 3,  // 16-bit single channel (Z buffer)
};

// Run table: per row a string of codes (kind << 6) | (length - 1), lengths 1-64, ended by kRunEnd.
using MemImgRunTable = uint8_t;
constexpr uint8_t kRunEnd = 0xC0;
constexpr int kRunTransparent = 0;
constexpr int kRunOpaque = 1;
constexpr int kRunTranslucent = 2;
constexpr int kRunMaxLength = 64;

constexpr int kMemImgPaletteBlockSize = 2048;  // bytes; second half is a copy of the first

// The shared body. Allocated cleared; freed with its last view.
struct MemImgBase {
  int32_t refCount;             // 1 at creation, +1 per derived view
  int32_t width;                // pixels of the whole body
  int32_t height;               // rows of the whole body
  int32_t pitch;                // bytes from one row to the next
  int32_t pitchShift;           // n when pitch == 2^n (see InitializeMemImg), else -1
  const ColorData* colorData;   // shared cached format (GetMemImgColorData), not owned
  uint32_t transColor;          // pixel value (or palette index) that counts as transparent
  MemImgColorType colorType;    // 0-3
  int32_t paletted;             // 1 = one byte a pixel, an index into the palette block
  int32_t paletteCount;         // entries in use after a fill
  int32_t alpha;                // 1 = the pixels carry an alpha byte
  int32_t premulValid;          // 1 while the second layer holds premultiplied colour
  int32_t runTableValid;        // 1 while the run table describes the present pixels
  int32_t userPixels;           // 1 = pixel buffer given by the caller, never freed here
  uint8_t* palette;             // kMemImgPaletteBlockSize bytes (paletted only), else null
  uint8_t* palette2;            // palette + 1024, else null
  uint8_t* pixels;              // pitch x height bytes
  uint8_t* layer2;              // pitch x height bytes, or null
  MemImgRunTable* runTable;     // (width + 5) x height bytes, or null
  int32_t pixelBytes;           // bytes a pixel, cached from colorData (1, 2 or 4)
  int32_t layersPending;        // 1 after a whole-body transfer that left the layers for later
  uint16_t* runPlan;            // the run table by groups of pixels (run_plan.h), built with it for
                                // 32-bit direct bodies, else null; read only while the table is valid
  uint16_t* runWeights;         // with the plan of an alpha body: the blend words of its mixed groups
                                // (run_plan.h), or null when they would take too much memory
  uint32_t runWeightGroups;     // mixed groups runWeights holds
  int32_t callerBody;           // 1 = this record is the caller's (InitializeMemImgOnBody), never freed here
};

// A view of a body: the whole of it, or a rectangle made by DeriveMemImg.
struct MemImg {
  uint32_t magic;        // kMemImgMagic while live, 0 after release
  int32_t width;         // pixels of this view
  int32_t height;        // rows of this view
  uint8_t* pixels;       // the view's top-left pixel inside the body's pixel buffer
  uint8_t* layer2;       // the same position in the second layer, or null
  MemImgBase* base;      // the shared body
};

// The 32-byte DirectDraw pixel-format layout (size, flags, FourCC, bit count, R, G, B, alpha masks).
struct MemImgDDPixelFormat {
  uint32_t size;
  uint32_t flags;
  uint32_t fourCC;
  uint32_t rgbBitCount;
  uint32_t redMask;
  uint32_t greenMask;
  uint32_t blueMask;
  uint32_t alphaMask;
};
constexpr uint32_t kDDPixelFormatRGB = 0x40;

// ---- Life cycle ----------------------------------------------------------------------------------------

// Builds a new body and makes `img` a view of all of it. pitch -1 computes (bytes a pixel x width,
// rounded to 16). layers 1 also makes the second layer (alpha images) and the run table (types 0/1).
// userPixels non-null: the caller's buffer, never freed here. 0, or -1 for a live header or when
// memory runs out (nothing is then held, and the header is left without the magic).
int InitializeMemImg(MemImg* img, int width, int height, int pitch, uint32_t transColor,
                     int colorType, int paletted, int alpha, int layers, void* userPixels);
// A view of the caller's pixels, as InitializeMemImg with userPixels, no palette, no alpha and no
// layers gives, whose body is the caller's record `body` (zeroed before its first use, kept until the
// view is terminated, and not derived from): nothing is allocated, for views made and ended around
// one draw. 0 or -1.
int InitializeMemImgOnBody(MemImg* img, MemImgBase* body, int width, int height, int pitch, uint32_t transColor,
                           int colorType, void* userPixels);
// Plain image of the screen's type (colorType -1: 0 on a 16-bit screen, else 1). 0 or -1.
int CreateMemImgScreenType(MemImg* img, int width, int height, int colorType);
// 16-bit single-channel image (the software Z buffer). 0 or -1.
int CreateMemImgDepth16(MemImg* img, int width, int height);
// Makes `dst` a view of the rectangle (x, y, width, height) of `src` sharing its body. 0, or -1 (dst
// untouched) when the rectangle does not lie inside `src` or `src` is not live.
int DeriveMemImg(MemImg* dst, const MemImg* src, int x, int y, int width, int height);
// Releases a view; the body goes with its last view. Headers without the magic are ignored.
void TerminateMemImg(MemImg* img);
// 1 when the header is live, else 0.
int CheckValidMemImg(const MemImg* img);

// ---- Pixels ----------------------------------------------------------------------------------------

// Fills `rect` (null: the whole view), clipped to the view, with the low 8, 16 or 32 bits of value.
void FillMemImgRect(MemImg* img, const plat::RECT* rect, uint32_t value);
// Writes the rectangle (srcX, srcY, width, height) of `image` (and `alphaImage`, may be null) at
// (destX, destY) of the view; fills the palette, and after a write of the whole body also the
// premultiplied layer and the run table. Result of the conversion (negative: nothing changed).
// With buildLayers false those two are left pending for BuildPendingMemImgLayers, so that the caller
// can free its picture before they take their memory.
int TransferImageToMemImg(const GraphImage* image, const GraphImage* alphaImage, MemImg* img,
                          int srcX, int srcY, int width, int height, int destX, int destY,
                          int convertOption, bool buildLayers = true);
// Builds the premultiplied layer and the run table a transfer left pending in the body. 0.
int BuildPendingMemImgLayers(MemImg* img);
// Copies a rectangle of a plain 16/32-bit image (no palette, no alpha) out into `image`; with
// keySkip, source pixels equal to keyColor are not written. Nothing for a rectangle outside either.
void CopyMemImgToImage(GraphImage* image, const MemImg* img, int srcX, int srcY, int width,
                       int height, int destX, int destY, uint32_t keyColor, int keySkip);
// Copies `srcRect` of `src` (null: all of it) to (destX, destY) of `dest` through the converter.
int BltMemImgRect(MemImg* dest, const MemImg* src, const plat::RECT* srcRect, int destX, int destY);

// The shared formats: null for a type above 3. Built once, never freed.
const ColorData* GetMemImgColorData(int colorType, int alpha, int paletted);
const MemImgDDPixelFormat* GetMemImgDDPixelFormat(int colorType, int alpha, int paletted);

// ---- Blits (plain_blit*.cpp) --------------------------------------------------------------------

// Draws `src` 1:1 with its top-left at (x, y) on `dest` under the draw state (blend mode and
// parameter, brightness, draw area). transFlag: skip the source's transparent colour (or use the
// alpha shortcuts for alpha sources). blendImg: optional 8-bit weight image read at the source's
// offsets. Draws nothing for different colour types or a paletted or alpha destination.
void DrawMemImg(MemImg* dest, const MemImg* src, int x, int y, int transFlag, const MemImg* blendImg);

// ---- Small helpers ----------------------------------------------------------------------------------

// Byte offset of pixel (x, y) from a view's first pixel.
inline ptrdiff_t MemImgOffset(const MemImg* img, int x, int y) {
  return static_cast<ptrdiff_t>(y) * img->base->pitch + static_cast<ptrdiff_t>(x) * img->base->pixelBytes;
}

}  // namespace orbel
