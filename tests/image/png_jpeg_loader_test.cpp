// PNG and JPEG loading through libpng and libjpeg: the format mapping of every PNG colour type,
// interlacing, pixel order of packed pixels, progressive and grey JPEG, truncated and empty streams.
#include <png.h>

#include <gtest/gtest.h>

#include "orbel/image/image_loader.h"
#include "tests/image/image_writers.h"

namespace orbel {
namespace {

using namespace orbel::testing;

using PngLoader = LoaderTest;
using JpegLoader = LoaderTest;
using Values = std::vector<uint32_t>;

TEST_F(PngLoader, ColourTypesMapToFormats) {
  ASSERT_EQ(Load(EncodePng({.width = 2, .bitDepth = 16, .colorType = PNG_COLOR_TYPE_RGB,
                            .rows = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xFF, 0xFF, 0x00, 0x01, 0x80, 0x00}})),
            0);
  EXPECT_EQ(image_.format.bitDepth, 24);
  EXPECT_EQ(image_.pitch, 6u) << "row bytes, no rounding";
  EXPECT_EQ(Row(image_, 0), (Values{0x12569A, 0xFF0080})) << "16-bit channels keep their high byte";

  PngFile pal{.width = 3, .colorType = PNG_COLOR_TYPE_PALETTE, .rows = {2, 0, 1},
              .palette = {0x102030, 0x405060, 0x708090}};
  ASSERT_EQ(Load(EncodePng(pal)), 0);
  EXPECT_EQ(image_.format.bytesPerPixel, 1);
  EXPECT_EQ(Row(image_, 0), (Values{2, 0, 1}));
  EXPECT_EQ(PaletteArgb(image_.format, 2), 0x708090u);
  EXPECT_EQ(PaletteArgb(image_.format, 3), 0u);

  pal.trns = {0x40, 0xFF};
  ASSERT_EQ(Load(EncodePng(pal)), 0);
  EXPECT_EQ(image_.format.alphaMask, 0xFF000000u);
  EXPECT_EQ(Row(image_, 0), (Values{0xFF708090, 0x40102030, 0xFF405060})) << "entries past tRNS are opaque";

  ASSERT_EQ(Load(EncodePng({.width = 2, .colorType = PNG_COLOR_TYPE_GRAY_ALPHA, .rows = {0x11, 0x80, 0xEE, 0x00}})), 0);
  EXPECT_EQ(image_.format.bitDepth, 16);
  EXPECT_EQ(image_.format.noneMask, 0xFF00u);
  EXPECT_EQ(image_.format.alphaWidth, 0);
  EXPECT_EQ(Row(image_, 0), (Values{0x8011, 0x00EE})) << "grey in the low byte";

  ASSERT_EQ(Load(EncodePng({.width = 1, .colorType = PNG_COLOR_TYPE_RGB_ALPHA, .rows = {1, 2, 3, 4}})), 0);
  EXPECT_EQ(Row(image_, 0), (Values{0x04010203}));

  ASSERT_EQ(Load(EncodePng({.width = 2, .colorType = PNG_COLOR_TYPE_RGB, .rows = {1, 2, 3, 4, 5, 6},
                            .trns = {0, 4, 0, 5, 0, 6}})),
            0);
  EXPECT_EQ(Row(image_, 0), (Values{0xFF010203, 0x00040506})) << "an RGB key becomes alpha";
}

TEST_F(PngLoader, PackedPixelsKeepLeftToRightOrder) {
  // 1 0 1 0 0 0 0 0 | 0 1
  ASSERT_EQ(Load(EncodePng({.width = 10, .bitDepth = 1, .colorType = PNG_COLOR_TYPE_GRAY, .rows = {0xA0, 0x40}})), 0);
  EXPECT_EQ(image_.format.bytesPerPixel, 1);
  EXPECT_EQ(PaletteArgb(image_.format, 255), 0xFFFFFFu) << "grey ramp";
  EXPECT_EQ(Row(image_, 0), (Values{255, 0, 255, 0, 0, 0, 0, 0, 0, 255}));

  ASSERT_EQ(Load(EncodePng({.width = 3, .bitDepth = 4, .colorType = PNG_COLOR_TYPE_PALETTE, .rows = {0x12, 0x30},
                            .palette = Values(16, 0)})),
            0);
  EXPECT_EQ(Row(image_, 0), (Values{1, 2, 3}));
}

TEST_F(PngLoader, InterlacedEqualsPlain) {
  PngFile f{.width = 13, .height = 11, .colorType = PNG_COLOR_TYPE_RGB};
  for (uint32_t i = 0; i < f.width * f.height * 3; ++i) f.rows.push_back(static_cast<uint8_t>(i * 37 + (i >> 3)));
  ASSERT_EQ(Load(EncodePng(f)), 0);
  Values plain = Pixels(image_);
  f.interlaced = true;
  ASSERT_EQ(Load(EncodePng(f)), 0);
  EXPECT_EQ(Pixels(image_), plain);
  EXPECT_EQ(plain[1], static_cast<uint32_t>(f.rows[3] << 16 | f.rows[4] << 8 | f.rows[5]));
}

TEST_F(PngLoader, TruncatedStreamsAreRefused) {
  Bytes png = EncodePng({.width = 8, .height = 8, .colorType = PNG_COLOR_TYPE_RGB, .rows = Bytes(8 * 8 * 3, 0x33)});
  ExpectCutsRefused(png, {8, 20, 33, png.size() / 2, png.size() - 13});
  EXPECT_EQ(Load(png), 0);
}

Bytes Gradient(int width, int height, int components) {
  Bytes px;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      for (int c = 0; c < components; ++c) px.push_back(static_cast<uint8_t>(c == 0 ? x * 8 : c == 1 ? y * 8 : 128));
  return px;
}

TEST_F(JpegLoader, ColourAndGrey) {
  Bytes rgb = Gradient(32, 24, 3);
  for (bool progressive : {false, true}) {
    ASSERT_EQ(Load(EncodeJpeg(rgb, 32, 24, 3, 95, progressive)), 0) << progressive;
    EXPECT_EQ(image_.format.bitDepth, 24);
    EXPECT_EQ(image_.pitch, 96u);
    uint32_t p = RawPixel(image_, 20, 10);  // red 160, green 80, blue 128 (stored B, G, R)
    EXPECT_NEAR(static_cast<int>(p >> 16 & 0xFF), 160, 6) << progressive;
    EXPECT_NEAR(static_cast<int>(p >> 8 & 0xFF), 80, 6) << progressive;
    EXPECT_NEAR(static_cast<int>(p & 0xFF), 128, 6) << progressive;
  }

  Bytes grey = Gradient(30, 7, 1);
  ASSERT_EQ(Load(EncodeJpeg(grey, 30, 7, 1, 95, false)), 0);
  EXPECT_EQ(image_.pitch, 30u) << "pitch = width";
  EXPECT_EQ(PaletteArgb(image_.format, 100), 0x646464u) << "grey ramp";
  EXPECT_NEAR(static_cast<int>(RawPixel(image_, 25, 3)), 200, 6);
}

TEST_F(JpegLoader, TruncatedDecodesEmptyIsRefused) {
  Bytes jpeg = EncodeJpeg(Gradient(64, 64, 3), 64, 64, 3, 90, false);
  ASSERT_EQ(Load(Bytes(jpeg.begin(), jpeg.begin() + static_cast<long>(jpeg.size() * 2 / 3))), 0)
      << "a cut file ends in an inserted end-of-image code";
  EXPECT_EQ(image_.width, 64u);
  EXPECT_EQ(image_.height, 64u);
  EXPECT_EQ(Load(Bytes{}), -1);
  EXPECT_EQ(Load(Bytes{0xFF, 0xD8}), -1) << "no frame header";
}

}  // namespace
}  // namespace orbel
