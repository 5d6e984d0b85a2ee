// Test controls of the window stand-ins.
#pragma once

namespace plat::test {
void ResetWindow();
}  // namespace plat::test
