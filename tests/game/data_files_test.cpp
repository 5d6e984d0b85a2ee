// Kelvaron's data files: the line reader as Windows text mode reads, labels, numbers, and the tables'
// fallbacks for files that are short or missing.
#include "data_files.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>

#include "orbel.h"
#include "test_support.h"

namespace kelvaron {
namespace {

using orbel::testing::ScopedWorkDir;
using orbel::testing::WriteFileText;

struct OpenFile {
  explicit OpenFile(const std::string& text) {
    WriteFileText("data.txt", text);
    file = std::fopen("data.txt", "rb");
  }
  ~OpenFile() {
    if (file != nullptr) std::fclose(file);
  }
  std::FILE* file;
};

std::vector<std::string> ReadAll(const std::string& text) {
  OpenFile f(text);
  std::vector<std::string> lines;
  char buffer[kLineBufferSize] = {};
  while (ReadTextLine(buffer, f.file)) lines.push_back(buffer);
  return lines;
}

TEST(DataFiles, LinesSplitAsWindowsTextModeDoes) {
  ScopedWorkDir work;
  const std::string long254(254, 'a');
  const std::string long300(300, 'b');
  struct Case {
    const char* what;
    std::string text;
    std::vector<std::string> lines;
  } cases[] = {
      {"CR LF and LF read alike", "one\r\ntwo\nthree", {"one", "two", "three"}},
      {"a lone CR stays in the line", "a\rb\r\n", {"a\rb"}},
      {"254 bytes give the piece and an empty one", long254 + "\r\nx\r\n", {long254, "", "x"}},
      {"300 bytes give two pieces", long300 + "\r\n", {long300.substr(0, 254), long300.substr(254)}},
      {"an empty file gives no line", "", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(ReadAll(c.text), c.lines) << c.what;
}

TEST(DataFiles, AtTheEndTheBufferKeepsTheLastLine) {
  ScopedWorkDir work;
  OpenFile f("only\r\n");
  char buffer[kLineBufferSize] = {};
  ASSERT_TRUE(ReadTextLine(buffer, f.file));
  EXPECT_FALSE(ReadTextLine(buffer, f.file));
  EXPECT_STREQ(buffer, "only");
}

TEST(DataFiles, ValuesAfterLabelsAndNumbers) {
  EXPECT_STREQ(ValueAfterLabel("HP     :120", 8), "120");
  EXPECT_STREQ(ValueAfterLabel("HP", 8), "");  // shorter than its label: no stale bytes
  EXPECT_STREQ(ValueAfterLabel("R: ", 3), "");
  const struct {
    const char* text;
    int value;
  } numbers[] = {{" 120", 120}, {"12.5", 12}, {"-7x", -7}, {"abc", 0}, {"", 0},
                 {"99999999999999", INT_MAX}, {"-99999999999999", INT_MIN}};
  for (const auto& n : numbers) EXPECT_EQ(ParseNumber(n.text), n.value) << n.text;
}

TEST(DataFiles, ColourFileKeepsWholeGroupsAndShortTablesFallBackToWhite) {
  ScopedWorkDir work;
  std::string text;
  for (int i = 0; i < 5; ++i) text += "label\r\nR: 1\r\nG: 2\r\nB: 3\r\n";
  WriteFileText("colors.txt", text + "extra\r\n");  // 21 lines: 5 colours
  ASSERT_TRUE(LoadColorFile("colors.txt"));
  EXPECT_EQ(ColorCount, 5);
  FreeColorTable();

  WriteFileText("short.txt", "label\r\nR: 1\r\nG: 2\r\nB: 3\r\n");
  ASSERT_TRUE(LoadColorFile("short.txt"));
  EXPECT_EQ(ColorCount, 1);
  EXPECT_EQ(ColorAt(4), ColorAt(-1));  // both the white of a missing entry
  EXPECT_EQ(FontAt(3), -1);            // no font table: the default font
  FreeColorTable();

  EXPECT_FALSE(LoadColorFile("missing.txt"));
  EXPECT_EQ(ColorCount, 0);
}

// A test that starts the library (in a window) for the loaders that make handles; it is ended after.
class DataFilesWithLibrary : public orbel::testing::VirtualClockTest {
 protected:
  void TearDown() override {
    FreeFontTable();
    EndLibraryLocked();
    VirtualClockTest::TearDown();
  }
  ScopedWorkDir work_;
};

// Font sizes reach the library with their sign (a negative size is drawn at its magnitude), brought
// within the screen's height either way; -1 still asks for the library's default.
TEST_F(DataFilesWithLibrary, FontSizesKeepTheirSignWithinTheScreenHeight) {
  ChangeWindowMode(1);
  ASSERT_EQ(InitLibraryLocked(), 0);
  std::string text;
  for (const char* size : {"-24", "-1000", "1000", "-1"})
    text += std::string("FONT\r\nFACE     :NULL\r\nSIZE     :") + size +
            "\r\nTHICK    :6\r\nTYPE     :QV_FONTTYPE_NORMAL\r\n";
  WriteFileText("font.txt", text);
  ASSERT_TRUE(LoadFontFile("font.txt"));
  ASSERT_EQ(FontCount, 4);
  EXPECT_EQ(GetFontHandleSize(FontAt(0)), -24);
  EXPECT_EQ(GetFontHandleSize(FontAt(1)), -480);
  EXPECT_EQ(GetFontHandleSize(FontAt(2)), 480);
  EXPECT_EQ(GetFontHandleSize(FontAt(3)), 16);  // the library's default size
}

TEST(DataFiles, EnemyFieldsShiftAfterALongLineAndRepeatAtTheEnd) {
  ScopedWorkDir work;
  WriteFileText("enemy.txt",
                "NAME   :Slime\r\nHP     :120\r\nATTACK :55\r\nDEFENCE:2\r\nGRAPH  :none.png\r\n"
                "WIDTH  :128\r\nHEIGHT :96\r\n");  // 7 lines: the music path repeats line 7
  bool opened = false;
  EnemyRecord e = LoadEnemyFile("enemy.txt", &opened);
  EXPECT_TRUE(opened);
  EXPECT_EQ(e.used, 1u);
  EXPECT_STREQ(e.name, "Slime");
  EXPECT_EQ(e.hp, 120.0);
  EXPECT_EQ(e.maxHp, 120.0);
  EXPECT_EQ(e.attack, 55.0);
  EXPECT_EQ(e.defence, 2.0);
  EXPECT_EQ(e.graph, -1);
  EXPECT_EQ(e.width, 128);
  EXPECT_EQ(e.height, 96);
  EXPECT_STREQ(e.bgm, "96");

  WriteFileText("long.txt", "NAME   :" + std::string(300, 'n') + "\r\nHP     :120\r\n");
  e = LoadEnemyFile("long.txt", &opened);
  EXPECT_EQ(std::string(e.name), std::string(246, 'n'));
  EXPECT_EQ(e.hp, 0.0);  // the name's second piece landed in the HP line
  EXPECT_EQ(e.maxHp, 0.0);

  WriteFileText("empty.txt", "");
  e = LoadEnemyFile("empty.txt", &opened);
  EXPECT_STREQ(e.name, "");  // the buffer starts cleared
  EXPECT_STREQ(e.bgm, "");

  e = LoadEnemyFile("missing.txt", &opened);
  EXPECT_FALSE(opened);
  EXPECT_EQ(e.used, 0u);
}

TEST(DataFiles, EnemyNumbersOutsideWhatTheBattleCanUseAreBroughtToTheNearestEnd) {
  ScopedWorkDir work;
  const struct {
    const char* what;
    const char* hp;
    const char* attack;
    const char* defence;
    const char* width;
    const char* height;
    double hpWanted, attackWanted, defenceWanted;
    int widthWanted, heightWanted;
  } cases[] = {
      {"the int range's ends", "2147483647", "2147483647", "-2147483648", "-2147483648", "2147483647",
       999999, 999999, -999999, 0, 65536},
      {"past the int range", "99999999999", "-99999999999", "99999999999", "99999999999", "-99999999999",
       999999, -999999, 999999, 65536, 0},
      {"negative HP and ordinary values", "-5", "-3", "2", "640", "480", 0, -3, 2, 640, 480},
  };
  for (const auto& c : cases) {
    WriteFileText("enemy.txt", std::string("NAME   :X\r\nHP     :") + c.hp + "\r\nATTACK :" + c.attack +
                                   "\r\nDEFENCE:" + c.defence + "\r\nGRAPH  :none.png\r\nWIDTH  :" + c.width +
                                   "\r\nHEIGHT :" + c.height + "\r\nBGM    :x.ogg\r\n");
    const EnemyRecord e = LoadEnemyFile("enemy.txt", nullptr);
    EXPECT_EQ(e.hp, c.hpWanted) << c.what;
    EXPECT_EQ(e.maxHp, c.hpWanted) << c.what;
    EXPECT_EQ(e.attack, c.attackWanted) << c.what;
    EXPECT_EQ(e.defence, c.defenceWanted) << c.what;
    EXPECT_EQ(e.width, c.widthWanted) << c.what;
    EXPECT_EQ(e.height, c.heightWanted) << c.what;
  }
}

}  // namespace
}  // namespace kelvaron
