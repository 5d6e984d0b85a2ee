// The message pump: every queued message in one call, the quit result that stays, no work without a
// window, and the wait while inactive that lasts until the application is active again.
#include "orbel/core/message_pump.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "core_runtime_fixture.h"
#include "orbel/core/library.h"
#include "orbel/core/library_state.h"
#include "orbel/core/main_window.h"
#include "orbel/core/window_proc.h"
#include "orbel/input/input_system.h"
#include "platform/win/kernel/clock.h"
#include "platform/win/user/message_queue.h"

namespace orbel {
namespace {

using MessagePumpTest = testing::WindowedLibraryTest;

TEST_F(MessagePumpTest, OneCallDispatchesTwelveQueuedMessages) {
  std::vector<int> posted;
  for (int i = 0; i < 12; ++i) {
    ASSERT_TRUE(plat::PostMessageA(window_, plat::WM_CHAR, 'a' + i, 0));
    posted.push_back('a' + i);
  }
  EXPECT_EQ(PumpWindowMessage(), 0);
  EXPECT_EQ(testing::DrainInputQueue(), posted);
  plat::MSG msg = {};
  EXPECT_FALSE(plat::PeekMessageA(&msg, nullptr, 0, 0, plat::PM_NOREMOVE));
}

TEST_F(MessagePumpTest, QuitMakesEveryLaterCallReturnMinusOne) {
  plat::PostQuitMessage(0);
  EXPECT_EQ(PumpWindowMessage(), -1);
  EXPECT_EQ(GetQuitMessageFlag(), 1);
  // Once quitting, a message taken from the queue is dropped undispatched.
  plat::PostMessageA(window_, plat::WM_CHAR, 'q', 0);
  EXPECT_EQ(PumpWindowMessage(), -1);
  EXPECT_TRUE(testing::DrainInputQueue().empty());
  plat::MSG msg = {};
  EXPECT_FALSE(plat::PeekMessageA(&msg, window_, 0, 0, plat::PM_NOREMOVE));
  EXPECT_EQ(PumpWindowMessage(), -1);
}

using MessagePumpWithoutWindowTest = testing::CoreRuntimeTest;

TEST_F(MessagePumpWithoutWindowTest, CallOnlyReportsTheQuitFlag) {
  ASSERT_EQ(GetMainWindowHandle(), nullptr);
  EXPECT_EQ(PumpWindowMessage(), 0);
  WaitWhileInactive();  // nothing could make the application active: returns instead of hanging
  gLibrary.quit = 1;
  EXPECT_EQ(PumpWindowMessage(), -1);
}

TEST_F(MessagePumpTest, InactiveApplicationWaitsInTheCallUntilItIsActiveAgain) {
  MainWindowProc(window_, plat::WM_ACTIVATE, plat::WA_INACTIVE, 0);
  ASSERT_EQ(GetActiveFlag(), 0);

  constexpr uint32_t kInactiveMs = 50;
  const uint32_t start = plat::timeGetTime();
  std::atomic<bool> posted{false};
  std::thread activator([&] {
    while (plat::timeGetTime() - start < kInactiveMs) std::this_thread::yield();
    plat::PostMessageA(window_, plat::WM_ACTIVATE, plat::WA_ACTIVE, 0);
    posted = true;
  });
  EXPECT_EQ(PumpWindowMessage(), 0);
  activator.join();
  EXPECT_TRUE(posted.load());
  EXPECT_EQ(GetActiveFlag(), 1);
  EXPECT_GE(plat::timeGetTime() - start, kInactiveMs);
}

TEST_F(MessagePumpTest, RunningInTheBackgroundDoesNotWait) {
  SetRunInBackground(1);
  MainWindowProc(window_, plat::WM_ACTIVATE, plat::WA_INACTIVE, 0);
  const uint32_t start = plat::timeGetTime();
  EXPECT_EQ(PumpWindowMessage(), 0);
  WaitWhileInactive();  // window mode with background running: returns at once
  EXPECT_LT(plat::timeGetTime() - start, 5u);
  EXPECT_EQ(GetActiveFlag(), 0);
}

TEST_F(MessagePumpTest, ClosePostedEndsTheInactiveWait) {
  MainWindowProc(window_, plat::WM_ACTIVATE, plat::WA_INACTIVE, 0);
  gWindow.closePosted = 1;
  plat::PostMessageA(window_, plat::WM_CLOSE, 0, 0);
  // The close is taken in the first round; the window goes and the call reports the quit.
  EXPECT_EQ(PumpWindowMessage(), -1);
}

}  // namespace
}  // namespace orbel
