// Helpers of the stretched-blit, box and line tests: an owning memory image with pixel accessors, and
// a fixture that builds the blend tables and sets a known draw state (copy, white, large draw area).
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "orbel/graphics/draw_state.h"
#include "orbel/softrender/mem_img.h"
#include "test_support.h"

namespace orbel::testing {

// A memory image owned for the test's life.
class TestImage {
 public:
  TestImage(int width, int height, int colorType, int paletted = 0, int alpha = 0, uint32_t transColor = 0);
  ~TestImage();
  TestImage(const TestImage&) = delete;
  TestImage& operator=(const TestImage&) = delete;

  MemImg* img() { return &img_; }
  const MemImg* img() const { return &img_; }
  int width() const { return img_.width; }
  int height() const { return img_.height; }

  uint8_t* At(int x, int y) const { return img_.pixels + MemImgOffset(&img_, x, y); }
  uint32_t Get16(int x, int y) const {
    uint16_t v;
    std::memcpy(&v, At(x, y), 2);
    return v;
  }
  uint32_t Get32(int x, int y) const {
    uint32_t v;
    std::memcpy(&v, At(x, y), 4);
    return v;
  }
  uint32_t Get8(int x, int y) const { return *At(x, y); }
  void Set16(int x, int y, uint32_t v) {
    const uint16_t w = static_cast<uint16_t>(v);
    std::memcpy(At(x, y), &w, 2);
  }
  void Set32(int x, int y, uint32_t v) { std::memcpy(At(x, y), &v, 4); }
  void Set8(int x, int y, uint32_t v) { *At(x, y) = static_cast<uint8_t>(v); }
  // A 5:6:5 colour with its alpha byte (16-bit images with alpha).
  void Set16A(int x, int y, uint32_t color, uint32_t alpha) { Set32(x, y, (color & 0xFFFF) | (alpha << 16)); }
  // Every pixel set to `value` (its low 8, 16 or 32 bits).
  void Fill(uint32_t value);
  // Palette entry i: a 16-bit value for colour type 0, a 32-bit word for type 1.
  void SetPalette(int index, uint32_t value);
  uint32_t Pixel(int x, int y) const;  // by the image's pixel size

 private:
  MemImg img_{};
};

// 5:6:5 from fields.
constexpr uint32_t Rgb565(uint32_t r, uint32_t g, uint32_t b) { return (r << 11) | (g << 5) | b; }

// One source pixel drawn over one destination pixel through the stretched blit (a mirrored 1x1
// rectangle, which the blit never hands over to the plain blit).
struct PixelDraw {
  int type = kMemImgX8R8G8B8;
  int paletted = 0;
  int alpha = 0;
  int mode = 0;
  int param = 255;
  uint32_t bright = 0xFFFFFF;
  int trans = 0;
  uint32_t transColor = 0;
  int blendByte = -1;     // -1: no blend image; weights are the identity
  int mmx = 1;
  uint32_t src = 0;       // 16-bit: colour | alpha << 16; 32-bit: the word; paletted: the index
  uint32_t palette = 0;   // entry at the index, paletted sources only
  uint32_t dst = 0;
};
uint32_t DrawOnePixel(const PixelDraw& draw);

// A named one-pixel draw and the destination pixel it must leave; each case is reported by its name.
struct PixelCase {
  const char* name;
  PixelDraw draw;
  uint32_t expected;
};
template <size_t N>
void ExpectPixelCases(const PixelCase (&cases)[N]) {
  for (const PixelCase& c : cases) EXPECT_EQ(DrawOnePixel(c.draw), c.expected) << c.name;
}

// Builds the tables once; every test starts in mode 0, p 255, white, a 4096-square draw area, no blend
// graph weights beyond an identity ramp (weight i = i).
class SoftDrawTest : public VirtualClockTest {
 protected:
  static void SetUpTestSuite();
  void SetUp() override;

  static void SetBlend(int mode, int param) {
    gDrawState.blendMode = static_cast<uint32_t>(mode);
    gDrawState.blendParam = static_cast<uint32_t>(param);
  }
  static void SetBright(uint32_t bright) { gDrawState.brightColor = bright; }
  static void SetArea(int left, int top, int right, int bottom) { gDrawState.drawArea = {left, top, right, bottom}; }
};

}  // namespace orbel::testing
