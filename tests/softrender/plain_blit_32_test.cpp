// Plain blit at 32 bits: each mode's rule with and without source alpha, transparency, brightness
// and a blend image, the packed and MMX-flag saturations, the p shortcuts, the run-code path and
// its refusals, clipping to the draw area, and the wide loops against one-pixel draws.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "orbel/softrender/blend_tables.h"
#include "orbel/softrender/plain_blit.h"
#include "softrender_test_support.h"

namespace orbel {
namespace {

using testing::TestImage;
using testing::Rgb32;
using testing::RowCase;

class PlainBlit32 : public testing::PlainBlitTest {};

TEST_F(PlainBlit32, ModeRules) {
  const uint32_t white = Rgb32(255, 255, 255);
  const RowCase cases[] = {
      // Packed add and subtract (p = 255, no MMX): guard bits or the lowest green and red bits.
      {"add", 2, 255, Rgb32(16, 32, 48), Rgb32(1, 2, 3), Rgb32(17, 34, 51)},
      {"add or-ed low bits", 2, 255, Rgb32(1, 1, 1), Rgb32(1, 1, 1), Rgb32(1, 1, 2)},
      {"add overflow sets bit 24", 2, 255, white, white, 0x01FFFFFF},
      {"sub", 3, 255, Rgb32(64, 64, 64), Rgb32(128, 128, 128), Rgb32(65, 65, 64)},
      {"sub below zero", 3, 255, white, 0, 0},
      {"sub white from white", 3, 255, white, white, Rgb32(1, 1, 0)},
      {"add p=128", 2, 128, Rgb32(255, 100, 0), Rgb32(200, 10, 5), 0x01FF3C05},
      {"sub p=128", 3, 128, Rgb32(255, 100, 0), Rgb32(200, 10, 5), 0x00480005},
      // The MMX flag selects exact per-byte saturation on all four bytes.
      {"add mmx", 2, 255, Rgb32(1, 1, 1, 0x90), Rgb32(1, 1, 1, 0x80), Rgb32(2, 2, 2, 0xFF), 0, 0, false, 1},
      {"sub mmx", 3, 255, Rgb32(1, 1, 1, 0x90), Rgb32(3, 0, 1, 0xA0), Rgb32(2, 0, 0, 0x10), 0, 0, false, 1},
      // Alpha blend: halving at p = 128 on the normal path, the general rule elsewhere.
      {"halve", 1, 128, white, 0, Rgb32(127, 127, 127)},
      {"halve loses low bits", 1, 128, Rgb32(1, 1, 1), Rgb32(1, 1, 1, 0xAB), 0},
      {"halve run path", 1, 128, Rgb32(1, 1, 1), Rgb32(1, 1, 1), Rgb32(1, 1, 1), 0, 1, true},
      {"halve run path white", 1, 128, white, 0, Rgb32(127, 127, 127), 0, 1, true},
      {"blend p=64 keeps byte 3", 1, 64, Rgb32(0, 100, 255), Rgb32(200, 100, 0, 0xAB), Rgb32(150, 100, 63, 0xAB)},
      {"p=255 is a copy", 1, 255, Rgb32(1, 2, 3, 4), Rgb32(9, 9, 9), Rgb32(1, 2, 3, 4)},
      {"p=0 draws nothing", 1, 0, white, Rgb32(9, 9, 9), Rgb32(9, 9, 9)},
      // Multiply ignores p, even p = 0.
      {"multiply white", 4, 0, white, white, Rgb32(254, 254, 254)},
      {"multiply", 4, 99, Rgb32(255, 128, 64), Rgb32(200, 100, 255, 0x11), Rgb32(199, 50, 63, 0x11)},
      // Inverted source and multiply-then-blend.
      {"invert", 10, 255, 0, Rgb32(0, 128, 255), Rgb32(254, 254, 255)},
      {"multiply then blend", 11, 128, Rgb32(255, 128, 0), Rgb32(200, 100, 50), Rgb32(199, 75, 25)},
      {"multiply then blend p=255", 11, 255, white, Rgb32(200, 200, 200), Rgb32(199, 199, 199)},
      // Modes without loops draw nothing.
      {"mode 7", 7, 128, white, Rgb32(5, 6, 7), Rgb32(5, 6, 7)},
      {"mode 5", 5, 128, white, Rgb32(5, 6, 7), Rgb32(5, 6, 7)},
      // Transparent colour: the whole value is compared.
      {"keyed copy", 0, 255, Rgb32(1, 2, 3), Rgb32(7, 7, 7), Rgb32(7, 7, 7), 0, 1, false, 0, 0xFFFFFF, -1, Rgb32(1, 2, 3)},
      {"key differs in byte 3", 0, 255, Rgb32(1, 2, 3, 1), Rgb32(7, 7, 7), Rgb32(1, 2, 3, 1), 0, 1, false, 0, 0xFFFFFF, -1,
       Rgb32(1, 2, 3)},
      {"keyed add", 2, 255, Rgb32(1, 2, 3), Rgb32(7, 7, 7), Rgb32(7, 7, 7), 0, 1, false, 1, 0xFFFFFF, -1, Rgb32(1, 2, 3)},
      // Brightness scales the source before the rule; a copy keeps the destination's byte 3.
      {"bright copy", 0, 255, white, Rgb32(0, 0, 0, 0xAB), Rgb32(128, 128, 128, 0xAB), 0, 0, false, 0, 0x808080},
      {"bright blend", 1, 64, white, 0, Rgb32(32, 16, 8), 0, 0, false, 0, 0x804020},
      // Blend image: the weight is one more factor.
      {"weighted copy", 0, 255, Rgb32(255, 50, 0), Rgb32(0, 100, 255), Rgb32(99, 80, 155), 0, 0, false, 0, 0xFFFFFF, 100},
      {"weighted blend", 1, 200, Rgb32(255, 50, 0), Rgb32(0, 100, 255), Rgb32(77, 84, 177), 0, 0, false, 0, 0xFFFFFF, 100},
      {"weighted multiply", 4, 1, Rgb32(255, 128, 64), Rgb32(200, 100, 255), Rgb32(77, 19, 24), 0, 0, false, 0, 0xFFFFFF, 100},
  };
  for (const RowCase& c : cases) EXPECT_TRUE(testing::CheckRow(kMemImgX8R8G8B8, c));
}

TEST_F(PlainBlit32, AlphaSourceRules) {
  const uint32_t white = Rgb32(255, 255, 255);
  const RowCase cases[] = {
      // With the transparency flag: alpha 0 skipped, 255 copied whole, others blended.
      {"alpha 0 skipped", 0, 255, Rgb32(255, 255, 255, 0), Rgb32(1, 2, 3, 9), Rgb32(1, 2, 3, 9), 1, 1},
      {"alpha 255 copied whole", 0, 255, Rgb32(4, 5, 6, 255), Rgb32(1, 2, 3, 9), Rgb32(4, 5, 6, 255), 1, 1},
      {"alpha 128", 0, 255, Rgb32(255, 50, 0, 128), Rgb32(0, 100, 255, 9), Rgb32(127, 75, 127, 9), 1, 1},
      {"alpha 128 run path", 0, 255, Rgb32(255, 50, 0, 128), Rgb32(0, 100, 255, 9), Rgb32(127, 75, 127, 9), 1, 1, true},
      // Without the flag a copy ignores alpha.
      {"no flag copies", 0, 255, Rgb32(4, 5, 6, 0), Rgb32(1, 2, 3), Rgb32(4, 5, 6, 0), 1, 0},
      {"blend a=100 p=200", 1, 200, Rgb32(255, 50, 0, 100), Rgb32(0, 100, 255), Rgb32(77, 84, 177), 1, 1},
      {"blend no flag a=0", 1, 200, Rgb32(255, 50, 0, 0), Rgb32(0, 100, 255), Rgb32(0, 100, 255), 1, 0},
      {"add a=128 p=200", 2, 200, Rgb32(255, 100, 50, 128), Rgb32(10, 20, 30), 0x006D3B31, 1, 1},
      // Multiply: alpha 0 under the flag blackens on the normal path and is skipped as a run.
      {"multiply alpha 0", 4, 255, Rgb32(255, 255, 255, 0), Rgb32(200, 100, 50, 7), Rgb32(0, 0, 0, 7), 1, 1},
      {"multiply alpha 0 run", 4, 255, Rgb32(255, 255, 255, 0), Rgb32(200, 100, 50, 7), Rgb32(200, 100, 50, 7), 1, 1, true},
      {"multiply alpha 128", 4, 255, Rgb32(255, 128, 64, 128), Rgb32(200, 100, 255), Rgb32(99, 25, 31), 1, 1},
      {"multiply alpha 255", 4, 255, Rgb32(255, 128, 64, 255), Rgb32(200, 100, 255), Rgb32(199, 50, 63), 1, 1},
      {"invert alpha 128", 10, 255, Rgb32(0, 0, 0, 128), Rgb32(0, 128, 255), Rgb32(127, 191, 255), 1, 1},
      {"weighted alpha blend", 1, 200, Rgb32(255, 50, 0, 150), Rgb32(0, 100, 255), Rgb32(45, 91, 209), 1, 1, false, 0,
       0xFFFFFF, 100},
      {"weighted copy no flag uses alpha", 0, 255, Rgb32(255, 50, 0, 200), Rgb32(0, 100, 255), Rgb32(77, 84, 177), 1, 0,
       false, 0, 0xFFFFFF, 100},
      {"bright alpha 255", 0, 255, Rgb32(255, 255, 255, 255), Rgb32(0, 0, 0, 3), Rgb32(128, 128, 128, 3), 1, 1, false, 0,
       0x808080},
      {"white alpha 255 blend", 1, 128, white | 0xFF000000, 0, Rgb32(127, 127, 127), 1, 1},
  };
  for (const RowCase& c : cases) EXPECT_TRUE(testing::CheckRow(kMemImgX8R8G8B8, c));
}

TEST_F(PlainBlit32, PalettedSourcesCompareTheIndex) {
  const RowCase cases[] = {
      {"palette copy", 0, 255, 7, 0, Rgb32(9, 8, 7), 0, 0, false, 0, 0xFFFFFF, -1, 0, 1, Rgb32(9, 8, 7)},
      {"palette key", 0, 255, 7, Rgb32(1, 1, 1), Rgb32(1, 1, 1), 0, 1, false, 0, 0xFFFFFF, -1, 7, 1, Rgb32(9, 8, 7)},
      {"palette key run", 0, 255, 7, Rgb32(1, 1, 1), Rgb32(1, 1, 1), 0, 1, true, 0, 0xFFFFFF, -1, 7, 1, Rgb32(9, 8, 7)},
      {"palette halve", 1, 128, 3, Rgb32(1, 1, 1), 0, 0, 0, false, 0, 0xFFFFFF, -1, 0, 1, Rgb32(1, 1, 1)},
      {"palette add mmx", 2, 255, 3, Rgb32(1, 1, 1), Rgb32(2, 2, 2), 0, 0, false, 1, 0xFFFFFF, -1, 0, 1, Rgb32(1, 1, 1)},
  };
  for (const RowCase& c : cases) EXPECT_TRUE(testing::CheckRow(kMemImgX8R8G8B8, c));
}

TEST_F(PlainBlit32, RefusedDrawsLeaveTheDestination) {
  TestImage src(4, 4, kMemImgX8R8G8B8);
  TestImage src16(4, 4, kMemImgR5G6B5);
  TestImage dst(8, 8, kMemImgX8R8G8B8);
  TestImage dstAlpha(8, 8, kMemImgX8R8G8B8, 0, 1);
  TestImage dstPal(8, 8, kMemImgX8R8G8B8, 1);
  src.Fill(0x00FFFFFF);
  src16.Fill(0xFFFF);
  dst.Fill(0x123456);
  dstAlpha.Fill(0x123456);
  dstPal.Fill(0x12);
  DrawMemImg(dst.img(), src16.img(), 0, 0, 0, nullptr);       // different colour types
  DrawMemImg(dstAlpha.img(), src.img(), 0, 0, 0, nullptr);    // destination with alpha
  DrawMemImg(dstPal.img(), src.img(), 0, 0, 0, nullptr);      // paletted destination
  DrawMemImg(dst.img(), src.img(), 8, 0, 0, nullptr);         // wholly right of the image
  DrawMemImg(dst.img(), src.img(), -4, 2, 0, nullptr);        // wholly left
  SetDrawClipArea(0, 0, 2, 2);
  DrawMemImg(dst.img(), src.img(), 2, 2, 0, nullptr);         // wholly outside the draw area
  SetDrawClipArea(0, 0, 640, 480);
  TestImage smallBlend(2, 2, kMemImgSingle8);
  DrawMemImg(dst.img(), src.img(), 0, 0, 0, smallBlend.img());  // blend image smaller than the source
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      ASSERT_EQ(dst.Pixel(x, y), 0x123456u) << x << "," << y;
      ASSERT_EQ(dstAlpha.Pixel(x, y), 0x123456u) << x << "," << y;
      ASSERT_EQ(dstPal.Pixel(x, y), 0x12u) << x << "," << y;
    }
  }
}

TEST_F(PlainBlit32, ClippingOffsetsTheSource) {
  TestImage src(4, 3, kMemImgX8R8G8B8);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) src.Set(x, y, static_cast<uint32_t>(10 * y + x + 1));
  TestImage dst(6, 6, kMemImgX8R8G8B8);
  SetDrawClipArea(1, 1, 5, 5);
  DrawMemImg(dst.img(), src.img(), -1, 0, 0, nullptr);
  DrawMemImg(dst.img(), src.img(), 3, 4, 0, nullptr);
  for (int y = 0; y < 6; ++y) {
    for (int x = 0; x < 6; ++x) {
      uint32_t expect = 0;
      if (x >= 1 && x <= 2 && y >= 1 && y <= 2) expect = static_cast<uint32_t>(10 * y + (x + 1) + 1);
      if (x >= 3 && x <= 4 && y == 4) expect = static_cast<uint32_t>(x - 3 + 1);
      EXPECT_EQ(dst.Pixel(x, y), expect) << x << "," << y;
    }
  }
}

// The halving rule tells the paths apart: (1, 1, 1) over (1, 1, 1) gives 0 on the normal path and
// stays 1 on the run-code path.
TEST_F(PlainBlit32, RunCodePathOnlyForUnclippedWholeImages) {
  const uint32_t one = Rgb32(1, 1, 1);
  Blend(1, 128);
  TestImage src(8, 2, kMemImgX8R8G8B8, 0, 0, 0xFF00FF);
  ASSERT_GE(src.Load(std::vector<uint32_t>(16, one)), 0);
  TestImage dst(10, 4, kMemImgX8R8G8B8);

  dst.Fill(one);
  DrawMemImg(dst.img(), src.img(), 0, 0, 1, nullptr);
  EXPECT_EQ(dst.Pixel(3, 1), one);  // run-code path

  dst.Fill(one);
  DrawMemImg(dst.img(), src.img(), 3, 2, 1, nullptr);  // bottom row clipped away by the image
  EXPECT_EQ(dst.Pixel(3, 2), 0u);

  // A view of part of the loaded image never replays the body's runs.
  MemImg view{};
  ASSERT_EQ(DeriveMemImg(&view, src.img(), 4, 0, 4, 2), 0);
  dst.Fill(one);
  DrawMemImg(dst.img(), &view, 0, 0, 1, nullptr);
  EXPECT_EQ(dst.Pixel(0, 0), 0u);
  EXPECT_EQ(dst.Pixel(3, 1), 0u);
  EXPECT_EQ(dst.Pixel(4, 0), one);  // nothing past the view's width
  TerminateMemImg(&view);
}

TEST_F(PlainBlit32, RunCodesSkipSixtyFourAndDrawTheNext) {
  const uint32_t key = 0xFF00FF;
  std::vector<uint32_t> row(65, key);
  row[64] = Rgb32(3, 4, 5);
  TestImage src(65, 1, kMemImgX8R8G8B8, 0, 0, key);
  ASSERT_GE(src.Load(row), 0);
  ASSERT_EQ(src.base()->runTable[0], 0x3F);
  ASSERT_EQ(src.base()->runTable[1], 0x40);
  ASSERT_EQ(src.base()->runTable[2], 0xC0);
  TestImage dst(66, 1, kMemImgX8R8G8B8);
  dst.Fill(7);
  DrawMemImg(dst.img(), src.img(), 0, 0, 1, nullptr);
  for (int x = 0; x < 66; ++x) EXPECT_EQ(dst.Pixel(x, 0), x == 64 ? Rgb32(3, 4, 5) : 7u) << x;
}

// Every selector combination drawn as whole rows must equal the same pixels drawn one at a time
// (one-pixel views take the per-pixel code; rows take the wide loops).
TEST_F(PlainBlit32, WideLoopsMatchOnePixelDraws) {
  std::mt19937 rng(12345);
  constexpr int kW = 37, kH = 2;
  TestImage src(kW, kH, kMemImgX8R8G8B8, 0, 0, 0x00404040);
  TestImage srcA(kW, kH, kMemImgX8R8G8B8, 0, 1);
  TestImage blend(kW, kH, kMemImgSingle8);
  std::vector<uint32_t> dstPixels(kW * kH);
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) {
      const uint32_t r = rng();
      src.Set(x, y, (x % 5 == 0) ? 0x00404040 : r);
      const uint32_t a = (x % 7 == 0) ? 0 : (x % 7 == 1 ? 255 : (r >> 24));
      srcA.Set(x, y, (r & 0xFFFFFF) | a << 24);
      blend.Set(x, y, rng() & 0xFF);
      dstPixels[y * kW + x] = rng();
    }
  }
  MakeBlendGraphWeightTable(100, 60);
  const int modes[] = {0, 1, 2, 3, 4, 10, 11};
  const int params[] = {1, 77, 128, 200, 255};
  for (int mode : modes) {
    for (int p : params) {
      for (int flags = 0; flags < 32; ++flags) {
        Blend(mode, p);
        SetDrawBrightColorValue((flags & 4) ? 0xC08040 : 0xFFFFFF);
        TestImage& s = (flags & 2) ? srcA : src;
        const MemImg* b = (flags & 8) ? blend.img() : nullptr;
        const int trans = flags & 1;
        const int mmx = (flags & 16) ? 1 : 0;
        ASSERT_TRUE(WideMatchesSingle(dstPixels, s, b, trans, mmx))
            << "mode " << mode << " p " << p << " flags " << flags;
      }
    }
  }
}

}  // namespace
}  // namespace orbel

namespace orbel {
namespace {

using namespace testing;

// Runs of an alpha source (drawn whole and unclipped) give what the normal path gives for the same
// pixels under the transparency flag, in every mode but multiply (whose alpha-0 rule differs by
// design), with and without brightness, at both depths; runs of every kind and length cross the
// SSE2 steps.
void ExpectAlphaRunsMatchTheNormalPath(int type) {
  std::mt19937 rng(99);
  constexpr int kW = 75, kH = 3;
  const bool deep = type == kMemImgX8R8G8B8;
  std::vector<uint32_t> values(kW * kH);
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW;) {
      const int n = 1 + static_cast<int>(rng() % 9);
      const uint32_t kind = rng() % 3;
      for (int i = 0; i < n && x < kW; ++i, ++x) {
        const uint32_t a = kind == 0 ? 0 : kind == 1 ? 255 : 1 + rng() % 254;
        values[y * kW + x] = deep ? (rng() & 0xFFFFFF) | a << 24 : (rng() & 0xFFFF) | a << 16;
      }
    }
  }
  TestImage src(kW, kH, type, 0, 1);
  ASSERT_GE(src.Load(values), 0);
  ASSERT_EQ(src.base()->runTableValid, 1);
  // The same pixels as a view of part of a wider image take the normal path.
  std::vector<uint32_t> wider((kW + 1) * kH, 0);
  for (int y = 0; y < kH; ++y) std::copy_n(&values[y * kW], kW, &wider[y * (kW + 1)]);
  TestImage wide(kW + 1, kH, type, 0, 1);
  ASSERT_GE(wide.Load(wider), 0);
  MemImg view{};
  ASSERT_EQ(DeriveMemImg(&view, wide.img(), 0, 0, kW, kH), 0);
  TestImage viaRuns(kW, kH, type), viaRows(kW, kH, type);
  std::vector<uint32_t> dst(kW * kH);
  for (uint32_t& d : dst) d = deep ? rng() : rng() & 0xFFFF;
  for (int mode : {0, 1, 2, 3, 10, 11}) {
    for (int p : {1, 77, 128, 255}) {
      for (uint32_t bright : {0xFFFFFFu, 0xC08040u}) {
        ASSERT_EQ(SetBlendState(mode, p), 0);
        SetDrawBrightColorValue(bright);
        for (int i = 0; i < kW * kH; ++i) {
          viaRuns.Set(i % kW, i / kW, dst[i]);
          viaRows.Set(i % kW, i / kW, dst[i]);
        }
        DrawMemImg(viaRuns.img(), src.img(), 0, 0, 1, nullptr);
        DrawMemImg(viaRows.img(), &view, 0, 0, 1, nullptr);
        int wrong = 0;
        for (int y = 0; y < kH; ++y) {
          for (int x = 0; x < kW; ++x) wrong += viaRuns.Pixel(x, y) != viaRows.Pixel(x, y) ? 1 : 0;
        }
        EXPECT_EQ(wrong, 0) << "type " << type << " mode " << mode << " p " << p << " bright " << std::hex << bright;
      }
    }
  }
  TerminateMemImg(&view);
}

TEST_F(PlainBlit32, AlphaRunsMatchTheNormalPath) {
  ExpectAlphaRunsMatchTheNormalPath(kMemImgX8R8G8B8);
  ExpectAlphaRunsMatchTheNormalPath(kMemImgR5G6B5);
}

}  // namespace
}  // namespace orbel
