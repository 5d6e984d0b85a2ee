// Test controls of the file stand-ins.
#pragma once

namespace plat::test {
void ResetFile();
}  // namespace plat::test
