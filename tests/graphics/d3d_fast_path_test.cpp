// Which row of the Direct3D rasteriser's fast-path table draws each scene of the graphics bench (alpha
// sprites, turned sprites, a bilinear stretch) and keyed sprites (as a game's battle draws its enemy)
// through the library, on 16- and 32-bit screens: the row meant for it, and never the general span
// routine.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "bench/sprite_scene.h"
#include "graph_test_fixture.h"
#include "include/orbel.h"
#include "orbel/graphics/draw_state.h"
#include "orbel/graphics/graph_load.h"
#include "orbel/graphics/screen_present.h"
#include "platform/d3d/d3d7_test_controls.h"

namespace orbel {
namespace {

class D3DFastPathTest : public testing::GraphLibraryTest, public ::testing::WithParamInterface<int> {};

int LoadPicture(const std::string& path, const std::vector<uint32_t>& pixels, int width, int height, bool alpha) {
  testing::Picture p;
  p.width = width;
  p.height = height;
  p.pixels = pixels;
  testing::WritePng(path, p, alpha);
  return LoadGraphFile(path.c_str(), 0);
}

std::string HitTable() {
  std::ostringstream out;
  for (const std::string& name : plat::test::D3DFastPathNames()) out << name << "=" << plat::test::D3DFastPathHits(name) << " ";
  return out.str();
}

TEST_P(D3DFastPathTest, EachBenchSceneIsDrawnByItsRow) {
  const int depth = GetParam();
  ASSERT_EQ(Start(testing::GraphRoad{0, depth, 1}), 0);
  SelectDrawScreen(kDrawScreenBack);
  const int sprite = LoadPicture("sprite.png", bench::SoftDiscPicture(32, 12, 15), 32, 32, true);
  // Without its alpha the disc is a keyed picture: its black corners are the transparent colour.
  const int keyed = LoadPicture("keyed.png", bench::SoftDiscPicture(32, 12, 15), 32, 32, false);
  std::vector<uint32_t> picture(320 * 240);
  for (int y = 0; y < 240; ++y)
    for (int x = 0; x < 320; ++x) picture[static_cast<size_t>(y) * 320 + x] = bench::StretchPicturePixel(x, y, 320, 240);
  const int stretched = LoadPicture("picture.png", picture, 320, 240, false);
  ASSERT_NE(sprite, -1);
  ASSERT_NE(keyed, -1);
  ASSERT_NE(stretched, -1);
  SetBlendState(kBlendNone, 255);

  struct Scene {
    const char* name;
    int filter;
    const char* row;
    std::function<void()> draw;
  };
  const std::vector<bench::SpritePoint> points = bench::SpritePositions(40, 32, 640, 480, 7);
  const Scene scenes[] = {
      {"sprites", 0, depth == 32 ? "over_8888_x888_blit" : "point_blit",
       [&] {
         for (const bench::SpritePoint& p : points) DrawGraphAt(p.x, p.y, sprite, 1);
       }},
      {"keyed sprites", 0, depth == 32 ? "point_blit" : "src_16_16_blit",
       [&] {
         for (const bench::SpritePoint& p : points) DrawGraphAt(p.x, p.y, keyed, 1);
       }},
      {"quads", 0, depth == 32 ? "over_8888_x888_spans" : "point_spans",
       [&] {
         for (int i = 0; i < static_cast<int>(points.size()); ++i) {
           float c[8];
           bench::TurnedCorners(points[static_cast<size_t>(i)], 32, bench::QuadAngle(i), c);
           DrawQuadGraph(c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7], sprite, 1);
         }
       }},
      {"stretch", 1, "bilinear_stretch", [&] { DrawStretchGraph(0, 0, 640, 480, stretched, 0); }},
  };
  for (const Scene& scene : scenes) {
    SetDrawFilterMode(scene.filter);
    ClearTargetScreen();
    plat::test::ResetD3DFastPathHits();
    scene.draw();
    FlipScreen();
    EXPECT_GT(plat::test::D3DFastPathHits(scene.row), 0u) << scene.name << " at " << depth << " bits: " << HitTable();
    EXPECT_EQ(plat::test::D3DFastPathHits("general"), 0u) << scene.name << " at " << depth << " bits: " << HitTable();
  }
  SetDrawFilterMode(0);
}

INSTANTIATE_TEST_SUITE_P(Depths, D3DFastPathTest, ::testing::Values(16, 32));

}  // namespace
}  // namespace orbel
