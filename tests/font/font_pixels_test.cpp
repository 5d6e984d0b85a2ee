// The memory-mode pixels a string writes, per destination depth and font type: colour where the glyph
// is, the edge colour around it, levels as alpha, the edge mix, and vertical text turned a quarter turn.
#include <gtest/gtest.h>

#include <cstring>

#include "font_test_fixture.h"
#include "include/orbel.h"
#include "orbel/font/font_record.h"
#include "orbel/font/font_system.h"
#include "orbel/graphics/graphics_manager.h"
#include "orbel/image/color_data.h"
#include "orbel/softrender/mem_img.h"

namespace orbel::testing {
namespace {

class FontPixelsTest : public FontLibraryTest, public ::testing::WithParamInterface<int> {
 protected:
  void SetUp() override {
    FontLibraryTest::SetUp();
    ASSERT_EQ(Start({1, GetParam(), 0}), 0);
    white_ = MakeColor(255, 255, 255) & (sixteen() ? 0xFFFF : 0xFFFFFF);
    black_ = MakeColor(0, 0, 0) & (sixteen() ? 0xFFFF : 0xFFFFFF);
  }
  void TearDown() override {
    TerminateMemImg(&image_);
    FontLibraryTest::TearDown();
  }
  bool sixteen() const { return GetParam() == 16; }
  // A glyph row of levels (0-16) at the left of the box, 2 below the line top.
  int MakeFont(std::vector<int> levels, int type, int edge = -1) {
    glyphs_ = std::make_unique<SyntheticGlyphs>(BoxMetrics(), [levels](char32_t, plat::GlyphPicture* out) {
      out->advance = 12;
      out->width = static_cast<int>(levels.size());
      out->height = 1;
      out->originX = 1;
      out->originY = 14;
      for (int l : levels) out->coverage.push_back(static_cast<uint8_t>(l * 255 / 16));
    });
    UseGlyphs(glyphs_.get());
    return CreateFontToHandle("Synthetic", 20, 4, type, -1, edge, 0, -1, -1);
  }
  // Draws "A" at (0, 0) into a fresh 32 x 32 image of the screen's colour type.
  void Draw(int font, int alpha, int vertical = 0, const char* text = "A") {
    TerminateMemImg(&image_);
    ASSERT_EQ(InitializeMemImg(&image_, 32, 32, -1, 0, sixteen() ? kMemImgR5G6B5 : kMemImgX8R8G8B8, 0, alpha, 0,
                               nullptr),
              0);
    FillMemImgRect(&image_, nullptr, 0);
    const plat::RECT all = {0, 0, 32, 32};
    ASSERT_GE(FontStringEngine(1, 0, 0, 0, 1.0, 1.0, text, MakeColor(255, 255, 255), &image_, &all, 1, font,
                               MakeColor(0, 0, 255), -1, vertical, nullptr),
              0);
  }
  uint32_t At(int x, int y) const {
    uint32_t v = 0;
    memcpy(&v, image_.pixels + MemImgOffset(&image_, x, y), static_cast<size_t>(image_.base->pixelBytes));
    return v;
  }
  uint32_t blue() const { return sixteen() ? 0x001Fu : 0x0000FFu; }

  std::unique_ptr<SyntheticGlyphs> glyphs_;
  MemImg image_{};
  uint32_t white_ = 0;
  uint32_t black_ = 0;
};

TEST_P(FontPixelsTest, PlainAndEdgedFontsWriteTheColourAndTheEdgeColour) {
  const int plain = MakeFont({16, 0, 16}, 0);
  Draw(plain, 0);
  // Box at x 1 (origin), y 2 (ascent 16 - 14).
  EXPECT_EQ(At(1, 2), white_);
  EXPECT_EQ(At(2, 2), 0u);
  EXPECT_EQ(At(3, 2), white_);
  EXPECT_EQ(At(0, 2), 0u);
  EXPECT_EQ(At(1, 3), 0u);

  const int edged = MakeFont({16}, 1, 2);
  Draw(edged, 0);
  // The glyph pixel sits 2 in from the box's corner (1, 2); the size-2 shape spreads around it.
  EXPECT_EQ(At(3, 4), white_);
  EXPECT_EQ(At(1, 4), blue());
  EXPECT_EQ(At(5, 4), blue());
  EXPECT_EQ(At(3, 2), blue());
  EXPECT_EQ(At(1, 2), 0u);  // a corner the shape leaves out
  EXPECT_EQ(At(6, 4), 0u);
}

TEST_P(FontPixelsTest, AntialiasedLevelsBecomeAlpha) {
  const int font = MakeFont({16, 8, 2, 1}, 2);
  Draw(font, 1);
  const int shift = sixteen() ? 16 : 24;
  EXPECT_EQ(At(1, 2), 15u << (shift + 4) | white_);
  EXPECT_EQ(At(2, 2), 7u << (shift + 4) | white_);
  EXPECT_EQ(At(3, 2), 1u << (shift + 4) | white_);
  EXPECT_EQ(At(4, 2), 0u);  // level 1 is stored as 0: nothing
  EXPECT_EQ(At(5, 2), 0u);
}

// Glyph level g over edge level e: alpha ((15 - g) e + 16 g) & 255, colour edge + (colour - edge) t >> 8
// with t = 4096 g / alpha.
TEST_P(FontPixelsTest, AntialiasedEdgesMixTheEdgeUnderTheGlyph) {
  const int font = MakeFont({16, 8}, 3, 1);
  Draw(font, 1);
  // Glyph at (2, 3) and (3, 3): g 15 | e 15 beside it, then g 7 with e 15.
  if (sixteen()) {
    EXPECT_EQ(At(2, 3), 0xFFFFFFu);
    // a = 8 x 15 + 112 = 232, t = 28,672 / 232 = 123: red 31 -> 14, green 63 -> 30, blue (both 31) stays.
    EXPECT_EQ(At(3, 3), 232u << 16 | (14u << 11 | 30u << 5 | 31u));
    EXPECT_EQ(At(1, 3), 240u << 16 | 0x001Fu);  // edge only: alpha 15 x 16
    EXPECT_EQ(At(4, 3), 112u << 16 | 0x001Fu);  // edge of the level-8 pixel
  } else {
    EXPECT_EQ(At(2, 3), 0xFFFFFFFFu);
    EXPECT_EQ(At(3, 3), 232u << 24 | 0x7A7AFFu);  // 255 x 123 >> 8 = 122; blue is 255 on both sides
    EXPECT_EQ(At(1, 3), 240u << 24 | 0x0000FFu);
    EXPECT_EQ(At(4, 3), 112u << 24 | 0x0000FFu);
  }
  EXPECT_EQ(At(5, 3), 0u);
}

// The draw-bright colour scales the text's and the edge's channels.
TEST_P(FontPixelsTest, BrightnessScalesTheColours) {
  const int font = MakeFont({16}, 1, 2);
  ::SetDrawBrightness(128, 255, 64);
  Draw(font, 0);
  ::SetDrawBrightness(255, 255, 255);
  int r = 0;
  int g = 0;
  int b = 0;
  GetColorValueRGBA(image_.base->colorData, At(3, 4), &r, &g, &b, nullptr);
  EXPECT_NEAR(r, 128, 8);
  EXPECT_NEAR(g, 255, 8);
  EXPECT_NEAR(b, 64, 8);
  GetColorValueRGBA(image_.base->colorData, At(1, 4), &r, &g, &b, nullptr);  // the blue edge
  EXPECT_EQ(r, 0);
  EXPECT_EQ(g, 0);
  EXPECT_NEAR(b, 64, 8);
}

// Vertical text runs down; each glyph is turned a quarter turn clockwise, its top row at the right.
TEST_P(FontPixelsTest, VerticalTextIsTurnedAndRunsDownwards) {
  const int font = MakeFont({16, 16, 0, 16}, 0);
  Draw(font, 0, 1, "AA");
  // Right edge x = line height 20 - y offset 2 = 18: the one glyph row is column 17; the glyph's
  // columns run down from y = x offset 1, the second character 12 further down.
  for (int base : {0, 12}) {
    EXPECT_EQ(At(17, base + 1), white_) << base;
    EXPECT_EQ(At(17, base + 2), white_) << base;
    EXPECT_EQ(At(17, base + 3), 0u) << base;
    EXPECT_EQ(At(17, base + 4), white_) << base;
    EXPECT_EQ(At(16, base + 1), 0u) << base;
    EXPECT_EQ(At(18, base + 1), 0u) << base;
  }
  EXPECT_EQ(GetTextWidthToFontHandle("AA", -1, font, 1), 24);
}

// Glyphs are clipped by the rectangle; nothing is written outside it.
TEST_P(FontPixelsTest, ClippingKeepsWritesInsideTheRectangle) {
  const int font = MakeFont({16, 16, 16, 16, 16}, 0);
  TerminateMemImg(&image_);
  ASSERT_EQ(InitializeMemImg(&image_, 32, 32, -1, 0, sixteen() ? kMemImgR5G6B5 : kMemImgX8R8G8B8, 0, 0, 0, nullptr), 0);
  FillMemImgRect(&image_, nullptr, 0);
  const plat::RECT clip = {3, 0, 5, 32};
  FontStringEngine(1, 0, 0, 0, 1.0, 1.0, "A", MakeColor(255, 255, 255), &image_, &clip, 1, font, 0, -1, 0, nullptr);
  EXPECT_EQ(At(2, 2), 0u);
  EXPECT_EQ(At(3, 2), white_);
  EXPECT_EQ(At(4, 2), white_);
  EXPECT_EQ(At(5, 2), 0u);
  // Starting far left or right draws nothing and fails nothing.
  EXPECT_EQ(FontStringEngine(1, -500, 0, 0, 1.0, 1.0, "AAA", MakeColor(255, 255, 255), &image_, &clip, 1, font, 0, -1,
                             0, nullptr),
            36);
}

INSTANTIATE_TEST_SUITE_P(Depths, FontPixelsTest, ::testing::Values(16, 32),
                         [](const ::testing::TestParamInfo<int>& info) { return "Depth" + std::to_string(info.param); });

}  // namespace
}  // namespace orbel::testing
