// The main window's procedure: turns window messages into library state (typed characters, activation,
// the window/full-screen switch request, closing, painting, sizing with a fixed aspect ratio, dropped
// files, menu and tool-bar commands) and hands IME, MCI and socket messages to their subsystems.
#pragma once

#include "platform/win/kernel/win_types.h"

namespace orbel {

plat::LRESULT MainWindowProc(plat::HWND window, plat::UINT message, plat::WPARAM wParam, plat::LPARAM lParam);

}  // namespace orbel
