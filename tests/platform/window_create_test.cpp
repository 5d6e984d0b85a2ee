#include <cstring>
#include <string>

#include "platform/win/kernel/clock.h"
#include "platform/test_controls.h"
#include "platform/win/user/window.h"
#include "platform/win/user/window_messages.h"
#include "window_test_fixture.h"

namespace {

using namespace plat;
using namespace windows_test;

using WindowCreate = RecordingWindowTest;

constexpr DWORD kWindowStyle = 0x80CA0000;  // popup, caption, system menu, minimise box
constexpr DWORD kWindowExStyle = 0x300;     // client edge, window edge

TEST_F(WindowCreate, CreateSendsCreateThenSizeAndMoveBeforeReturning) {
  std::string nameSeen;
  int cxSeen = 0;
  CurrentHook() = [&](HWND, UINT m, WPARAM, LPARAM lp, LRESULT*) {
    if (m == WM_CREATE) {
      const auto* cs = reinterpret_cast<const CREATESTRUCTA*>(lp);
      nameSeen = cs->lpszName;
      cxSeen = cs->cx;
    }
    return false;
  };
  HWND w = MakeWindow("タイトル", kWindowStyle, 100, 50, 650, 509, kWindowExStyle);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(nameSeen, "タイトル");
  EXPECT_EQ(cxSeen, 650);
  ASSERT_EQ(Messages(w), (std::vector<UINT>{WM_CREATE, WM_SIZE, WM_MOVE}));
  // Frame: 3 (dialog frame) + 2 (client edge) per side, caption 19 on top.
  EXPECT_EQ(RecordsOf(WM_SIZE)[0].lParam, MAKELPARAM(640, 480));
  EXPECT_EQ(RecordsOf(WM_MOVE)[0].lParam, MAKELPARAM(105, 74));
  EXPECT_EQ(ClientEdges(w), (Edges{0, 0, 640, 480}));
  POINT origin{0, 0};
  ASSERT_TRUE(ClientToScreen(w, &origin));
  EXPECT_EQ(origin.x, 105);
  EXPECT_EQ(origin.y, 74);
  // Nothing was queued: everything was sent.
  MSG msg;
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(WindowCreate, CreateFailsWhenTheProcedureRefuses) {
  CurrentHook() = [](HWND, UINT m, WPARAM, LPARAM, LRESULT* result) {
    *result = -1;
    return m == WM_CREATE;
  };
  HWND w = MakeWindow("x", WS_POPUP, 0, 0, 10, 10);
  EXPECT_EQ(w, nullptr);
  EXPECT_EQ(Messages(nullptr, {WM_CREATE, WM_DESTROY}), (std::vector<UINT>{WM_CREATE, WM_DESTROY}));
  EXPECT_TRUE(test::AllWindows().empty());
  EXPECT_TRUE(UnregisterClassA(kClass, nullptr));  // no window of the class is left behind
}

TEST_F(WindowCreate, DestroySendsDestroyAtOnceAndDropsQueuedMessages) {
  HWND w = MakeWindow("x", WS_POPUP, 0, 0, 10, 10);
  ASSERT_NE(w, nullptr);
  ASSERT_TRUE(PostMessageA(w, WM_USER + 1, 0, 0));
  ASSERT_TRUE(SetTimer(w, 3, 10, nullptr));
  ClearRecording();
  ASSERT_TRUE(DestroyWindow(w));
  EXPECT_EQ(Messages(w), (std::vector<UINT>{WM_DESTROY}));
  EXPECT_FALSE(IsWindow(w));
  EXPECT_FALSE(DestroyWindow(w));
  Sleep(50);
  MSG msg;
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) << "message " << msg.message << " survived";
  EXPECT_FALSE(PostMessageA(w, WM_USER, 0, 0));
}

TEST_F(WindowCreate, SizeAndMoveAreSentOnlyForRealChanges) {
  HWND w = MakeWindow("x", WS_POPUP, 10, 10, 200, 100);
  ASSERT_NE(w, nullptr);
  struct Case {
    const char* what;
    int x, y, width, height;
    UINT flags;
    std::vector<UINT> expected;
  };
  const Case cases[] = {
      {"same rectangle", 10, 10, 200, 100, 0, {}},
      {"move only", 20, 30, 200, 100, 0, {WM_MOVE}},
      {"size only", 20, 30, 300, 100, 0, {WM_SIZE}},
      {"both", 0, 0, 50, 60, 0, {WM_SIZE, WM_MOVE}},
      {"no move, no size", 99, 99, 99, 99, SWP_NOMOVE | SWP_NOSIZE, {}},
      {"no size: the move only", 5, 6, 999, 999, SWP_NOSIZE, {WM_MOVE}},
  };
  for (const Case& c : cases) {
    ClearRecording();
    ASSERT_TRUE(SetWindowPos(w, nullptr, c.x, c.y, c.width, c.height, c.flags | SWP_NOZORDER | SWP_NOACTIVATE));
    EXPECT_EQ(Messages(w, {WM_SIZE, WM_MOVE}), c.expected) << c.what;
  }
  EXPECT_EQ(WindowEdges(w), (Edges{5, 6, 55, 66}));
}

TEST_F(WindowCreate, ResizingFromWithinSizeHandlingSettles) {
  // A procedure that forces its own client size on every WM_SIZE, as the library's main window does.
  HWND w = MakeWindow("x", WS_POPUP | WS_CAPTION, 0, 0, 200, 100);
  ASSERT_NE(w, nullptr);
  ClearRecording();
  CurrentHook() = [](HWND h, UINT m, WPARAM, LPARAM, LRESULT*) {
    if (m == WM_SIZE) {
      RECT outer{0, 0, 320, 240};
      AdjustWindowRectEx(&outer, WS_POPUP | WS_CAPTION, FALSE, 0);
      RECT now{};
      GetWindowRect(h, &now);
      MoveWindow(h, now.left, now.top, outer.right - outer.left, outer.bottom - outer.top, TRUE);
    }
    return false;
  };
  ASSERT_TRUE(MoveWindow(w, 0, 0, 500, 500, TRUE));
  EXPECT_EQ(ClientEdges(w), (Edges{0, 0, 320, 240}));
  EXPECT_EQ(RecordsOf(WM_SIZE).size(), 2u);
  EXPECT_TRUE(RecordsOf(WM_MOVE).empty());
}

TEST_F(WindowCreate, FrameModelMatchesAdjustWindowRectEx) {
  struct Case {
    DWORD style, exStyle;
    bool menu;
    RECT insets;  // left, top, right, bottom
  };
  const Case cases[] = {
      {0x80CA0000, 0x300, false, {5, 24, 5, 5}},
      {0x80080000, 0x300, false, {2, 2, 2, 2}},
      {0x80080000, 0x0, false, {0, 0, 0, 0}},
      {0x80CA0000, 0x80, false, {3, 18, 3, 3}},  // tool window: small caption
      {0x80CB0000, 0x0, false, {3, 22, 3, 3}},
      {0x80C80000 | WS_THICKFRAME, 0x100, false, {4, 23, 4, 4}},
      {0x80000000, 0x8, false, {0, 0, 0, 0}},
      {WS_OVERLAPPED, 0, true, {3, 41, 3, 3}},  // overlapped windows always have a caption
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << std::hex << c.style << "/" << c.exStyle);
    RECT r{100, 100, 740, 580};
    ASSERT_TRUE(AdjustWindowRectEx(&r, c.style, c.menu, c.exStyle));
    EXPECT_EQ((Edges{100 - r.left, 100 - r.top, r.right - 740, r.bottom - 580}), EdgesOf(c.insets));
    if (c.menu) continue;
    // A window created with that outer rectangle has the 640x480 client area back.
    HWND w = MakeWindow("x", c.style, r.left, r.top, r.right - r.left, r.bottom - r.top, c.exStyle);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(ClientEdges(w), (Edges{0, 0, 640, 480}));
    DestroyWindow(w);
  }
}

TEST_F(WindowCreate, ClassRegistryRefusesDuplicatesAndBusyClasses) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &RecordingProc;
  wc.lpszClassName = "orbeltestclass";  // the same name in another case
  EXPECT_EQ(RegisterClassExA(&wc), 0);
  wc.lpszClassName = "Other";
  wc.cbSize = sizeof wc - 1;
  EXPECT_EQ(RegisterClassExA(&wc), 0);
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = nullptr;
  EXPECT_EQ(RegisterClassExA(&wc), 0);

  EXPECT_EQ(MakeWindow("x", WS_POPUP, 0, 0, 1, 1, 0, "NoSuchClass"), nullptr);
  HWND w = MakeWindow("x", WS_POPUP, 0, 0, 1, 1);
  ASSERT_NE(w, nullptr);
  EXPECT_FALSE(UnregisterClassA(kClass, nullptr));
  DestroyWindow(w);
  EXPECT_TRUE(UnregisterClassA(kClass, nullptr));
  EXPECT_FALSE(UnregisterClassA(kClass, nullptr));
}

TEST_F(WindowCreate, WindowLongsRoundTripAndTopmostFollowsSetWindowPosOnly) {
  HWND w = MakeWindow("x", kWindowStyle, 0, 0, 100, 100, kWindowExStyle);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(static_cast<DWORD>(SetWindowLongA(w, GWL_STYLE, 0x80000000)), 0x80CA0000u);
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(w, GWL_STYLE)), 0x80000000u);
  SetWindowLongA(w, GWL_EXSTYLE, WS_EX_TOPMOST);
  EXPECT_EQ(GetWindowLongA(w, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
  SetWindowPos(w, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  EXPECT_NE(GetWindowLongA(w, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
  EXPECT_TRUE(test::GetWindowSnapshot(w).topmost);

  // A replaced procedure gets the messages; the old one stays callable.
  static int replacedCalls;
  replacedCalls = 0;
  const WNDPROC replacement = [](HWND h, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
    ++replacedCalls;
    return m == WM_USER ? 42 : DefWindowProcA(h, m, wp, lp);
  };
  const auto old = reinterpret_cast<WNDPROC>(SetWindowLongA(w, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(replacement)));
  EXPECT_EQ(old, &RecordingProc);
  EXPECT_EQ(SendMessageA(w, WM_USER, 0, 0), 42);
  EXPECT_EQ(replacedCalls, 1);
  ClearRecording();
  CallWindowProcA(old, w, WM_USER + 5, 0, 0);
  EXPECT_EQ(Messages(w), (std::vector<UINT>{WM_USER + 5}));
}

TEST_F(WindowCreate, TextIsCopiedWithinTheBuffer) {
  HWND w = MakeWindow("Orbel", WS_POPUP, 0, 0, 1, 1);
  ASSERT_NE(w, nullptr);
  char text[4];
  EXPECT_EQ(GetWindowTextA(w, text, sizeof text), 3);
  EXPECT_STREQ(text, "Orb");
  ASSERT_TRUE(SetWindowTextA(w, "ケルヴァロン"));
  char full[64];
  EXPECT_EQ(GetWindowTextA(w, full, sizeof full), static_cast<int>(std::strlen("ケルヴァロン")));
  EXPECT_STREQ(full, "ケルヴァロン");
  EXPECT_EQ(test::GetWindowSnapshot(w).title, "ケルヴァロン");
}

}  // namespace
