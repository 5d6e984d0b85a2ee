// Reset of the file stand-ins' test settings; each control lives beside the state it touches.
#include "platform/win/kernel/file_test_controls.h"

namespace plat::test {

void ResetFile() {
  ResetFileIo();
  SetFolderStepHook(nullptr);
}

}  // namespace plat::test
