// The public draws given coordinates no draw can place, on every road and on graphs of three shapes:
// not finite, or so far out that the edges the draw works out leave int. Each draws nothing and gives
// what the same draw gives clipped away whole. Under the sanitizer builds a cast or an int sum of such a
// coordinate anywhere down the draw stops the test.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <tuple>

#include "graph_test_fixture.h"
#include "orbel/font/font_system.h"
#include "orbel/graphics/d3d/d3d_system.h"
#include "orbel/graphics/draw_calls.h"
#include "orbel/graphics/draw_coordinates.h"
#include "orbel/graphics/draw_state.h"
#include "orbel/graphics/graph_load.h"
#include "orbel/graphics/graphics_manager.h"
#include "orbel/graphics/screen_state.h"
#include "orbel/softrender/mem_img.h"
#include "platform/ddraw/test_controls.h"

namespace orbel {
namespace {

using testing::GraphRoad;

struct Shape {
  int width;
  int height;
};

constexpr int kFar = 100000;  // wholly outside the 640 x 480 screen, well inside int
constexpr int kInts[] = {INT_MIN, INT_MAX};
const float kFloats[] = {std::numeric_limits<float>::quiet_NaN(),
                         std::numeric_limits<float>::infinity(),
                         -std::numeric_limits<float>::infinity(),
                         1e30f,
                         -1e30f,
                         3e9f,
                         -3e9f,
                         static_cast<float>(INT_MIN),
                         static_cast<float>(INT_MAX)};

class HostileCoordinatesTest : public testing::GraphLibraryTest,
                               public ::testing::WithParamInterface<std::tuple<GraphRoad, Shape>> {
 protected:
  void SetUp() override {
    GraphLibraryTest::SetUp();
    ASSERT_EQ(Start(std::get<0>(GetParam())), 0);
    ASSERT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
    const Shape shape = std::get<1>(GetParam());
    testing::Picture p;
    p.width = shape.width;
    p.height = shape.height;
    p.pixels.assign(static_cast<size_t>(shape.width) * shape.height, 0xFFFF2010u);
    testing::WritePng("shape.png", p, false);
    // The road's own kind of graph (a texture on the Direct3D road) and a 2D graph on every road.
    for (int no3D : {0, 1}) {
      graphs_[no3D] = LoadGraphFile("shape.png", no3D);
      ASSERT_NE(graphs_[no3D], -1);
    }
    DrawRectangle(0, 0, 640, 480, MakeColor(0x40, 0x50, 0x60), 1);
  }

  // The back screen's bytes, after the batched draws have gone out.
  static std::vector<uint8_t> BackScreen() {
    D3D_EndSceneCurrent();
    const MemImg& image = gScreen.backImage;
    if (CheckValidMemImg(&image)) {
      const size_t row = static_cast<size_t>(image.width) * image.base->pixelBytes;
      std::vector<uint8_t> bytes;
      for (int y = 0; y < image.height; ++y) {
        const uint8_t* from = image.pixels + static_cast<size_t>(y) * image.base->pitch;
        bytes.insert(bytes.end(), from, from + row);
      }
      return bytes;
    }
    return plat::test::ReadSurface(gScreen.backSurface).bytes;
  }

  int graphs_[2] = {-1, -1};
};

TEST_P(HostileCoordinatesTest, DrawNothingAndAnswerAsADrawClippedAwayWhole) {
  const std::vector<uint8_t> before = BackScreen();
  const plat::RECT area = gDrawState.drawArea;
  for (const int g : graphs_) {
    SCOPED_TRACE(g == graphs_[1] ? "2D graph" : "the road's graph");
    const int at = DrawGraphAt(kFar, kFar, g, 1);
    const int stretch = DrawStretchGraph(kFar, kFar, kFar + 100, kFar + 100, g, 1);
    const int mirrored = DrawMirroredGraph(kFar, kFar, g, 1);
    const int quad = DrawQuadGraph(kFar, kFar, kFar + 64, kFar, kFar + 64, kFar + 64, kFar, kFar + 64, g, 1);
    const int part[2] = {DrawGraphPart(kFar, kFar, 0, 0, 8, 8, g, 1, 0),
                         DrawGraphPart(kFar, kFar, 0, 0, 8, 8, g, 1, 1)};
    const int stretchPart = DrawStretchGraphPart(kFar, kFar, kFar + 100, kFar + 100, 0, 0, 8, 8, g, 1);

    for (const int v : kInts) {
      SCOPED_TRACE(::testing::Message() << "coordinate " << v);
      EXPECT_EQ(DrawGraphAt(v, 0, g, 1), at);
      EXPECT_EQ(DrawGraphAt(0, v, g, 1), at);
      EXPECT_EQ(DrawMirroredGraph(v, 0, g, 1), mirrored);
      EXPECT_EQ(DrawMirroredGraph(0, v, g, 1), mirrored);
      for (int k = 0; k < 4; ++k) {
        int c[4] = {0, 0, 100, 100};
        c[k] = v;
        EXPECT_EQ(DrawStretchGraph(c[0], c[1], c[2], c[3], g, 1), stretch) << "corner value " << k;
      }
      EXPECT_EQ(DrawStretchGraph(INT_MIN, 0, INT_MAX, 100, g, 1), stretch);
      for (int k = 0; k < 6; ++k) {
        int c[6] = {10, 10, 0, 0, 8, 8};  // x, y, source x, source y, width, height
        c[k] = v;
        for (int mirror : {0, 1}) {
          EXPECT_EQ(DrawGraphPart(c[0], c[1], c[2], c[3], c[4], c[5], g, 1, mirror), part[mirror])
              << "part value " << k << " mirror " << mirror;
        }
        int s[6] = {0, 0, 100, 100, 0, 0};  // corners, then source x and y
        s[k] = v;
        EXPECT_EQ(DrawStretchGraphPart(s[0], s[1], s[2], s[3], s[4], s[5], 8, 8, g, 1), stretchPart)
            << "stretched part value " << k;
      }
    }
    // Parts whose own edges cannot be placed while the whole graph they narrow would land on the screen:
    // an edge beyond the limit, and a far edge that summed in int would wrap round onto the screen.
    constexpr int kBeyond = 1 << 30;
    const int beyondParts[][7] = {
        // x, y, source x, source y, width, height, mirror
        {-kBeyond, 10, -kBeyond, 0, kBeyond + 100, 8, 0},
        {-kBeyond, 10, 0, 0, kBeyond + 100, 8, 1},
        {INT_MIN, 10, INT_MIN, 0, INT_MIN + 100, 8, 0},
        {INT_MIN, 10, 0, 0, INT_MIN + 100, 8, 1},
        {10, INT_MIN, 0, INT_MIN, 8, INT_MIN + 100, 0},
    };
    for (const auto& c : beyondParts) {
      SCOPED_TRACE(::testing::Message() << "part " << c[0] << ", " << c[1] << " from " << c[2] << ", " << c[3]
                                        << " size " << c[4] << " x " << c[5] << " mirror " << c[6]);
      EXPECT_EQ(DrawGraphPart(c[0], c[1], c[2], c[3], c[4], c[5], g, 1, c[6]), part[c[6]]);
      EXPECT_TRUE(BackScreen() == before) << "something was drawn";
      DrawRectangle(0, 0, 640, 480, MakeColor(0x40, 0x50, 0x60), 1);  // a failure names its own case alone
    }
    for (const float v : kFloats) {
      SCOPED_TRACE(::testing::Message() << "coordinate " << v);
      for (int k = 0; k < 8; ++k) {
        float c[8] = {0, 0, 64, 0, 64, 64, 0, 64};
        c[k] = v;
        EXPECT_EQ(DrawQuadGraph(c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7], g, 1), quad) << "point value " << k;
      }
    }
  }

  const int box[2] = {DrawRectangle(kFar, kFar, kFar + 10, kFar + 10, 0xFFFF, 0),
                      DrawRectangle(kFar, kFar, kFar + 10, kFar + 10, 0xFFFF, 1)};
  const int text = DrawTextDefaultFont(kFar, kFar, "Ab", 0xFFFF, 0);
  for (const int v : kInts) {
    SCOPED_TRACE(::testing::Message() << "coordinate " << v);
    for (int fill : {0, 1}) {
      for (int k = 0; k < 4; ++k) {
        int c[4] = {0, 0, 100, 100};
        c[k] = v;
        EXPECT_EQ(DrawRectangle(c[0], c[1], c[2], c[3], 0xFFFF, fill), box[fill]) << "corner value " << k;
      }
      EXPECT_EQ(DrawRectangle(INT_MIN, INT_MIN, INT_MAX, INT_MAX, 0xFFFF, fill), box[fill]);
    }
    EXPECT_EQ(DrawTextDefaultFont(v, 0, "Ab", 0xFFFF, 0), text);
    EXPECT_EQ(DrawTextDefaultFont(0, v, "Ab", 0xFFFF, 0), text);
  }

  EXPECT_TRUE(BackScreen() == before) << "something was drawn";
  EXPECT_EQ(std::memcmp(&gDrawState.drawArea, &area, sizeof area), 0) << "the draw area was not put back";
}

// The farthest coordinates a draw still places go all the way down the road: a box or a stretch from
// one limit to the other covers the screen as one fitted to it does, and the other draws run through
// their back-ends without an int sum leaving its range.
TEST_P(HostileCoordinatesTest, TheFarthestPlaceableCoordinatesDrawAsNearerOnesDo) {
  const int far = static_cast<int>(kPlaceableEdgeLimit);
  const uint32_t colour = MakeColor(0x90, 0x30, 0xA0);
  DrawRectangle(0, 0, 640, 480, colour, 1);
  const std::vector<uint8_t> boxed = BackScreen();
  DrawRectangle(0, 0, 640, 480, 0, 1);
  EXPECT_EQ(DrawRectangle(-far, -far, far, far, colour, 1), 0);
  EXPECT_TRUE(BackScreen() == boxed) << "the box from limit to limit does not cover the screen";

  for (const int g : graphs_) {
    SCOPED_TRACE(g == graphs_[1] ? "2D graph" : "the road's graph");
    DrawStretchGraph(-640, -480, 1280, 960, g, 1);
    const std::vector<uint8_t> stretched = BackScreen();
    DrawRectangle(0, 0, 640, 480, 0, 1);
    DrawStretchGraph(-far, -far, far, far, g, 1);
    EXPECT_TRUE(BackScreen() == stretched) << "the stretch from limit to limit does not cover the screen";

    DrawGraphAt(-far, -far, g, 1);
    DrawMirroredGraph(far - 4097, far - 4097, g, 1);
    DrawStretchGraph(far, far, -far, -far, g, 1);
    DrawQuadGraph(-far, -far, far, -far, far, far, -far, far, g, 1);
    DrawQuadGraph(-far, 0, far, 0, far, 64, -far, 64, g, 1);
    DrawGraphPart(-far, -far, 0, 0, 2 * far, 2 * far, g, 1, 0);
    DrawGraphPart(0, 0, far, far, 8, 8, g, 1, 1);
    DrawStretchGraphPart(-far, -far, far, far, 0, 0, 1, 1, g, 1);
    DrawStretchGraphPart(far, far, -far, -far, 0, 0, 1, 1, g, 1);
  }
  DrawRectangle(far, far, -far, -far, colour, 0);
  DrawTextDefaultFont(-far, -far, "Ab", 0xFFFF, 0);
  DrawTextDefaultFont(far - 64, far - 64, "Ab", 0xFFFF, 0);
}

std::string HostileName(const ::testing::TestParamInfo<std::tuple<GraphRoad, Shape>>& info) {
  const Shape s = std::get<1>(info.param);
  return testing::RoadTestName(::testing::TestParamInfo<GraphRoad>(std::get<0>(info.param), 0)) + "_" +
         std::to_string(s.width) + "x" + std::to_string(s.height);
}

INSTANTIATE_TEST_SUITE_P(RoadsAndShapes, HostileCoordinatesTest,
                         ::testing::Combine(testing::AllRoads(),
                                            ::testing::Values(Shape{64, 64}, Shape{4097, 1}, Shape{1, 4097})),
                         HostileName);

}  // namespace
}  // namespace orbel
