// Test controls of the gdi stand-ins.
#pragma once

namespace plat::test {
void ResetGdi();
}  // namespace plat::test
