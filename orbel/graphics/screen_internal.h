// Screen-side internals shared by the screen-state, DirectDraw, display-mode and presentation files:
// the overlay format table and the blocks read from DirectDraw.
#pragma once

#include <cstdint>

#include "platform/ddraw/ddraw.h"

namespace orbel {

struct OverlayFormat {
  plat::DDPIXELFORMAT format;
  const char* name;  // as logged
};

constexpr int kOverlayFormatCount = 4;
extern const OverlayFormat kOverlayFormatTable[kOverlayFormatCount];

// The display mode's pixel format and the hardware capability block (95 words), filled by the colour
// report and the overlay probe.
plat::DDPIXELFORMAT* ScreenPixelFormatBlock();
uint32_t* HardwareCapsBlock();

}  // namespace orbel
