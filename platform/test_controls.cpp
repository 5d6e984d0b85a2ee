// Resets every stand-in's test settings at once.
#include "platform/test_controls.h"

#include "platform/d3d/d3d7_test_controls.h"
#include "platform/dinput/test_controls.h"
#include "platform/dshow/test_controls.h"
#include "platform/imm/test_controls.h"

namespace plat::test {

void Reset() {
  ResetClock();
  ResetKernel();
  ResetWindow();
  ResetFile();
  ResetGdi();
  SetGlyphSource(nullptr);
  ResetDisplay();
  ResetDDraw();
  ResetD3D();
  ResetDirectInput();
  ResetImm();
  ResetWinsock();
  ResetMovies();
}

}  // namespace plat::test
