#include "platform/test_controls.h"
#include "platform/win/user/window.h"
#include "window_test_fixture.h"

namespace {

using namespace plat;
using namespace windows_test;

class WindowActivation : public RecordingWindowTest {
 protected:
  HWND Make(const char* title, DWORD style = 0x80CA0000) {
    return MakeWindow(title, style, 0, 0, 200, 150);
  }
  // Activation messages of `window` as (message, low word of wParam).
  static std::vector<std::pair<UINT, int>> Activations(HWND window) {
    std::vector<std::pair<UINT, int>> out;
    for (const Recorded& r : Log()) {
      if (r.window == window && (r.message == WM_ACTIVATE || r.message == WM_ACTIVATEAPP))
        out.emplace_back(r.message, static_cast<int>(LOWORD(r.wParam)));
    }
    return out;
  }
};

using Pairs = std::vector<std::pair<UINT, int>>;

TEST_F(WindowActivation, ShowAndHideSendActivateAppAndActivateTogether) {
  HWND w = Make("main");
  ASSERT_NE(w, nullptr);
  EXPECT_TRUE(Activations(w).empty()) << "a hidden window is not activated";
  EXPECT_FALSE(ShowWindow(w, SW_SHOW));
  EXPECT_EQ(Activations(w), (Pairs{{WM_ACTIVATEAPP, 1}, {WM_ACTIVATE, WA_ACTIVE}}));
  EXPECT_EQ(GetForegroundWindow(), w);
  ClearRecording();
  EXPECT_TRUE(ShowWindow(w, SW_SHOW));
  EXPECT_TRUE(Activations(w).empty()) << "no change, no message";
  EXPECT_TRUE(ShowWindow(w, SW_HIDE));
  EXPECT_EQ(Activations(w), (Pairs{{WM_ACTIVATE, WA_INACTIVE}, {WM_ACTIVATEAPP, 0}}));
  EXPECT_EQ(GetForegroundWindow(), nullptr);
}

TEST_F(WindowActivation, SwitchingBetweenOwnWindowsKeepsTheApplicationActive) {
  HWND a = Make("a");
  HWND b = Make("b");
  ShowWindow(a, SW_SHOW);
  ShowWindow(b, SW_SHOW);
  EXPECT_EQ(Activations(a), (Pairs{{WM_ACTIVATEAPP, 1}, {WM_ACTIVATE, WA_ACTIVE}, {WM_ACTIVATE, WA_INACTIVE}}));
  EXPECT_EQ(Activations(b), (Pairs{{WM_ACTIVATE, WA_ACTIVE}}));
  EXPECT_EQ(test::GetWindowSnapshot(b).zIndex, 0);
  ClearRecording();
  EXPECT_EQ(SetActiveWindow(a), b);
  EXPECT_EQ(Activations(b), (Pairs{{WM_ACTIVATE, WA_INACTIVE}}));
  EXPECT_TRUE(test::GetWindowSnapshot(a).active);
}

TEST_F(WindowActivation, HostFocusChangesArriveAtTheNextPeek) {
  HWND w = Make("main");
  ShowWindow(w, SW_SHOW);
  ClearRecording();
  test::InjectFocus(false);
  EXPECT_TRUE(Activations(w).empty()) << "events wait for a peek";
  Drain();
  EXPECT_EQ(Activations(w), (Pairs{{WM_ACTIVATE, WA_INACTIVE}, {WM_ACTIVATEAPP, 0}}));
  ClearRecording();
  test::InjectFocus(true, w);
  Drain();
  EXPECT_EQ(Activations(w), (Pairs{{WM_ACTIVATEAPP, 1}, {WM_ACTIVATE, WA_ACTIVE}}));
}

TEST_F(WindowActivation, MinimiseDeactivatesAndRestoreBringsTheSizeBack) {
  HWND w = Make("main");
  ShowWindow(w, SW_SHOW);
  const Edges before = WindowEdges(w);
  ClearRecording();
  ShowWindow(w, SW_MINIMIZE);
  ASSERT_EQ(RecordsOf(WM_SIZE).size(), 1u);
  EXPECT_EQ(RecordsOf(WM_SIZE)[0].wParam, SIZE_MINIMIZED);
  EXPECT_EQ(Activations(w), (Pairs{{WM_ACTIVATE, WA_INACTIVE}, {WM_ACTIVATEAPP, 0}}));
  EXPECT_EQ(HIWORD(RecordsOf(WM_ACTIVATE)[0].wParam), 1) << "minimised flag in the high word";
  EXPECT_TRUE(IsIconic(w));
  // Moving a minimised window does not disturb its restored place.
  EXPECT_TRUE(MoveWindow(w, 0, 0, 5, 5, TRUE));
  ClearRecording();
  ShowWindow(w, SW_RESTORE);
  ASSERT_EQ(RecordsOf(WM_SIZE).size(), 1u);
  EXPECT_EQ(RecordsOf(WM_SIZE)[0].wParam, SIZE_RESTORED);
  EXPECT_EQ(WindowEdges(w), before);
  EXPECT_TRUE(test::GetWindowSnapshot(w).active);
}

TEST_F(WindowActivation, DestroyingTheActiveWindowDeactivatesFirst) {
  HWND w = Make("main");
  ShowWindow(w, SW_SHOW);
  ClearRecording();
  DestroyWindow(w);
  EXPECT_EQ(Messages(w), (std::vector<UINT>{WM_ACTIVATE, WM_ACTIVATEAPP, WM_DESTROY}));
  EXPECT_EQ(GetForegroundWindow(), nullptr);
}

TEST_F(WindowActivation, TopmostWindowsStayInFront) {
  HWND a = Make("a");
  HWND b = Make("b");
  ShowWindow(a, SW_SHOW);
  ShowWindow(b, SW_SHOW);
  SetWindowPos(a, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  EXPECT_EQ(test::GetWindowSnapshot(a).zIndex, 0);
  EXPECT_TRUE(test::GetWindowSnapshot(b).active) << "SWP_NOACTIVATE left the activation alone";
  BringWindowToTop(b);
  EXPECT_EQ(test::GetWindowSnapshot(a).zIndex, 0);
  EXPECT_EQ(test::GetWindowSnapshot(b).zIndex, 1);
  SetWindowPos(a, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  BringWindowToTop(b);
  EXPECT_EQ(test::GetWindowSnapshot(b).zIndex, 0);
}

}  // namespace
