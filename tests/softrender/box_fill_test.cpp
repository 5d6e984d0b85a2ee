// The box fill: the filled rectangle (null, swapped corners, clipping to the draw area and the image,
// odd widths), each blend mode's pixel operation at 16 and 32 bits, brightness, and the images and
// parameters that draw nothing.
#include <gtest/gtest.h>

#include <cstdint>

#include "orbel/softrender/box_fill.h"
#include "softrender_test_support.h"

namespace orbel::testing {
namespace {

using BoxFill = SoftDrawTest;

// Draws a 1x1 box of `color` over `dst` and returns the pixel.
uint32_t BoxPixel(int type, int mode, int param, uint32_t color, uint32_t dst, uint32_t bright = 0xFFFFFF) {
  TestImage img(2, 1, type);
  img.Fill(dst);
  gDrawState.blendMode = static_cast<uint32_t>(mode);
  gDrawState.blendParam = static_cast<uint32_t>(param);
  gDrawState.brightColor = bright;
  const plat::RECT rect = {0, 0, 1, 1};
  DrawBoxMemImg(img.img(), &rect, color);
  EXPECT_EQ(img.Pixel(1, 0), type == kMemImgR5G6B5 ? (dst & 0xFFFF) : dst) << "box spilled past its right edge";
  return img.Pixel(0, 0);
}

TEST_F(BoxFill, ModeFormulas) {
  struct Case {
    const char* name;
    int type;
    int mode;
    int param;
    uint32_t color;
    uint32_t dst;
    uint32_t bright;
    uint32_t expected;
  };
  constexpr int k16 = kMemImgR5G6B5;
  constexpr int k32 = kMemImgX8R8G8B8;
  const Case cases[] = {
      {"32 copy, all four bytes", k32, 0, 0, 0x12345678, 0xFFFFFFFF, 0xFFFFFF, 0x12345678},
      {"32 alpha p255 is the copy", k32, 1, 255, 0x12345678, 0, 0xFFFFFF, 0x12345678},
      {"32 alpha p128 keeps byte 3", k32, 1, 128, 0x00FFFFFF, 0xAB000000, 0xFFFFFF, 0xAB7F7F7F},
      {"32 add red F0 to 20", k32, 2, 255, 0x00F00000, 0x00200000, 0xFFFFFF, 0x01FF0000},
      {"32 add at p128", k32, 2, 128, 0x00FF8000, 0x00010000, 0xFFFFFF, 0x00814000},
      {"32 subtract", k32, 3, 255, 0x00101010, 0x80402010, 0xFFFFFF, 0x00311100},
      {"32 multiply keeps byte 3", k32, 4, 0, 0x00FFFFFF, 0x80FFFFFF, 0xFFFFFF, 0x80FEFEFE},
      {"32 invert of white", k32, 10, 255, 0x00FFFFFF, 0x00FFFFFF, 0xFFFFFF, 0},
      {"32 invert p0 keeps d", k32, 10, 0, 0x00FFFFFF, 0x00123456, 0xFFFFFF, 0x00123456},
      {"32 mode 11", k32, 11, 255, 0x00FFFFFF, 0x00FFFFFF, 0xFFFFFF, 0x00FEFEFE},
      {"32 brightness 808080 halves first", k32, 0, 0, 0x12FF8040, 0, 0x808080, 0x127F4020},
      {"16 copy", k16, 0, 0, 0xABCD1234, 0xFFFF, 0xFFFFFF, 0x1234},
      {"16 alpha p128", k16, 1, 128, 0xFFFF, 0, 0xFFFFFF, 0x7BEF},
      {"16 add 0x8410 to itself", k16, 2, 255, 0x8410, 0x8410, 0xFFFFFF, 0xFFFF},
      {"16 subtract itself", k16, 3, 255, 0x1234, 0x1234, 0xFFFFFF, 0x0800},
      {"16 multiply white by white", k16, 4, 0, 0xFFFF, 0xFFFF, 0xFFFFFF, 0xF7DE},
      {"16 multiply halves", k16, 4, 0, 0xFFFF, 0x8410, 0xFFFFFF, 0x7BEF},
      {"16 invert", k16, 10, 255, 0x1234, 0x5555, 0xFFFFFF, 0xEDCB},
      {"16 mode 11", k16, 11, 255, 0xFFFF, 0xFFFF, 0xFFFFFF, 0xF7DE},
      {"16 brightness 808080", k16, 0, 0, 0xFFFF, 0, 0x808080, 0x7BEF},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(BoxPixel(c.type, c.mode, c.param, c.color, c.dst, c.bright), c.expected) << c.name;
  }
}

TEST_F(BoxFill, DrawsNothing) {
  struct Case {
    const char* name;
    int mode;
    int param;
  };
  const Case cases[] = {{"alpha p0", 1, 0}, {"add p0", 2, 0}, {"subtract p0", 3, 0}, {"mode 5", 5, 255},
                        {"mode 9", 9, 255}, {"mode 12", 12, 255}};
  for (const Case& c : cases) {
    EXPECT_EQ(BoxPixel(kMemImgX8R8G8B8, c.mode, c.param, 0x00FFFFFF, 0x00123456), 0x00123456u) << c.name;
    EXPECT_EQ(BoxPixel(kMemImgR5G6B5, c.mode, c.param, 0xFFFF, 0x1234), 0x1234u) << c.name;
  }
  // Images the box does not draw on.
  TestImage paletted(4, 4, kMemImgX8R8G8B8, 1);
  TestImage alpha(4, 4, kMemImgX8R8G8B8, 0, 1);
  TestImage single(4, 4, kMemImgSingle8);
  paletted.Fill(7);
  alpha.Fill(0x11111111);
  single.Fill(9);
  SetBlend(0, 255);
  DrawBoxMemImg(paletted.img(), nullptr, 0xFFFFFFFF);
  DrawBoxMemImg(alpha.img(), nullptr, 0xFFFFFFFF);
  DrawBoxMemImg(single.img(), nullptr, 0xFFFFFFFF);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) {
      ASSERT_EQ(paletted.Pixel(x, y), 7u);
      ASSERT_EQ(alpha.Pixel(x, y), 0x11111111u);
      ASSERT_EQ(single.Pixel(x, y), 9u);
    }
  }
}

// Which pixels a box covers: null is the whole image within the draw area, corners in any order,
// the draw area and the image both clip, and an odd 16-bit width ends on a single pixel.
TEST_F(BoxFill, CoveredPixels) {
  struct Case {
    const char* name;
    int type;
    bool null;
    plat::RECT rect;
    plat::RECT area;
    plat::RECT expected;  // covered pixels
  };
  const Case cases[] = {
      {"null rectangle, area inside", kMemImgX8R8G8B8, true, {}, {2, 1, 20, 4}, {2, 1, 9, 4}},
      {"swapped corners", kMemImgX8R8G8B8, false, {6, 5, 1, 2}, {0, 0, 4096, 4096}, {1, 2, 6, 5}},
      {"partly outside the image", kMemImgX8R8G8B8, false, {-3, -3, 3, 30}, {0, 0, 4096, 4096}, {0, 0, 3, 7}},
      {"odd 16-bit width", kMemImgR5G6B5, false, {1, 1, 4, 2}, {0, 0, 4096, 4096}, {1, 1, 4, 2}},
      {"outside the draw area", kMemImgR5G6B5, false, {0, 0, 3, 3}, {4, 4, 8, 8}, {0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    TestImage img(9, 7, c.type);
    img.Fill(0);
    SetArea(c.area.left, c.area.top, c.area.right, c.area.bottom);
    DrawBoxMemImg(img.img(), c.null ? nullptr : &c.rect, 0xFFFFFFFF);
    for (int y = 0; y < 7; ++y) {
      for (int x = 0; x < 9; ++x) {
        const bool inside = x >= c.expected.left && x < c.expected.right && y >= c.expected.top && y < c.expected.bottom;
        ASSERT_EQ(img.Pixel(x, y) != 0, inside) << c.name << " at " << x << "," << y;
      }
    }
  }
}

}  // namespace
}  // namespace orbel::testing
