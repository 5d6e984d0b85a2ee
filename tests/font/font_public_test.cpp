// The public text calls: formatted text through the 1,024-byte buffer, the default font's measures, the
// engine's argument order as the back-ends use it, and an 8-bit screen.
#include <gtest/gtest.h>

#include <string>

#include "font_test_fixture.h"
#include "include/orbel.h"
#include "orbel/font/font_record.h"
#include "orbel/font/font_system.h"
#include "orbel/graphics/graphics_manager.h"
#include "platform/host/host.h"
#include "platform/win/user/window_test_controls.h"

namespace orbel::testing {
namespace {

class FontPublicTest : public FontLibraryTest {
 protected:
  // Outlives the library, which ends in TearDown and makes its default font once more.
  SyntheticGlyphs glyphs_{BoxMetrics(), BoxGlyph(3, 3, 255)};
};

TEST_F(FontPublicTest, FormattedTextIsMeasuredAndDrawnWhole) {
  ASSERT_EQ(Start({1, 32, 0}), 0);
  UseGlyphs(&glyphs_);
  ASSERT_EQ(SetDefaultFontSizeThick(nullptr, 20, 4), 0);  // made again, now from the synthetic face
  EXPECT_EQ(::GetFormatTextWidthDefaultFont("%d-%s", 42, "ab"), 5 * 12);
  EXPECT_EQ(::GetTextWidthDefaultFont("42-ab", -1, 0), 5 * 12);
  // 600 characters formatted: longer than a batch, cut at 1,023 bytes by the buffer.
  const std::string many(600, 'x');
  EXPECT_EQ(::GetFormatTextWidthDefaultFont("%s%s", many.c_str(), many.c_str()), 1023 * 12);
  ::SelectDrawScreen(-2);
  ::ClearTargetScreen();
  EXPECT_EQ(::DrawFormatTextDefaultFont(0, 0, ::MakeColor(255, 255, 255), "%s", "A"), 0);
  EXPECT_EQ(BackPixel(1, 2), 0xFFFFFFu);
  EXPECT_EQ(BackPixel(4, 2), 0u);
}

// Mode, x, y, scale flag, x and y scale, text, colour, image, clip, transparent, font, edge colour, length,
// vertical, size: scales only ever apply to texture-mode fonts, so a memory-mode font measures the same.
TEST_F(FontPublicTest, TheEngineTakesItsArgumentsInTheBackEndsOrder) {
  ASSERT_EQ(Start({1, 32, 0}), 0);
  UseGlyphs(&glyphs_);
  const int font = ::CreateFontToHandle("Synthetic", 20, 4, 0, -1, -1, 0, -1, -1);
  int size[2] = {};
  EXPECT_EQ(FontStringEngine(0, 5, 6, 1, 2.0, 3.0, "abcd", 0, nullptr, nullptr, 1, font, 0, 3, 0, size), 36);
  EXPECT_EQ(size[0], 36);
  EXPECT_EQ(size[1], 20);
  EXPECT_EQ(FontStringEngine(0, 5, 6, 1, 2.0, 3.0, "abcd", 0, nullptr, nullptr, 1, font + 1, 0, 3, 0, size), -1);
  EXPECT_EQ(::GetFontHandleSize(font), 20);
  EXPECT_EQ(::GetFontHandleSize(font + 1), -1);
}

// On the software front screen only the text's rectangle goes to the window; it covers an edged font's
// full line height (size 10 with edge 4 reaches 24 rows down, beyond size + 3).
TEST_F(FontPublicTest, TheFrontScreenShowsAnEdgedFontsLowestRows) {
  ASSERT_EQ(Start({1, 32, 0}), 0);
  SyntheticGlyphs tall(BoxMetrics(), BoxGlyph(3, 14, 255));
  UseGlyphs(&tall);
  const int font = ::CreateFontToHandle("Synthetic", 10, 4, 1, -1, 4, 0, -1, -1);
  ASSERT_NE(font, -1);
  ::SelectDrawScreen(-4);
  ::ClearTargetScreen();
  FlipScreen();
  ASSERT_EQ(::DrawTextToFontHandle(0, 0, "A", ::MakeColor(255, 255, 255), font, ::MakeColor(255, 0, 0), 0), 0);
  const std::vector<plat::HWND> windows = plat::test::AllWindows();
  ASSERT_FALSE(windows.empty());
  const plat::host::Frame frame = plat::test::CaptureWindowFrame(windows.front());
  ASSERT_GE(frame.height, 30);
  // The glyph column at x 1 + 4 runs from row 2 + 4 to 2 + 4 + 13; its edge one row further.
  EXPECT_EQ(frame.pixels[static_cast<size_t>(12) * frame.width + 5] & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_EQ(frame.pixels[static_cast<size_t>(19) * frame.width + 5] & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_EQ(frame.pixels[static_cast<size_t>(21) * frame.width + 5] & 0xFFFFFF, 0xFF0000u);
  DeleteFontHandle(font);
  UseGlyphs(&glyphs_);
}

TEST_F(FontPublicTest, AnEightBitScreenDrawsPaletteIndicesWithoutAntialiasing) {
  if (Start({0, 8, 0}) != 0) GTEST_SKIP() << "no 8-bit display on this host";
  UseGlyphs(&glyphs_);
  const int font = ::CreateFontToHandle("Synthetic", 20, 4, 3, -1, 2, 0, -1, -1);
  ASSERT_NE(font, -1);
  EXPECT_EQ(GetFontHandleFlags(font), 1);  // edged, no longer antialiased
  ::SelectDrawScreen(-2);
  ::ClearTargetScreen();
  const uint32_t white = ::MakeColor(255, 255, 255);
  EXPECT_EQ(::DrawTextToFontHandle(0, 0, "A", white, font, ::MakeColor(255, 0, 0), 0), 0);
  EXPECT_EQ(BackPixel(1 + 2, 2 + 2), 0xFFFFFFu);
  EXPECT_EQ(BackPixel(1, 2 + 2), 0xFF0000u);
}

}  // namespace
}  // namespace orbel::testing
