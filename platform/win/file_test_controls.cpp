// Test controls of the file stand-ins.
#include "platform/win/file_test_controls.h"

namespace plat::test {
void ResetFile() {}
}  // namespace plat::test
