// Plain blit at 16 bits (R5G6B5): the six-bit table and signed-product blends, the packed add and
// subtract (whose two-pixel road must equal the one-pixel rule), multiply, alpha sources with their
// 4-byte layout, paletted sources, and the wide loops against one-pixel draws.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "orbel/softrender/blend_tables.h"
#include "orbel/softrender/plain_blit.h"
#include "softrender_test_support.h"

namespace orbel {
namespace {

using testing::TestImage;
using testing::Rgb16;
using testing::RowCase;

class PlainBlit16 : public testing::PlainBlitTest {};

TEST_F(PlainBlit16, ModeRules) {
  const RowCase cases[] = {
      {"halve", 1, 128, 0xFFFF, 0x0000, 0x7BEF},
      {"six-bit k=0 leaves the destination", 1, 3, 0xFFFF, 0x1234, 0x1234},
      {"six-bit k=63 copies", 1, 253, 0x1234, 0xFFFF, 0x1234},
      {"run path blends by p/255 instead", 1, 253, 0x1234, 0xFFFF, 0x1A55, 0, 1, true},
      {"six-bit p=100", 1, 100, 0xFFFF, 0x1234, 0x6C78},
      {"bright blend uses signed products", 1, 100, 0xFFFF, 0x1234, 0x52CF, 0, 0, false, 0, 0xC08040},
      {"add saturates red", 2, 255, Rgb16(31, 0, 0), Rgb16(31, 0, 0), Rgb16(31, 0, 0)},
      {"add onto black", 2, 255, 0x1234, 0x0000, 0x1234},
      {"add blue bit 0 is added", 2, 255, Rgb16(0, 0, 1), Rgb16(0, 0, 1), Rgb16(0, 0, 2)},
      {"add p=128", 2, 128, 0xFFFF, 0x0000, 0x7BEF},
      {"sub guards", 3, 255, Rgb16(1, 2, 1), 0xFFFF, 0xFF9E},
      {"sub to zero", 3, 255, 0xFFFF, 0x1234, 0x0000},
      {"multiply white", 4, 0, 0xFFFF, 0xFFFF, Rgb16(30, 62, 30)},
      {"invert black", 10, 255, 0x0000, 0x1234, 0xFFFF},
      {"invert p=100", 10, 100, 0x1234, 0x8410, 0xACAF},
      {"multiply then blend", 11, 100, 0x1234, 0x8410, 0x5AEE},
      {"multiply then blend p=255", 11, 255, 0xFFFF, 0xFFFF, Rgb16(30, 62, 30)},
      {"keyed", 0, 255, 0x1234, 0x4321, 0x4321, 0, 1, false, 0, 0xFFFFFF, -1, 0xAB1234},
      {"keyed run", 1, 100, 0x1234, 0x4321, 0x4321, 0, 1, true, 0, 0xFFFFFF, -1, 0x1234},
      {"bright copy", 0, 255, 0xFFFF, 0x0000, 0x7BEF, 0, 0, false, 0, 0x808080},
      {"weighted copy", 0, 255, 0xFFFF, 0x1234, 0x6C58, 0, 0, false, 0, 0xFFFFFF, 100},
      {"weighted multiply", 4, 9, 0xFFFF, 0x1234, 0x00C7, 0, 0, false, 0, 0xFFFFFF, 100},
      {"weighted blend", 1, 200, 0xFFFF, 0x1234, 0x53F7, 0, 0, false, 0, 0xFFFFFF, 100},
      {"mode 8", 8, 200, 0xFFFF, 0x1234, 0x1234},
  };
  for (const RowCase& c : cases) EXPECT_TRUE(testing::CheckRow(kMemImgR5G6B5, c));
}

TEST_F(PlainBlit16, AlphaAndPalettedSources) {
  const RowCase cases[] = {
      {"alpha 128", 0, 255, 0x80FFFF, 0x0000, 0x7BEF, 1, 1},
      {"alpha 0 skipped", 0, 255, 0x00FFFF, 0x1234, 0x1234, 1, 1},
      {"alpha 255 copied", 0, 255, 0xFF4321, 0x1234, 0x4321, 1, 1},
      {"alpha ignored without flag", 0, 255, 0x004321, 0x1234, 0x4321, 1, 0},
      {"alpha blend", 1, 200, 0x64FFFF, 0x1234, 0x53F7, 1, 1},
      {"alpha blend run", 1, 200, 0x64FFFF, 0x1234, 0x53F7, 1, 1, true},
      {"alpha add", 2, 200, 0x64FFFF, 0x1234, 0x5C7D, 1, 1},
      {"alpha multiply", 4, 200, 0x64FFFF, 0x1234, 0x00C7, 1, 1},
      {"alpha 0 multiply blackens", 4, 200, 0x00FFFF, 0x1234, 0x0000, 1, 1},
      {"alpha 0 multiply run skips", 4, 200, 0x00FFFF, 0x1234, 0x1234, 1, 1, true},
      {"palette copy", 0, 255, 9, 0, 0xBEEF, 0, 0, false, 0, 0xFFFFFF, -1, 0, 1, 0xBEEF},
      {"palette key", 0, 255, 9, 0x1111, 0x1111, 0, 1, false, 0, 0xFFFFFF, -1, 9, 1, 0xBEEF},
      {"palette halve", 1, 128, 9, 0x0000, 0x7BEF, 0, 0, false, 0, 0xFFFFFF, -1, 0, 1, 0xFFFF},
  };
  for (const RowCase& c : cases) EXPECT_TRUE(testing::CheckRow(kMemImgR5G6B5, c));
}

// Neighbouring pixels must not leak carries into each other: the lower pixel's red overflow must
// not reach the upper pixel's blue, whatever the pixel pairing.
TEST_F(PlainBlit16, AddAndSubtractKeepPixelsApart) {
  Blend(2, 255);
  TestImage src(9, 1, kMemImgR5G6B5);
  TestImage dst(9, 1, kMemImgR5G6B5);
  for (int x = 0; x < 9; ++x) {
    src.Set(x, 0, x % 2 == 0 ? Rgb16(31, 0, 0) : Rgb16(0, 0, 1));
    dst.Set(x, 0, x % 2 == 0 ? Rgb16(31, 0, 0) : Rgb16(0, 0, 1));
  }
  DrawMemImg(dst.img(), src.img(), 0, 0, 0, nullptr);
  for (int x = 0; x < 9; ++x) EXPECT_EQ(dst.Pixel(x, 0), x % 2 == 0 ? Rgb16(31, 0, 0) : Rgb16(0, 0, 2)) << x;

  Blend(3, 255);
  for (int x = 0; x < 9; ++x) {
    src.Set(x, 0, x % 2 == 0 ? Rgb16(0, 0, 1) : 0);
    dst.Set(x, 0, x % 2 == 0 ? Rgb16(0, 0, 0) : Rgb16(0, 0, 3));
  }
  DrawMemImg(dst.img(), src.img(), 0, 0, 0, nullptr);
  // The one-pixel rule leaves a red guard bit set where nothing borrowed from it (as the 32-bit
  // rule gives white - white = (1, 1, 0)); the blue borrow of one pixel never reaches its neighbour.
  for (int x = 0; x < 9; ++x) EXPECT_EQ(dst.Pixel(x, 0), x % 2 == 0 ? Rgb16(1, 0, 0) : Rgb16(1, 0, 3)) << x;
}

TEST_F(PlainBlit16, WideLoopsMatchOnePixelDraws) {
  std::mt19937 rng(777);
  constexpr int kW = 29, kH = 2;
  TestImage src(kW, kH, kMemImgR5G6B5, 0, 0, 0x4208);
  TestImage srcA(kW, kH, kMemImgR5G6B5, 0, 1);
  TestImage srcP(kW, kH, kMemImgR5G6B5, 1, 0, 3);
  TestImage blend(kW, kH, kMemImgSingle8);
  for (int i = 0; i < 256; ++i) srcP.SetPalette(i, rng() & 0xFFFF);
  std::vector<uint32_t> dstPixels(kW * kH);
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) {
      const uint32_t r = rng();
      src.Set(x, y, (x % 5 == 0) ? 0x4208 : (r & 0xFFFF));
      const uint32_t a = (x % 7 == 0) ? 0 : (x % 7 == 1 ? 255 : (r >> 24));
      srcA.Set(x, y, (r & 0xFFFF) | a << 16);
      srcP.Set(x, y, (x % 4 == 0) ? 3 : (r >> 8) & 0xFF);
      blend.Set(x, y, rng() & 0xFF);
      dstPixels[y * kW + x] = rng() & 0xFFFF;
    }
  }
  MakeBlendGraphWeightTable(90, 40);
  const int modes[] = {0, 1, 2, 3, 4, 10, 11};
  const int params[] = {2, 77, 128, 254, 255};
  TestImage* sources[] = {&src, &srcA, &srcP};
  for (int mode : modes) {
    for (int p : params) {
      for (int flags = 0; flags < 24; ++flags) {
        Blend(mode, p);
        SetDrawBrightColorValue((flags & 4) ? 0x40C0E0 : 0xFFFFFF);
        TestImage& s = *sources[flags >> 3];
        const MemImg* b = (flags & 2) ? blend.img() : nullptr;
        const int trans = flags & 1;
        ASSERT_TRUE(WideMatchesSingle(dstPixels, s, b, trans, 0))
            << "mode " << mode << " p " << p << " flags " << flags;
      }
    }
  }
}

}  // namespace
}  // namespace orbel
