// A display loss on the DirectDraw road: every surface is lost at once; the next frames restore the
// screen surfaces and the graphs, reload the pictures from their files, and show them again, and the
// end of the run leaves no block behind.
#include <gtest/gtest.h>

#include "graph_test_fixture.h"
#include "orbel.h"
#include "orbel/core/main_window.h"
#include "orbel/core/memory.h"
#include "orbel/graphics/draw_state.h"
#include "platform/ddraw/test_controls.h"
#include "platform/host/host.h"
#include "platform/win/user/window_test_controls.h"

namespace orbel {
namespace {

using testing::GraphRoad;
using testing::Picture;

Picture Checker() {
  Picture p;
  p.width = 16;
  p.height = 16;
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) p.pixels.push_back(((x ^ y) & 4) ? 0xFFFF8000u : 0xFF0080FFu);
  }
  return p;
}

uint32_t ClientPixel(int x, int y) {
  const plat::host::Frame frame = plat::test::CaptureWindowFrame(GetMainWindowHandle());
  return frame.pixels[static_cast<size_t>(y) * frame.width + x] & 0xFFFFFF;
}

class GraphRestoreTest : public testing::GraphLibraryTest, public ::testing::WithParamInterface<int> {};

TEST_P(GraphRestoreTest, TheFramesAfterALossShowTheReloadedPictures) {
  testing::WritePng("checker.png", Checker(), false);
  ASSERT_EQ(Start(GraphRoad{0, GetParam()}), 0);
  const int g = ::LoadGraphFile("checker.png", 1);
  ASSERT_NE(g, -1);
  int cells[4] = {};
  ASSERT_EQ(::LoadDivGraphFile("checker.png", 4, 2, 2, 8, 8, cells, 1), 0);
  ::SelectDrawScreen(kDrawScreenBack);
  // Each frame draws at its own place, so that a frame that never reached the window is noticed.
  auto frame = [&](int x) {
    ::DrawRectangle(0, 0, 640, 480, ::MakeColor(0, 0, 0), 1);
    ::DrawGraphAt(x, 10, g, 0);
    ::DrawGraphAt(x + 30, 10, cells[3], 0);
    return ::FlipScreen();
  };
  frame(10);
  const uint32_t shown = ClientPixel(10, 10);
  const uint32_t cellShown = ClientPixel(40, 10);
  EXPECT_NE(shown, 0u);
  EXPECT_EQ(cellShown, ClientPixel(10 + 8, 10 + 8));

  plat::test::LoseAllSurfaces();
  frame(100);
  frame(200);
  EXPECT_EQ(ClientPixel(10, 10), 0u);
  EXPECT_EQ(ClientPixel(200, 10), shown);
  EXPECT_EQ(ClientPixel(204, 10), ClientPixel(200, 14));
  EXPECT_EQ(ClientPixel(230, 10), cellShown);

  ASSERT_EQ(EndLibraryLocked(), 0);
  EXPECT_EQ(GetMemoryBlockCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Depths, GraphRestoreTest, ::testing::Values(16, 32));

}  // namespace
}  // namespace orbel
