// The window procedure's larger handlers, shared by window_proc.cpp and window_activation.cpp.
#pragma once

#include "platform/win/kernel/win_types.h"

namespace orbel {

// WM_ACTIVATE, and WM_ACTIVATEAPP with wParam 0. Returns false when the application gave up (a
// changed full-screen display that cannot be restored): the caller then only goes to the default.
bool HandleActivation(plat::HWND window, plat::WPARAM wParam);
// WM_PAINT.
void HandlePaint(plat::HWND window);
// WM_DISPLAYCHANGE: wParam the new depth, lParam the new width (low word) and height (high word).
void HandleDisplayChange(plat::WPARAM wParam, plat::LPARAM lParam);
// Posts WM_CLOSE to the main window once (the close-posted flag).
void PostCloseOnce();

}  // namespace orbel
