// Test controls of the Windows-service stand-ins: settings and one-shot faults that tests use to drive
// the stand-ins. Only tests include this file; the library never does.
#pragma once

#include "platform/ddraw/test_controls.h"
#include "platform/win/kernel/clock_test_controls.h"
#include "platform/win/user/display_test_controls.h"
#include "platform/win/kernel/file_test_controls.h"
#include "platform/win/gdi/gdi_font_test_controls.h"
#include "platform/win/gdi/gdi_test_controls.h"
#include "platform/win/kernel/kernel_test_controls.h"
#include "platform/win/user/window_test_controls.h"
#include "platform/winsock/winsock_test_controls.h"

namespace plat::test {
// Clears every setting and fault of every service back to its default (real clock excepted: the
// virtual clock stays installed, at its current time).
void Reset();
}  // namespace plat::test
