// Test controls of the gdi stand-ins.
#include "platform/win/gdi_test_controls.h"

namespace plat::test {
void ResetGdi() {}
}  // namespace plat::test
