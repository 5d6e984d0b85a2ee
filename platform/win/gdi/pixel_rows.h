// Row copies between distinct buffers, and rows of 16-bit RGB pixels widened to 32-bit 0x00RRGGBB, each channel scaled as v * 255 / max rounded
// to nearest ((v * 255 + max / 2) / max), the rule every stand-in uses to show a 16-bit picture.
// 5-6-5 and 5-5-5 rows take an SSE2 loop (eight pixels a step); other masks a per-channel table.
#pragma once

#include <cstddef>
#include <cstdint>

namespace plat {

// Copies a row between two buffers that do not overlap, 128 bytes a step (64 without AVX2). The C library's copy
// switches to a string instruction for rows of a few kilobytes, which some processors run many times
// slower when the two rows share their offset within a page, as rows of pictures of one size do.
void CopyPixelRow(uint8_t* dst, const uint8_t* src, size_t bytes);

// Fills `bytes` bytes, whole pixels of `pixelBytes` (1 to 4), with a pixel value (its low bytes,
// little-endian): a byte fill when every byte of the pixel is the same, else vector stores of the
// repeated pixel, about as fast as the byte fill.
void FillPixelRow(uint8_t* dst, size_t bytes, int pixelBytes, uint32_t value);

// Masks are the 16-bit channel masks (red, green, blue), each at most eight bits wide.
void WidenRow16To32(const uint8_t* src, uint32_t* dst, int count, uint32_t redMask, uint32_t greenMask,
                    uint32_t blueMask);

}  // namespace plat
