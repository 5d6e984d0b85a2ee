// A line of Japanese text in a real window: run by CTest under Xvfb with ORBEL_HOST=sdl
// (tests/extra_tests.cmake). The library draws the text with the host's fonts and flips; a screenshot of
// the X root window (xwd) must show the back screen's text pixels exactly. Elsewhere the test skips.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <unistd.h>

#include "font_test_fixture.h"
#include "include/orbel.h"
#include "orbel/core/library.h"
#include "orbel/core/message_pump.h"
#include "wait_until.h"

namespace orbel::testing {
namespace {

constexpr uint32_t kMarker = 0xE02010;      // a 16 x 16 block at the client area's top-left
constexpr uint32_t kBackground = 0x203040;

using Screenshot = XwdPicture;

// The X root window through xwd. False when xwd gives nothing usable.
bool TakeScreenshot(Screenshot* out) { return ReadXwd("xwd -root -silent 2>/dev/null", out); }

// The top-left corner of the marker block (the client area's), or {-1, -1}.
std::pair<int, int> FindMarker(const Screenshot& shot) {
  for (int y = 0; y + 16 < shot.height; ++y) {
    for (int x = 0; x + 16 < shot.width; ++x) {
      if (shot.At(x, y) == kMarker && shot.At(x + 15, y + 15) == kMarker && shot.At(x + 16, y + 16) == kBackground &&
          (x == 0 || shot.At(x - 1, y) != kMarker) && (y == 0 || shot.At(x, y - 1) != kMarker)) {
        return {x, y};
      }
    }
  }
  return {-1, -1};
}

TEST(RealText, AJapaneseLineShowsInARealWindow) {
  const char* host = std::getenv("ORBEL_HOST");
  if (std::getenv("ORBEL_REAL_DISPLAY_TEST") == nullptr || host == nullptr || std::string(host) != "sdl") {
    GTEST_SKIP() << "runs under Xvfb with ORBEL_HOST=sdl and ORBEL_REAL_DISPLAY_TEST=1";
  }
  ScopedWorkDir work;
  SetMainWindowTitle(("OrbelRealText" + std::to_string(getpid())).c_str());
  ChangeWindowMode(1);
  ASSERT_EQ(SetScreenMode(640, 480, 32, 0), 0);
  ASSERT_EQ(InitLibrarySystem(), 0) << ReadFileText("Log.txt");
  const int font = CreateFontToHandle(nullptr, 24, 6, 3, -1, 2, 0, -1, -1);
  ASSERT_NE(font, -1);
  const char text[] = "ケルヴァロンだ 日本語の文字 Kelvaron打";
  SelectDrawScreen(-2);
  // Frames, pumping, until the X server has mapped and drawn the window.
  Screenshot shot;
  bool drawn = true;
  const bool seen = WaitUntil([&] {
    DrawRectangle(0, 0, 640, 480, MakeColor(0x20, 0x30, 0x40), 1);
    DrawRectangle(0, 0, 16, 16, MakeColor(0xE0, 0x20, 0x10), 1);
    drawn = DrawTextToFontHandle(40, 100, text, MakeColor(255, 255, 255), font, MakeColor(0, 0, 0), 0) == 0 &&
            FlipScreen() == 0;
    PumpWindowMessage();
    return !drawn || (TakeScreenshot(&shot) && FindMarker(shot).first != -1);
  });
  ASSERT_TRUE(drawn) << "a draw or flip failed";
  ASSERT_FALSE(shot.pixels.empty()) << "xwd gave no picture (is x11-apps installed?)";
  ASSERT_TRUE(seen) << "the window is nowhere on the screen";
  const auto [ox, oy] = FindMarker(shot);
  const int width = GetTextWidthToFontHandle(text, -1, font, 0);
  int wrong = 0;
  int white = 0;
  for (int y = 96; y < 132; ++y) {
    for (int x = 36; x < 44 + width; ++x) {
      wrong += shot.At(ox + x, oy + y) != BackPixel(x, y);
      white += shot.At(ox + x, oy + y) == 0xFFFFFF;
    }
  }
  EXPECT_EQ(wrong, 0);
  EXPECT_GT(white, 20 * 15);  // every character has ink of full strength
  EXPECT_EQ(EndLibrarySystem(), 0);
}

}  // namespace
}  // namespace orbel::testing
