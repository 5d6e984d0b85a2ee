// Window mode and full screen: the switch between them, the window styles of each mode, the window
// title, the mouse cursor's visibility, the mouse position in screen coordinates, the pause picture, and
// the small getters of the main-window state.
#pragma once

#include "platform/win/kernel/win_types.h"

namespace orbel {

// 1 window, 0 full screen. Before start-up only the choice is recorded. Returns 0, or the display
// change's result.
int ChangeWindowMode(int windowMode);
int SetWindowModeFlag(int windowMode);
int GetWindowModeFlag();
// Applies the style of the current mode to the main window; 0.
int SetWindowStyleForMode();
// Copies the title (and sets it on the window when it exists); 0.
int SetMainWindowTitle(const char* title);
int SetMouseCursorVisible(int visible);
// The mouse position in screen pixels (window mode divides by the window scale); either may be null.
int GetMousePosition(int* x, int* y);
// The desktop size and depth: recorded at window creation, else asked of the system now.
int GetScreenMetrics(int* width, int* height, int* bits);
// The window scale (set to 1.0 when 0 or below); 1.0 in full screen.
double GetWindowExtendRate();
int GetWindowRegionFlag();
// Draws the pause picture over the window: 0, -1 without one; 0 while the library ends.
int DrawPauseGraph();

// Upper bound of ChangeWindowMode's wait for the display-change notice, in milliseconds.
constexpr unsigned kDisplayChangeWaitMs = 2000;

}  // namespace orbel
