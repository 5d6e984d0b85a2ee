// The main window: its creation at start-up (state reset, memory report, timer test, random seed,
// screen saver off, double-start check, class registration, creation and showing) and its end, the fit
// of the outer window to the client size, the client rectangle on the desktop, and bringing the window
// to the foreground.
// Depends on: platform/win window, queue, GDI DC, cursor and system-setting calls; the message pump,
// window mode and menu modules; the draw state for the front-screen rectangle.
#pragma once

#include "platform/win/kernel/win_types.h"

namespace orbel {

// 0, or -1 (quit flag set) when a second copy is refused or the class or window cannot be made. Every
// -1 leaves the screen saver and the timer period as they were found.
int CreateMainWindow();
// Ends the window (pumping until it is destroyed) and restores what creation changed; 0. A second call
// does nothing.
int EndMainWindow();
// Fits the outer window so that the client area is the screen size times the window scale; 0.
int SetWindowClientSize();
// The client rectangle follows a WM_MOVE position (signed x in the low 16 bits, y in the high 16); 0.
int RefreshClientRect(plat::LPARAM packedPosition);
// Brings the window to the front past the foreground lock; with topmost 1 it also stays on top.
// Returns the result of the last call made.
int ForceForegroundWindow(plat::HWND window, int topmost);
// The client rectangle in desktop coordinates, top and bottom moved down by the tool-bar height; 0.
int GetMainWindowSize(plat::RECT* rect);

plat::HWND GetMainWindowHandle();
int GetActiveFlag();
int GetWindowCloseFlag();

// The style pair of a style number for window mode (1) or full screen (0), without the additions.
void GetWindowStylePair(int styleNumber, int windowMode, plat::DWORD* style, plat::DWORD* exStyle);
// The main window's client area in desktop coordinates; false when it cannot be read.
bool GetClientRectOnDesktop(plat::RECT* rect);
// The desktop's colour depth: bits per pixel times planes of the screen device context.
int GetDesktopColorDepth();

}  // namespace orbel
