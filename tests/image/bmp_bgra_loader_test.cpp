// BMP and raw "BGRA" loading: row order, palettes, nibbles, RLE state machines, the platform's
// conversion of other kinds to 24 bits, 16-bit channels, and refusal of broken headers.
#include <gtest/gtest.h>

#include "orbel/image/image_loader.h"
#include "platform/win/gdi/gdi_test_controls.h"
#include "tests/image/image_writers.h"

namespace orbel {
namespace {

using namespace orbel::testing;
using BmpLoader = LoaderTest;
using BgraLoader = LoaderTest;

TEST_F(BmpLoader, IndexedPicturesKeepIndicesAndPalette) {
  // The palette's fourth bytes (written as 0x77) come back 0; entries past the table are 0.
  struct Case {
    const char* name;
    int width, height;
    uint16_t bits;
    uint32_t headerSize, pitch;
    std::vector<uint32_t> values;
  } cases[] = {
      {"8-bit top-down", 3, -2, 8, 40, 4, {1, 0, 0, 0, 1, 1}},
      {"4-bit, high nibble first", 5, 2, 4, 40, 8, {1, 2, 3, 4, 5, 15, 14, 13, 12, 11}},
      {"palette after a 124-byte header", 2, 1, 8, 124, 4, {1, 0}},
  };
  for (const Case& c : cases) {
    BmpFile f = BmpOf(c.width, c.height, c.bits, c.values);
    f.headerSize = c.headerSize;
    f.palette = {0x112233, 0xABCDEF};
    ASSERT_EQ(Load(EncodeBmp(f)), 0) << c.name;
    EXPECT_EQ(image_.format.bytesPerPixel, 1) << c.name;
    EXPECT_EQ(image_.pitch, c.pitch) << c.name;
    EXPECT_EQ(Pixels(image_), c.values) << c.name;
    EXPECT_EQ(PaletteArgb(image_.format, 1), 0xABCDEFu) << c.name;
    EXPECT_EQ(PaletteArgb(image_.format, 200), 0u) << c.name;
  }
}

TEST_F(BmpLoader, ShortColourTablesGiveTheColoursTheFileUses) {
  // A table of the colours-used count before the pixels is read as it is, the rest of the palette 0;
  // a file that holds the full table has all of it read, whatever its count says.
  struct Case {
    const char* name;
    uint16_t bits;
    uint32_t tableEntries, colorsUsed;
    size_t fileSize;
    int lastColour;  // the last palette entry the file gives
  } cases[] = {
      {"8-bit sprite of 48 colours", 8, 48, 48, 14 + 40 + 48 * 4 + 16 * 16, 47},
      {"4-bit of 6 colours", 4, 6, 6, 14 + 40 + 6 * 4 + 8 * 16, 5},
      {"full 8-bit table, 48 colours used", 8, 0, 48, 14 + 40 + 256 * 4 + 16 * 16, 255},
  };
  for (const Case& c : cases) {
    const uint32_t colours = c.tableEntries != 0 ? c.tableEntries : 1u << c.bits;
    std::vector<uint32_t> indices(16 * 16);
    for (size_t i = 0; i < indices.size(); ++i) indices[i] = static_cast<uint32_t>((i * 7) % colours);
    BmpFile f = BmpOf(16, 16, c.bits, indices);
    for (uint32_t i = 0; i < (1u << c.bits); ++i) f.palette.push_back(0x010000 * i + 0x0100 * (255 - i) + 0x33);
    f.tableEntries = c.tableEntries;
    f.colorsUsed = c.colorsUsed;
    const Bytes file = EncodeBmp(f);
    ASSERT_EQ(file.size(), c.fileSize) << c.name;
    ASSERT_EQ(Load(file), 0) << c.name;
    EXPECT_EQ(image_.format.bytesPerPixel, 1) << c.name;
    EXPECT_EQ(Pixels(image_), indices) << c.name;
    for (int i : {0, c.lastColour / 2, c.lastColour}) EXPECT_EQ(PaletteArgb(image_.format, i), f.palette[i]) << c.name << " " << i;
    for (int i = c.lastColour + 1; i < 256; ++i) ASSERT_EQ(PaletteArgb(image_.format, i), 0u) << c.name << " " << i;
  }
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
    BmpFile f{.width = 4, .height = 3, .bitCount = c.bits, .compression = c.compression, .data = c.data};
    ASSERT_EQ(Load(EncodeBmp(f)), 0) << c.name;
    EXPECT_EQ(image_.format.bytesPerPixel, 1) << c.name;
    EXPECT_EQ(Pixels(image_), c.expected) << c.name;
  }
}

TEST_F(BmpLoader, OtherKindsComeBackTopDownAtTwentyFourBits) {
  struct Case {
    const char* name;
    uint16_t bits;
    uint32_t compression;
    int height;
    std::vector<uint32_t> values;
    uint32_t masks[3];
    std::vector<uint32_t> expected;
  } cases[] = {
      {"24-bit bottom-up", 24, 0, 2, {0x010203, 0x040506, 0x070809, 0x0A0B0C, 0x0D0E0F, 0x101112}, {},
       {0x010203, 0x040506, 0x070809, 0x0A0B0C, 0x0D0E0F, 0x101112}},
      {"1-bit", 1, 0, 1, {1, 0, 1}, {}, {0xFF8000, 0x000080, 0xFF8000}},
      {"16-bit 5:5:5", 16, 0, 1, {0x7FFF, 0x4210, 0x0000}, {}, {0xFFFFFF, 0x848484, 0x000000}},
      {"32-bit drops alpha", 32, 0, 1, {0x80123456, 0xFF000000, 0x00FFFFFF}, {}, {0x123456, 0x000000, 0xFFFFFF}},
      {"5:6:5 bit fields", 16, 3, 1, {0xF800, 0x07E0, 0x001F}, {0xF800, 0x07E0, 0x001F},
       {0xFF0000, 0x00FF00, 0x0000FF}},
      {"32-bit bit fields", 32, 3, 1, {0x000000FF, 0x0000FF00, 0x00FF0000}, {0xFF, 0xFF00, 0xFF0000},
       {0xFF0000, 0x00FF00, 0x0000FF}},
  };
  for (const Case& c : cases) {
    BmpFile f = BmpOf(3, c.height, c.bits, c.values);
    f.compression = c.compression;
    f.palette = {0x000080, 0xFF8000};
    for (int i = 0; i < 3; ++i) f.masks[i] = c.masks[i];
    ASSERT_EQ(Load(EncodeBmp(f)), 0) << c.name;
    EXPECT_EQ(image_.format.bitDepth, 24) << c.name;
    EXPECT_EQ(image_.pitch, 12u) << c.name;
    EXPECT_EQ(Pixels(image_), c.expected) << c.name;
  }
}

TEST_F(BmpLoader, BrokenHeadersAreRefused) {
  BmpFile good = BmpOf(4, 4, 8, std::vector<uint32_t>(16, 1));
  Bytes valid = EncodeBmp(good);
  ASSERT_EQ(Load(valid), 0);
  // Cut at every header boundary and inside the pixels.
  ExpectCutsRefused(valid, {0, 2, 14, 30, 54, 54 + 1024, valid.size() - 1});
  ExpectBreaksRefused<BmpFile>(
      good, EncodeBmp,
      {
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
          {"short colour table without a count", [](BmpFile& f) { f.tableEntries = 48; }},
          {"colours used past the pixel offset", [](BmpFile& f) { f.tableEntries = 48; f.colorsUsed = 49; }},
      });
}

TEST_F(BmpLoader, PlatformFailureIsLoggedAndRefused) {
  Bytes bmp = EncodeBmp(BmpOf(1, 1, 1, {1}));
  plat::test::FailNextCreateDibSection();
  // The BMP loader refuses; no later loader accepts the file either.
  EXPECT_EQ(Load(bmp), -1);
  EXPECT_EQ(Load(bmp), 0) << "the fault was one-shot";
}

TEST_F(BgraLoader, EightAndSixteenBitChannels) {
  ASSERT_EQ(Load(EncodeBgra(0x08080808, 2, 1, {1, 2, 3, 4, 5, 6, 7, 8})), 0);
  EXPECT_EQ(image_.format.alphaMask, 0xFF000000u);
  EXPECT_EQ(image_.format.noneMask, 0u);
  EXPECT_EQ(image_.pitch, 8u);
  EXPECT_EQ(RawPixel(image_, 1, 0), 0x08070605u);

  Bytes wide;
  for (uint16_t v : {0x12FF, 0x3400, 0x5601, 0x78FE, 0x0000, 0xFFFF, 0x8080, 0x0101}) Put16(wide, v);
  ASSERT_EQ(Load(EncodeBgra(0x10101010, 1, 2, wide)), 0);
  EXPECT_EQ(Pixels(image_), (std::vector<uint32_t>{0x78563412, 0x0180FF00})) << "each channel keeps its high byte";

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
  for (const Case& c : cases) EXPECT_EQ(Load(c.file), -1) << c.name;
}

}  // namespace
}  // namespace orbel
