// The library on a real display: run by CTest under Xvfb with ORBEL_HOST=sdl (tests/extra_tests.cmake),
// it opens a real X window with the set title and client size, and WM_CLOSE takes it away again. The
// X server is asked with xwininfo. Elsewhere (headless runs) the test skips itself.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "orbel/core/library.h"
#include "orbel/core/main_window.h"
#include "orbel/core/message_pump.h"
#include "orbel/core/window_mode.h"
#include "platform/win/user/message_queue.h"
#include "test_support.h"
#include "wait_until.h"

namespace orbel {
namespace {

constexpr char kTitle[] = "OrbelRealWindow";

// The line of `xwininfo -root -tree` that names the window, or "" when there is none.
std::string FindXWindow(const char* title) {
  const std::string quoted = std::string("\"") + title + "\"";
  for (const std::string& line : testing::CommandLines("xwininfo -root -tree 2>/dev/null"))
    if (line.find(quoted) != std::string::npos) return line;
  return "";
}

TEST(RealWindowTest, OpensATitledWindowOfTheScreenSizeAndClosesItOnWmClose) {
  const char* host = std::getenv("ORBEL_HOST");
  if (std::getenv("ORBEL_REAL_WINDOW_TEST") == nullptr || host == nullptr || std::string(host) != "sdl") {
    GTEST_SKIP() << "runs under Xvfb with ORBEL_HOST=sdl and ORBEL_REAL_WINDOW_TEST=1";
  }
  testing::ScopedWorkDir work;
  SetMainWindowTitle(kTitle);
  ChangeWindowMode(1);
  ASSERT_EQ(InitLibrarySystem(), 0);

  // The X server maps the window in its own time.
  std::string shown;
  ASSERT_TRUE(testing::WaitUntil([&] {
    PumpWindowMessage();
    shown = FindXWindow(kTitle);
    return !shown.empty();
  })) << "no X window titled " << kTitle;
  EXPECT_NE(shown.find(" 640x480+"), std::string::npos) << shown;

  ASSERT_TRUE(plat::PostMessageA(GetMainWindowHandle(), plat::WM_CLOSE, 0, 0));
  int result = 0;
  EXPECT_TRUE(testing::WaitUntil([&] { return (result = PumpWindowMessage()) != 0; }));
  EXPECT_EQ(result, -1);
  EXPECT_TRUE(testing::WaitUntil([] { return FindXWindow(kTitle).empty(); })) << "the X window outlived WM_CLOSE";
  EXPECT_EQ(EndLibrarySystem(), 0);
}

}  // namespace
}  // namespace orbel
