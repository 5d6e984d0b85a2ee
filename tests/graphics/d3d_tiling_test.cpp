// Tiling of texture graphs: tile sides along an axis, the tile plan of a graph, square-only devices.
#include <gtest/gtest.h>

#include <vector>

#include "orbel/graphics/d3d/d3d_tiling.h"

namespace orbel {
namespace {

std::vector<int> Sides(int size, const TextureTileLimits& limits, int single = 0) {
  int sides[kMaxGraphTiles] = {};
  const int n = CalcTextureDivision(size, sides, kMaxGraphTiles, single, limits);
  return std::vector<int>(sides, sides + n);
}

constexpr TextureTileLimits kLargeDevice = {1, 2048, 640, false};
constexpr TextureTileLimits kSmallDevice = {1, 256, 640, false};

TEST(TextureDivision, WorkedExamples) {
  struct Case {
    TextureTileLimits limits;
    int size;
    std::vector<int> sides;
  };
  const Case cases[] = {
      {kLargeDevice, 640, {512, 128}}, {kLargeDevice, 480, {512}}, {kLargeDevice, 300, {512}},
      {kLargeDevice, 100, {128}},      {kLargeDevice, 20, {32}},   {kSmallDevice, 640, {256, 256, 128}},
      {kSmallDevice, 480, {256, 128, 64, 32}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Sides(c.size, c.limits), c.sides) << "size " << c.size << " max " << c.limits.maxSide;
  }
  // A single-tile graph (draw-valid) wider than the screen still becomes one tile when the cap allows.
  EXPECT_EQ(Sides(700, kLargeDevice, 1), std::vector<int>{1024});
}

TEST(GraphTilePlan, CutsInRowMajorOrderWithUsedSizesAtTheGraphEdge) {
  GraphTilePlan tiles[kMaxGraphTiles];
  ASSERT_EQ(PlanGraphTiles(640, 480, 0, kLargeDevice, tiles), 2);
  EXPECT_EQ(tiles[0].textureWidth, 512);
  EXPECT_EQ(tiles[0].textureHeight, 512);
  EXPECT_EQ(tiles[0].usedWidth, 512);
  EXPECT_EQ(tiles[0].usedHeight, 480);
  EXPECT_EQ(tiles[1].x, 512);
  EXPECT_EQ(tiles[1].textureWidth, 128);
  EXPECT_EQ(tiles[1].usedWidth, 128);
  EXPECT_EQ(tiles[1].usedHeight, 480);

  ASSERT_EQ(PlanGraphTiles(640, 480, 0, kSmallDevice, tiles), 12);
  EXPECT_EQ(tiles[3].x, 0);  // second row starts after three columns
  EXPECT_EQ(tiles[3].y, 256);
  EXPECT_EQ(tiles[11].x, 512);
  EXPECT_EQ(tiles[11].y, 448);
  EXPECT_EQ(tiles[11].textureHeight, 32);
  EXPECT_EQ(tiles[11].usedWidth, 128);
  EXPECT_EQ(tiles[11].usedHeight, 32);
}

TEST(GraphTilePlan, CornerFlagsMarkTheUpperLeftHalf) {
  GraphTilePlan tiles[kMaxGraphTiles];
  ASSERT_EQ(PlanGraphTiles(20, 20, 0, kLargeDevice, tiles), 1);
  EXPECT_EQ(tiles[0].textureWidth, 32);
  EXPECT_EQ(tiles[0].usedWidth, 20);
  const uint8_t expected[4] = {1, 1, 1, 0};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(tiles[0].cornerFlags[i], expected[i]) << "corner " << i;
}

TEST(GraphTilePlan, MoreThanSixtyFourTilesIsRefused) {
  GraphTilePlan tiles[kMaxGraphTiles];
  const TextureTileLimits tiny = {32, 32, 640, false};
  EXPECT_EQ(PlanGraphTiles(288, 256, 0, tiny, tiles), -1);  // 9 x 8
  EXPECT_EQ(PlanGraphTiles(256, 256, 0, tiny, tiles), 64);
}

TEST(GraphTilePlan, SquareOnlyDeviceSplitsLongTilesInsideTheGraph) {
  TextureTileLimits square = kLargeDevice;
  square.squareOnly = true;
  GraphTilePlan tiles[kMaxGraphTiles];
  ASSERT_EQ(PlanGraphTiles(512, 128, 0, square, tiles), 4);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(tiles[i].x, 128 * i);
    EXPECT_EQ(tiles[i].textureWidth, 128);
    EXPECT_EQ(tiles[i].textureHeight, 128);
  }
  // A 300-wide graph has one 512 x 128 tile: the square at x = 384 would lie outside the graph, so it
  // is not made, and no used size is negative.
  ASSERT_EQ(PlanGraphTiles(300, 100, 0, square, tiles), 3);
  EXPECT_EQ(tiles[2].x, 256);
  EXPECT_EQ(tiles[2].usedWidth, 44);
  EXPECT_EQ(tiles[2].usedHeight, 100);
  // The split may pass the parts list: refused rather than written past it.
  EXPECT_EQ(PlanGraphTiles(4100, 40, 0, square, tiles), -1);
}

}  // namespace
}  // namespace orbel
