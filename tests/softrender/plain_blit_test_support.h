// Helpers of the memory-image and plain-blit tests: an owning memory image with pixel access, a
// fixture with the blend tables built and a known draw state, and exact golden-image comparison.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "orbel/graphics/draw_state.h"
#include "orbel/softrender/mem_img.h"
#include "test_support.h"

namespace orbel::testing {

// A memory image released with the test.
class OwnedImg {
 public:
  OwnedImg(int width, int height, int colorType, int paletted = 0, int alpha = 0, uint32_t transColor = 0,
           int layers = 1);
  ~OwnedImg() { TerminateMemImg(&img_); }
  OwnedImg(const OwnedImg&) = delete;
  OwnedImg& operator=(const OwnedImg&) = delete;

  MemImg* get() { return &img_; }
  MemImgBase* base() { return img_.base; }
  uint8_t* At(int x, int y) { return img_.pixels + MemImgOffset(&img_, x, y); }
  uint32_t Get(int x, int y) {
    uint32_t v = 0;
    std::memcpy(&v, At(x, y), static_cast<size_t>(img_.base->pixelBytes));
    return v;
  }
  void Set(int x, int y, uint32_t v) { std::memcpy(At(x, y), &v, static_cast<size_t>(img_.base->pixelBytes)); }
  void Fill(uint32_t v) { FillMemImgRect(&img_, nullptr, v); }
  // Writes width x height values (row-major, in the image's own pixel form) through
  // TransferImageToMemImg, which also builds the run table. Returns the transfer's result.
  int Load(const std::vector<uint32_t>& values);
  void SetPalette(int index, uint32_t v) {
    const int size = img_.base->colorType == kMemImgR5G6B5 ? 2 : 4;
    std::memcpy(img_.base->palette + index * size, &v, static_cast<size_t>(size));
  }

 private:
  MemImg img_{};
};

constexpr uint32_t Rgb32(uint32_t r, uint32_t g, uint32_t b, uint32_t a = 0) { return a << 24 | r << 16 | g << 8 | b; }
constexpr uint32_t Rgb16(uint32_t r, uint32_t g, uint32_t b) { return r << 11 | g << 5 | b; }

// Tables built once; each test starts in mode 0, white brightness and a 640 x 480 draw area.
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
::testing::AssertionResult WideMatchesSingle(const std::vector<uint32_t>& dstPixels, OwnedImg& src,
                                             const MemImg* blend, int trans, int mmx);

// Compares `pixels` (0x00RRGGBB, row-major) with tests/softrender/golden/<name>.png. On a mismatch the
// actual image and a diff are written beside the build and the first bad pixel is reported. With
// ORBEL_UPDATE_GOLDEN=1 the golden file is rewritten instead.
::testing::AssertionResult MatchesGolden(const std::string& name, int width, int height,
                                         const std::vector<uint32_t>& pixels);

// A memory image's pixels as 0x00RRGGBB (16-bit fields widened by shifting).
std::vector<uint32_t> ToRgb(OwnedImg& img);

}  // namespace orbel::testing
