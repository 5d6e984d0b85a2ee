// The one pixel-rectangle converter between any two image formats (palette remap, palette-index copy,
// same-format copy, colour key to alpha, fast pairs for screen and texture formats, and the general
// per-channel road with optional dither), and the hand-off of an image to a platform DIB.
// Depends on color_data.h and, for the DIB hand-off, the GDI DIB stand-in.
#pragma once

#include <cstdint>

#include "orbel/image/color_data.h"
#include "platform/win/kernel/win_types.h"

namespace plat {
struct BITMAPINFO;
}

namespace orbel {

// Conversion options (argument `convertOption`).
constexpr int kConvertPlain = 0;
constexpr int kConvertOrderedDither = 1;
constexpr int kConvertCarriedDither = 2;

// Copies the source rectangle `srcRect` (left, top, right, bottom; right and bottom exclusive) to
// (destX, destY) of the destination, converting between formats.
//   alphaPixels/alphaPitch/alphaFormat: optional alpha picture addressed by the same rectangle; its red
//     (first) channel gives the alpha when the destination has alpha and the source has none.
//   mirror: each destination row is filled from its right end.
//   transparent: pixels of colour `transColor` (0x00RRGGBB) get alpha 0, others full alpha.
//   keySkip: source pixels equal to `transColor` (a raw source value) are not written.
//   colorClear: red, green and blue written as 0.  alphaFromRed: alpha takes the converted red.
//   paletteRemap: 8-bit to 8-bit copies go through the palettes when they differ.
// Returns 0; -1 for an empty rectangle; on the palette-index road the largest index copied.
// NOTE: the caller guarantees that both rectangles lie inside their pixel blocks.
int ConvertImageColor(void* destPixels, int destPitch, const ColorData* destFormat,
                      const void* srcPixels, int srcPitch, const ColorData* srcFormat,
                      const void* alphaPixels, int alphaPitch, const ColorData* alphaFormat,
                      int destX, int destY, const plat::RECT* srcRect, int mirror, int transparent,
                      uint32_t transColor, int convertOption, int colorClear, int alphaFromRed,
                      int keySkip, int paletteRemap);

// The global conversion-option word callers pass as `convertOption`; 0 unless set.
int GetImageConvertOption();
void SetImageConvertOption(int option);

// Fills `header` (a whole BITMAPINFO: 40-byte header and 256 colours) with a top-down 8-bit or 24-bit header for the
// image and gives its bits. Returns 0 when the image's own pixels are the bits, 1 when a new block
// was made (MemAlloc; the caller frees it), -1 when out of memory (nothing handed out).
int ConvertImageToDIBBits(const GraphImage* image, plat::BITMAPINFO* header, void** bits,
                          int copyFlag, int force24Bit);

// Creates a top-down DIB section from a header and bits, optionally mirrored left-right. With a
// format to report, the section's format follows it (16-bit and wide formats as bit fields, other
// 32-bit as 24-bit, in which case `reportFormat` is rebuilt as 24-bit). 0 on failure (logged).
plat::HBITMAP CreateDIBGraph(const plat::BITMAPINFO* header, const void* bits, int mirror,
                             ColorData* reportFormat);

}  // namespace orbel
