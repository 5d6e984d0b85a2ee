// The four-corner draw through the public call: a fan of turned and skewed quads in every blend mode, with
// transparency, a picture with alpha and brightness, on both roads at 16 and 32 bits. The captured client
// area must equal the committed golden picture (ORBEL_UPDATE_GOLDEN=1 rewrites them).
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "graph_test_fixture.h"
#include "orbel.h"
#include "orbel/core/memory.h"
#include "orbel/graphics/draw_state.h"

namespace orbel {
namespace {

using testing::GraphRoad;
using testing::Picture;

// 40 x 40: colour from the position, alpha rising left to right; the keyed one has a black (transparent)
// square in the middle.
Picture QuadPicture(bool alpha) {
  Picture p;
  p.width = 40;
  p.height = 40;
  for (int y = 0; y < 40; ++y) {
    for (int x = 0; x < 40; ++x) {
      const bool hole = !alpha && x >= 14 && x < 26 && y >= 14 && y < 26;
      const uint32_t a = alpha ? static_cast<uint32_t>(x * 6 + 15) : 255u;
      const uint32_t rgb = hole ? 0 : static_cast<uint32_t>(250 - x * 5) << 16 | static_cast<uint32_t>(40 + y * 5) << 8 | 0xA0;
      p.pixels.push_back(a << 24 | rgb);
    }
  }
  return p;
}

class QuadGoldenTest : public testing::GraphLibraryTest, public ::testing::WithParamInterface<GraphRoad> {};

TEST_P(QuadGoldenTest, AFanOfQuadsMatchesItsGoldenPicture) {
  testing::WritePng("quad_alpha.png", QuadPicture(true), true);
  testing::WritePng("quad_keyed.png", QuadPicture(false), false);
  ASSERT_EQ(Start(GetParam()), 0);
  const int alpha = ::LoadGraphFile("quad_alpha.png", 1);
  const int keyed = ::LoadGraphFile("quad_keyed.png", 1);
  ASSERT_NE(alpha, -1);
  ASSERT_NE(keyed, -1);

  ::SelectDrawScreen(kDrawScreenBack);
  ::DrawRectangle(0, 0, 640, 480, ::MakeColor(30, 50, 80), 1);
  for (int y = 0; y < 480; y += 20) ::DrawRectangle(0, y, 640, y + 10, ::MakeColor(190, 170, 60), 1);

  // Four rows: the keyed picture with transparency, the alpha picture, then both again with brightness,
  // each across the seven blend modes; every quad turned by its own angle, one corner pulled out.
  const int modes[] = {kBlendNone, kBlendAlpha, kBlendAdd, kBlendSub, kBlendMul, kBlendInvert, kBlendMulAlpha};
  for (int row = 0; row < 4; ++row) {
    ::SetDrawBrightness(255, row < 2 ? 255 : 160, row < 2 ? 255 : 100);
    for (int m = 0; m < 7; ++m) {
      SetBlendState(modes[m], row % 2 ? 200 : 128);
      const double cx = 50 + m * 88;
      const double cy = 60 + row * 110;
      const double angle = (row * 7 + m) * 0.29;
      const double r = 34;
      // Top-left, top-right, bottom-right, bottom-left, as the public call takes them.
      const double offsets[4][2] = {{-1, -1}, {1, -1}, {1.3, 1.1}, {-1, 1}};
      float xs[4];
      float ys[4];
      for (int k = 0; k < 4; ++k) {
        xs[k] = static_cast<float>(cx + r * (offsets[k][0] * std::cos(angle) - offsets[k][1] * std::sin(angle)));
        ys[k] = static_cast<float>(cy + r * (offsets[k][0] * std::sin(angle) + offsets[k][1] * std::cos(angle)));
      }
      ASSERT_EQ(::DrawQuadGraph(xs[0], ys[0], xs[1], ys[1], xs[2], ys[2], xs[3], ys[3], row % 2 ? alpha : keyed, 1), 0);
    }
  }
  SetBlendState(kBlendNone, 0);
  ::SetDrawBrightness(255, 255, 255);
  ::FlipScreen();

  const Picture shot = testing::CaptureClient();
  ASSERT_EQ(shot.width, 640);
  testing::ExpectMatchesGolden(shot, std::string("quads_") + (GetParam().software ? "software" : "ddraw") +
                                         std::to_string(GetParam().depth));
  ASSERT_EQ(EndLibraryLocked(), 0);
  EXPECT_EQ(GetMemoryBlockCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Roads, QuadGoldenTest, testing::AllRoads(), testing::RoadTestName);

}  // namespace
}  // namespace orbel
