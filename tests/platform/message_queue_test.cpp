#include <algorithm>
#include <atomic>
#include <thread>

#include "platform/win/kernel/clock.h"
#include "platform/win/gdi/gdi_dc.h"
#include "platform/win/user/message_queue.h"
#include "platform/win/kernel/sync.h"
#include "platform/test_controls.h"
#include "platform/win/user/user_keys.h"
#include "wait_until.h"
#include "window_test_fixture.h"

namespace {

using namespace plat;
using namespace windows_test;

const HWND kThreadOnly = reinterpret_cast<HWND>(intptr_t{-1});

// Two hidden popups, registered without redraw styles, and nothing recorded yet.
class MessageQueue : public RecordingWindowTest {
 protected:
  MessageQueue() : RecordingWindowTest(0) {}
  void SetUp() override {
    RecordingWindowTest::SetUp();
    a_ = MakeWindow("a", WS_POPUP, 0, 0, 10, 10);
    b_ = MakeWindow("b", WS_POPUP, 0, 0, 10, 10);
    ASSERT_NE(a_, nullptr);
    ASSERT_NE(b_, nullptr);
    ClearRecording();
  }
  HWND a_ = nullptr;
  HWND b_ = nullptr;
};

TEST_F(MessageQueue, FiltersPickTheirMessagesInPostingOrder) {
  enum class Filter { Any, ThreadOnly, WindowB };
  struct Case {
    const char* what;
    Filter filter;
    UINT min, max;
    std::vector<UINT> expected;  // taken in this order with PM_REMOVE
  };
  const Case cases[] = {
      {"everything", Filter::Any, 0, 0, {WM_USER + 1, WM_USER + 2, WM_USER + 3, WM_USER + 4}},
      {"thread messages", Filter::ThreadOnly, 0, 0, {WM_USER + 3}},
      {"window b", Filter::WindowB, 0, 0, {WM_USER + 2, WM_USER + 4}},
      {"range", Filter::Any, WM_USER + 2, WM_USER + 3, {WM_USER + 2, WM_USER + 3}},
      {"range and window", Filter::WindowB, WM_USER + 3, WM_USER + 9, {WM_USER + 4}},
  };
  for (const Case& c : cases) {
    PostMessageA(a_, WM_USER + 1, 0, 0);
    PostMessageA(b_, WM_USER + 2, 0, 0);
    PostMessageA(nullptr, WM_USER + 3, 0, 0);
    PostMessageA(b_, WM_USER + 4, 0, 0);
    const HWND filter = c.filter == Filter::Any ? nullptr : c.filter == Filter::ThreadOnly ? kThreadOnly : b_;
    std::vector<UINT> taken;
    MSG msg;
    while (PeekMessageA(&msg, filter, c.min, c.max, PM_REMOVE)) taken.push_back(msg.message);
    EXPECT_EQ(taken, c.expected) << c.what;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
  }
}

TEST_F(MessageQueue, NoRemoveLeavesTheMessageInPlace) {
  PostMessageA(a_, WM_USER, 7, 8);
  MSG msg{};
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.hwnd, a_);
  EXPECT_EQ(msg.wParam, 7u);
  EXPECT_EQ(msg.lParam, 8);
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(MessageQueue, QuitComesAfterThePostedMessagesAndOnlyToThreadFilters) {
  PostQuitMessage(3);
  PostMessageA(a_, WM_USER, 0, 0);
  PostMessageA(nullptr, WM_USER + 1, 0, 0);
  MSG msg;
  EXPECT_FALSE(PeekMessageA(&msg, b_, 0, 0, PM_REMOVE));  // a window filter never sees WM_QUIT
  std::vector<UINT> taken;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    taken.push_back(msg.message);
    if (msg.message == WM_QUIT) {
      EXPECT_EQ(msg.wParam, 3u);
    }
  }
  EXPECT_EQ(taken, (std::vector<UINT>{WM_USER, WM_USER + 1, WM_QUIT}));

  PostQuitMessage(0);
  ASSERT_TRUE(PeekMessageA(&msg, kThreadOnly, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_QUIT);
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) << "quit is taken once";
  PostMessageA(a_, WM_USER, 0, 0);
  PostQuitMessage(1);
  EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), TRUE);
  EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), FALSE);
  EXPECT_EQ(msg.message, WM_QUIT);
}

TEST_F(MessageQueue, TwelveQueuedMessagesAreDispatchedInOrder) {
  for (UINT i = 0; i < 12; ++i) PostMessageA(i % 2 ? a_ : b_, WM_USER + i, i, 0);
  EXPECT_EQ(Drain(), 12);
  std::vector<UINT> expected;
  for (UINT i = 0; i < 12; ++i) expected.push_back(WM_USER + i);
  EXPECT_EQ(Messages(), expected);
  EXPECT_EQ(Log()[3].window, a_);
}

TEST_F(MessageQueue, PeeksNestInsideADispatch) {
  CurrentHook() = [&](HWND h, UINT m, WPARAM, LPARAM, LRESULT*) {
    if (m == WM_USER) {
      PostMessageA(h, WM_USER + 10, 0, 0);
      Drain();  // takes WM_USER + 1 (already queued) and WM_USER + 10
    }
    return false;
  };
  PostMessageA(a_, WM_USER, 0, 0);
  PostMessageA(a_, WM_USER + 1, 0, 0);
  PostMessageA(a_, WM_USER + 2, 0, 0);
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  DispatchMessageA(&msg);
  EXPECT_EQ(Messages(), (std::vector<UINT>{WM_USER, WM_USER + 1, WM_USER + 2, WM_USER + 10}));
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(MessageQueue, TimersFireOnTheVirtualClock) {
  ASSERT_EQ(SetTimer(a_, 7, 100, nullptr), 7u);
  MSG msg;
  Sleep(90);
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  Sleep(20);
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_TIMER);
  EXPECT_EQ(msg.hwnd, a_);
  EXPECT_EQ(msg.wParam, 7u);
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) << "rearmed, not due again yet";
  Sleep(100);
  EXPECT_TRUE(PeekMessageA(&msg, b_, 0, 0, PM_NOREMOVE) == FALSE) << "another window's filter";
  EXPECT_TRUE(PeekMessageA(&msg, a_, WM_TIMER, WM_TIMER, PM_REMOVE));
  ASSERT_TRUE(KillTimer(a_, 7));
  EXPECT_FALSE(KillTimer(a_, 7));
  Sleep(500);
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));

  // A thread timer with a procedure: dispatching calls it.
  static int calls;
  calls = 0;  // reset on each run, for --gtest_repeat
  const UINT_PTR id = SetTimer(nullptr, 0, 5, [](HWND, UINT m, UINT_PTR, DWORD) { calls += m == WM_TIMER; });
  ASSERT_NE(id, 0u);
  Sleep(10);  // below the 10 ms minimum the period is 10 ms
  ASSERT_TRUE(PeekMessageA(&msg, kThreadOnly, 0, 0, PM_REMOVE));
  DispatchMessageA(&msg);
  EXPECT_EQ(calls, 1);
  KillTimer(nullptr, id);
}

TEST_F(MessageQueue, PaintComesAfterPostedMessagesUntilValidated) {
  ShowWindow(a_, SW_SHOWNA);
  PostMessageA(b_, WM_USER, 0, 0);
  ClearRecording();
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_USER);
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_PAINT);
  EXPECT_EQ(msg.hwnd, a_);
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) << "still invalid until painted";
  DispatchMessageA(&msg);  // DefWindowProcA validates
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_TRUE(UpdateWindow(a_));
  EXPECT_TRUE(RecordsOf(WM_PAINT).size() == 1) << "UpdateWindow paints only an invalid window";
  InvalidateRect(a_, nullptr, FALSE);
  UpdateWindow(a_);
  EXPECT_EQ(RecordsOf(WM_PAINT).size(), 2u);
}

TEST_F(MessageQueue, TranslateMessagePostsTheCharacterNext) {
  struct Case {
    const char* what;
    std::vector<UINT> held;  // keys held down first
    UINT key;
    std::vector<std::pair<UINT, WPARAM>> expected;  // messages after the held keys' own
  };
  const Case cases[] = {
      {"letter", {}, 'A', {{WM_KEYDOWN, 'A'}, {WM_CHAR, 'a'}, {WM_KEYUP, 'A'}}},
      {"shifted letter", {VK_SHIFT}, 'A', {{WM_KEYDOWN, 'A'}, {WM_CHAR, 'A'}, {WM_KEYUP, 'A'}}},
      {"shifted digit", {VK_SHIFT}, '1', {{WM_KEYDOWN, '1'}, {WM_CHAR, '!'}, {WM_KEYUP, '1'}}},
      {"enter", {}, VK_RETURN, {{WM_KEYDOWN, VK_RETURN}, {WM_CHAR, 13}, {WM_KEYUP, VK_RETURN}}},
      {"alt+enter", {VK_MENU}, VK_RETURN, {{WM_SYSKEYDOWN, VK_RETURN}, {WM_SYSCHAR, 13}, {WM_SYSKEYUP, VK_RETURN}}},
      {"ctrl+c", {VK_CONTROL}, 'C', {{WM_KEYDOWN, 'C'}, {WM_CHAR, 3}, {WM_KEYUP, 'C'}}},
      {"arrow", {}, VK_LEFT, {{WM_KEYDOWN, VK_LEFT}, {WM_KEYUP, VK_LEFT}}},
  };
  for (const Case& c : cases) {
    test::ResetWindow();
    ClearRecording();
    RegisterTestClass(kClass, 0);
    HWND w = MakeWindow("k", WS_POPUP, 0, 0, 1, 1);
    ShowWindow(w, SW_SHOW);
    for (UINT held : c.held) test::InjectKey(held, true);
    Drain();
    ClearRecording();
    test::InjectKeyPress(c.key);
    Drain();
    std::vector<std::pair<UINT, WPARAM>> got;
    for (const Recorded& r : Log()) {
      if (r.message >= WM_KEYFIRST && r.message <= WM_KEYLAST) got.emplace_back(r.message, r.wParam);
    }
    EXPECT_EQ(got, c.expected) << c.what;
  }
}

TEST_F(MessageQueue, AnotherThreadPostsAndSendsThroughTheOwnersQueue) {
  static std::atomic<DWORD> procThread{0};
  CurrentHook() = [](HWND, UINT m, WPARAM wp, LPARAM, LRESULT* result) {
    if (m != WM_USER + 50) return false;
    procThread = GetCurrentThreadId();
    *result = static_cast<LRESULT>(wp * 2);
    return true;
  };
  const DWORD owner = GetCurrentThreadId();
  std::atomic<LRESULT> sendResult{-1};
  std::atomic<bool> done{false};
  HWND target = a_;
  std::thread other([&] {
    PostMessageA(target, WM_USER + 40, 0, 0);
    sendResult = SendMessageA(target, WM_USER + 50, 21, 0);
    done = true;
  });
  // The send completes only when the owner looks at its queue.
  MSG msg;
  EXPECT_TRUE(orbel::testing::WaitUntil([&] {
    if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    return done.load();
  }));
  other.join();
  EXPECT_EQ(sendResult.load(), 42);
  EXPECT_EQ(procThread.load(), owner);
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  // Sent messages are served before posted ones, so the two may arrive in either order.
  std::vector<UINT> got = Messages(a_);
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got, (std::vector<UINT>{WM_USER + 40, WM_USER + 50}));
}

}  // namespace
