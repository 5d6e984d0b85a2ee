// Small writers of picture files for the image tests: BMP, TGA, DDS and raw "BGRA" byte for byte from
// the fields given (so tests can also break any field), PNG through libpng and JPEG through libjpeg,
// loading of bytes through the library's dispatch from memory, pixel read-back, and the loader fixture.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "orbel/image/color_data.h"
#include "tests/support/test_support.h"

namespace orbel::testing {

using Bytes = std::vector<uint8_t>;

void Put16(Bytes& b, uint32_t v);
void Put32(Bytes& b, uint32_t v);

// ---- BMP --------------------------------------------------------------------------------------------

struct BmpFile {
  int32_t width = 1;
  int32_t height = 1;  // negative: rows stored top-down
  uint16_t bitCount = 24;
  uint32_t compression = 0;
  uint32_t headerSize = 40;       // extra header bytes beyond 40 are written as zeros
  std::vector<uint32_t> palette{};  // 0x00RRGGBB; padded with zeros to the table's size for <= 8 bits
  uint32_t tableEntries = 0;        // colour-table entries written; 0: 2^bits
  uint32_t colorsUsed = 0;          // the header's colours-used count
  uint32_t masks[3] = {0, 0, 0};  // written after the 40 header bytes when compression is 3
  Bytes data{};                     // pixel data exactly as stored
  int64_t offsetAdjust = 0;       // added to the pixel-data offset field
};
Bytes EncodeBmp(const BmpFile& file);
// A BMP of the size and depth holding `values`, a top-down grid of indices (<= 8 bits) or little-endian
// raw values, packed into padded rows; a negative height stores the rows top-down.
BmpFile BmpOf(int width, int height, uint16_t bitCount, const std::vector<uint32_t>& values);

// ---- TGA --------------------------------------------------------------------------------------------

struct TgaFile {
  uint8_t mapType = 0;
  uint8_t imageType = 2;
  uint16_t mapFirst = 0;
  uint16_t mapLength = 0;
  uint8_t mapEntrySize = 0;
  uint16_t xOrigin = 0;
  uint16_t yOrigin = 0;
  uint16_t width = 1;
  uint16_t height = 1;
  uint8_t pixelDepth = 24;
  uint8_t descriptor = 0x20;
  Bytes id{};
  Bytes map{};   // colour-map bytes
  Bytes data{};  // pixel data (plain or packets) as stored
  bool footer = false;
};
Bytes EncodeTga(const TgaFile& file);
// Run-length packets for `count` items of `unit` bytes: runs of equal items become run packets.
Bytes EncodeTgaPackets(const Bytes& items, size_t unit);

// ---- DDS --------------------------------------------------------------------------------------------

struct DdsFile {
  uint32_t flags = 0x1007;
  uint32_t width = 4;
  uint32_t height = 4;
  uint32_t pitch = 0;
  uint32_t pixelFlags = 0x4;
  uint32_t fourCC = 0;
  uint32_t bitCount = 0;
  uint32_t masks[4] = {0, 0, 0, 0};
  Bytes data{};
};
Bytes EncodeDds(const DdsFile& file);
constexpr uint32_t DxtFourCC(int n) { return 0x30545844u + static_cast<uint32_t>(n) * 0x01000000u; }

// ---- BGRA -------------------------------------------------------------------------------------------

Bytes EncodeBgra(uint32_t layout, uint32_t width, uint32_t height, const Bytes& data);

// ---- PNG and JPEG -----------------------------------------------------------------------------------

struct PngFile {
  uint32_t width = 1;
  uint32_t height = 1;
  int bitDepth = 8;
  int colorType = 2;  // PNG_COLOR_TYPE_*
  bool interlaced = false;
  Bytes rows{};                     // packed rows as PNG stores them (big-endian samples), no filter byte
  std::vector<uint32_t> palette{};  // 0x00RRGGBB
  Bytes trns{};                     // palette alphas, or a grey/RGB key as PNG stores it
};
Bytes EncodePng(const PngFile& file);
// Pixels: top-down rows of `components` bytes per pixel (1 grey, 3 RGB).
Bytes EncodeJpeg(const Bytes& pixels, int width, int height, int components, int quality, bool progressive);

// ---- Loading ----------------------------------------------------------------------------------------

// Loads bytes through the loader dispatch from memory; the result of LoadImageFromStream.
int LoadFromBytes(const Bytes& bytes, GraphImage* image, int mirror = 0);
// The pixel at (x, y) as its raw little-endian value; one row, or every pixel in reading order.
uint32_t RawPixel(const GraphImage& image, uint32_t x, uint32_t y);
std::vector<uint32_t> Row(const GraphImage& image, uint32_t y);
std::vector<uint32_t> Pixels(const GraphImage& image);
// Palette entry i as 0xAARRGGBB.
uint32_t PaletteArgb(const ColorData& format, int i);
// An 8-bit grey-ramp palette image over caller-owned indices.
GraphImage Grey8Image(uint8_t* indices, uint32_t width, uint32_t height, uint32_t pitch);

// Loads into one image record; on tear-down frees it and checks that no memory block, DIB section or
// memory DC is left alive.
class LoaderTest : public ::testing::Test {
 protected:
  LoaderTest();
  void TearDown() override;
  int Load(const Bytes& bytes);  // frees the previous image first
  // Each prefix of `valid` cut at one of `cuts` bytes is refused.
  void ExpectCutsRefused(const Bytes& valid, std::initializer_list<size_t> cuts);
  // Each case breaks a copy of `good` in one way; every broken file is refused.
  template <class File>
  struct Breakage {
    const char* name;
    void (*breakIt)(File&);
  };
  template <class File>
  void ExpectBreaksRefused(const File& good, Bytes (*encode)(const File&),
                           std::initializer_list<Breakage<File>> cases) {
    for (const Breakage<File>& c : cases) {
      File f = good;
      c.breakIt(f);
      EXPECT_EQ(Load(encode(f)), -1) << c.name;
    }
  }
  GraphImage image_{};
  int blocks_;
};

// Installs the virtual clock and a fresh working directory where the log file is started.
class LoggedTest : public VirtualClockTest {
 protected:
  void SetUp() override;
  void TearDown() override;
  std::string LogText() const { return ReadFileText(work_.path() / "Log.txt"); }
  ScopedWorkDir work_;
};

}  // namespace orbel::testing
