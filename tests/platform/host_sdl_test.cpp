// The SDL host on a real (or virtual) X display. These tests run only when ORBEL_HOST=sdl, which the
// CTest entries platform.HostSdl.*UnderXvfb set under xvfb-run, one process a test; otherwise skipped.
#include <cstdlib>
#include <cstring>

#include "platform/host/host.h"
#include "platform/win/gdi/gdi_dc.h"
#include "platform/test_controls.h"
#include "platform/win/user/user_system.h"
#include "test_support.h"
#include "wait_until.h"
#include "window_test_recorder.h"

namespace {

using namespace plat;
using namespace windows_test;
using orbel::testing::WaitUntil;

// The X server answers a window's changes in its own time: what it may send is served for a while.
constexpr std::chrono::milliseconds kServerSettle{500};

void DrainWhileTheServerSettles() {
  WaitUntil(
      [] {
        Drain();
        return false;
      },
      kServerSettle);
}

class HostSdl : public orbel::testing::VirtualClockTest {
 protected:
  void SetUp() override {
    VirtualClockTest::SetUp();
    const char* wanted = std::getenv("ORBEL_HOST");
    if (wanted == nullptr || std::strcmp(wanted, "sdl") != 0) GTEST_SKIP() << "ORBEL_HOST is not sdl";
    auto sdl = host::CreateHostByName("sdl");
    ASSERT_NE(sdl, nullptr) << "ORBEL_HOST=sdl but SDL video does not start here";
    host::Install(std::move(sdl));
    ClearRecording();
    RegisterTestClass();
  }
  void TearDown() override {
    ClearRecording();
    VirtualClockTest::TearDown();
  }
};

TEST_F(HostSdl, RealWindowShowsItsClientAreaAndClosesOnWmClose) {
  EXPECT_STREQ(host::Current().Name(), "sdl");
  EXPECT_GT(GetSystemMetrics(SM_CXSCREEN), 0);
  HDC screen = GetDC(nullptr);
  const int depth = GetDeviceCaps(screen, BITSPIXEL);
  ReleaseDC(nullptr, screen);
  EXPECT_TRUE(depth == 16 || depth == 24 || depth == 32) << depth;

  RECT outer{0, 0, 320, 240};
  AdjustWindowRectEx(&outer, 0x80CA0000, FALSE, 0x300);
  HWND w = CreateWindowExA(0x300, kClass, "Kelvaron打 -ケルヴァロンだ-", 0x80CA0000 | WS_VISIBLE, 40, 30,
                           outer.right - outer.left, outer.bottom - outer.top, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(w, nullptr);
  DrainWhileTheServerSettles();

  HDC dc = GetDC(w);
  HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
  RECT r{0, 0, 320, 240};
  FillRect(dc, &r, blue);
  DeleteObject(blue);
  ReleaseDC(w, dc);
  host::Frame frame = test::CaptureWindowFrame(w);
  ASSERT_EQ(frame.width, 320);
  ASSERT_EQ(frame.height, 240);
  EXPECT_EQ(frame.pixels[0], 0x0000FFu);

  SetWindowTextA(w, "別の題");
  MoveWindow(w, 10, 10, outer.right - outer.left + 16, outer.bottom - outer.top, TRUE);
  RECT client{};
  const auto resized = [&] {
    Drain();
    GetClientRect(w, &client);
    return client.right != 336;
  };
  EXPECT_FALSE(WaitUntil(resized, kServerSettle)) << "the window keeps the size we set, whatever the server echoes";
  EXPECT_EQ(client.right, 336);

  PostMessageA(w, WM_CLOSE, 0, 0);
  Drain();
  EXPECT_FALSE(IsWindow(w));
  EXPECT_EQ(Messages(w, {WM_CLOSE, WM_DESTROY}), (std::vector<UINT>{WM_CLOSE, WM_DESTROY}));
}

TEST_F(HostSdl, AFullScreenWindowOnASwitchedDisplayKeepsItsSize) {
  HDC screen = GetDC(nullptr);
  const int realWidth = GetDeviceCaps(screen, HORZRES), realHeight = GetDeviceCaps(screen, VERTRES);
  const int realDepth = GetDeviceCaps(screen, BITSPIXEL);
  ReleaseDC(nullptr, screen);
  ASSERT_TRUE(ApplyDisplayMode(640, 480, 16));
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 640);
  HWND w = CreateWindowExA(WS_EX_TOPMOST, kClass, "full", WS_POPUP | WS_VISIBLE, 0, 0, 640, 480, nullptr,
                           nullptr, nullptr, nullptr);
  ASSERT_NE(w, nullptr);
  // The real window now covers the real screen; what the server reports must not resize ours.
  RECT client{}, outer{};
  const auto moved = [&] {
    Drain();
    GetClientRect(w, &client);
    GetWindowRect(w, &outer);
    return client.right != 640 || client.bottom != 480 || outer.left != 0 || outer.top != 0;
  };
  EXPECT_FALSE(WaitUntil(moved, kServerSettle));
  EXPECT_EQ(client.right, 640);
  EXPECT_EQ(client.bottom, 480);
  EXPECT_EQ(outer.left, 0);
  EXPECT_EQ(outer.top, 0);
  ASSERT_TRUE(ApplyDisplayMode(realWidth, realHeight, realDepth));
  EXPECT_FALSE(WaitUntil(
      [&] {
        Drain();
        GetClientRect(w, &client);
        return client.right != 640;
      },
      kServerSettle));
  EXPECT_EQ(client.right, 640);
  DestroyWindow(w);
}

}  // namespace
