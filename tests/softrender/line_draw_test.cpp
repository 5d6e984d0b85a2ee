// Lines on memory images: the pixels a line sets (never its end point), clipping to the draw area,
// the line list, the blend mode at 16 and 32 bits, and that no line ever writes outside the area.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <set>
#include <string>

#include "orbel/softrender/line_draw.h"
#include "softrender_test_support.h"

namespace orbel::testing {
namespace {

using LineDraw = SoftDrawTest;

std::set<std::string> SetPixels(const TestImage& img) {
  std::set<std::string> out;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x)
      if (img.Pixel(x, y) != 0) out.insert(std::to_string(x) + "," + std::to_string(y));
  return out;
}

TEST_F(LineDraw, PixelsSetWithoutTheEndPoint) {
  struct Case {
    const char* name;
    int x1, y1, x2, y2;
    std::set<std::string> expected;
  };
  const Case cases[] = {
      {"horizontal", 0, 0, 3, 0, {"0,0", "1,0", "2,0"}},
      {"horizontal reversed", 3, 0, 0, 0, {"3,0", "2,0", "1,0"}},
      {"shallow", 0, 0, 4, 2, {"0,0", "1,0", "2,1", "3,1"}},
      {"diagonal", 0, 0, 3, 3, {"0,0", "1,1", "2,2"}},
      {"steep", 0, 0, 1, 3, {"0,0", "0,1", "0,2"}},
      {"steep upwards", 2, 5, 1, 2, {"2,5", "2,4", "2,3"}},
      {"zero length", 4, 4, 4, 4, {}},
      {"start left and above the area", -2, -2, 4, 4, {"0,0", "1,1", "2,2", "3,3"}},
      {"wholly right of the area", 9, 0, 12, 3, {}},
  };
  for (const Case& c : cases) {
    TestImage img(8, 8, kMemImgX8R8G8B8);
    img.Fill(0);
    SetArea(0, 0, 8, 8);
    DrawLineMemImg(img.img(), c.x1, c.y1, c.x2, c.y2, 0x00FFFFFF);
    EXPECT_EQ(SetPixels(img), c.expected) << c.name;
  }
}

TEST_F(LineDraw, HorizontalLineClippedToTheArea) {
  TestImage img(704, 2, kMemImgR5G6B5);
  img.Fill(0);
  SetArea(0, 0, 640, 2);
  DrawLineMemImg(img.img(), -5, 1, 700, 1, 0xFFFF);
  for (int x = 0; x < 704; ++x) {
    ASSERT_EQ(img.Pixel(x, 0), 0u) << x;
    ASSERT_EQ(img.Pixel(x, 1), x < 640 ? 0xFFFFu : 0u) << x;
  }
}

// Random lines against a sentinel: nothing outside the area is touched, and a line inside the area sets
// exactly max(|dx|, |dy|) pixels.
TEST_F(LineDraw, NeverWritesOutsideTheArea) {
  std::mt19937 rng(5207);
  std::uniform_int_distribution<int> coord(-60, 100);
  const plat::RECT area = {5, 4, 33, 25};
  for (int i = 0; i < 300; ++i) {
    TestImage img(40, 30, kMemImgX8R8G8B8);
    img.Fill(0);
    SetArea(area.left, area.top, area.right, area.bottom);
    const int x1 = coord(rng), y1 = coord(rng), x2 = coord(rng), y2 = coord(rng);
    DrawLineMemImg(img.img(), x1, y1, x2, y2, 0x00FFFFFF);
    int count = 0;
    for (int y = 0; y < 30; ++y) {
      for (int x = 0; x < 40; ++x) {
        if (img.Pixel(x, y) == 0) continue;
        ++count;
        ASSERT_TRUE(x >= area.left && x < area.right && y >= area.top && y < area.bottom)
            << "line " << x1 << "," << y1 << " - " << x2 << "," << y2 << " wrote " << x << "," << y;
      }
    }
    const bool inside = std::min(x1, x2) >= area.left && std::max(x1, x2) < area.right && std::min(y1, y2) >= area.top &&
                        std::max(y1, y2) < area.bottom;
    if (inside) {
      EXPECT_EQ(count, std::max(std::abs(x2 - x1), std::abs(y2 - y1)))
          << x1 << "," << y1 << " - " << x2 << "," << y2;
    }
  }
}

TEST_F(LineDraw, LineSetDrawsRecordsInOrderUnderTheBlendMode) {
  TestImage img(6, 6, kMemImgX8R8G8B8);
  img.Fill(0x00200000);
  const MemImgLine lines[] = {
      {0, 0, 6, 0, 0x00F00000, 0},  // row 0
      {0, 0, 0, 6, 0x00100000, 0},  // column 0, over the first line's start
  };
  SetBlend(2, 255);
  SetBright(0xFFFFFF);
  DrawLineSetMemImg(img.img(), lines, 0);
  DrawLineSetMemImg(img.img(), lines, -3);
  EXPECT_EQ(img.Pixel(1, 0), 0x00200000u) << "counts of 0 or less draw nothing";
  DrawLineSetMemImg(img.img(), lines, 2);
  EXPECT_EQ(img.Pixel(1, 0), 0x01FF0000u) << "add: red F0 + 20 saturates, byte 3 carries";
  EXPECT_EQ(img.Pixel(0, 0), 0x01FF0000u) << "second record added on top of the first";
  EXPECT_EQ(img.Pixel(0, 1), 0x00300000u);
  EXPECT_EQ(img.Pixel(1, 1), 0x00200000u);
}

TEST_F(LineDraw, ColourUnderBrightnessAndModes) {
  TestImage img16(4, 1, kMemImgR5G6B5);
  img16.Fill(0xFFFF);
  SetBlend(4, 0);
  DrawLineMemImg(img16.img(), 0, 0, 2, 0, 0xFFFF);  // multiply white by white
  EXPECT_EQ(img16.Pixel(0, 0), 0xF7DEu);
  EXPECT_EQ(img16.Pixel(2, 0), 0xFFFFu);

  TestImage img32(4, 1, kMemImgX8R8G8B8);
  img32.Fill(0x80000000);
  SetBlend(0, 0);
  SetBright(0x808080);
  DrawLineMemImg(img32.img(), 3, 0, 0, 0, 0x12FF8040);
  EXPECT_EQ(img32.Pixel(3, 0), 0x127F4020u);
  EXPECT_EQ(img32.Pixel(0, 0), 0x80000000u);

  // A paletted image is not drawn on.
  TestImage paletted(4, 1, kMemImgR5G6B5, 1);
  paletted.Fill(3);
  SetBright(0xFFFFFF);
  DrawLineMemImg(paletted.img(), 0, 0, 4, 0, 0xFFFF);
  for (int x = 0; x < 4; ++x) EXPECT_EQ(paletted.Pixel(x, 0), 3u);
}

}  // namespace
}  // namespace orbel::testing
