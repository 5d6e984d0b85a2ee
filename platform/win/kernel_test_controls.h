// Test controls of the kernel stand-ins.
#pragma once

namespace plat::test {
void ResetKernel();
}  // namespace plat::test
