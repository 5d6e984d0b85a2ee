// Helpers of the softrender tests: an owning memory image with pixel access, colour packing, two
// fixtures with the blend tables built and a known draw state, the row and one-pixel draw checkers, and
// exact golden-image comparison.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "orbel/graphics/draw_state.h"
#include "orbel/softrender/mem_img.h"
#include "test_support.h"

namespace orbel::testing {

// A memory image released with the test. Pixels are read and written by the image's pixel size.
class TestImage {
 public:
  TestImage(int width, int height, int colorType, int paletted = 0, int alpha = 0, uint32_t transColor = 0,
            int layers = 1);
  ~TestImage() { TerminateMemImg(&img_); }
  TestImage(const TestImage&) = delete;
  TestImage& operator=(const TestImage&) = delete;

  MemImg* img() { return &img_; }
  const MemImg* img() const { return &img_; }
  MemImgBase* base() { return img_.base; }
  int width() const { return img_.width; }
  int height() const { return img_.height; }
  uint8_t* At(int x, int y) const { return img_.pixels + MemImgOffset(&img_, x, y); }
  uint32_t Pixel(int x, int y) const {
    uint32_t v = 0;
    std::memcpy(&v, At(x, y), static_cast<size_t>(img_.base->pixelBytes));
    return v;
  }
  // 16-bit with alpha: colour | alpha << 16; paletted: the index.
  void Set(int x, int y, uint32_t v) { std::memcpy(At(x, y), &v, static_cast<size_t>(img_.base->pixelBytes)); }
  void Fill(uint32_t v) {
    for (int y = 0; y < img_.height; ++y)
      for (int x = 0; x < img_.width; ++x) Set(x, y, v);
  }
  // Writes width x height values (row-major, in the image's own pixel form) through
  // TransferImageToMemImg, which also builds the run table. Returns the transfer's result.
  int Load(const std::vector<uint32_t>& values);
  // Palette entry i: a 16-bit value for colour type 0, a 32-bit word for type 1.
  void SetPalette(int index, uint32_t v);

 private:
  MemImg img_{};
};

constexpr uint32_t Rgb32(uint32_t r, uint32_t g, uint32_t b, uint32_t a = 0) { return a << 24 | r << 16 | g << 8 | b; }
constexpr uint32_t Rgb16(uint32_t r, uint32_t g, uint32_t b) { return r << 11 | g << 5 | b; }
// A colour from 8-bit channels in the pixel form of `type` (byte 3 for 32-bit only).
uint32_t Color(int type, int r, int g, int b, int top = 0);

// A memory image's pixels as 0x00RRGGBB (5:6:5 fields shifted to the top of each byte).
std::vector<uint32_t> ToRgb(const TestImage& img);

// Compares `pixels` (0x00RRGGBB, row-major) with tests/softrender/golden/<name>.png. On a mismatch the
// actual image and a diff are written beside the build and the first bad pixel is reported. With
// ORBEL_UPDATE_GOLDEN=1 the golden file is rewritten instead.
::testing::AssertionResult MatchesGolden(const std::string& name, int width, int height,
                                         const std::vector<uint32_t>& pixels);

// Plain-blit tests: tables built once; each test starts in mode 0, white brightness and a 640 x 480
// draw area, set through the draw-state calls.
class PlainBlitTest : public VirtualClockTest {
 protected:
  static void SetUpTestSuite();
  void SetUp() override;
  static void Blend(int mode, int param) { ASSERT_EQ(SetBlendState(mode, param), 0); }
};

// One pixel rule checked over a row of nine equal pixels (so the wide loops and the row tail are
// both covered): source `src` over destination `dst` under the given state must give `expect`.
struct RowCase {
  const char* name;
  int mode;
  int param;
  uint32_t src;               // pixel value (16-bit with alpha: colour | alpha << 16), or palette index
  uint32_t dst;
  uint32_t expect;
  int alpha = 0;              // source carries alpha
  int trans = 0;              // transparency flag
  bool run = false;           // load through the run table (needs trans) instead of writing pixels
  int mmx = 0;
  uint32_t bright = 0xFFFFFF;
  int blendByte = -1;         // blend image byte (weights are the identity ramp), -1 none
  uint32_t key = 0;           // source transparent colour
  int paletted = 0;
  uint32_t paletteEntry = 0;  // entry at `src` for paletted sources
};
::testing::AssertionResult CheckRow(int colorType, const RowCase& c);

// Draws `src` at (0, 0) over a destination of its size holding `dstPixels` twice: as whole rows (the
// wide loops), and one pixel at a time through one-pixel views of `src` and `blend` (the per-pixel
// code). The two destinations must be equal; a mismatch names the first differing pixel.
::testing::AssertionResult WideMatchesSingle(const std::vector<uint32_t>& dstPixels, TestImage& src,
                                             const MemImg* blend, int trans, int mmx);

// Stretch, box and line tests: tables built once; every test starts in mode 0, p 255, white, a
// 4096-square draw area and an identity weight ramp (weight i = i), set straight into the draw state.
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

}  // namespace orbel::testing
