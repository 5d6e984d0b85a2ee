// Text drawn with the host's fonts onto the screen, on both roads at 16 and 32 bits: the default font
// and a font of every type. Each character that has ink shows up inside its measured advance, nothing
// lies outside the measured width, and vertical text runs down. The frames are kept as PNG files.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "font_test_fixture.h"
#include "orbel/core/string_routines.h"
#include "orbel/font/font_record.h"
#include "orbel/font/font_system.h"
#include "orbel/graphics/graphics_manager.h"
#include "orbel/graphics/graphics_system.h"

namespace orbel::testing {
namespace {

constexpr char kJapanese[] = "Kelvaron打 -ケルヴァロンだ-";
constexpr char kAscii[] = "The quick brown fox 0123 ABC!";

class FontFrameTest : public FontLibraryTest, public ::testing::WithParamInterface<FontRoad> {
 protected:
  void SetUp() override {
    FontLibraryTest::SetUp();
    ASSERT_EQ(Start(GetParam()), 0);
    ASSERT_EQ(SelectDrawScreen(-2), 0);
    ClearTargetScreen();
  }

  // Lit pixels (not black) in columns [x0, x1) of rows [y0, y1).
  static int Lit(int x0, int x1, int y0, int y1) {
    int n = 0;
    for (int y = std::max(y0, 0); y < std::min(y1, 480); ++y) {
      for (int x = std::max(x0, 0); x < std::min(x1, 640); ++x) n += BackPixel(x, y) != 0;
    }
    return n;
  }

  // Checks a horizontal line drawn at (x, y): ink in every non-space character's advance, none outside.
  void CheckLine(const char* text, int x, int y, int font, int lineHeight, int edge) {
    const int width = GetTextWidthToFontHandle(text, -1, font, 0);
    ASSERT_GT(width, 0);
    int at = 0;
    const int length = static_cast<int>(strlen(text));
    while (at < length) {
      const int step = IsMultiByteLeadChar(text + at, 1) ? 2 : 1;
      const int left = x + GetTextWidthToFontHandle(text, at, font, 0);
      const int right = x + GetTextWidthToFontHandle(text, at + step, font, 0);
      if (text[at] != ' ') {
        EXPECT_GT(Lit(left, right, y, y + lineHeight), 0) << "character at byte " << at;
      }
      at += step;
    }
    EXPECT_EQ(Lit(x - 40, x - edge, y, y + lineHeight), 0);
    EXPECT_EQ(Lit(x + width + edge + 1, x + width + 60, y, y + lineHeight), 0);
  }
};

TEST_P(FontFrameTest, JapaneseAndAsciiLinesShowWithEveryFontType) {
  const uint32_t white = MakeColor(255, 255, 255);
  const uint32_t red = MakeColor(255, 0, 0);
  // The default font.
  ASSERT_EQ(DrawTextDefaultFont(10, 4, kJapanese, white, 0), 0);
  ASSERT_EQ(DrawTextDefaultFont(10, 24, kAscii, white, 0), 0);
  const int defaultFont = GetDefaultFontHandle();
  const int defaultHeight = GetFontRecord(defaultFont)->lineHeight;
  CheckLine(kJapanese, 10, 4, defaultFont, defaultHeight, 0);
  CheckLine(kAscii, 10, 24, defaultFont, defaultHeight, 0);
  EXPECT_EQ(GetTextWidthDefaultFont(kJapanese, -1, 0), GetTextWidthToFontHandle(kJapanese, -1, defaultFont, 0));

  int y = 50;
  for (int type = 0; type < 4; ++type) {
    const int font = CreateFontToHandle(nullptr, 24, 6, type, -1, -1, 0, -1, -1);
    ASSERT_NE(font, -1) << type;
    const FontHandleRecord* f = GetFontRecord(font);
    const int edge = (f->type & kFontTypeEdge) ? f->edgeSize : 0;
    ASSERT_EQ(DrawTextToFontHandle(10, y, kJapanese, white, font, red, 0), 0) << type;
    CheckLine(kJapanese, 10, y, font, f->lineHeight, edge);
    y += f->lineHeight + 4;
    ASSERT_EQ(DrawTextToFontHandle(10, y, kAscii, white, font, red, 0), 0) << type;
    CheckLine(kAscii, 10, y, font, f->lineHeight, edge);
    y += f->lineHeight + 4;
  }

  // Vertical text at the right: down from y = 40, within the line-height column.
  const int font = CreateFontToHandle(nullptr, 24, 6, 0, -1, -1, 0, -1, -1);
  const char vertical[] = "縦書きテスト";
  ASSERT_EQ(DrawTextToFontHandle(600, 40, vertical, white, font, 0, 1), 0);
  const int down = GetTextWidthToFontHandle(vertical, -1, font, 1);
  const int lineHeight = GetFontRecord(font)->lineHeight;
  EXPECT_GT(down, 5 * 20);
  for (int i = 0; i < 6; ++i) {
    EXPECT_GT(Lit(600, 600 + lineHeight, 40 + down * i / 6, 40 + down * (i + 1) / 6), 0) << i;
  }
  EXPECT_EQ(Lit(600, 640, 40 + down + 1, 480), 0);

  const auto dir = std::filesystem::path(ORBEL_BINARY_DIR) / "font_frames";
  std::filesystem::create_directories(dir);
  WriteBackScreenPng((dir / (RoadName(GetParam()) + ".png")).string(), 640, 480);
}

INSTANTIATE_TEST_SUITE_P(Roads, FontFrameTest,
                         ::testing::Values(FontRoad{0, 16, 0}, FontRoad{0, 32, 0}, FontRoad{1, 16, 0},
                                           FontRoad{1, 32, 0}, FontRoad{0, 16, 1}, FontRoad{0, 32, 1}),
                         [](const ::testing::TestParamInfo<FontRoad>& info) { return RoadName(info.param); });

}  // namespace
}  // namespace orbel::testing
