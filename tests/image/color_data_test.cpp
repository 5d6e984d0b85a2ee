// Pixel formats and single-pixel access: mask analysis, truncation and left alignment, nearest
// palette entries, value conversion, makers, fill and mirroring.
#include "orbel/image/color_data.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/image/image_writers.h"

namespace orbel {
namespace {

using testing::Grey8Image;
using testing::RawPixel;

TEST(ColorData, BuildColorFormatFindsRunsAndNoneBits) {
  struct Case {
    int depth;
    uint32_t r, g, b, a;
    uint8_t widths[4], shifts[4];
    uint32_t none;
    uint8_t noneShift, noneWidth;
  } cases[] = {
      {32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0, {8, 8, 8, 0}, {16, 8, 0, 0}, 0xFF000000, 24, 8},
      {16, 0xF800, 0x07E0, 0x001F, 0, {5, 6, 5, 0}, {11, 5, 0, 0}, 0, 0, 0},
      {16, 0x7C00, 0x03E0, 0x001F, 0, {5, 5, 5, 0}, {10, 5, 0, 0}, 0x8000, 15, 1},
      {16, 0x0F00, 0x00F0, 0x000F, 0xF000, {4, 4, 4, 4}, {8, 4, 0, 12}, 0, 0, 0},
      // A mask with a gap counts only its lowest run.
      {32, 0x00F0F000, 0x0000000F, 0, 0, {4, 4, 0, 0}, {12, 0, 0, 0}, 0xFF0F0FF0, 4, 8},
      {32, 0x3FF00000, 0x000FFC00, 0x000003FF, 0xC0000000, {10, 10, 10, 2}, {20, 10, 0, 30}, 0, 0, 0},
  };
  for (const Case& c : cases) {
    ColorData f;
    memset(&f, 0xCD, sizeof(f));
    EXPECT_EQ(BuildColorFormat(&f, c.depth, c.r, c.g, c.b, c.a), 0);
    SCOPED_TRACE(::testing::Message() << std::hex << c.r << "/" << c.g << "/" << c.b << "/" << c.a);
    EXPECT_EQ(f.bytesPerPixel, c.depth / 8);
    EXPECT_EQ((std::vector<int>{f.redWidth, f.greenWidth, f.blueWidth, f.alphaWidth}),
              (std::vector<int>{c.widths[0], c.widths[1], c.widths[2], c.widths[3]}));
    EXPECT_EQ((std::vector<int>{f.redShift, f.greenShift, f.blueShift, f.alphaShift}),
              (std::vector<int>{c.shifts[0], c.shifts[1], c.shifts[2], c.shifts[3]}));
    EXPECT_EQ(f.noneMask, c.none);
    EXPECT_EQ(f.noneShift, c.noneShift);
    EXPECT_EQ(f.noneWidth, c.noneWidth);
    EXPECT_EQ(f.reserved, 0u);
    EXPECT_EQ(f.palette[0].blue, 0xCD) << "the palette is not touched";
  }
}

TEST(ColorData, BuildersKeepOrSetNoneRunAsDocumented) {
  ColorData f;
  memset(&f, 0, sizeof(f));
  f.noneShift = 3;
  f.noneWidth = 4;
  SetColorDataARGB32(&f);
  EXPECT_EQ(f.noneShift, 3) << "builders that do not name the none run leave it";
  SetColorDataXRGB32(&f);
  EXPECT_EQ(f.noneShift, 24);
  EXPECT_EQ(f.noneWidth, 8);
  EXPECT_EQ(f.noneMask, 0xFF000000u);
  SetColorDataGray8(&f);
  EXPECT_EQ(f.bytesPerPixel, 1);
  EXPECT_EQ(testing::PaletteArgb(f, 200), 0xC8C8C8u);

  UpdateColorDataNoneMask(&f);  // 8+8+8 of 8 bits do not add up: none-mask from the masks
  EXPECT_EQ(f.noneMask, 0u) << "only bits of the 8-bit depth, all covered by the masks";
  ColorData g;
  BuildColorFormat(&g, 16, 0xF800, 0x07E0, 0x001F, 0);
  g.noneMask = 0x1234;
  UpdateColorDataNoneMask(&g);
  EXPECT_EQ(g.noneMask, 0u);

  ColorData a, b;
  SetColorDataXRGB32(&a);
  SetColorDataXRGB32(&b);
  b.palette[5].red = 9;
  b.noneMask = 0;
  EXPECT_EQ(CompareColorData(&a, &b), 1) << "palette and none-mask are not compared";
  SetColorDataARGB32(&b);
  EXPECT_EQ(CompareColorData(&a, &b), 0);
}

TEST(ColorData, SingleValuesTruncateAndAlign) {
  ColorData r565;
  BuildColorFormat(&r565, 16, 0xF800, 0x07E0, 0x001F, 0);
  GraphImage image{};
  image.format = r565;
  uint16_t pixel = 0xF800;  // red 31
  image.pixels = &pixel;
  image.width = image.height = 1;
  image.pitch = 2;
  EXPECT_EQ(GetImagePixelARGB(&image, 0, 0), 0x00F80000u) << "left aligned, no bit copying";
  int r = -1, g = -1, b = -1, a = -1;
  EXPECT_EQ(GetImagePixel(&image, 0, 0, &r, &g, &b, &a), 0);
  EXPECT_EQ(r, 255);
  EXPECT_EQ(g, 0);
  EXPECT_EQ(a, 0) << "no alpha channel";
  EXPECT_EQ(GetImagePixel(&image, -1, 0, &r, nullptr, nullptr, nullptr), -1);
  EXPECT_EQ(SetImagePixel(&image, 0, 1, 0, 0, 0, 0), -1);
  EXPECT_EQ(SetImagePixel(&image, 0, 0, 0x1FF, 0x7F, 0x0F, 0), 0) << "components use their low 8 bits";
  EXPECT_EQ(pixel, (0xFFu >> 3) << 11 | (0x7Fu >> 2) << 5 | (0x0Fu >> 3));

  ColorData xrgb, argb;
  SetColorDataXRGB32(&xrgb);
  SetColorDataARGB32(&argb);
  EXPECT_EQ(ConvertColorValue(&argb, &xrgb, 0x00123456), 0xFF123456u) << "no source alpha: full alpha";
  EXPECT_EQ(ConvertColorValue(&r565, &argb, 0x80FF8844), (0xFFu >> 3) << 11 | (0x88u >> 2) << 5 | (0x44u >> 3));
  EXPECT_EQ(ConvertColorValue(&xrgb, &r565, 0xFFFF), 0xFFF8FCF8u) << "widening shifts; none-mask ORed";

  // 10-bit channels scale the other way instead of shifting by a negative count.
  ColorData wide;
  BuildColorFormat(&wide, 32, 0x3FF00000, 0x000FFC00, 0x000003FF, 0xC0000000);
  uint32_t widePixel = 0xFFF00000 | (0x200u << 10);
  GraphImage wideImage{wide, 1, 1, 4, &widePixel};
  EXPECT_EQ(GetImagePixelARGB(&wideImage, 0, 0), 0xC0FF8000u);
  EXPECT_EQ(GetImageColorValue(&wideImage, 255, 0, 0, 255), 0xFFC00000u) << "truncation widens by shifting";

  ColorData noRed;
  BuildColorFormat(&noRed, 16, 0, 0x0F00, 0x00FF, 0);
  EXPECT_EQ(GetColorValueRGBA(&noRed, 0xFFFF, &r, &g, &b, &a), 0);
  EXPECT_EQ(r, 0) << "a width-0 channel is not divided by";
  EXPECT_EQ(g, 255);
}

TEST(ColorData, NearestPaletteEntryPrefersLowerIndexOnTies) {
  ColorData f{};
  SetColorData8Bit(&f);
  for (auto& e : f.palette) e = ColorPaletteEntry{255, 255, 255, 0};
  f.palette[7] = ColorPaletteEntry{0, 0, 100, 0};
  f.palette[9] = ColorPaletteEntry{0, 0, 120, 0};
  f.palette[3] = ColorPaletteEntry{0, 0, 140, 0};
  EXPECT_EQ(GetFormatColorValue(&f, 110, 0, 0, 0), 7u) << "7 and 9 are equally near";
  EXPECT_EQ(GetFormatColorValue(&f, 131, 0, 0, 0), 3u);
  f.palette[2] = f.palette[7];
  EXPECT_EQ(GetFormatColorValue(&f, 100, 0, 0, 0), 2u);
}

TEST(ColorData, MakersFillAndMirror) {
  GraphImage image{};
  ASSERT_EQ(MakeImage24(3, 2, &image), 0);
  EXPECT_EQ(image.pitch, 12u);
  ASSERT_EQ(FillImage(&image, 1, 2, 3, 4), 0);
  EXPECT_EQ(RawPixel(image, 2, 1), 0x010203u);
  SetImagePixel(&image, 0, 0, 9, 9, 9, 0);
  ASSERT_EQ(ReverseImageHorizontal(&image), 0);
  EXPECT_EQ(RawPixel(image, 2, 0), 0x090909u);
  EXPECT_EQ(RawPixel(image, 0, 0), 0x010203u);
  FreeGraphImage(&image);
  EXPECT_EQ(image.pixels, nullptr);
  EXPECT_EQ(image.format.bitDepth, 0);
  EXPECT_EQ(FreeGraphImage(&image), 0) << "freeing a zeroed record is harmless";
  EXPECT_EQ(ReverseImageHorizontal(&image), -1) << "0 x 0";

  ASSERT_EQ(MakeImage32(1, 3, &image), 0);
  EXPECT_EQ(image.format.noneMask, 0xFF000000u);
  FillImage(&image, 10, 20, 30, 0);
  EXPECT_EQ(RawPixel(image, 0, 2), 0xFF0A141Eu) << "none bits set in every value made";
  EXPECT_EQ(ReverseImageHorizontal(&image), 0);
  EXPECT_EQ(RawPixel(image, 0, 2), 0xFF0A141Eu);
  FreeGraphImage(&image);

  ASSERT_EQ(MakeImage32Alpha(2, 1, &image), 0);
  EXPECT_EQ(image.format.alphaMask, 0xFF000000u);
  FreeGraphImage(&image);
  EXPECT_EQ(MakeImage32(-1, 5, &image), -1);
  EXPECT_EQ(image.pixels, nullptr);

  // A palette image is filled with the nearest index.
  uint8_t indices[4] = {};
  GraphImage pal = Grey8Image(indices, 3, 1, 4);
  FillImage(&pal, 77, 77, 77, 0);
  EXPECT_EQ(indices[2], 77);
  EXPECT_EQ(indices[3], 0) << "the rest of the pitch is skipped";
}

}  // namespace
}  // namespace orbel
