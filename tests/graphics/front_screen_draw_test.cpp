// Drawing straight onto the front screen in a window: what is drawn shows in the client area at
// once, on both roads, at the place drawn.
#include <gtest/gtest.h>

#include "graph_test_fixture.h"
#include "orbel.h"
#include "orbel/core/main_window.h"
#include "orbel/graphics/draw_state.h"
#include "platform/host/host.h"
#include "platform/win/user/window_test_controls.h"

namespace orbel {
namespace {

using testing::GraphRoad;

uint32_t ClientPixel(int x, int y) {
  const plat::host::Frame frame = plat::test::CaptureWindowFrame(GetMainWindowHandle());
  return frame.pixels[static_cast<size_t>(y) * frame.width + x] & 0xFFFFFF;
}

class FrontScreenDrawTest : public testing::GraphLibraryTest, public ::testing::WithParamInterface<GraphRoad> {};

TEST_P(FrontScreenDrawTest, BoxesAndPicturesDrawnOnTheFrontShowAtOnce) {
  testing::Picture p;
  p.width = 4;
  p.height = 4;
  p.pixels.assign(16, 0xFF00FF00u);
  testing::WritePng("green.png", p, false);
  ASSERT_EQ(Start(GetParam()), 0);
  ASSERT_EQ(::SelectDrawScreen(kDrawScreenFront), 0);
  const int g = ::LoadGraphFile("green.png", 1);
  ::DrawRectangle(0, 0, 640, 480, ::MakeColor(0, 0, 0), 1);
  ::DrawRectangle(100, 50, 120, 60, ::MakeColor(255, 255, 255), 1);
  SetBlendState(kBlendAlpha, 128);
  ::DrawRectangle(200, 50, 220, 60, ::MakeColor(255, 255, 255), 1);
  SetBlendState(kBlendNone, 0);
  ::DrawGraphAt(300, 50, g, 0);
  EXPECT_EQ(ClientPixel(110, 55), 0xFFFFFFu);
  EXPECT_EQ(ClientPixel(99, 55), 0u);
  EXPECT_NE(ClientPixel(210, 55), 0u);
  EXPECT_NE(ClientPixel(210, 55), 0xFFFFFFu);
  EXPECT_EQ(ClientPixel(301, 51), 0x00FF00u);
  EXPECT_EQ(ClientPixel(304, 51), 0u);
}

INSTANTIATE_TEST_SUITE_P(Roads, FrontScreenDrawTest, testing::AllRoads(), testing::RoadTestName);

}  // namespace
}  // namespace orbel
