// Ending a frame and showing it: FlipScreen (page flip in full screen, else the window present), the
// window present by DirectDraw blits or, under software rendering, by GDI DIB blits, the vertical-blank
// waits paced by the measured frame time, and the front-screen helpers used while the program draws
// straight onto the visible screen (draw screen -4).
#pragma once

#include <cstdint>

#include "platform/win/kernel/win_types.h"

namespace orbel {

// Timer that refreshes the window from the separate front surface while the front screen is drawn.
constexpr plat::UINT_PTR kRedrawTimerId = 32767;
constexpr plat::UINT kRedrawTimerPeriodMs = 17;

// 0, or -1 when neither DirectDraw nor software rendering is up (or the screen has no surfaces).
int FlipScreen();
// Copies the back screen to the window; `clientPart` (client coordinates) null means all of it.
// 0, or -1 without a usable screen.
int PresentBackSurfaceToWindow(const plat::RECT* clientPart);
// Waits for n vertical blanks (n = 0: for the next blank to be in progress). 0 or -1.
int WaitVSyncFrames(int n);
// Window-mode pacing wait; returns the time of the wait (ms).
uint32_t WaitVerticalBlank();

// Front screen with a separate front surface: what the window shows is taken into that surface /
// the surface is put back onto the window. 0.
int BlitBackScreenToWindow();
int BlitBackScreenToWindowTimer();
// Starts the redraw timer (after taking the window into the front surface) / stops it and puts the
// front surface back onto the window.
void StartFrontScreenRedraw();
void StopFrontScreenRedraw();
// Copies a rectangle of the front memory image to the window (after a draw onto the front screen).
int StretchScreenToWindow(const plat::RECT* rect);
// Reads the window back into the front memory image before a draw onto the front screen.
int ReadWindowToScreenImage();
// (0, 0, width, height) moved to the client origin on the desktop unless the separate front surface
// is in use. 0.
int GetScreenRectOnDesktop(plat::RECT* out);

}  // namespace orbel
