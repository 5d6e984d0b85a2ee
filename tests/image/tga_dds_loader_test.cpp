// TGA and DDS loading: orientation bits, colour maps, packets and the footer; the five block kinds with
// their exact integer formulas, uncompressed mask formats, and refusal of broken headers.
#include <gtest/gtest.h>

#include "orbel/image/image_loader.h"
#include "tests/image/image_writers.h"

namespace orbel {
namespace {

using namespace orbel::testing;
using TgaLoader = LoaderTest;
using DdsLoader = LoaderTest;
using Values = std::vector<uint32_t>;

Bytes Items(std::initializer_list<uint32_t> values, size_t unit) {
  Bytes b;
  for (uint32_t v : values)
    for (size_t i = 0; i < unit; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
  return b;
}

TEST_F(TgaLoader, OrientationBits) {
  // File order 1 2 3 / 4 5 6 (2 rows of 3, 32 bits).
  struct Case {
    uint8_t descriptor;
    Values expected;
  } cases[] = {
      {0x28, {1, 2, 3, 4, 5, 6}},  // top-left origin: used as read
      {0x08, {4, 5, 6, 1, 2, 3}},  // bottom-left: rows reversed
      {0x38, {3, 2, 1, 6, 5, 4}},  // top-right: every row mirrored
      {0x18, {6, 5, 4, 3, 2, 1}},  // bottom-right: both
  };
  for (const Case& c : cases) {
    TgaFile f{.width = 3, .height = 2, .pixelDepth = 32, .descriptor = c.descriptor,
              .data = Items({1, 2, 3, 4, 5, 6}, 4)};
    ASSERT_EQ(Load(EncodeTga(f)), 0) << int{c.descriptor};
    EXPECT_EQ(image_.format.alphaMask, 0xFF000000u) << int{c.descriptor};
    EXPECT_EQ(image_.pitch, 12u) << int{c.descriptor};
    EXPECT_EQ(Pixels(image_), c.expected) << int{c.descriptor};
  }
}

TEST_F(TgaLoader, DepthsAndUnroundedPitch) {
  TgaFile f{.width = 3, .height = 1, .pixelDepth = 16, .data = Items({0xFFFF, 0x7C00, 0x001F}, 2)};
  ASSERT_EQ(Load(EncodeTga(f)), 0);
  EXPECT_EQ(image_.pitch, 6u) << "no rounding to 4";
  EXPECT_EQ(image_.format.redMask, 0x7C00u);
  EXPECT_EQ(image_.format.alphaWidth, 0) << "the attribute bit is not alpha";
  EXPECT_EQ(image_.format.noneMask, 0x8000u);
  EXPECT_EQ(Pixels(image_), (Values{0xFFFF, 0x7C00, 0x001F}));

  f.pixelDepth = 24;
  f.data = Items({0x010203, 0x040506, 0x070809}, 3);
  ASSERT_EQ(Load(EncodeTga(f)), 0);
  EXPECT_EQ(image_.pitch, 9u);
  EXPECT_EQ(image_.format.bitDepth, 24);
  EXPECT_EQ(Pixels(image_), (Values{0x010203, 0x040506, 0x070809}));

  f.width = 8192;
  f.data = Bytes(8192 * 3, 0x5A);
  EXPECT_EQ(Load(EncodeTga(f)), 0) << "width 8192 is accepted";
  f.width = 8193;
  f.data = Bytes(8193 * 3, 0x5A);
  EXPECT_EQ(Load(EncodeTga(f)), -1) << "width 8193 is refused";
}

TEST_F(TgaLoader, ColourMapsAndPackets) {
  // A 24-bit map starting at entry 10; index 3 lies below it and reads as black.
  TgaFile f{.mapType = 1, .imageType = 1, .mapFirst = 10, .mapLength = 2, .mapEntrySize = 24, .width = 3,
            .height = 1, .pixelDepth = 8, .map = Items({0xAABBCC, 0x112233}, 3), .data = {10, 11, 3}};
  ASSERT_EQ(Load(EncodeTga(f)), 0);
  EXPECT_EQ(Pixels(image_), (Values{0xAABBCC, 0x112233, 0}));

  // The same picture run-length coded, with and without a footer after the packets.
  f.imageType = 9;
  f.width = 5;
  f.data = EncodeTgaPackets({10, 10, 10, 11, 3}, 1);
  for (bool footer : {false, true}) {
    f.footer = footer;
    ASSERT_EQ(Load(EncodeTga(f)), 0) << footer;
    EXPECT_EQ(Pixels(image_), (Values{0xAABBCC, 0xAABBCC, 0xAABBCC, 0x112233, 0})) << footer;
  }

  // True-colour packets; a packet running past the picture is clipped.
  TgaFile t{.imageType = 10, .width = 2, .height = 2, .pixelDepth = 32, .descriptor = 0x28,
            .data = {0x81, 4, 3, 2, 1, 0x82, 9, 9, 9, 9}, .footer = true};
  ASSERT_EQ(Load(EncodeTga(t)), 0);
  EXPECT_EQ(Pixels(image_), (Values{0x01020304, 0x01020304, 0x09090909, 0x09090909}));

  // A map that would run past 256 entries keeps only what fits.
  f.imageType = 1;
  f.footer = false;
  f.mapFirst = 255;
  f.mapLength = 3;
  f.map = Items({0x0000FF, 0x00FF00, 0xFF0000}, 3);
  f.width = 1;
  f.data = {255};
  ASSERT_EQ(Load(EncodeTga(f)), 0);
  EXPECT_EQ(Pixels(image_), (Values{0x0000FF}));
}

TEST_F(TgaLoader, BrokenHeadersAreRefused) {
  TgaFile good{.width = 4, .height = 4, .pixelDepth = 24, .data = Bytes(48, 7)};
  Bytes valid = EncodeTga(good);
  ASSERT_EQ(Load(valid), 0);
  ExpectCutsRefused(valid, {5, 17, 18, valid.size() - 1});
  ExpectBreaksRefused<TgaFile>(
      good, EncodeTga,
      {
          {"type 3", [](TgaFile& f) { f.imageType = 3; }},
          {"type 11", [](TgaFile& f) { f.imageType = 11; }},
          {"x origin", [](TgaFile& f) { f.xOrigin = 1; }},
          {"zero height", [](TgaFile& f) { f.height = 0; }},
          {"depth 8", [](TgaFile& f) { f.pixelDepth = 8; }},
          {"mapped 16-bit indices", [](TgaFile& f) { f.imageType = 1; f.mapEntrySize = 24; f.pixelDepth = 16; }},
          {"packets too short", [](TgaFile& f) { f.imageType = 10; f.height = 8192; f.width = 8192; }},
      });
}

// ---- DDS --------------------------------------------------------------------------------------------

Bytes ColorHalf(uint16_t c0, uint16_t c1, uint32_t indices) {
  Bytes b;
  Put16(b, c0);
  Put16(b, c1);
  Put32(b, indices);
  return b;
}

Bytes Join(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// A DDS file of DXTn blocks.
Bytes Blocks(int kind, const Bytes& data, uint32_t width = 4, uint32_t height = 4) {
  return EncodeDds({.width = width, .height = height, .fourCC = DxtFourCC(kind), .data = data});
}

TEST_F(DdsLoader, Dxt1ColourModes) {
  // Four-colour mode (c0 > c1): red and blue end points with their two thirds.
  ASSERT_EQ(Load(Blocks(1, ColorHalf(0xF800, 0x001F, 0xE4))), 0);
  EXPECT_EQ(image_.format.alphaMask, 0xFF000000u);
  EXPECT_EQ(image_.pitch, 16u);
  EXPECT_EQ(Row(image_, 0), (Values{0xFFFF0000, 0xFF0000FF, 0xFFAA0055, 0xFF5500AA}));
  EXPECT_EQ(RawPixel(image_, 0, 1), 0xFFFF0000u);

  // Three-colour mode (c0 <= c1): index 3 is colour 2's colour with alpha 0.
  ASSERT_EQ(Load(Blocks(1, ColorHalf(0x001F, 0xF800, 0xE4))), 0);
  EXPECT_EQ(RawPixel(image_, 2, 0), 0xFF7F007Fu);
  EXPECT_EQ(RawPixel(image_, 3, 0), 0x007F007Fu);
}

TEST_F(DdsLoader, AlphaHalves) {
  // DXT3: explicit 4-bit alphas x 17; colour always four-colour mode.
  ASSERT_EQ(Load(Blocks(3, Join({0x0F, 0x80, 0, 0, 0, 0, 0, 0}, ColorHalf(0x001F, 0xF800, 0)))), 0);
  EXPECT_EQ(Row(image_, 0), (Values{0xFF0000FF, 0x000000FF, 0x000000FF, 0x880000FF}));

  // DXT5, a0 > a1: eight-value table; pixels i = 0..7 take 3-bit indices 0..7 (0xFAC688).
  auto dxt5 = [](uint8_t a0, uint8_t a1) {
    return Join({a0, a1, 0x88, 0xC6, 0xFA, 0, 0, 0}, ColorHalf(0xFFFF, 0xFFFF, 0));
  };
  auto alphas = [&](size_t n) {
    Values out;
    for (uint32_t v : Pixels(image_)) out.push_back(v >> 24);
    out.resize(n);
    return out;
  };
  ASSERT_EQ(Load(Blocks(5, dxt5(255, 0))), 0);
  EXPECT_EQ(alphas(9), (Values{255, 0, 218, 182, 145, 109, 72, 36, 255}));
  ASSERT_EQ(Load(Blocks(5, dxt5(0, 255))), 0);
  EXPECT_EQ(alphas(8), (Values{0, 255, 51, 102, 153, 204, 0, 255}));

  // DXT4 (premultiplied, interpolated alpha): colour / alpha clamps instead of wrapping.
  Bytes dxt4 = dxt5(128, 64);
  dxt4[8] = 0x08;  // colour 0: 0x4208 expands to 65, 64, 65
  dxt4[9] = 0x42;
  ASSERT_EQ(Load(Blocks(4, dxt4)), 0);
  EXPECT_EQ(Pixels(image_)[0], 0x80817F81u) << "65 x 255 / 128 = 129, 64 x 255 / 128 = 127";
  EXPECT_EQ(Pixels(image_)[1], 0x40FFFFFFu) << "65 x 255 / 64 = 258 clamps to 255";

  // DXT2 (premultiplied, explicit alpha): alpha 0 keeps the decoded colour.
  ASSERT_EQ(Load(Blocks(2, Join({0x80, 0, 0, 0, 0, 0, 0, 0}, ColorHalf(0x4208, 0x4208, 0)))), 0);
  EXPECT_EQ(Pixels(image_)[0], 0x00414041u);
  EXPECT_EQ(Pixels(image_)[1], 0x88797879u) << "65 x 255 / 136 = 121, 64 x 255 / 136 = 120";
}

TEST_F(DdsLoader, BlockGridAndPartialBlocks) {
  // 64 x 64 DXT3: 16 x 16 blocks of 16 bytes; the last block decides the bottom-right pixel.
  Bytes data(16 * 16 * 16, 0);
  Bytes last = Join({0, 0, 0, 0, 0, 0, 0, 0xF0}, ColorHalf(0xFFFF, 0, 0x40000000));
  std::copy(last.begin(), last.end(), data.end() - 16);
  ASSERT_EQ(Load(Blocks(3, data, 64, 64)), 0);
  EXPECT_EQ(RawPixel(image_, 63, 63), 0xFF000000u) << "index 1 (black), alpha 15 x 17";
  EXPECT_EQ(RawPixel(image_, 62, 63), 0x00FFFFFFu);
  EXPECT_EQ(Load(Blocks(3, Bytes(data.begin(), data.end() - 1), 64, 64)), -1) << "data short by one";

  // 6 x 5: one whole block; the pixels beyond it stay 0.
  ASSERT_EQ(Load(Blocks(1, ColorHalf(0xFFFF, 0xFFFF, 0), 6, 5)), 0);
  EXPECT_EQ(RawPixel(image_, 3, 3), 0xFFFFFFFFu);
  EXPECT_EQ(RawPixel(image_, 4, 0), 0u);
  EXPECT_EQ(RawPixel(image_, 0, 4), 0u);
}

TEST_F(DdsLoader, UncompressedKeepsTheFileFormat) {
  DdsFile f{.flags = 0x100F, .width = 2, .height = 2, .pitch = 12, .pixelFlags = 0x41, .bitCount = 32,
            .masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000},
            .data = Items({0x80102030, 0x40506070, 0xDEADBEEF, 0x11223344, 0x55667788, 0}, 4)};
  ASSERT_EQ(Load(EncodeDds(f)), 0);
  EXPECT_EQ(image_.pitch, 12u) << "the file's own pitch";
  EXPECT_EQ(image_.format.alphaMask, 0xFF000000u);
  EXPECT_EQ(RawPixel(image_, 1, 1), 0x55667788u);

  // RGB without the alpha flag (nor the pitch flag) is accepted with the format of its masks.
  DdsFile rgb{.width = 2, .height = 2, .pitch = 12, .pixelFlags = 0x40, .bitCount = 16,
              .masks = {0xF800, 0x07E0, 0x001F, 0}, .data = Items({0xF800, 0x07E0, 0x001F, 0xFFFF}, 2)};
  ASSERT_EQ(Load(EncodeDds(rgb)), 0);
  EXPECT_EQ(image_.format.greenWidth, 6);
  EXPECT_EQ(image_.pitch, 4u);
  EXPECT_EQ(Pixels(image_), (Values{0xF800, 0x07E0, 0x001F, 0xFFFF}));

  // A Direct3D format code in the FourCC field (23: R5G6B5).
  ASSERT_EQ(Load(EncodeDds({.width = 2, .height = 1, .pixelFlags = 0x4, .fourCC = 23,
                            .data = Items({0x07E0, 0x001F}, 2)})),
            0);
  EXPECT_EQ(image_.format.redMask, 0xF800u);
  EXPECT_EQ(Pixels(image_), (Values{0x07E0, 0x001F}));
}

TEST_F(DdsLoader, BrokenHeadersAreRefused) {
  DdsFile good{.width = 2, .height = 2, .pixelFlags = 0x40, .bitCount = 32, .masks = {0xFF0000}, .data = Bytes(16, 1)};
  Bytes valid = EncodeDds(good);
  ASSERT_EQ(Load(valid), 0);
  ExpectCutsRefused(valid, {3, 4, 100, 127, 128, valid.size() - 1});
  ExpectBreaksRefused<DdsFile>(
      good, EncodeDds,
      {
          {"bit count 0", [](DdsFile& f) { f.bitCount = 0; }},
          {"bit count 12", [](DdsFile& f) { f.bitCount = 12; }},
          {"pitch below a row", [](DdsFile& f) { f.flags |= 0x8; f.pitch = 7; }},
          {"zero width", [](DdsFile& f) { f.width = 0; }},
          {"overflowing size", [](DdsFile& f) { f.width = 0x10000; f.height = 0x10000; }},
          {"unknown FourCC", [](DdsFile& f) { f.pixelFlags = 0x4; f.fourCC = 0x36545844; }},
          {"D3D code with other flags", [](DdsFile& f) { f.pixelFlags = 0x44; f.fourCC = 21; }},
          {"huge block picture",
           [](DdsFile& f) { f.pixelFlags = 0x4; f.fourCC = DxtFourCC(1); f.width = 60000; f.height = 60000; }},
      });
}

}  // namespace
}  // namespace orbel
