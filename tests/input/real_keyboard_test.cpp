// The key states on a real display: run by CTest under Xvfb with ORBEL_HOST=sdl (tests/extra_tests.cmake),
// keys sent to the library's X window with xdotool show in CopyAllKeyStates by their key codes, every
// letter A to Z among them, and go again on release. Elsewhere the test skips itself.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "orbel/core/library.h"
#include "orbel/core/main_window.h"
#include "orbel/core/message_pump.h"
#include "orbel/core/window_mode.h"
#include "orbel/input/input_system.h"
#include "test_support.h"
#include "wait_until.h"

namespace orbel {
namespace {

constexpr char kTitle[] = "OrbelRealKeyboard";
constexpr int kLetterCodes[26] = {0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17, 0x24, 0x25, 0x26, 0x32,
                                  0x31, 0x18, 0x19, 0x10, 0x13, 0x1F, 0x14, 0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C};

// Pumps and reads until the key reads `down`; the pump calls it took, or -1 when the wait's time ran out.
int WaitForKey(int code, int down) {
  uint8_t keys[256];
  int calls = 0;
  const bool seen = testing::WaitUntil([&] {
    ++calls;
    PumpWindowMessage();
    CopyAllKeyStates(keys);
    return keys[code] == down;
  });
  return seen ? calls : -1;
}

TEST(RealKeyboardTest, KeysSentToTheWindowShowInTheKeyStates) {
  const char* host = std::getenv("ORBEL_HOST");
  if (std::getenv("ORBEL_REAL_KEYBOARD_TEST") == nullptr || host == nullptr || std::string(host) != "sdl") {
    GTEST_SKIP() << "runs under Xvfb with ORBEL_HOST=sdl and ORBEL_REAL_KEYBOARD_TEST=1";
  }
  testing::ScopedWorkDir work;
  SetMainWindowTitle(kTitle);
  ChangeWindowMode(1);
  ASSERT_EQ(InitLibrarySystem(), 0);
  // The X server maps the window in its own time.
  std::string id;
  ASSERT_TRUE(testing::WaitUntil([&] {
    PumpWindowMessage();
    const std::vector<std::string> found =
        testing::CommandLines(std::string("xdotool search --name ") + kTitle + " 2>/dev/null");
    if (!found.empty()) id = found[0];
    return !id.empty();
  })) << "no X window titled " << kTitle;
  ASSERT_EQ(std::system(("xdotool windowfocus --sync " + id + " >/dev/null 2>&1").c_str()), 0);
  ASSERT_GE(WaitForKey(0x1E, 0), 1);

  int slowest = 0;
  for (int i = 0; i < 26; ++i) {
    const std::string letter(1, static_cast<char>('a' + i));
    ASSERT_EQ(std::system(("xdotool keydown " + letter).c_str()), 0);
    const int down = WaitForKey(kLetterCodes[i], 1);
    ASSERT_EQ(std::system(("xdotool keyup " + letter).c_str()), 0);
    const int up = WaitForKey(kLetterCodes[i], 0);
    EXPECT_GT(down, 0) << letter << " never read down";
    EXPECT_GT(up, 0) << letter << " never read up";
    slowest = std::max({slowest, down, up});
  }
  ::testing::Test::RecordProperty("slowest_pump_calls", slowest);
  EXPECT_EQ(EndLibrarySystem(), 0);
}

}  // namespace
}  // namespace orbel
