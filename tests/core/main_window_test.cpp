// The main window: class name and title defaults, the window-mode geometry (screen size times scale,
// centred) and the full-screen one (topmost popup at 0,0, cursor hidden), the memory and timer report,
// and an end that restores what creation changed and may be repeated.
#include "orbel/core/main_window.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "core_runtime_fixture.h"
#include "orbel/core/library.h"
#include "orbel/core/library_state.h"
#include "orbel/core/window_mode.h"
#include "platform/win/kernel/clock_test_controls.h"
#include "platform/win/kernel/kernel_test_controls.h"
#include "platform/win/user/user_system.h"
#include "platform/win/user/window.h"
#include "platform/win/user/window_test_controls.h"

namespace orbel {
namespace {

class MainWindowTest : public testing::CoreRuntimeTest {
 protected:
  plat::test::WindowSnapshot Snapshot() const { return plat::test::GetWindowSnapshot(GetMainWindowHandle()); }
  static int Width(const plat::RECT& r) { return r.right - r.left; }
  static int Height(const plat::RECT& r) { return r.bottom - r.top; }
  static std::tuple<int, int, int, int> Box(const plat::RECT& r) { return {r.left, r.top, r.right, r.bottom}; }
};

// The class name and title are the set title, or "K471305Q" and "Orbel" when none was set.
TEST_F(MainWindowTest, WindowModeClientIsTheScaledScreenSizeCentredOnTheDesktop) {
  struct Case {
    const char* title;  // null: none set
    double scale;
    int clientWidth;
    int clientHeight;
    double storedScale;
  };
  const char* const kTitle = "Kelvaron打 -ケルヴァロンだ-";
  const Case cases[] = {{nullptr, 1.0, 640, 480, 1.0},
                        {nullptr, 0.0, 640, 480, 1.0},
                        {nullptr, -3.0, 640, 480, 1.0},
                        {kTitle, 1.5, 960, 720, 1.5}};
  for (const Case& c : cases) {
    testing::ResetCoreRuntimeState();
    if (c.title) SetMainWindowTitle(c.title);
    SetWindowExtendRate(c.scale);
    ASSERT_EQ(StartWindowed(), 0);
    const plat::test::WindowSnapshot snapshot = Snapshot();
    EXPECT_EQ(snapshot.className, c.title ? c.title : "K471305Q") << c.scale;
    EXPECT_EQ(snapshot.title, c.title ? c.title : "Orbel") << c.scale;
    EXPECT_EQ(Width(snapshot.client), c.clientWidth) << c.scale;
    EXPECT_EQ(Height(snapshot.client), c.clientHeight) << c.scale;
    EXPECT_EQ(snapshot.outer.left, (1920 - Width(snapshot.outer)) / 2) << c.scale;
    EXPECT_EQ(snapshot.outer.top, (1080 - Height(snapshot.outer)) / 2) << c.scale;
    EXPECT_EQ(gSettings.windowScale, c.storedScale) << c.scale;
    EXPECT_FALSE(snapshot.topmost) << c.scale;
    EXPECT_TRUE(snapshot.visible) << c.scale;

    plat::RECT size = {};
    GetMainWindowSize(&size);
    EXPECT_EQ(Box(size), Box(snapshot.client));
    EndLibrarySystem();
  }
}

TEST_F(MainWindowTest, FullScreenIsATopmostPopupAtTheOriginWithTheCursorHidden) {
  ChangeWindowMode(0);
  ASSERT_EQ(InitLibrarySystem(), 0);
  const plat::test::WindowSnapshot snapshot = Snapshot();
  EXPECT_NE(snapshot.style & plat::WS_POPUP, 0u);
  EXPECT_EQ(snapshot.style & plat::WS_CAPTION, 0u);
  EXPECT_TRUE(snapshot.topmost);
  EXPECT_EQ(Box(snapshot.outer), std::make_tuple(0, 0, 640, 480));
  EXPECT_EQ(plat::test::CurrentCursor(), nullptr);
  EXPECT_GE(FindLine("カーソルを不可視にしました"), 0);
  EXPECT_GE(FindLine("フルスクリーンモード用のウインドウを作成します"), 0);
}

TEST_F(MainWindowTest, CreationReportsMemoryAndPicksTheFinerClock) {
  plat::test::SetPhysicalMemory(uint64_t{1} << 30, uint64_t{1} << 29);
  plat::test::ClearDebugOutput();
  ASSERT_EQ(StartWindowed(), 0);
  EXPECT_GE(FindLine("メモリ総量:1024.00MB  空きメモリ領域:512.00MB "), 0) << LogText();
  EXPECT_NE(plat::test::DebugOutputText().find("512.00MB\n"), std::string::npos);
  // On the virtual clock every counter reading moves it, so the counter changes more often than the
  // millisecond timer: the counter is kept.
  const int result = FindLine("タイマーの精度を検査します");
  ASSERT_GE(result, 0);
  const std::string counts = LogTexts()[result + 1];
  EXPECT_EQ(counts.rfind("精度結果 更新回数 マルチメディアタイマー：", 0), 0u) << counts;
  EXPECT_NE(counts.find("パフォーマンスカウンター：60"), std::string::npos) << counts;
  EXPECT_GE(FindLine("パフォーマンスカウンターを使用します タイマー分解能 : 1000000.000000 KHz "), 0) << LogText();
  EXPECT_EQ(gLibrary.performanceCounter, 1);
}

TEST_F(MainWindowTest, EndRestoresTheSystemAndASecondEndDoesNothing) {
  ASSERT_EQ(StartWindowed(), 0);
  EXPECT_FALSE(plat::test::ScreenSaverActive());
  EXPECT_FALSE(plat::test::ImeEnabled());
  EXPECT_EQ(plat::test::TimerPeriodDepth(), 2);  // window creation and the system report

  const plat::HWND window = GetMainWindowHandle();
  EXPECT_EQ(EndMainWindow(), 0);
  EXPECT_FALSE(plat::IsWindow(window));
  EXPECT_TRUE(plat::test::ScreenSaverActive());
  EXPECT_TRUE(plat::test::ImeEnabled());
  EXPECT_EQ(plat::test::TimerPeriodDepth(), 1);
  const std::string log = LogText();
  EXPECT_EQ(EndMainWindow(), 0);
  EXPECT_EQ(LogText(), log);
  EXPECT_EQ(plat::test::TimerPeriodDepth(), 1);
}

TEST_F(MainWindowTest, ScreenSaverThatWasOffStaysOff) {
  plat::SystemParametersInfoA(plat::SPI_SETSCREENSAVEACTIVE, plat::FALSE, nullptr, 0);
  ASSERT_EQ(StartWindowed(), 0);
  EndLibrarySystem();
  EXPECT_FALSE(plat::test::ScreenSaverActive());
}

}  // namespace
}  // namespace orbel
