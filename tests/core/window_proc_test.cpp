// The main window procedure: typed characters and keys into the input queue, the window/full-screen
// switch request, closing, aspect-ratio sizing, the display kept on, dropped files, hook-key notices.
#include "orbel/core/window_proc.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core_runtime_fixture.h"
#include "orbel/core/drop_files.h"
#include "orbel/core/library.h"
#include "orbel/core/library_state.h"
#include "orbel/core/main_window.h"
#include "orbel/core/memory.h"
#include "orbel/core/message_pump.h"
#include "orbel/core/window_mode.h"
#include "orbel/input/input_system.h"
#include "platform/win/user/drag_drop.h"
#include "platform/win/user/message_queue.h"
#include "platform/win/user/window_messages.h"

namespace orbel {
namespace {

class WindowProcTest : public testing::WindowedLibraryTest {
 protected:
  plat::LRESULT Send(plat::UINT message, plat::WPARAM wParam, plat::LPARAM lParam = 0) {
    return MainWindowProc(window_, message, wParam, lParam);
  }
};

TEST_F(WindowProcTest, CharactersReachTheInputQueueByTheTypingRules) {
  struct Case {
    plat::WPARAM code;
    std::vector<int> queued;
  };
  const Case cases[] = {
      {10, {13}}, {13, {13}}, {8, {8}},   {9, {9}},     {16, {16}},   {27, {27}},
      {32, {32}}, {'a', {'a'}}, {0x82, {0x82}}, {1, {}}, {7, {}}, {11, {}}, {31, {}},
  };
  for (const Case& c : cases) {
    Send(plat::WM_CHAR, c.code);
    EXPECT_EQ(testing::DrainInputQueue(), c.queued) << "WM_CHAR " << c.code;
  }
}

TEST_F(WindowProcTest, ArrowAndDeleteKeysBecomeControlCodesUnlessTheQueueIsFull) {
  const std::pair<plat::WPARAM, int> keys[] = {{plat::VK_DELETE, 0x10}, {plat::VK_LEFT, 0x1D},
                                               {plat::VK_RIGHT, 0x1C},  {plat::VK_UP, 0x1E},
                                               {plat::VK_DOWN, 0x1F}};
  for (const auto& [key, code] : keys) {
    Send(plat::WM_KEYDOWN, key);
    EXPECT_EQ(testing::DrainInputQueue(), std::vector<int>{code}) << key;
  }
  Send(plat::WM_KEYDOWN, 'A');
  EXPECT_TRUE(testing::DrainInputQueue().empty());

  while (!IsInputCharQueueFull()) PushInputChar('x');
  const int writeIndex = InputCharQueue.writeIndex;
  Send(plat::WM_KEYDOWN, plat::VK_LEFT);
  EXPECT_EQ(InputCharQueue.writeIndex, writeIndex);
}

TEST_F(WindowProcTest, AltEnterAndMaximiseRequestAModeSwitchOnlyWhenAllowed) {
  EXPECT_EQ(gSettings.windowModeChangeAllowed, 0);
  Send(plat::WM_SYSCHAR, 13);
  EXPECT_EQ(gWindow.modeChangeRequest, 0);
  Send(plat::WM_SIZE, plat::SIZE_MAXIMIZED);
  EXPECT_EQ(gWindow.modeChangeRequest, 0);

  SetWindowModeChangeAllowed(1);
  EXPECT_EQ(Send(plat::WM_SYSCHAR, 13), 0);
  EXPECT_EQ(gWindow.modeChangeRequest, 1);
  gWindow.modeChangeRequest = 0;
  Send(plat::WM_SIZE, plat::SIZE_MAXIMIZED);
  EXPECT_EQ(gWindow.modeChangeRequest, 1);

  // The pump carries the request out on the main thread: full screen now.
  PumpWindowMessage();
  EXPECT_EQ(gWindow.modeChangeRequest, 0);
  EXPECT_EQ(GetWindowModeFlag(), 0);
}

TEST_F(WindowProcTest, CloseDestroysTheWindowAndPreparesTheQuit) {
  ASSERT_EQ(gLibrary.ending, 0);
  EXPECT_EQ(Send(plat::WM_CLOSE, 0), 0);
  EXPECT_FALSE(plat::IsWindow(window_));
  EXPECT_EQ(gLibrary.ending, 4);
  EXPECT_EQ(GetQuitMessageFlag(), 1);
  const int close = FindLine("ウインドウを閉じようとしています");
  ASSERT_GE(close, 0);
  EXPECT_EQ(FindLine("ウインドウが破棄されようとしています", close), close + 1);
  EXPECT_EQ(FindLine("ソフトを終了する準備が整いました", close), close + 2);
  plat::MSG msg = {};
  ASSERT_TRUE(plat::PeekMessageA(&msg, reinterpret_cast<plat::HWND>(intptr_t{-1}), 0, 0, plat::PM_REMOVE));
  EXPECT_EQ(msg.message, plat::WM_QUIT);
}

TEST_F(WindowProcTest, SizingByACornerKeepsTheScreenAspectAndSetsTheScale) {
  plat::RECT outer = {};
  plat::RECT client = {};
  plat::GetWindowRect(window_, &outer);
  plat::GetClientRect(window_, &client);
  const int frameWidth = (outer.right - outer.left) - client.right;
  const int frameHeight = (outer.bottom - outer.top) - client.bottom;

  struct Case {
    plat::WPARAM edge;
    int proposedWidth;  // client sizes the user dragged to
    int proposedHeight;
    int width;  // client sizes kept
    int height;
  };
  const Case cases[] = {
      {plat::WMSZ_BOTTOMRIGHT, 1000, 600, 1000, 750},  // width leads: 1000/640 > 600/480
      {plat::WMSZ_BOTTOMRIGHT, 700, 900, 1200, 900},   // height leads
      {plat::WMSZ_BOTTOM, 100, 240, 320, 240},
      {plat::WMSZ_RIGHT, 1280, 10, 1280, 960},
  };
  for (const Case& c : cases) {
    plat::RECT proposed = {100, 50, 100 + c.proposedWidth + frameWidth, 50 + c.proposedHeight + frameHeight};
    Send(plat::WM_SIZING, c.edge, reinterpret_cast<plat::LPARAM>(&proposed));
    EXPECT_EQ(proposed.left, 100);
    EXPECT_EQ(proposed.top, 50);
    EXPECT_EQ(proposed.right - proposed.left - frameWidth, c.width) << c.edge;
    EXPECT_EQ(proposed.bottom - proposed.top - frameHeight, c.height) << c.edge;
    EXPECT_DOUBLE_EQ(GetWindowExtendRate(), c.width / 640.0);
  }
}

TEST_F(WindowProcTest, MonitorPowerAndScreenSaverRequestsAreRefused) {
  EXPECT_EQ(Send(plat::WM_SYSCOMMAND, plat::SC_MONITORPOWER), 1);
  EXPECT_EQ(Send(plat::WM_SYSCOMMAND, plat::SC_SCREENSAVE), 1);
  EXPECT_EQ(Send(plat::WM_SYSCOMMAND, plat::SC_KEYMENU), 0);
}

TEST_F(WindowProcTest, DroppedFilesFillTheTableUpTo1000AndReleaseTheDrop) {
  std::vector<std::string> names;
  for (int i = 0; i < 1200; ++i) names.push_back("drop" + std::to_string(i) + ".png");
  const plat::HDROP drop = plat::CreateDropHandle(names, plat::POINT{1, 2});
  const int blocks = GetMemoryBlockCount();
  Send(plat::WM_DROPFILES, reinterpret_cast<plat::WPARAM>(drop));
  ASSERT_EQ(GetDragFileNum(), 1000);
  EXPECT_STREQ(GetDragFileName(0), "drop0.png");
  EXPECT_STREQ(GetDragFileName(999), "drop999.png");
  EXPECT_EQ(GetDragFileName(1000), nullptr);
  EXPECT_EQ(GetMemoryBlockCount(), blocks + 1000);
  EXPECT_EQ(plat::DragQueryFileA(drop, 0xFFFFFFFFu, nullptr, 0), 0u) << "drop not finished";

  ClearDragFileNames();
  EXPECT_EQ(GetDragFileNum(), 0);
  EXPECT_EQ(GetMemoryBlockCount(), blocks);
}

TEST_F(WindowProcTest, HookKeyNoticesSetAndClearTheirFlags) {
  Send(plat::WM_USER + 0x6F, 1);
  Send(plat::WM_USER + 0x70, 1);
  EXPECT_EQ(GetHookKeyFlag(), 1);
  EXPECT_EQ(GetHookKeyFlag2(), 1);
  Send(plat::WM_USER + 0x6F, 2);
  EXPECT_EQ(GetHookKeyFlag(), 0);
  EXPECT_EQ(GetHookKeyFlag2(), 1);
  Send(plat::WM_USER + 0x70, 0);
  EXPECT_EQ(GetHookKeyFlag2(), 0);
}

TEST_F(WindowProcTest, ActivationSetsTheActiveFlagAndRequestsTheImeBack) {
  InputImeState.enabled = 1;
  InputImeState.open = 1;
  Send(plat::WM_ACTIVATE, plat::WA_INACTIVE);
  EXPECT_EQ(GetActiveFlag(), 0);
  Send(plat::WM_ACTIVATEAPP, 1);  // a non-zero WM_ACTIVATEAPP only goes to the default
  EXPECT_EQ(GetActiveFlag(), 0);
  EXPECT_EQ(InputImeState.refreshRequest, 0);
  Send(plat::WM_ACTIVATE, plat::WA_ACTIVE);
  EXPECT_EQ(GetActiveFlag(), 1);
  EXPECT_EQ(InputImeState.refreshRequest, 1);
  Send(plat::WM_ACTIVATEAPP, 0);
  EXPECT_EQ(GetActiveFlag(), 0);
}

}  // namespace
}  // namespace orbel
