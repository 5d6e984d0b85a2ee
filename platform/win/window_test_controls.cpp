// Test controls of the window stand-ins.
#include "platform/win/window_test_controls.h"

namespace plat::test {
void ResetWindow() {}
}  // namespace plat::test
