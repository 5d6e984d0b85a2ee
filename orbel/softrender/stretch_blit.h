// The stretched blit of memory images: a whole source image drawn into a destination rectangle by
// nearest-pixel stepping in 16.16 fixed point, mirrored on an axis whose coordinates come reversed,
// under the draw state's blend mode, parameter, brightness and draw area. Depends on mem_img.h,
// blend_tables.h, the draw state and ClipRect. The pixel loops live in stretch_blit_direct.cpp and
// stretch_blit_palette.cpp, the shared walk in stretch_blit_walk.h. No result is reported.
#pragma once

#include <cstdint>

#include "orbel/softrender/mem_img.h"
#include "platform/win/kernel/win_types.h"

namespace orbel {

// Renderer-wide copy of the last paletted source's palette (256 entries: 16-bit values for colour
// type 0, 32-bit words for colour type 1), read by the full-strength subtract of paletted sources.
// NOTE: renderer-wide, so stretched draws must not overlap.
extern uint32_t ScratchPalette[256];

// Draws all of `src` into destRect = {x1, y1, x2, y2} of `dest` (the larger coordinate of each pair is
// exclusive; x1 > x2 or y1 > y2 mirrors that axis). A rectangle of the source's size that is not
// mirrored is drawn by DrawMemImg at its top-left corner. transFlag: skip the source's transparent
// colour (palette index for paletted sources), or use the alpha shortcuts for alpha sources.
// blendImg: optional 8-bit weight image (colour type 2) addressed in source coordinates.
// Draws nothing for: an empty rectangle or one outside the draw area; blend modes 5-9 and above 11;
// mode 1 or 2 with parameter 0; mode 3 with parameter 0 on a direct-colour source; a source of colour
// type 2 or 3 or of zero size; a destination that is not a plain image of the source's colour type; a
// blend image smaller than the source or not of colour type 2.
void DrawExtendMemImg(MemImg* dest, const MemImg* src, const plat::RECT* destRect, int transFlag,
                      const MemImg* blendImg);

// As DrawExtendMemImg with the MMX-usable flag given instead of read from the system report; the flag
// only changes the full-strength subtract of 32-bit sources (byte 3 of the destination).
void DrawExtendMemImgMmx(MemImg* dest, const MemImg* src, const plat::RECT* destRect, int transFlag,
                         const MemImg* blendImg, int mmxAvailable);

}  // namespace orbel
