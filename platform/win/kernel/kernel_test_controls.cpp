// Reset of the kernel stand-ins' test settings; each control lives beside the state it touches.
#include "platform/win/kernel/kernel_test_controls.h"

namespace plat::test {

void ResetKernel() {
  ResetHeap();
  ClearDebugOutput();
  ResetSync();
  ResetThreads();
  ResetSystemInfo();
  ResetCpu();
  SetSystemTimeForTest(nullptr);
}

}  // namespace plat::test
