// PNG and JPEG loading through libpng and libjpeg: the format mapping of every PNG colour type,
// interlacing, pixel order of packed pixels, progressive and grey JPEG, truncated and empty streams.
#include <png.h>

#include <gtest/gtest.h>

#include <cstdlib>

#include "orbel/core/memory.h"
#include "orbel/image/image_loader.h"
#include "tests/image/image_writers.h"

namespace orbel {
namespace {

using namespace orbel::testing;

class DecoderLoader : public ::testing::Test {
 protected:
  void TearDown() override {
    FreeGraphImage(&image_);
    EXPECT_EQ(GetMemoryBlockCount(), blocks_);
  }
  int Load(const Bytes& bytes) {
    FreeGraphImage(&image_);
    return LoadFromBytes(bytes, &image_);
  }
  std::vector<uint32_t> Row(uint32_t y) const {
    std::vector<uint32_t> out;
    for (uint32_t x = 0; x < image_.width; ++x) out.push_back(RawPixel(image_, x, y));
    return out;
  }
  GraphImage image_{};
  int blocks_ = GetMemoryBlockCount();
};

using PngLoader = DecoderLoader;
using JpegLoader = DecoderLoader;

TEST_F(PngLoader, ColourTypesMapToFormats) {
  PngFile rgb16;
  rgb16.width = 2;
  rgb16.bitDepth = 16;
  rgb16.colorType = PNG_COLOR_TYPE_RGB;
  rgb16.rows = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xFF, 0xFF, 0x00, 0x01, 0x80, 0x00};
  ASSERT_EQ(Load(EncodePng(rgb16)), 0);
  EXPECT_EQ(image_.format.bitDepth, 24);
  EXPECT_EQ(image_.pitch, 6u) << "row bytes, no rounding";
  EXPECT_EQ(Row(0), (std::vector<uint32_t>{0x12569A, 0xFF0080})) << "16-bit channels keep their high byte";

  PngFile pal;
  pal.width = 3;
  pal.colorType = PNG_COLOR_TYPE_PALETTE;
  pal.palette = {0x102030, 0x405060, 0x708090};
  pal.rows = {2, 0, 1};
  ASSERT_EQ(Load(EncodePng(pal)), 0);
  EXPECT_EQ(image_.format.bytesPerPixel, 1);
  EXPECT_EQ(Row(0), (std::vector<uint32_t>{2, 0, 1}));
  EXPECT_EQ(image_.format.palette[2].red, 0x70);
  EXPECT_EQ(image_.format.palette[2].blue, 0x90);
  EXPECT_EQ(image_.format.palette[2].alpha, 0);
  EXPECT_EQ(image_.format.palette[3].red, 0);

  pal.trns = {0x40, 0xFF};
  ASSERT_EQ(Load(EncodePng(pal)), 0);
  EXPECT_EQ(image_.format.alphaMask, 0xFF000000u);
  EXPECT_EQ(Row(0), (std::vector<uint32_t>{0xFF708090, 0x40102030, 0xFF405060})) << "entries past tRNS are opaque";

  PngFile greyAlpha;
  greyAlpha.width = 2;
  greyAlpha.colorType = PNG_COLOR_TYPE_GRAY_ALPHA;
  greyAlpha.rows = {0x11, 0x80, 0xEE, 0x00};
  ASSERT_EQ(Load(EncodePng(greyAlpha)), 0);
  EXPECT_EQ(image_.format.bitDepth, 16);
  EXPECT_EQ(image_.format.noneMask, 0xFF00u);
  EXPECT_EQ(image_.format.alphaWidth, 0);
  EXPECT_EQ(Row(0), (std::vector<uint32_t>{0x8011, 0x00EE})) << "grey in the low byte";

  PngFile rgba;
  rgba.width = 1;
  rgba.colorType = PNG_COLOR_TYPE_RGB_ALPHA;
  rgba.rows = {1, 2, 3, 4};
  ASSERT_EQ(Load(EncodePng(rgba)), 0);
  EXPECT_EQ(Row(0), (std::vector<uint32_t>{0x04010203}));

  PngFile keyed;
  keyed.width = 2;
  keyed.colorType = PNG_COLOR_TYPE_RGB;
  keyed.rows = {1, 2, 3, 4, 5, 6};
  keyed.trns = {0, 4, 0, 5, 0, 6};
  ASSERT_EQ(Load(EncodePng(keyed)), 0);
  EXPECT_EQ(Row(0), (std::vector<uint32_t>{0xFF010203, 0x00040506})) << "an RGB key becomes alpha";
}

TEST_F(PngLoader, PackedPixelsKeepLeftToRightOrder) {
  PngFile grey1;
  grey1.width = 10;
  grey1.bitDepth = 1;
  grey1.colorType = PNG_COLOR_TYPE_GRAY;
  grey1.rows = {0xA0, 0x40};  // 1 0 1 0 0 0 0 0 | 0 1
  ASSERT_EQ(Load(EncodePng(grey1)), 0);
  EXPECT_EQ(image_.format.bytesPerPixel, 1);
  EXPECT_EQ(image_.format.palette[255].green, 255) << "grey ramp";
  EXPECT_EQ(Row(0), (std::vector<uint32_t>{255, 0, 255, 0, 0, 0, 0, 0, 0, 255}));

  PngFile pal4;
  pal4.width = 3;
  pal4.bitDepth = 4;
  pal4.colorType = PNG_COLOR_TYPE_PALETTE;
  pal4.palette.assign(16, 0);
  pal4.rows = {0x12, 0x30};
  ASSERT_EQ(Load(EncodePng(pal4)), 0);
  EXPECT_EQ(Row(0), (std::vector<uint32_t>{1, 2, 3}));
}

TEST_F(PngLoader, InterlacedEqualsPlain) {
  PngFile f;
  f.width = 13;
  f.height = 11;
  f.colorType = PNG_COLOR_TYPE_RGB;
  for (uint32_t i = 0; i < f.width * f.height * 3; ++i) f.rows.push_back(static_cast<uint8_t>(i * 37 + (i >> 3)));
  ASSERT_EQ(Load(EncodePng(f)), 0);
  std::vector<uint32_t> plain;
  for (uint32_t y = 0; y < f.height; ++y)
    for (uint32_t v : Row(y)) plain.push_back(v);
  f.interlaced = true;
  ASSERT_EQ(Load(EncodePng(f)), 0);
  std::vector<uint32_t> adam7;
  for (uint32_t y = 0; y < f.height; ++y)
    for (uint32_t v : Row(y)) adam7.push_back(v);
  EXPECT_EQ(adam7, plain);
  EXPECT_EQ(plain[1], static_cast<uint32_t>(f.rows[3] << 16 | f.rows[4] << 8 | f.rows[5]));
}

TEST_F(PngLoader, TruncatedStreamsAreRefused) {
  PngFile f;
  f.width = 8;
  f.height = 8;
  f.colorType = PNG_COLOR_TYPE_RGB;
  f.rows.assign(8 * 8 * 3, 0x33);
  Bytes png = EncodePng(f);
  for (size_t cut : {size_t{8}, size_t{20}, size_t{33}, png.size() / 2, png.size() - 13}) {
    EXPECT_EQ(Load(Bytes(png.begin(), png.begin() + cut)), -1) << "cut at " << cut;
  }
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
  EXPECT_EQ(image_.format.palette[100].red, 100) << "grey ramp";
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
