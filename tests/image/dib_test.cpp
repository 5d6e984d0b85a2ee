// DIB hand-off (ConvertImageToDIBBits, CreateDIBGraph) and the GDI DIB stand-in under it: sections,
// orientation, palettes and bit fields, mirroring, blits, read-back, and the logged failures.
#include <gtest/gtest.h>

#include <cstring>

#include "orbel/core/memory.h"
#include "orbel/image/color_convert.h"
#include "platform/win/gdi/gdi_dc.h"
#include "platform/win/gdi/gdi_dib.h"
#include "platform/win/gdi/gdi_test_controls.h"
#include "tests/image/image_writers.h"

namespace orbel {
namespace {

using namespace orbel::testing;

plat::BITMAPINFO Header(int width, int height, int bits, uint32_t compression = plat::BI_RGB) {
  plat::BITMAPINFO info{};
  info.bmiHeader.biSize = 40;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = static_cast<plat::WORD>(bits);
  info.bmiHeader.biCompression = compression;
  return info;
}

uint32_t Pixel24(const void* bits, int pitch, int x, int y) {
  const uint8_t* p = static_cast<const uint8_t*>(bits) + y * pitch + x * 3;
  return static_cast<uint32_t>(p[0] | p[1] << 8 | p[2] << 16);
}

TEST(GdiDib, SectionsBlitsAndReadBack) {
  plat::HDC dc = plat::CreateCompatibleDC(nullptr);
  plat::BITMAPINFO target = Header(4, -3, 24);
  void* bits = nullptr;
  plat::HBITMAP section = plat::CreateDIBSection(dc, &target, plat::DIB_RGB_COLORS, &bits, nullptr, 0);
  ASSERT_NE(section, nullptr);
  plat::DIBSECTION ds{};
  ASSERT_EQ(plat::GetObjectA(section, sizeof(ds), &ds), static_cast<int>(sizeof(ds)));
  EXPECT_EQ(ds.dsBm.bmWidthBytes, 12);
  EXPECT_EQ(ds.dsBm.bmHeight, 3);
  EXPECT_EQ(ds.dsBm.bmBits, bits);
  plat::HGDIOBJ old = plat::SelectObject(dc, section);
  ASSERT_NE(old, nullptr);

  // A bottom-up 4-bit palette DIB: file row 0 is the bottom row.
  plat::BITMAPINFO pal = Header(4, 3, 4);
  pal.bmiColors[1] = plat::RGBQUAD{0x30, 0x20, 0x10, 0};
  pal.bmiColors[2] = plat::RGBQUAD{0x60, 0x50, 0x40, 0};
  uint8_t packed[12] = {0x12, 0x00, 0, 0, 0x00, 0x00, 0, 0, 0x22, 0x21, 0, 0};
  EXPECT_EQ(plat::SetDIBitsToDevice(dc, 0, 0, 4, 3, 0, 0, 0, 3, packed, &pal, plat::DIB_RGB_COLORS), 3);
  EXPECT_EQ(Pixel24(bits, 12, 0, 2), 0x102030u) << "bottom row";
  EXPECT_EQ(Pixel24(bits, 12, 1, 2), 0x405060u);
  EXPECT_EQ(Pixel24(bits, 12, 3, 0), 0x102030u) << "top row, last nibble";

  // A negative source width mirrors; RLE sources are refused.
  uint8_t row24[12 * 3] = {};
  for (int x = 0; x < 4; ++x) row24[x * 3] = static_cast<uint8_t>((x + 1) * 0x30);
  plat::BITMAPINFO top24 = Header(4, -3, 24);
  EXPECT_EQ(plat::StretchDIBits(dc, 0, 0, 4, 3, 3, 0, -4, 3, row24, &top24, plat::DIB_RGB_COLORS, plat::SRCCOPY), 3);
  EXPECT_EQ((std::vector<uint32_t>{Pixel24(bits, 12, 0, 0), Pixel24(bits, 12, 3, 0)}),
            (std::vector<uint32_t>{0xC0, 0x30}));
  plat::BITMAPINFO rle = Header(4, 3, 8, plat::BI_RLE8);
  EXPECT_EQ(plat::SetDIBitsToDevice(dc, 0, 0, 4, 3, 0, 0, 0, 3, row24, &rle, plat::DIB_RGB_COLORS), 0);

  // BitBlt into a bottom-up 5:6:5 bit-field section, then read it back as 32 bits.
  plat::HDC dc2 = plat::CreateCompatibleDC(nullptr);
  plat::BITMAPINFO h565 = Header(4, 3, 16, plat::BI_BITFIELDS);
  plat::SetDibMasks(&h565, 0xF800, 0x07E0, 0x001F);
  void* bits565 = nullptr;
  plat::HBITMAP s565 = plat::CreateDIBSection(dc2, &h565, plat::DIB_RGB_COLORS, &bits565, nullptr, 0);
  plat::HGDIOBJ old2 = plat::SelectObject(dc2, s565);
  EXPECT_TRUE(plat::BitBlt(dc2, 1, 0, 2, 3, dc, 0, 0, plat::SRCCOPY));
  const uint8_t* top565 = static_cast<const uint8_t*>(bits565) + 2 * 8;  // top row is stored last
  EXPECT_EQ(top565[2] | top565[3] << 8, 0xC0 >> 3);
  EXPECT_EQ(top565[4] | top565[5] << 8, 0x90 >> 3);
  plat::BITMAPINFO read = Header(4, 3, 32);
  uint32_t out[12] = {};
  EXPECT_EQ(plat::GetDIBits(dc2, s565, 0, 3, out, &read, plat::DIB_RGB_COLORS), 3);
  // Bottom-up output: scan 2 is the top row. 5-bit 24 and 18 scale to 197 and 148.
  EXPECT_EQ((std::vector<uint32_t>{out[8], out[9], out[10], out[1]}), (std::vector<uint32_t>{0, 197, 148, 0}));
  plat::SelectObject(dc2, old2);
  plat::DeleteObject(s565);
  plat::DeleteDC(dc2);

  plat::SelectObject(dc, old);
  EXPECT_EQ(plat::DeleteDC(dc), plat::TRUE);
  plat::DeleteObject(section);
  EXPECT_EQ(plat::test::GetGdiDibCounters().liveSections, 0);
  EXPECT_EQ(plat::test::GetGdiDibCounters().liveMemoryDcs, 0);
}

using DibHandOff = LoggedTest;

TEST_F(DibHandOff, ConvertImageToDibBits) {
  GraphImage image{};
  ASSERT_EQ(MakeImage24(4, 2, &image), 0);
  FillImage(&image, 1, 2, 3, 0);
  plat::BITMAPINFO header;
  memset(&header, 0xCC, sizeof(header));
  void* bits = nullptr;
  EXPECT_EQ(ConvertImageToDIBBits(&image, &header, &bits, 0, 0), 0);
  EXPECT_EQ(bits, image.pixels) << "pitch 12 equals the row size";
  EXPECT_EQ(header.bmiHeader.biHeight, -2);
  EXPECT_EQ(header.bmiHeader.biBitCount, 24);
  EXPECT_EQ(header.bmiHeader.biClrUsed, 0u);
  EXPECT_EQ(ConvertImageToDIBBits(&image, &header, &bits, 1, 0), 1) << "copy flag";
  EXPECT_NE(bits, image.pixels);
  EXPECT_EQ(Pixel24(bits, 12, 3, 1), 0x010203u);
  MemFree(bits);

  image.pitch = 16;  // a wider pitch: rows are repacked
  image.pixels = MemRealloc(image.pixels, 32);
  EXPECT_EQ(ConvertImageToDIBBits(&image, &header, &bits, 0, 0), 1);
  MemFree(bits);
  FreeGraphImage(&image);

  // A palette image keeps 8 bits and its palette unless 24 bits are forced.
  uint8_t indices[8] = {0, 1, 2, 3, 4, 5, 6, 7};
  GraphImage pal = Grey8Image(indices, 3, 2, 4);
  EXPECT_EQ(ConvertImageToDIBBits(&pal, &header, &bits, 0, 0), 0);
  EXPECT_EQ(header.bmiHeader.biBitCount, 8);
  EXPECT_EQ(header.bmiColors[7].rgbGreen, 7);
  EXPECT_EQ(ConvertImageToDIBBits(&pal, &header, &bits, 0, 1), 1);
  EXPECT_EQ(header.bmiHeader.biBitCount, 24);
  EXPECT_EQ(Pixel24(bits, 12, 2, 1), 0x060606u);
  MemFree(bits);
}

TEST_F(DibHandOff, CreateDibGraph) {
  plat::BITMAPINFO given = Header(3, 1, 24);
  uint8_t bits[12] = {1, 0, 0, 2, 0, 0, 3, 0, 0};
  plat::HBITMAP section = CreateDIBGraph(&given, bits, 1, nullptr);
  ASSERT_NE(section, nullptr);
  plat::DIBSECTION ds{};
  plat::GetObjectA(section, sizeof(ds), &ds);
  EXPECT_EQ(ds.dsBmih.biHeight, -1) << "top-down";
  EXPECT_EQ(Pixel24(ds.dsBm.bmBits, ds.dsBm.bmWidthBytes, 0, 0), 3u) << "mirrored";
  EXPECT_EQ(Pixel24(ds.dsBm.bmBits, ds.dsBm.bmWidthBytes, 2, 0), 1u);
  plat::DeleteObject(section);

  // A 16-bit format to report makes a bit-field section; 32-bit becomes 24-bit and is rebuilt.
  ColorData f565{};
  BuildColorFormat(&f565, 16, 0xF800, 0x07E0, 0x001F, 0);
  section = CreateDIBGraph(&given, bits, 0, &f565);
  plat::GetObjectA(section, sizeof(ds), &ds);
  EXPECT_EQ(ds.dsBmih.biCompression, plat::BI_BITFIELDS);
  EXPECT_EQ(ds.dsBitfields[0], 0xF800u);
  plat::DeleteObject(section);
  ColorData xrgb{};
  SetColorDataXRGB32(&xrgb);
  section = CreateDIBGraph(&given, bits, 0, &xrgb);
  plat::GetObjectA(section, sizeof(ds), &ds);
  EXPECT_EQ(ds.dsBm.bmBitsPixel, 24);
  EXPECT_EQ(xrgb.bitDepth, 24);
  plat::DeleteObject(section);

  plat::test::FailNextCreateDibSection();
  EXPECT_EQ(CreateDIBGraph(&given, bits, 0, nullptr), nullptr);
  EXPECT_NE(LogText().find("ＤＩＢの作成に失敗しました3"), std::string::npos);
  EXPECT_EQ(plat::test::GetGdiDibCounters().liveSections, 0);
  EXPECT_EQ(plat::test::GetGdiDibCounters().liveMemoryDcs, 0);
}

}  // namespace
}  // namespace orbel
