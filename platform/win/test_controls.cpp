// Resets every stand-in's test settings at once.
#include "platform/win/test_controls.h"

namespace plat::test {

void Reset() {
  ResetClock();
  ResetKernel();
  ResetWindow();
  ResetFile();
  ResetGdi();
  ResetWinsock();
}

}  // namespace plat::test
