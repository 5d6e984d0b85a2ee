// BMP and raw "BGRA" loading: row order, palettes, nibbles, RLE state machines, the platform's
// conversion of other kinds to 24 bits, 16-bit channels, and refusal of broken headers.
#include <gtest/gtest.h>

#include "orbel/core/memory.h"
#include "orbel/image/image_loader.h"
#include "platform/win/gdi_test_controls.h"
#include "tests/image/image_writers.h"

namespace orbel {
namespace {

using namespace orbel::testing;

class BmpLoader : public ::testing::Test {
 protected:
  void TearDown() override {
    FreeGraphImage(&image_);
    EXPECT_EQ(GetMemoryBlockCount(), blocks_) << "every block is freed";
    EXPECT_EQ(plat::test::GetGdiDibCounters().liveSections, 0);
    EXPECT_EQ(plat::test::GetGdiDibCounters().liveMemoryDcs, 0);
  }
  GraphImage image_{};
  int blocks_ = GetMemoryBlockCount();
};

TEST_F(BmpLoader, RowCopiesComeBackTopDown) {
  // Bottom-up 24-bit, width 3: stride 12.
  BmpFile f;
  f.width = 3;
  f.height = 2;
  f.data = PackBmpRows({0x010203, 0x040506, 0x070809, 0x0A0B0C, 0x0D0E0F, 0x101112}, 3, 2, 24, true);
  ASSERT_EQ(LoadFromBytes(EncodeBmp(f), &image_), 0);
  EXPECT_EQ(image_.format.bitDepth, 24);
  EXPECT_EQ(image_.pitch, 12u);
  EXPECT_EQ(RawPixel(image_, 0, 0), 0x010203u);
  EXPECT_EQ(RawPixel(image_, 2, 1), 0x101112u);
  FreeGraphImage(&image_);

  // Top-down 8-bit keeps its rows; the palette's fourth bytes become 0.
  f.bitCount = 8;
  f.height = -2;
  f.palette = {0x112233, 0x445566};
  f.data = PackBmpRows({1, 0, 0, 0, 1, 1}, 3, 2, 8, false);
  ASSERT_EQ(LoadFromBytes(EncodeBmp(f), &image_), 0);
  EXPECT_EQ(image_.format.bytesPerPixel, 1);
  EXPECT_EQ(image_.pitch, 4u);
  EXPECT_EQ(RawPixel(image_, 0, 0), 1u);
  EXPECT_EQ(RawPixel(image_, 2, 1), 1u);
  EXPECT_EQ(image_.format.palette[1].red, 0x44);
  EXPECT_EQ(image_.format.palette[1].blue, 0x66);
  EXPECT_EQ(image_.format.palette[1].alpha, 0);
  EXPECT_EQ(image_.format.palette[200].red, 0);
}

TEST_F(BmpLoader, FourBitPixelsUnpackHighNibbleFirst) {
  BmpFile f;
  f.width = 5;
  f.height = 2;
  f.bitCount = 4;
  f.palette.assign(16, 0x010101);
  f.data = PackBmpRows({1, 2, 3, 4, 5, 15, 14, 13, 12, 11}, 5, 2, 4, true);
  ASSERT_EQ(LoadFromBytes(EncodeBmp(f), &image_), 0);
  EXPECT_EQ(image_.pitch, 8u);
  std::vector<uint32_t> row0, row1;
  for (uint32_t x = 0; x < 5; ++x) row0.push_back(RawPixel(image_, x, 0)), row1.push_back(RawPixel(image_, x, 1));
  EXPECT_EQ(row0, (std::vector<uint32_t>{1, 2, 3, 4, 5}));
  EXPECT_EQ(row1, (std::vector<uint32_t>{15, 14, 13, 12, 11}));
}

TEST_F(BmpLoader, RunLengthEncodings) {
  struct Case {
    const char* name;
    uint32_t compression;
    uint16_t bits;
    Bytes data;
    std::vector<uint32_t> expected;  // top-down, 4 x 3
  } cases[] = {
      // Bottom row: run of 3 x 7, end of line; middle row: absolute 1 2 3 (padded), end of bitmap mid-row.
      {"rle8", 1, 8, {3, 7, 0, 0, 0, 3, 1, 2, 3, 0, 0, 1}, {0, 0, 0, 0, 1, 2, 3, 0, 7, 7, 7, 0}},
      // Delta right 2 and up 2 rows, then a run that is clipped at the row end.
      {"rle8 delta", 1, 8, {1, 5, 0, 2, 2, 2, 9, 4, 0, 1}, {0, 0, 0, 4, 0, 0, 0, 0, 5, 0, 0, 0}},
      // RLE4 alternates nibbles, high first; absolute runs of nibbles end on a word boundary.
      {"rle4", 2, 4, {4, 0x12, 0, 0, 0, 3, 0xAB, 0xC0, 2, 0xFF, 0, 1}, {0, 0, 0, 0, 10, 11, 12, 15, 1, 2, 1, 2}},
      // Data ending inside the padding of an absolute run stops there.
      {"rle8 cut after absolute run", 1, 8, {0, 3, 1, 2, 3}, {0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 0}},
  };
  for (const Case& c : cases) {
    BmpFile f;
    f.width = 4;
    f.height = 3;
    f.bitCount = c.bits;
    f.compression = c.compression;
    f.data = c.data;
    ASSERT_EQ(LoadFromBytes(EncodeBmp(f), &image_), 0) << c.name;
    EXPECT_EQ(image_.format.bytesPerPixel, 1) << c.name;
    std::vector<uint32_t> got;
    for (uint32_t y = 0; y < 3; ++y)
      for (uint32_t x = 0; x < 4; ++x) got.push_back(RawPixel(image_, x, y));
    EXPECT_EQ(got, c.expected) << c.name;
    FreeGraphImage(&image_);
  }
}

TEST_F(BmpLoader, OtherKindsConvertToTwentyFourBits) {
  struct Case {
    const char* name;
    uint16_t bits;
    uint32_t compression;
    std::vector<uint32_t> values;
    uint32_t masks[3];
    std::vector<uint32_t> expected;
  } cases[] = {
      {"1-bit", 1, 0, {1, 0, 1}, {}, {0xFF8000, 0x000080, 0xFF8000}},
      {"16-bit 5:5:5", 16, 0, {0x7FFF, 0x4210, 0x0000}, {}, {0xFFFFFF, 0x848484, 0x000000}},
      {"32-bit drops alpha", 32, 0, {0x80123456, 0xFF000000, 0x00FFFFFF}, {}, {0x123456, 0x000000, 0xFFFFFF}},
      {"5:6:5 bit fields", 16, 3, {0xF800, 0x07E0, 0x001F}, {0xF800, 0x07E0, 0x001F}, {0xFF0000, 0x00FF00, 0x0000FF}},
      {"32-bit bit fields", 32, 3, {0x000000FF, 0x0000FF00, 0x00FF0000}, {0xFF, 0xFF00, 0xFF0000}, {0xFF0000, 0x00FF00, 0x0000FF}},
  };
  for (const Case& c : cases) {
    BmpFile f;
    f.width = 3;
    f.height = 1;
    f.bitCount = c.bits;
    f.compression = c.compression;
    f.palette = {0x000080, 0xFF8000};
    for (int i = 0; i < 3; ++i) f.masks[i] = c.masks[i];
    f.data = PackBmpRows(c.values, 3, 1, c.bits, true);
    ASSERT_EQ(LoadFromBytes(EncodeBmp(f), &image_), 0) << c.name;
    EXPECT_EQ(image_.format.bitDepth, 24) << c.name;
    EXPECT_EQ(image_.pitch, 12u) << c.name;
    std::vector<uint32_t> got;
    for (uint32_t x = 0; x < 3; ++x) got.push_back(RawPixel(image_, x, 0));
    EXPECT_EQ(got, c.expected) << c.name;
    FreeGraphImage(&image_);
  }
}

TEST_F(BmpLoader, LargerHeadersReadTheirPaletteAfterTheHeader) {
  BmpFile f;
  f.headerSize = 124;
  f.width = 2;
  f.height = 1;
  f.bitCount = 8;
  f.palette = {0x000000, 0xABCDEF};
  f.data = PackBmpRows({1, 0}, 2, 1, 8, true);
  ASSERT_EQ(LoadFromBytes(EncodeBmp(f), &image_), 0);
  EXPECT_EQ(image_.format.palette[1].red, 0xAB);
  EXPECT_EQ(image_.format.palette[1].blue, 0xEF);
}

TEST_F(BmpLoader, BrokenHeadersAreRefused) {
  BmpFile good;
  good.width = 4;
  good.height = 4;
  good.bitCount = 8;
  good.data = PackBmpRows(std::vector<uint32_t>(16, 1), 4, 4, 8, true);
  Bytes valid = EncodeBmp(good);
  ASSERT_EQ(LoadFromBytes(valid, &image_), 0);
  FreeGraphImage(&image_);
  // Cut at every header boundary and inside the pixels.
  for (size_t cut : {size_t{0}, size_t{2}, size_t{14}, size_t{30}, size_t{54}, size_t{54 + 1024}, valid.size() - 1}) {
    EXPECT_EQ(LoadFromBytes(Bytes(valid.begin(), valid.begin() + cut), &image_), -1) << "cut at " << cut;
  }
  struct Case {
    const char* name;
    void (*breakIt)(BmpFile&);
  } cases[] = {
      {"zero width", [](BmpFile& f) { f.width = 0; }},
      {"negative width", [](BmpFile& f) { f.width = -4; }},
      {"zero height", [](BmpFile& f) { f.height = 0; }},
      {"huge height", [](BmpFile& f) { f.height = 0x7FFFFFFF; }},
      {"most negative height", [](BmpFile& f) { f.height = INT32_MIN; }},
      {"overflowing size", [](BmpFile& f) { f.width = 0x10000; f.height = -0x10000; f.bitCount = 32; }},
      {"offset past the end", [](BmpFile& f) { f.offsetAdjust = 100000; }},
      {"offset inside the header", [](BmpFile& f) { f.offsetAdjust = -1060; }},
      {"bit count 7", [](BmpFile& f) { f.bitCount = 7; }},
      {"RLE8 at 4 bits", [](BmpFile& f) { f.compression = 1; f.bitCount = 4; }},
      {"JPEG inside", [](BmpFile& f) { f.compression = 4; }},
      {"core header", [](BmpFile& f) { f.headerSize = 12; }},
  };
  for (const Case& c : cases) {
    BmpFile f = good;
    c.breakIt(f);
    EXPECT_EQ(LoadFromBytes(EncodeBmp(f), &image_), -1) << c.name;
  }
}

TEST_F(BmpLoader, PlatformFailureIsLoggedAndRefused) {
  BmpFile f;
  f.bitCount = 1;
  f.data = PackBmpRows({1}, 1, 1, 1, true);
  plat::test::FailNextCreateDibSection();
  // The BMP loader refuses; no later loader accepts the file either.
  EXPECT_EQ(LoadFromBytes(EncodeBmp(f), &image_), -1);
  EXPECT_EQ(LoadFromBytes(EncodeBmp(f), &image_), 0) << "the fault was one-shot";
}

TEST(BgraLoader, EightAndSixteenBitChannels) {
  GraphImage image{};
  ASSERT_EQ(LoadFromBytes(EncodeBgra(0x08080808, 2, 1, {1, 2, 3, 4, 5, 6, 7, 8}), &image), 0);
  EXPECT_EQ(image.format.alphaMask, 0xFF000000u);
  EXPECT_EQ(image.format.noneMask, 0u);
  EXPECT_EQ(image.pitch, 8u);
  EXPECT_EQ(RawPixel(image, 1, 0), 0x08070605u);
  FreeGraphImage(&image);

  Bytes wide;
  for (uint16_t v : {0x12FF, 0x3400, 0x5601, 0x78FE, 0x0000, 0xFFFF, 0x8080, 0x0101}) Put16(wide, v);
  ASSERT_EQ(LoadFromBytes(EncodeBgra(0x10101010, 1, 2, wide), &image), 0);
  EXPECT_EQ(RawPixel(image, 0, 0), 0x78563412u) << "each channel keeps its high byte";
  EXPECT_EQ(RawPixel(image, 0, 1), 0x0180FF00u);
  FreeGraphImage(&image);

  struct Case {
    const char* name;
    Bytes file;
  } cases[] = {
      {"layout", EncodeBgra(0x08080810, 1, 1, {1, 2, 3, 4})},
      {"zero width", EncodeBgra(0x08080808, 0, 1, {})},
      {"overflowing size", EncodeBgra(0x08080808, 0x40000000, 0x40000000, {1, 2, 3, 4})},
      {"short pixels", EncodeBgra(0x08080808, 2, 2, {1, 2, 3, 4, 5, 6, 7, 8})},
      {"short 16-bit rows", EncodeBgra(0x10101010, 1, 2, Bytes(12, 0))},
      {"short header", Bytes{'B', 'G', 'R', 'A', 8, 8, 8, 8, 1, 0, 0}},
  };
  for (const Case& c : cases) EXPECT_EQ(LoadFromBytes(c.file, &image), -1) << c.name;
}

}  // namespace
}  // namespace orbel
