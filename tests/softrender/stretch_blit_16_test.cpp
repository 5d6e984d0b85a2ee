// The stretched blit's 5:6:5 pixel code: direct sources (with and without alpha), paletted sources,
// copy and multiply-then-alpha, each mode's formula with brightness, transparency, alpha and blend
// weights, the packed saturating add and subtract, and the full-strength subtract's stepping.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>

#include "orbel/softrender/stretch_blit.h"
#include "softrender_test_support.h"

namespace orbel::testing {
namespace {

using StretchPixels16 = SoftDrawTest;

constexpr int k16 = kMemImgR5G6B5;
constexpr uint32_t A(uint32_t alpha) { return alpha << 16; }  // alpha byte of a 4-byte 5:6:5 pixel

TEST_F(StretchPixels16, DirectSourceFormulas) {
  const PixelCase cases[] = {
      {"alpha p128, white over black", {.type = k16, .mode = 1, .param = 128, .src = 0xFFFF, .dst = 0}, 0x7BEF},
      {"alpha p255 is the copy", {.type = k16, .mode = 1, .param = 255, .src = 0x1234, .dst = 0xFFFF}, 0x1234},
      {"alpha, w and a", {.type = k16, .alpha = 1, .mode = 1, .param = 128, .blendByte = 128, .src = 0xFFFF | A(128), .dst = 0}, 0x18E3},
      {"alpha a0 without TransFlag keeps d", {.type = k16, .alpha = 1, .mode = 1, .param = 128, .src = 0xFFFF, .dst = 0x1234}, 0x1234},
      {"invert p255 writes the complement", {.type = k16, .mode = 10, .src = 0x1234, .dst = 0x5555}, 0xEDCB},
      {"invert p0 keeps d", {.type = k16, .mode = 10, .param = 0, .src = 0x1234, .dst = 0x5555}, 0x5555},
      {"invert tests the uninverted word", {.type = k16, .mode = 10, .trans = 1, .transColor = 0x1234, .src = 0x1234, .dst = 0x5555}, 0x5555},
      {"invert ignores the inverted word", {.type = k16, .mode = 10, .trans = 1, .transColor = 0xEDCB, .src = 0x1234, .dst = 0x5555}, 0xEDCB},
      {"invert a255, factor formula", {.type = k16, .alpha = 1, .mode = 10, .src = A(255), .dst = 0}, 0xF7DE},
      {"invert a255 under TransFlag", {.type = k16, .alpha = 1, .mode = 10, .trans = 1, .src = A(255), .dst = 0}, 0xFFFF},
      {"add a255, factor formula", {.type = k16, .alpha = 1, .mode = 2, .src = 0xFFFF | A(255), .dst = 0}, 0xF7DE},
      {"add a255 under TransFlag", {.type = k16, .alpha = 1, .mode = 2, .trans = 1, .src = 0xFFFF | A(255), .dst = 0}, 0xFFFF},
      {"add: alpha before brightness", {.type = k16, .alpha = 1, .mode = 2, .bright = 0x808080, .src = 0xFFFF | A(200), .dst = 0}, 0x630C},
      {"add 0x8410 to itself", {.type = k16, .mode = 2, .src = 0x8410, .dst = 0x8410}, 0xFFFF},
      {"add blue 20 to blue 20", {.type = k16, .mode = 2, .src = 20, .dst = 20}, 0x003F},
      {"add green 40 to green 40", {.type = k16, .mode = 2, .src = 40 << 5, .dst = 40 << 5}, 0x0FC0},
      {"subtract a pixel from itself", {.type = k16, .mode = 3, .src = 0x1234, .dst = 0x1234}, 0x0800},
      {"subtract 0 from white", {.type = k16, .mode = 3, .src = 0, .dst = 0xFFFF}, 0xFFDF},
      {"subtract 0x2104 from 0x4208", {.type = k16, .mode = 3, .src = 0x2104, .dst = 0x4208}, 0x2904},
      {"subtract p128 from white", {.type = k16, .mode = 3, .param = 128, .src = 0xFFFF, .dst = 0xFFFF}, 0x8C10},
      {"multiply white by white", {.type = k16, .mode = 4, .param = 7, .src = 0xFFFF, .dst = 0xFFFF}, 0xF7DE},
      {"multiply a0 without TransFlag blackens", {.type = k16, .alpha = 1, .mode = 4, .src = 0xFFFF, .dst = 0xFFFF}, 0},
      {"multiply a0 under TransFlag skips", {.type = k16, .alpha = 1, .mode = 4, .trans = 1, .src = 0xFFFF, .dst = 0xFFFF}, 0xFFFF},
      {"multiply weight 0 blackens", {.type = k16, .mode = 4, .blendByte = 0, .src = 0xFFFF, .dst = 0xFFFF}, 0},
  };
  ExpectPixelCases(cases);
}

TEST_F(StretchPixels16, CopyAndMultiplyThenAlpha) {
  const PixelCase cases[] = {
      {"plain copy compares the low 16 bits of TransColor", {.type = k16, .trans = 1, .transColor = 0x12345678, .src = 0x5678, .dst = 0x1111}, 0x1111},
      {"bright copy compares all 32 bits", {.type = k16, .bright = 0xFFFFFE, .trans = 1, .transColor = 0x12345678, .src = 0x5678, .dst = 0x1111}, 0x5677},
      {"copy a255 without TransFlag", {.type = k16, .alpha = 1, .src = 0xF800 | A(255), .dst = 0}, 0xF000},
      {"copy a255 under TransFlag", {.type = k16, .alpha = 1, .trans = 1, .src = 0xF800 | A(255), .dst = 0}, 0xF800},
      {"copy alpha equal to TransColor still drawn", {.type = k16, .alpha = 1, .trans = 1, .transColor = 0xF800 | A(255), .src = 0xF800 | A(255), .dst = 0}, 0xF800},
      {"copy with weight 128", {.type = k16, .blendByte = 128, .src = 0xFFFF, .dst = 0}, 0x7BEF},
      {"mode 11: red 31 over 31", {.type = k16, .mode = 11, .src = 0xF800, .dst = 0xF800}, 0xF000},
      {"mode 11 p0 keeps d", {.type = k16, .mode = 11, .param = 0, .src = 0, .dst = 0xFFFF}, 0xFFFF},
      {"mode 11 weight 0 keeps d", {.type = k16, .mode = 11, .blendByte = 0, .src = 0, .dst = 0xFFFF}, 0xFFFF},
      {"mode 11 green on the 11-bit field", {.type = k16, .alpha = 1, .mode = 11, .src = 0x0020 | A(200), .dst = 0x0120}, 0x0040},
      {"mode 11 a255 under TransFlag: no-alpha row", {.type = k16, .alpha = 1, .mode = 11, .trans = 1, .src = 0x0020 | A(255), .dst = 0x0120}, 0},
  };
  ExpectPixelCases(cases);
}

TEST_F(StretchPixels16, PalettedFormulas) {
  auto pal = [](int mode, int param, uint32_t entry, uint32_t dst) {
    return PixelDraw{.type = k16, .paletted = 1, .mode = mode, .param = param, .src = 7, .palette = entry, .dst = dst};
  };
  auto weighted = [&](int mode, int weight) {
    PixelDraw d = pal(mode, 128, 0xFFFF, 0x1234);
    d.blendByte = weight;
    return d;
  };
  PixelDraw transIndex = pal(0, 255, 0x1234, 0x5555);
  transIndex.trans = 1;
  transIndex.transColor = 7;
  PixelDraw transOther = transIndex;
  transOther.transColor = 6;
  PixelDraw transWide = transIndex;
  transWide.transColor = 0x107;
  PixelDraw blackInvert = pal(10, 255, 0x1234, 0xFFFF);
  blackInvert.bright = 0;
  const PixelCase cases[] = {
      {"copy writes the entry", pal(0, 255, 0x1234, 0), 0x1234},
      {"TransFlag compares the index", transIndex, 0x5555},
      {"another index is drawn", transOther, 0x1234},
      {"TransColor above 255 never matches", transWide, 0x1234},
      {"alpha p128", pal(1, 128, 0xFFFF, 0), 0x7BEF},
      {"multiply white by white", pal(4, 0, 0xFFFF, 0xFFFF), 0xF7DE},
      {"mode 11 p255", pal(11, 255, 0xFFFF, 0xFFFF), 0xF7DE},
      {"add white to white", pal(2, 255, 0xFFFF, 0xFFFF), 0xFFFF},
      {"add 1 to blue 31", pal(2, 255, 1, 31), 0x003F},
      {"subtract p0 is drawn", pal(3, 0, 0xFFFF, 0x1234), 0x1A14},
      {"invert under black brightness", blackInvert, 0},
      {"weight 0: copy", weighted(0, 0), 0x1234},
      {"weight 0: alpha", weighted(1, 0), 0x1234},
      {"weight 0: add", weighted(2, 0), 0x1234},
      {"weight 0: subtract", weighted(3, 0), 0x1A14},
      {"weight 0: multiply", weighted(4, 0), 0},
      {"weight 0: invert", weighted(10, 0), 0x1234},
      {"weight 0: mode 11", weighted(11, 0), 0x1234},
  };
  ExpectPixelCases(cases);
}

// The packed add and subtract against a field-by-field reading of their rules, on random pixels.
TEST_F(StretchPixels16, PackedAddAndSubtractFollowTheirFieldRules) {
  std::mt19937 rng(5201);
  for (int i = 0; i < 400; ++i) {
    const uint32_t s = rng() & 0xFFFF;
    const uint32_t d = rng() & 0xFFFF;
    const int sr = s >> 11, sg = (s >> 5) & 63, sb = s & 31;
    const int dr = d >> 11, dg = (d >> 5) & 63, db = d & 31;
    SCOPED_TRACE(::testing::Message() << std::hex << "s " << s << ", d " << d);

    const uint32_t sum = DrawOnePixel({.type = k16, .mode = 2, .src = s, .dst = d});
    const int blueSum = db + sb;
    // Blue adds exactly; green and red add their upper bits, and a lowest bit is the OR of both
    // lowest bits and the carry out of the field below (red turns 31 whole when it saturates).
    const int greenHigh = (dg >> 1) + (sg >> 1);
    const int redHigh = (dr >> 1) + (sr >> 1);
    EXPECT_EQ(static_cast<int>(sum & 31), std::min(blueSum, 31));
    const int gOut = (sum >> 5) & 63;
    EXPECT_EQ(gOut >> 1, std::min(greenHigh, 31));
    EXPECT_EQ(gOut & 1, ((dg | sg) & 1) | (blueSum > 31 ? 1 : 0));
    const int rOut = sum >> 11;
    if (redHigh > 15) {
      EXPECT_EQ(rOut, 31);
    } else {
      EXPECT_EQ(rOut >> 1, redHigh);
      EXPECT_EQ(rOut & 1, ((dr | sr) & 1) | (greenHigh > 31 ? 1 : 0));
    }

    const uint32_t diff = DrawOnePixel({.type = k16, .mode = 3, .src = s, .dst = d});
    EXPECT_EQ(static_cast<int>(diff & 31), std::max(db - sb, 0));
    const int gDiff = (dg >> 1) - (sg >> 1);
    EXPECT_EQ(static_cast<int>((diff >> 5) & 63), gDiff < 0 ? 0 : 2 * gDiff);
    const int rDiff = (dr >> 1) - (sr >> 1);
    EXPECT_EQ(static_cast<int>(diff >> 11), rDiff < 0 ? 0 : 2 * rDiff + (gDiff >= 0 ? 1 : 0));
  }
}

// Full-strength subtract (p = 255) walks as a fast loop; p = 254 walks as the others.
TEST_F(StretchPixels16, FullStrengthSubtractStepping) {
  for (int paletted = 0; paletted <= 1; ++paletted) {
    TestImage src(16, 1, k16, paletted);
    for (int c = 0; c < 16; ++c) {
      if (paletted) {
        src.SetPalette(c, static_cast<uint32_t>(c + 1));
        src.Set(c, 0, c);
      } else {
        src.Set(c, 0, c + 1);
      }
    }
    for (int param : {255, 254}) {
      TestImage dst(8, 1, k16);
      dst.Fill(0xFFFF);
      SetBlend(3, param);
      const plat::RECT rect = {0, 0, 8, 1};
      DrawExtendMemImg(dst.img(), src.img(), &rect, 0, nullptr);
      // Blue is exact: 31 - v, with v = c + 1 at p 255 and P(254, c + 1) = c at p 254.
      std::vector<int> shown;
      for (int x = 0; x < 8; ++x) shown.push_back((param == 255 ? 30 : 31) - static_cast<int>(dst.Pixel(x, 0) & 31));
      const std::vector<int> expected =
          param == 255 ? std::vector<int>{0, 1, 3, 5, 7, 9, 11, 13} : std::vector<int>{0, 2, 4, 6, 8, 10, 12, 14};
      EXPECT_EQ(shown, expected) << "paletted " << paletted << " p " << param;
    }
  }
}

}  // namespace
}  // namespace orbel::testing
