// Window mode and full screen: the choice before start-up, the bounded switch after it, the window
// scale and mouse position, the title copy, the pause picture, and the menu-item table's bound.
#include "orbel/core/window_mode.h"

#include <gtest/gtest.h>

#include <string>

#include "core_runtime_fixture.h"
#include "orbel/core/library.h"
#include "orbel/core/library_state.h"
#include "orbel/core/main_window.h"
#include "orbel/core/menu.h"
#include "platform/win/kernel/clock.h"
#include "platform/win/user/cursor.h"
#include "platform/win/user/menu.h"
#include "platform/win/user/message_queue.h"
#include "platform/win/user/window.h"
#include "platform/win/user/window_test_controls.h"

namespace orbel {
namespace {

class WindowModeTest : public testing::CoreRuntimeTest {};

TEST_F(WindowModeTest, BeforeStartUpOnlyTheChoiceIsRecorded) {
  EXPECT_EQ(ChangeWindowMode(1), 0);
  EXPECT_EQ(GetWindowModeFlag(), 1);
  EXPECT_TRUE(plat::test::AllWindows().empty());
  ASSERT_EQ(InitLibrarySystem(), 0);
  EXPECT_NE(plat::test::GetWindowSnapshot(GetMainWindowHandle()).style & plat::WS_CAPTION, 0u);
  // The same mode again logs its line and changes nothing else.
  const size_t lines = LogTexts().size();
  EXPECT_EQ(ChangeWindowMode(1), 0);
  const std::vector<std::string> after = LogTexts();
  ASSERT_EQ(after.size(), lines + 1);
  EXPECT_EQ(after[lines], "ChangeWindowMode実行 ");
}

// Without a display-change notice the switch still returns, after a bounded wait.
TEST_F(WindowModeTest, SwitchAfterStartUpIsBoundedAndAppliesTheFullScreenStyle) {
  ASSERT_EQ(StartWindowed(), 0);
  const uint32_t start = plat::timeGetTime();
  EXPECT_EQ(ChangeWindowMode(0), 0);
  const uint32_t waited = plat::timeGetTime() - start;
  EXPECT_GE(waited, kDisplayChangeWaitMs);
  EXPECT_LT(waited, kDisplayChangeWaitMs + 500);
  EXPECT_EQ(gWindow.modeChangeInProgress, 0);

  const plat::test::WindowSnapshot snapshot = plat::test::GetWindowSnapshot(GetMainWindowHandle());
  EXPECT_TRUE(snapshot.topmost);
  EXPECT_TRUE(snapshot.visible);
  EXPECT_EQ(snapshot.outer.left, 0);
  EXPECT_EQ(snapshot.outer.right, 640);
  EXPECT_DOUBLE_EQ(GetWindowExtendRate(), 1.0);
  EXPECT_GE(FindLine("ウインドウモードフラグが倒されました"), 0);
  EXPECT_GE(FindLine("ウインドウスタイルをフルスクリーンモード用に変更します... 完了"), 0) << LogText();

  // And back: a captioned window of the scaled size again.
  EXPECT_EQ(ChangeWindowMode(1), 0);
  const plat::test::WindowSnapshot back = plat::test::GetWindowSnapshot(GetMainWindowHandle());
  EXPECT_NE(back.style & plat::WS_CAPTION, 0u);
  EXPECT_EQ(back.client.right - back.client.left, 640);
}

// A display-change notice during the switch ends the wait at once.
TEST_F(WindowModeTest, DisplayChangeNoticeEndsTheWait) {
  ASSERT_EQ(StartWindowed(), 0);
  // Past the spacing that keeps display changes 2 s apart, so only the wait itself is measured.
  plat::Sleep(2100);
  plat::PostMessageA(GetMainWindowHandle(), plat::WM_DISPLAYCHANGE, 32, plat::MAKELPARAM(1920, 1080));
  const uint32_t start = plat::timeGetTime();
  ChangeWindowMode(0);
  EXPECT_LT(plat::timeGetTime() - start, kDisplayChangeWaitMs);
  EXPECT_EQ(gWindow.displayChanged, 1);
}

TEST_F(WindowModeTest, ScaleAndMousePositionFollowTheMode) {
  SetWindowExtendRate(2.0);
  ASSERT_EQ(StartWindowed(), 0);
  const plat::RECT client = plat::test::GetWindowSnapshot(GetMainWindowHandle()).client;
  EXPECT_EQ(client.right - client.left, 1280);

  // Full screen ignores the scale: the cursor's screen position is the position.
  struct Case {
    int windowMode;
    int cursorX;  // in window mode, from the client area's corner
    int cursorY;
    int x;
    int y;
  } const cases[] = {{1, 0, 0, 0, 0},   {1, 101, 51, 50, 25}, {1, 1279, 959, 639, 479},
                     {1, -3, -1, -1, 0}, {0, 300, 200, 300, 200}};
  for (const Case& c : cases) {
    gSettings.windowMode = c.windowMode;
    EXPECT_DOUBLE_EQ(GetWindowExtendRate(), c.windowMode ? 2.0 : 1.0);
    plat::SetCursorPos(c.cursorX + (c.windowMode ? client.left : 0), c.cursorY + (c.windowMode ? client.top : 0));
    int x = -99;
    int y = -99;
    GetMousePosition(&x, &y);
    EXPECT_EQ(x, c.x) << c.windowMode << " " << c.cursorX;
    EXPECT_EQ(y, c.y) << c.windowMode << " " << c.cursorY;
  }
  gSettings.windowMode = 1;
}

TEST_F(WindowModeTest, TitleIsCopiedBoundedAndSetOnTheWindow) {
  const std::string longTitle(400, 'T');
  SetMainWindowTitle(longTitle.c_str());
  EXPECT_EQ(std::string(gSettings.title), longTitle.substr(0, kWindowTextSize - 1));

  // A double-byte character that would be cut in half is left out whole.
  std::string japanese(kWindowTextSize - 2, 'a');
  japanese += "打";
  SetMainWindowTitle(japanese.c_str());
  EXPECT_EQ(std::string(gSettings.title), japanese.substr(0, kWindowTextSize - 2));

  SetMainWindowTitle("初め");
  ASSERT_EQ(StartWindowed(), 0);
  SetMainWindowTitle("後で");
  EXPECT_EQ(plat::test::GetWindowSnapshot(GetMainWindowHandle()).title, "後で");
  EXPECT_EQ(plat::test::GetWindowSnapshot(GetMainWindowHandle()).className, "初め");
}

TEST_F(WindowModeTest, PauseGraphNeedsAPicture) {
  EXPECT_EQ(DrawPauseGraph(), -1);
  gLibrary.ending = 1;
  EXPECT_EQ(DrawPauseGraph(), 0);
}

TEST_F(WindowModeTest, MenuRegistryStopsAtItsTableSize) {
  const plat::HMENU menu = plat::CreateMenu();
  const plat::HMENU popup = plat::CreatePopupMenu();
  for (int i = 0; i < 100; ++i) {
    plat::AppendMenuA(popup, plat::MF_STRING, 1000 + i, ("item" + std::to_string(i)).c_str());
  }
  plat::AppendMenuA(popup, plat::MF_SEPARATOR, 0, nullptr);
  plat::AppendMenuA(menu, plat::MF_POPUP, reinterpret_cast<uintptr_t>(popup), "file");
  for (int i = 0; i < 100; ++i) {
    plat::AppendMenuA(menu, plat::MF_STRING, 2000 + i, ("top" + std::to_string(i)).c_str());
  }

  EXPECT_EQ(RegisterMenuItems(menu), -1);
  EXPECT_EQ(GetRegisteredMenuItemCount(), kMenuItemMax);
  EXPECT_EQ(std::string(gWindow.menuItems[0].name), "file");
  EXPECT_EQ(std::string(gWindow.menuItems[1].name), "item0");  // submenu right after its item
  EXPECT_EQ(gWindow.menuItems[101].commandId, 2000);

  gWindow.menuItemCount = 0;
  const plat::HMENU small = plat::CreateMenu();
  plat::AppendMenuA(small, plat::MF_STRING, 7, "seven");
  EXPECT_EQ(RegisterMenuItems(small), 0);
  EXPECT_EQ(GetRegisteredMenuItemCount(), 1);
  plat::DestroyMenu(menu);
  plat::DestroyMenu(small);
}

}  // namespace
}  // namespace orbel
