// Hostile pictures: small files that declare huge pictures are refused quickly, in little memory and
// without leaks, before any loader allocates for them; and no loader's decoder writes to stderr.
// The same files are in the image loader's fuzz corpus (fuzz/corpus/image_loader/hostile_*).
#include <png.h>
#include <time.h>
#include <zlib.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "tests/image/image_writers.h"

namespace orbel {
namespace {

using namespace orbel::testing;

using HostileImage = LoaderTest;

void PutBig32(Bytes& b, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) b.push_back(static_cast<uint8_t>(v >> shift));
}

void PutPngChunk(Bytes& png, const char* type, const Bytes& body) {
  PutBig32(png, static_cast<uint32_t>(body.size()));
  Bytes typed(type, type + 4);
  typed.insert(typed.end(), body.begin(), body.end());
  png.insert(png.end(), typed.begin(), typed.end());
  PutBig32(png, static_cast<uint32_t>(crc32(0, typed.data(), static_cast<uInt>(typed.size()))));
}

// A PNG whose header declares width x height RGB pixels, with one tiny IDAT.
Bytes PngDeclaring(uint32_t width, uint32_t height) {
  Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  Bytes ihdr;
  PutBig32(ihdr, width);
  PutBig32(ihdr, height);
  ihdr.insert(ihdr.end(), {8, PNG_COLOR_TYPE_RGB, 0, 0, 0});
  PutPngChunk(png, "IHDR", ihdr);
  PutPngChunk(png, "IDAT", {0x78, 0x9C, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01});
  PutPngChunk(png, "IEND", {});
  return png;
}

// A real progressive JPEG of 16 x 16 whose frame header is then made to declare width x height.
Bytes ProgressiveJpegDeclaring(uint16_t width, uint16_t height) {
  Bytes jpeg = EncodeJpeg(Bytes(16 * 16 * 3, 0x80), 16, 16, 3, 75, true);
  for (size_t i = 2; i + 9 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC2) {  // SOF2: length, precision, height, width
      jpeg[i + 5] = static_cast<uint8_t>(height >> 8);
      jpeg[i + 6] = static_cast<uint8_t>(height);
      jpeg[i + 7] = static_cast<uint8_t>(width >> 8);
      jpeg[i + 8] = static_cast<uint8_t>(width);
      return jpeg;
    }
  }
  ADD_FAILURE() << "the encoder wrote no progressive frame header";
  return jpeg;
}

// An RLE4 bitmap: its 4-bit rows (width / 2 bytes each) fit the picture cap, but the decoded picture
// takes a byte per pixel, which does not. The pixel data is only an end-of-bitmap code.
Bytes Rle4BitmapOverTheCap() {
  BmpFile bmp = {.width = 65536, .height = 4500, .bitCount = 4, .compression = 2, .data = {0, 1}};
  return EncodeBmp(bmp);
}

// A 1-bit bitmap whose rows fit the cap, but whose 24-bit conversion would take 24 times as much.
Bytes MonoBitmapOverTheCap() {
  BmpFile bmp = {.width = 65536, .height = 1400, .bitCount = 1};
  bmp.data.assign(size_t{65536} / 8 * 1400, 0x55);
  return EncodeBmp(bmp);
}

double RealSeconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The process's peak resident memory (KiB) since ResetPeakMemory; -1 when the system does not say.
bool ResetPeakMemory() {
  std::ofstream out("/proc/self/clear_refs");
  out << "5";
  out.flush();
  return static_cast<bool>(out);
}

long PeakMemoryKiB() {
  std::ifstream in("/proc/self/status");
  std::string key;
  while (in >> key) {
    long value = 0;
    if (key == "VmHWM:" && in >> value) return value;
  }
  return -1;
}

TEST_F(HostileImage, HugeDeclaredPicturesAreRefusedQuicklyInLittleMemory) {
  struct Case {
    const char* name;
    Bytes file;
  };
  const Case cases[] = {
      {"progressive JPEG declaring 65000 x 65000", ProgressiveJpegDeclaring(65000, 65000)},
      {"JPEG declaring 20000 x 20000 (sides under the limit, bytes over the cap)",
       ProgressiveJpegDeclaring(20000, 20000)},
      {"PNG declaring 100000 x 100000", PngDeclaring(100000, 100000)},
      {"PNG declaring 20000 x 20000", PngDeclaring(20000, 20000)},
      {"RLE4 BMP whose indices pass the cap", Rle4BitmapOverTheCap()},
      {"1-bit BMP whose 24-bit form passes the cap", MonoBitmapOverTheCap()},
  };
  const bool measurable = ResetPeakMemory() && PeakMemoryKiB() > 0;
  for (const Case& c : cases) {
    const long before = measurable && ResetPeakMemory() ? PeakMemoryKiB() : -1;
    const double start = RealSeconds();
    EXPECT_EQ(Load(c.file), -1) << c.name;
    EXPECT_LT(RealSeconds() - start, 1.0) << c.name;
    if (before > 0) {
      EXPECT_LT(PeakMemoryKiB() - before, 100 * 1024) << c.name << ": peak memory in KiB";
    }
  }
  if (!measurable) GTEST_SKIP() << "this system does not report peak memory; only times were checked";
}

TEST_F(HostileImage, DecodersWriteNothingOnStderr) {
  const Bytes png = EncodePng({.width = 4, .height = 2, .colorType = PNG_COLOR_TYPE_RGB, .rows = Bytes(24, 7)});
  Bytes noise(64 * 64 * 3);
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<uint8_t>(i * 37 % 251);
  const Bytes jpeg = EncodeJpeg(noise, 64, 64, 3, 90, false);
  Bytes badCrc = png;
  badCrc[29] ^= 0xFF;  // the IHDR's CRC
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(Load(png), 0) << "the JPEG loader is offered the PNG first";
  EXPECT_EQ(Load(Bytes(png.begin(), png.end() - 20)), -1) << "a libpng error";
  EXPECT_EQ(Load(badCrc), -1);
  EXPECT_EQ(Load(Bytes(jpeg.begin(), jpeg.begin() + static_cast<long>(jpeg.size() * 2 / 3))), 0)
      << "a libjpeg warning";
  EXPECT_EQ(Load(ProgressiveJpegDeclaring(65000, 65000)), -1);
  EXPECT_EQ(Load(PngDeclaring(100000, 100000)), -1);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

}  // namespace
}  // namespace orbel
