// The road conditions: which road the screen is drawn by (DirectDraw surfaces or the software renderer
// on memory images), read from the screen-state flags and the draw screen. Every branch between the
// roads asks these; the flags themselves are kept and set in screen_state.h / screen_state.cpp.
#pragma once

#include "orbel/graphics/draw_state.h"
#include "orbel/graphics/screen_state.h"

namespace orbel {

// Software rendering: no DirectDraw surfaces or Direct3D; the software renderer draws everything and
// GDI shows it. Once on, it lasts the run of the library.
inline bool SoftwareRendering() { return gScreen.softwareRendering != 0; }

// The software screen: screens and new graphs are memory images, no texture graphs (set with software
// rendering).
inline bool SoftwareScreen() { return gScreen.softwareScreen != 0; }

// The software screen at a screen colour depth other than 8: drawing uses the software renderer's own
// layouts and the screen has no desktop offset.
inline bool SoftwareScreenNot8Bit() { return SoftwareScreen() && GetScreenColorBitDepth() != 8; }

// A display to draw on: the DirectDraw object exists, or software rendering stands in for it.
inline bool DisplayUp() { return gScreen.directDraw != nullptr || SoftwareRendering(); }

// The screens are memory images (the software screen on a display depth other than 8): the 2D back end
// draws on them directly instead of locking surfaces.
inline bool ScreensAreMemImgs() { return gScreen.memImgScreen != 0; }

// Drawing goes to the front screen and that screen is a memory image: the window shows what is drawn
// only once it is stretched to it, and shows what was presented only once it is read back.
inline bool DrawingToMemImgFront() { return ScreensAreMemImgs() && gDrawState.drawScreen == kDrawScreenFront; }

}  // namespace orbel
