// The plain (1:1) blit between the frame in plain_blit.cpp and the pixel families in
// plain_blit_32.cpp and plain_blit_16.cpp: the per-call frame record and the family entries.
// Internal to the software renderer; callers use DrawMemImg (mem_img.h).
#pragma once

#include <cstddef>
#include <cstdint>

#include "orbel/softrender/mem_img.h"

namespace orbel {

// Everything the pixel loops need, prepared once per draw. Rows are addressed from explicit origins
// (origin + row x pitch), never by stepping a pointer past a buffer's end.
struct PlainBlitFrame {
  uint8_t* dst;                  // destination pixel at the clipped corner
  ptrdiff_t dstPitch;            // bytes
  const uint8_t* src;            // source pixel matching dst
  ptrdiff_t srcPitch;            // bytes
  const uint8_t* blend;          // blend-image byte matching src, or null
  ptrdiff_t blendPitch;          // bytes
  int width;                     // clipped size in pixels
  int height;
  const MemImgRunTable* runTable;  // non-null: run-code path (the whole source, unclipped)
  const uint16_t* runPlan;       // with runTable: its run plan (run_plan.h), or null
  const uint16_t* runWeights;    // with runPlan: the blend words of its mixed groups, or null
  int mode;                      // 0-4, 10, 11 after the shortcuts
  int param;                     // blend parameter p, 0-255
  uint32_t bright;               // 0x00RRGGBB
  uint32_t key;                  // transparent colour: index, 16-bit value or 32-bit value
  const void* palette;           // paletted source: its palette words, else null
  bool srcAlpha;                 // the source pixels carry alpha
  bool trans;                    // transparency flag
  bool mmx;                      // the processor's MMX flag: selects the exact-saturation loops
};

// The families: R5G6B5 and 32-bit sources, each direct or paletted, normal or run-code path.
void PlainBlit32(const PlainBlitFrame& frame);
void PlainBlit16(const PlainBlitFrame& frame);

// DrawMemImg with the MMX flag given instead of read from the processor report, so that both
// flag values can be exercised on any machine.
void DrawMemImgWithMmxFlag(MemImg* dest, const MemImg* src, int x, int y, int transFlag, const MemImg* blendImg,
                           int mmxFlag);

}  // namespace orbel
