// Test controls of the kernel stand-ins.
#include "platform/win/kernel_test_controls.h"

namespace plat::test {
void ResetKernel() {}
}  // namespace plat::test
