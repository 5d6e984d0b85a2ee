// The public draw calls on both roads: placement, transparency, mirroring, stretching, parts, boxes,
// the draw-area rules, the blend-graph check, and a target whose lock fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "graph_test_fixture.h"
#include "orbel/graphics/draw_calls.h"
#include "orbel/graphics/draw_state.h"
#include "orbel/graphics/graph_load.h"
#include "orbel/graphics/graph_pixels.h"
#include "orbel/graphics/graph_record.h"
#include "orbel/graphics/graphics_manager.h"
#include "orbel/graphics/screen_state.h"
#include "platform/ddraw/test_controls.h"

namespace orbel {
namespace {

using testing::BackPixel;
using testing::GraphLibraryTest;
using testing::GraphRoad;
using testing::Picture;

// 4 x 2: red, green, blue, black (the transparent colour) / white, white, white, white.
Picture Strip() {
  Picture p;
  p.width = 4;
  p.height = 2;
  p.pixels = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFF000000, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF};
  return p;
}

// Channels equal within the precision of a 16-bit screen.
::testing::AssertionResult Near(uint32_t actual, uint32_t expected) {
  for (int shift : {0, 8, 16}) {
    if (std::abs(static_cast<int>((actual >> shift) & 0xFF) - static_cast<int>((expected >> shift) & 0xFF)) > 8) {
      return ::testing::AssertionFailure() << std::hex << actual << " is not " << expected;
    }
  }
  return ::testing::AssertionSuccess();
}

class DrawCallsTest : public GraphLibraryTest, public ::testing::WithParamInterface<GraphRoad> {
 protected:
  void SetUp() override {
    GraphLibraryTest::SetUp();
    testing::WritePng("strip.png", Strip(), false);
    ASSERT_EQ(Start(GetParam()), 0);
    ASSERT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
    graph_ = LoadGraphFile("strip.png", 1);
    ASSERT_NE(graph_, -1);
    ClearBack(0x404040);
  }
  // Fills the back screen with a grey that no picture pixel has.
  void ClearBack(uint32_t rgb) {
    DrawRectangle(0, 0, 640, 480, MakeColor(rgb >> 16, (rgb >> 8) & 0xFF, rgb & 0xFF), 1);
  }
  int graph_ = -1;
};

TEST_P(DrawCallsTest, DrawGraphAtPlacesThePictureAndSkipsTheTransparentColour) {
  ASSERT_EQ(DrawGraphAt(10, 20, graph_, 1), 0);
  EXPECT_TRUE(Near(BackPixel(10, 20), 0xFF0000));
  EXPECT_TRUE(Near(BackPixel(12, 20), 0x0000FF));
  EXPECT_TRUE(Near(BackPixel(13, 20), 0x404040));  // black is the transparent colour
  EXPECT_TRUE(Near(BackPixel(13, 21), 0xFFFFFF));
  EXPECT_TRUE(Near(BackPixel(14, 20), 0x404040));
  ASSERT_EQ(DrawGraphAt(30, 20, graph_, 0), 0);
  EXPECT_TRUE(Near(BackPixel(33, 20), 0x000000));
}

// A palette picture keeps its transparent colour as a palette index: the key is skipped.
TEST_P(DrawCallsTest, PalettePicturesSkipTheirTransparentColour) {
  testing::WritePalettePng("strip8.png", Strip());
  const int g = LoadGraphFile("strip8.png", 1);
  ASSERT_NE(g, -1);
  ASSERT_EQ(DrawGraphAt(10, 30, g, 1), 0);
  EXPECT_TRUE(Near(BackPixel(10, 30), 0xFF0000));
  EXPECT_TRUE(Near(BackPixel(12, 30), 0x0000FF));
  EXPECT_TRUE(Near(BackPixel(13, 30), 0x404040));  // black is the transparent colour
  EXPECT_TRUE(Near(BackPixel(13, 31), 0xFFFFFF));
}

TEST_P(DrawCallsTest, SameSizeStretchEqualsDrawGraphAtAndReversedXMirrors) {
  DrawGraphAt(0, 0, graph_, 0);
  DrawStretchGraph(10, 0, 14, 2, graph_, 0);
  DrawMirroredGraph(20, 0, graph_, 0);
  DrawStretchGraph(34, 0, 30, 2, graph_, 0);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 4; ++x) {
      EXPECT_EQ(BackPixel(10 + x, y), BackPixel(x, y)) << x << "," << y;
      EXPECT_EQ(BackPixel(20 + x, y), BackPixel(3 - x, y)) << x << "," << y;
      EXPECT_EQ(BackPixel(30 + x, y), BackPixel(3 - x, y)) << x << "," << y;
    }
  }
  // Twice the size: every source pixel becomes a 2 x 2 block.
  DrawStretchGraph(40, 0, 48, 4, graph_, 0);
  EXPECT_EQ(BackPixel(42, 1), BackPixel(1, 0));
  EXPECT_EQ(BackPixel(47, 3), BackPixel(3, 1));
}

TEST_P(DrawCallsTest, PartDrawsNarrowTheAreaAndPutItBack) {
  SetDrawClipArea(0, 0, 600, 400);
  plat::RECT before{};
  GetDrawAreaRect(&before);
  ASSERT_EQ(DrawGraphPart(50, 50, 1, 0, 2, 2, graph_, 0, 0), 0);
  EXPECT_TRUE(Near(BackPixel(49, 50), 0x404040));
  EXPECT_TRUE(Near(BackPixel(50, 50), 0x00FF00));
  EXPECT_TRUE(Near(BackPixel(51, 50), 0x0000FF));
  EXPECT_TRUE(Near(BackPixel(52, 50), 0x404040));
  // Mirrored: the part itself is mirrored in place.
  ASSERT_EQ(DrawGraphPart(60, 50, 1, 0, 2, 2, graph_, 0, 1), 0);
  EXPECT_TRUE(Near(BackPixel(60, 50), 0x0000FF));
  EXPECT_TRUE(Near(BackPixel(61, 50), 0x00FF00));
  // A dead graph fails, and the area is still put back.
  EXPECT_EQ(DrawGraphPart(0, 0, 0, 0, 2, 2, graph_ + 1, 0, 0), -1);
  plat::RECT after{};
  GetDrawAreaRect(&after);
  EXPECT_EQ(after.left, before.left);
  EXPECT_EQ(after.right, before.right);
  EXPECT_EQ(after.bottom, before.bottom);
}

TEST_P(DrawCallsTest, StretchedPartsFollowTheScaleAndRefuseAnEmptySource) {
  EXPECT_EQ(DrawStretchGraphPart(0, 0, 10, 10, 0, 0, 0, 2, graph_, 0), -1);
  EXPECT_EQ(DrawStretchGraphPart(0, 0, 10, 10, 0, 0, 2, 0, graph_, 0), -1);
  // Source (1, 0, 2, 1) doubled: green then blue, each 2 pixels wide.
  ASSERT_EQ(DrawStretchGraphPart(100, 100, 104, 102, 1, 0, 2, 1, graph_, 0), 0);
  EXPECT_TRUE(Near(BackPixel(100, 100), 0x00FF00));
  EXPECT_TRUE(Near(BackPixel(101, 101), 0x00FF00));
  EXPECT_TRUE(Near(BackPixel(102, 100), 0x0000FF));
  EXPECT_TRUE(Near(BackPixel(104, 100), 0x404040));
  EXPECT_TRUE(Near(BackPixel(100, 102), 0x404040));
}

// A negative source size is a negative scale: the part is drawn mirrored, exactly as the whole graph
// stretched to the corners the scale gives and cut to the rectangle.
TEST_P(DrawCallsTest, ANegativeSourceSizeDrawsThePartMirrored) {
  // Columns 0..1 read right to left, doubled: green then red, rows doubled too.
  ASSERT_EQ(DrawStretchGraphPart(100, 100, 108, 102, 2, 0, -2, 1, graph_, 0), 0);
  EXPECT_TRUE(Near(BackPixel(100, 100), 0x00FF00));
  EXPECT_TRUE(Near(BackPixel(103, 101), 0x00FF00));
  EXPECT_TRUE(Near(BackPixel(104, 100), 0xFF0000));
  EXPECT_TRUE(Near(BackPixel(107, 101), 0xFF0000));
  EXPECT_TRUE(Near(BackPixel(108, 100), 0x404040));
  EXPECT_TRUE(Near(BackPixel(100, 102), 0x404040));

  struct Case {
    int x1, y1, x2, y2, srcX, srcY, srcWidth, srcHeight;
  };
  const Case cases[] = {
      {100, 100, 108, 102, 2, 0, -2, 1},   // negative width
      {120, 100, 124, 108, 0, 2, 1, -2},   // negative height
      {148, 110, 140, 100, 3, 2, -2, -2},  // both, into a rectangle given backwards
      {160, 100, 167, 103, 3, 1, -3, -1},  // scales that do not divide
      {0, 0, 8, 1, 4, 0, -4, 1},           // the whole width from its right edge
  };
  constexpr int kBelow = 200;  // where the formula's draw goes
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.x1 << "," << c.y1 << "," << c.x2 << "," << c.y2 << " from " << c.srcX
                                      << "," << c.srcY << " size " << c.srcWidth << "," << c.srcHeight);
    ASSERT_EQ(DrawStretchGraphPart(c.x1, c.y1, c.x2, c.y2, c.srcX, c.srcY, c.srcWidth, c.srcHeight, graph_, 0), 0);
    const int left = std::min(c.x1, c.x2), right = std::max(c.x1, c.x2);
    const int top = std::min(c.y1, c.y2), bottom = std::max(c.y1, c.y2);
    const double sx = static_cast<double>(right - left) / c.srcWidth;
    const double sy = static_cast<double>(bottom - top) / c.srcHeight;
    const int ax = static_cast<int>(std::trunc(c.srcX * sx)), bx = static_cast<int>(std::trunc((4 - c.srcX) * sx));
    const int ay = static_cast<int>(std::trunc(c.srcY * sy)), by = static_cast<int>(std::trunc((2 - c.srcY) * sy));
    const int X1 = c.x2 < c.x1 ? right + ax : left - ax;
    const int X2 = c.x2 < c.x1 ? right - bx : left + bx;
    const int Y1 = c.y2 < c.y1 ? bottom + ay : top - ay;
    const int Y2 = c.y2 < c.y1 ? bottom - by : top + by;
    SetDrawClipArea(left, top + kBelow, right, bottom + kBelow);
    ASSERT_EQ(DrawStretchGraph(X1, Y1 + kBelow, X2, Y2 + kBelow, graph_, 0), 0);
    SetDrawClipArea(0, 0, 640, 480);
    for (int y = std::max(0, top - 2); y < bottom + 2; ++y) {
      for (int x = std::max(0, left - 2); x < right + 2; ++x) {
        ASSERT_EQ(BackPixel(x, y), BackPixel(x, y + kBelow)) << x << "," << y;
        // The stretched graph covers the whole rectangle: no pixel inside keeps the background.
        const bool inside = x >= left && x < right && y >= top && y < bottom;
        ASSERT_EQ(static_cast<bool>(Near(BackPixel(x, y), 0x404040)), !inside) << x << "," << y;
      }
    }
  }
}

TEST_P(DrawCallsTest, AnEmptyDrawAreaDrawsNothingEvenForABadHandle) {
  SetDrawClipArea(100, 100, 100, 200);
  EXPECT_EQ(DrawGraphAt(0, 0, -5, 0), 0);
  EXPECT_EQ(DrawStretchGraph(0, 0, 9, 9, -5, 0), 0);
  EXPECT_EQ(DrawRectangle(0, 0, 9, 9, MakeColor(255, 255, 255), 1), 0);
  EXPECT_TRUE(Near(BackPixel(5, 5), 0x404040));
  SetDrawClipArea(0, 0, 640, 480);
  EXPECT_EQ(DrawGraphAt(0, 0, -5, 0), -1);
}

TEST_P(DrawCallsTest, ABlendGraphSmallerThanTheGraphFails) {
  const int small = MakeEmptyGraph(2, 2, 1);
  ASSERT_EQ(SetDrawBlendGraph(small, 128, 0), 0);
  EXPECT_EQ(DrawGraphAt(0, 0, graph_, 0), -1);
  // A blend graph of the graph's size without a weight image leaves the draw unweighted.
  const int large = MakeEmptyGraph(4, 2, 1);
  ASSERT_EQ(SetDrawBlendGraph(large, 128, 0), 0);
  EXPECT_EQ(DrawGraphAt(0, 0, graph_, 0), 0);
  EXPECT_TRUE(Near(BackPixel(0, 0), 0xFF0000));
  SetDrawBlendGraph(-1, 0, 0);
  EXPECT_EQ(DrawGraphAt(0, 0, graph_, 0), 0);
}

TEST_P(DrawCallsTest, BoxesFillAndFrame) {
  const uint32_t white = MakeColor(255, 255, 255);
  ASSERT_EQ(DrawRectangle(10, 10, 20, 15, white, 1), 0);
  EXPECT_TRUE(Near(BackPixel(10, 10), 0xFFFFFF));
  EXPECT_TRUE(Near(BackPixel(19, 14), 0xFFFFFF));
  EXPECT_TRUE(Near(BackPixel(20, 14), 0x404040));
  EXPECT_TRUE(Near(BackPixel(19, 15), 0x404040));
  ASSERT_EQ(DrawRectangle(30, 10, 40, 15, white, 0), 0);
  for (auto [x, y] : {std::pair{30, 10}, {39, 10}, {39, 14}, {30, 14}, {35, 10}, {30, 12}}) {
    EXPECT_TRUE(Near(BackPixel(x, y), 0xFFFFFF)) << x << "," << y;
  }
  EXPECT_TRUE(Near(BackPixel(35, 12), 0x404040));
  EXPECT_TRUE(Near(BackPixel(40, 12), 0x404040));
}

// A lock that fails prepares nothing: the box is not drawn, the call does not crash, and the target is
// not left locked.
TEST_P(DrawCallsTest, AFailedTargetLockDrawsNothingAndLeavesNoLock) {
  if (GetParam().software) GTEST_SKIP() << "memory-image screens take no locks";
  if (GetParam().direct3D) GTEST_SKIP() << "Direct3D draws take no locks";
  SetBlendState(kBlendAlpha, 128);  // not a plain copy: the software renderer must lock
  plat::test::FailDisplayCall("Lock", 1);
  EXPECT_EQ(DrawRectangle(10, 10, 20, 20, MakeColor(255, 255, 255), 1), 0);
  SetBlendState(kBlendNone, 0);
  EXPECT_TRUE(Near(BackPixel(15, 15), 0x404040));
  EXPECT_EQ(DrawRectangle(10, 10, 20, 20, MakeColor(255, 255, 255), 1), 0);
  EXPECT_TRUE(Near(BackPixel(15, 15), 0xFFFFFF));
}

TEST_P(DrawCallsTest, CaptureCopiesTheScreenRectangleIntoAGraphOfItsSize) {
  DrawRectangle(100, 100, 104, 102, MakeColor(255, 255, 255), 1);
  DrawGraphAt(104, 100, graph_, 0);
  const int shot = MakeEmptyGraph(8, 2, 1);
  ASSERT_EQ(CaptureScreenToGraph(100, 100, 108, 102, shot, 0), 0);
  for (int x = 0; x < 8; ++x) EXPECT_EQ(testing::GraphPixel(shot, x, 1), BackPixel(100 + x, 101)) << x;
  EXPECT_TRUE(Near(testing::GraphPixel(shot, 5, 0), 0x00FF00));
  // The rectangle must have the graph's size and lie on the screen.
  EXPECT_EQ(CaptureScreenToGraph(100, 100, 107, 102, shot, 0), -1);
  EXPECT_EQ(CaptureScreenToGraph(636, 100, 644, 102, shot, 0), -1);
  // Drawn again, the captured graph shows what was captured.
  DrawGraphAt(200, 200, shot, 0);
  EXPECT_EQ(BackPixel(205, 200), BackPixel(105, 100));
}

// Handles stay unique over a screen-mode change: a graph handle from before is stale afterwards.
TEST_P(DrawCallsTest, AScreenModeChangeDeletesGraphsAndKeepsTheirHandlesStale) {
  const int before = graph_;
  ASSERT_EQ(SetScreenMode(640, 480, GetParam().depth, -1), 0);
  EXPECT_EQ(GetGraphRecord(before), nullptr);
  const int after = LoadGraphFile("strip.png", 1);
  ASSERT_NE(after, -1);
  EXPECT_NE(after, before);
  SelectDrawScreen(kDrawScreenBack);
  EXPECT_EQ(DrawGraphAt(0, 0, after, 0), 0);
  EXPECT_TRUE(Near(BackPixel(0, 0), 0xFF0000));
}

INSTANTIATE_TEST_SUITE_P(Roads, DrawCallsTest, testing::AllRoads(), testing::RoadTestName);

}  // namespace
}  // namespace orbel
