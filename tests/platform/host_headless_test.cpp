#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/host/headless/input_script.h"
#include "platform/host/host.h"
#include "platform/win/kernel/clock.h"
#include "platform/win/user/cursor.h"
#include "platform/win/user/drag_drop.h"
#include "platform/win/gdi/gdi_dc.h"
#include "platform/win/user/message_box.h"
#include "platform/test_controls.h"
#include "window_test_fixture.h"

namespace {

using namespace plat;
using namespace windows_test;

class HostHeadless : public RecordingWindowTest {
 protected:
  void TearDown() override {
    unsetenv("ORBEL_HEADLESS_SCRIPT");
    unsetenv("ORBEL_MESSAGEBOX_ANSWER");
    unsetenv("ORBEL_HEADLESS_CAPTURE_DIR");
    RecordingWindowTest::TearDown();
  }
  // A shown popup window with a client area of width x height at (x, y).
  HWND MakeShown(int x, int y, int width, int height) {
    HWND w = MakeWindow("frame", WS_POPUP, x, y, width, height);
    ShowWindow(w, SW_SHOW);
    return w;
  }
};

uint32_t PixelAt(const host::Frame& f, int x, int y) { return f.pixels[static_cast<size_t>(y) * f.width + x]; }

TEST_F(HostHeadless, DesktopIsFullHdAt32BitsUnlessATestSetsAnother) {
  HDC screen = GetDC(nullptr);
  ASSERT_NE(screen, nullptr);
  EXPECT_EQ(GetDeviceCaps(screen, HORZRES), 1920);
  EXPECT_EQ(GetDeviceCaps(screen, VERTRES), 1080);
  EXPECT_EQ(GetDeviceCaps(screen, BITSPIXEL) * GetDeviceCaps(screen, PLANES), 32);
  test::SetDesktopDepth(24);
  test::SetDesktopSize(800, 600);
  EXPECT_EQ(GetDeviceCaps(screen, BITSPIXEL), 24);
  EXPECT_EQ(GetDeviceCaps(screen, HORZRES), 800);
  EXPECT_EQ(ReleaseDC(nullptr, screen), 1);
  EXPECT_EQ(ReleaseDC(nullptr, screen), 0) << "released twice";
  EXPECT_EQ(GetDeviceCaps(nullptr, BITSPIXEL), 0);
}

TEST_F(HostHeadless, WindowDcFillsTheCapturedFrame) {
  HWND w = MakeShown(0, 0, 64, 48);
  host::Frame frame = test::CaptureWindowFrame(w);
  ASSERT_EQ(frame.width, 64);
  ASSERT_EQ(frame.height, 48);
  EXPECT_EQ(PixelAt(frame, 10, 10), 0u) << "black until something is drawn";

  HDC dc = GetDC(w);
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  RECT r{8, 8, 16, 12};
  EXPECT_EQ(FillRect(dc, &r, red), 1);
  RECT all{-5, -5, 1000, 1000};
  EXPECT_EQ(FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(NULL_BRUSH))), 1);  // paints nothing
  EXPECT_TRUE(DeleteObject(red));
  EXPECT_TRUE(DeleteObject(GetStockObject(BLACK_BRUSH))) << "stock objects survive DeleteObject";
  RECT corner{8, 8, 10, 10};
  EXPECT_EQ(FillRect(dc, &corner, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH))), 1);
  RECT green{60, 40, 70, 50};  // clipped at the client edge
  HBRUSH g = CreateSolidBrush(RGB(0, 255, 0));
  FillRect(dc, &green, g);
  DeleteObject(g);
  ReleaseDC(w, dc);

  frame = test::CaptureWindowFrame(w);
  EXPECT_EQ(PixelAt(frame, 8, 8), 0u);
  EXPECT_EQ(PixelAt(frame, 12, 10), 0xFF0000u) << "COLORREF red is 0x00RRGGBB red in the frame";
  EXPECT_EQ(PixelAt(frame, 16, 10), 0u) << "right edge exclusive";
  EXPECT_EQ(PixelAt(frame, 63, 47), 0x00FF00u);
  EXPECT_EQ(PixelAt(frame, 59, 40), 0u);

  // Grow the window: what was drawn stays at the top left, the rest is black.
  MoveWindow(w, 0, 0, 80, 60, TRUE);
  frame = test::CaptureWindowFrame(w);
  ASSERT_EQ(frame.width, 80);
  EXPECT_EQ(PixelAt(frame, 63, 47), 0x00FF00u);
  EXPECT_EQ(PixelAt(frame, 70, 50), 0u);
}

TEST_F(HostHeadless, PresentedFramesAreClippedAndSavedAsPng) {
  HWND w = MakeShown(0, 0, 4, 3);
  const uint32_t src[2 * 2] = {0x00112233, 0x00445566, 0x00778899, 0x00AABBCC};
  host::FrameView view{reinterpret_cast<const uint8_t*>(src), 2, 2, 8};
  host::Current().PresentFrame(w, 3, -1, view);  // only the bottom-left source pixel lands, at (3, 0)
  host::Frame frame = test::CaptureWindowFrame(w);
  EXPECT_EQ(PixelAt(frame, 3, 0), 0x00778899u);
  EXPECT_EQ(PixelAt(frame, 2, 0), 0u);
  EXPECT_EQ(PixelAt(frame, 3, 1), 0u);

  orbel::testing::ScopedWorkDir dir;
  const std::string path = (dir.path() / "frame.png").string();
  ASSERT_TRUE(test::SaveWindowFramePng(w, path));
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_file(&image, path.c_str()));
  EXPECT_EQ(image.width, 4u);
  EXPECT_EQ(image.height, 3u);
  image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
  ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr));
  EXPECT_EQ(rgb[3 * 3 + 0], 0x77);
  EXPECT_EQ(rgb[3 * 3 + 1], 0x88);
  EXPECT_EQ(rgb[3 * 3 + 2], 0x99);
  EXPECT_FALSE(test::SaveWindowFramePng(nullptr, path)) << "no window, no frame";

  // With a capture directory every presented frame is also written, numbered.
  setenv("ORBEL_HEADLESS_CAPTURE_DIR", dir.path().c_str(), 1);
  host::Install(host::CreateHostByName("headless"));
  unsetenv("ORBEL_HEADLESS_CAPTURE_DIR");
  HWND again = MakeShown(0, 0, 4, 3);
  host::Current().PresentFrame(again, 0, 0, view);
  host::Current().PresentFrame(again, 1, 1, view);
  EXPECT_TRUE(std::filesystem::exists(dir.path() / "frame_000000.png"));
  EXPECT_TRUE(std::filesystem::exists(dir.path() / "frame_000001.png"));
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "frame_000002.png"));
}

TEST_F(HostHeadless, CaptureFramesLimitsTheCaptureToTheListedFrames) {
  orbel::testing::ScopedWorkDir work;
  const std::filesystem::path dir = work.path() / "runs" / "frames";  // made by the host
  const uint32_t pixels[1] = {0x00112233u};
  const host::FrameView view{reinterpret_cast<const uint8_t*>(pixels), 1, 1, 4};
  setenv("ORBEL_HEADLESS_CAPTURE_DIR", dir.c_str(), 1);
  setenv("ORBEL_HEADLESS_CAPTURE_FRAMES", "1, 4-6,9", 1);
  host::Install(host::CreateHostByName("headless"));
  unsetenv("ORBEL_HEADLESS_CAPTURE_FRAMES");
  HWND w = MakeShown(0, 0, 1, 1);
  for (int i = 0; i < 12; ++i) host::Current().PresentFrame(w, 0, 0, view);
  std::vector<int> written;
  for (int i = 0; i < 12; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "frame_%06d.png", i);
    if (std::filesystem::exists(dir / name)) written.push_back(i);
  }
  EXPECT_EQ(written, (std::vector<int>{1, 4, 5, 6, 9}));
}

TEST(HostHeadlessDeath, ABadCaptureSettingStopsTheProgramNamingIt) {
  for (const char* bad : {"1,,2", "5-3", "x", "1-", "99999999999"}) {
    setenv("ORBEL_HEADLESS_CAPTURE_FRAMES", bad, 1);
    EXPECT_DEATH(host::CreateHostByName("headless"), "ORBEL_HEADLESS_CAPTURE_FRAMES") << bad;
  }
  unsetenv("ORBEL_HEADLESS_CAPTURE_FRAMES");
  // A capture folder that cannot be made: a file stands where it or its parent would be.
  orbel::testing::ScopedWorkDir work;
  orbel::testing::WriteFileBytes(work.path() / "taken", {1});
  const struct {
    std::string folder;
    const char* message;
  } cases[] = {{work.path() / "taken", "cannot make the folder [^ ]*/taken: "},
               {work.path() / "taken" / "frames", "cannot make the folder [^ ]*/taken/frames: "}};
  for (const auto& c : cases) {
    setenv("ORBEL_HEADLESS_CAPTURE_DIR", c.folder.c_str(), 1);
    EXPECT_DEATH(host::CreateHostByName("headless"), std::string("ORBEL_HEADLESS_CAPTURE_DIR: ") + c.message)
        << c.folder;
  }
  unsetenv("ORBEL_HEADLESS_CAPTURE_DIR");
}

TEST_F(HostHeadless, MouseAndDropEventsBecomeWindowMessages) {
  HWND w = MakeShown(100, 200, 64, 48);
  ClearRecording();
  test::InjectMouseMove(5, 6);
  test::InjectMouseButton(0, true, 7, 8);
  test::InjectMouseButton(0, false, 7, 8);
  // The host hands over names as the file system has them (UTF-8); the drop holds them in Shift-JIS.
  test::InjectDrop({"/tmp/a.png", orbel::testing::Utf8(u8"/tmp/長い名前.txt"), "c"});
  Drain();
  EXPECT_EQ(Messages(w, {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_DROPFILES}),
            (std::vector<UINT>{WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_DROPFILES}));
  EXPECT_EQ(RecordsOf(WM_MOUSEMOVE)[0].lParam, MAKELPARAM(5, 6));
  EXPECT_EQ(RecordsOf(WM_LBUTTONDOWN)[0].wParam & MK_LBUTTON, MK_LBUTTON);
  EXPECT_EQ(RecordsOf(WM_LBUTTONUP)[0].wParam & MK_LBUTTON, 0u);
  POINT cursor{};
  GetCursorPos(&cursor);
  EXPECT_EQ(cursor.x, 107);
  EXPECT_EQ(cursor.y, 208);

  // The drop is still alive (nobody called DragFinish): read it as the library does.
  HDROP drop = reinterpret_cast<HDROP>(RecordsOf(WM_DROPFILES)[0].wParam);
  ASSERT_EQ(DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0), 3u);
  const UINT length = DragQueryFileA(drop, 1, nullptr, 0);
  EXPECT_EQ(length, std::string("/tmp/長い名前.txt").size());
  std::string name(length + 1, '\0');
  EXPECT_EQ(DragQueryFileA(drop, 1, name.data(), length + 1), length);
  EXPECT_EQ(name.c_str(), std::string("/tmp/長い名前.txt"));
  char small[4];
  EXPECT_EQ(DragQueryFileA(drop, 0, small, sizeof small), 3u);
  EXPECT_STREQ(small, "/tm");
  EXPECT_EQ(DragQueryFileA(drop, 3, small, sizeof small), 0u) << "index past the end";
  DragFinish(drop);
  DragFinish(drop);  // a second finish is ignored
  EXPECT_EQ(DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0), 0u);
}

TEST_F(HostHeadless, TextEventsArriveAsCharactersByteByByte) {
  HWND w = MakeShown(0, 0, 10, 10);
  ClearRecording();
  const std::string text = "あa";  // Shift-JIS: two bytes, then one
  test::InjectText(text);
  Drain();
  std::vector<Recorded> chars = RecordsOf(WM_CHAR);
  ASSERT_EQ(chars.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(chars[i].window, w);
    EXPECT_EQ(chars[i].wParam, static_cast<unsigned char>(text[i]));
  }
}

TEST_F(HostHeadless, InputScriptParsesEveryCommandAndRejectsBadLines) {
  std::vector<host::ScriptedEvent> events;
  std::string error;
  ASSERT_TRUE(host::ParseInputScript("# a comment\r\n"
                                     "200 key A press\n"
                                     "100 key escape down\n"
                                     "  \n"
                                     "300 mouse down right 10 -20\n"
                                     "300 text こんにちは world\n"
                                     "400 drop a.txt b.txt\n"
                                     "500 focus out\n"
                                     "600 wheel -2 1 1\n"
                                     "700 key 0x70 up\n"
                                     "800 close\n",
                                     &events, &error))
      << error;
  ASSERT_EQ(events.size(), 10u);
  EXPECT_EQ(events[0].atMs, 100u) << "sorted by time";
  EXPECT_EQ(events[0].event.key, static_cast<UINT>(VK_ESCAPE));
  EXPECT_EQ(events[1].event.type, host::EventType::KeyDown);
  EXPECT_EQ(events[2].event.type, host::EventType::KeyUp);
  EXPECT_EQ(events[1].event.key, static_cast<UINT>('A'));
  EXPECT_EQ(events[3].event.button, 1);
  EXPECT_EQ(events[3].event.y, -20);
  EXPECT_EQ(events[4].event.text, "こんにちは world");
  EXPECT_EQ(events[5].event.names, (std::vector<std::string>{"a.txt", "b.txt"}));
  EXPECT_EQ(events[6].event.type, host::EventType::FocusLost);
  EXPECT_EQ(events[7].event.wheel, -2);
  EXPECT_EQ(events[8].event.key, static_cast<UINT>(VK_F1));
  EXPECT_EQ(events[9].event.type, host::EventType::Close);

  const struct {
    const char* script;
    const char* error;
  } bad[] = {
      {"x key A down", "line 1: bad time"},
      {"10 key A\n", "line 1: key needs down, up or press"},
      {"\n10 key NOSUCH down", "line 2: bad key"},
      {"10 key 999 down", "line 1: bad key"},
      {"10 mouse down left 1", "line 1: bad point"},
      {"10 mouse move 1 2 3", "line 1: extra words"},
      {"10 wheel 99999 0 0", "line 1: bad wheel steps"},
      {"10 drop", "line 1: drop needs names"},
      {"10 jump", "line 1: unknown command"},
      {"99999999999 close", "line 1: bad time"},
  };
  for (const auto& c : bad) {
    std::vector<host::ScriptedEvent> untouched(1);
    std::string why;
    EXPECT_FALSE(host::ParseInputScript(c.script, &untouched, &why)) << c.script;
    EXPECT_EQ(why, c.error) << c.script;
    EXPECT_EQ(untouched.size(), 1u) << "output left alone";
  }
}

TEST_F(HostHeadless, ScriptedEventsArriveWhenTheirTimeComes) {
  orbel::testing::ScopedWorkDir dir;
  const std::string path = (dir.path() / "keys.txt").string();
  orbel::testing::WriteFileText(path, "50 key A press\n120 close\n");
  setenv("ORBEL_HEADLESS_SCRIPT", path.c_str(), 1);
  host::Install(host::CreateHostByName("headless"));
  HWND w = MakeShown(0, 0, 10, 10);
  ClearRecording();
  Drain();
  EXPECT_TRUE(RecordsOf(WM_KEYDOWN).empty());
  Sleep(60);
  Drain();
  EXPECT_EQ(Messages(w, {WM_KEYDOWN, WM_CHAR, WM_KEYUP, WM_CLOSE}),
            (std::vector<UINT>{WM_KEYDOWN, WM_CHAR, WM_KEYUP}));
  ClearRecording();
  Sleep(100);
  Drain();
  EXPECT_EQ(Messages(w, {WM_CLOSE, WM_DESTROY}), (std::vector<UINT>{WM_CLOSE, WM_DESTROY}));
  EXPECT_FALSE(IsWindow(w)) << "the scripted close went through the default procedure";
}

TEST_F(HostHeadless, HostsAreChosenByName) {
  EXPECT_NE(host::CreateHostByName("headless"), nullptr);
  EXPECT_NE(host::CreateHostByName("HEADLESS"), nullptr);
  EXPECT_EQ(host::CreateHostByName("nosuch"), nullptr);
  // An unknown name is said once, and the host that stands in makes no window: the program's start fails.
  setenv("ORBEL_HOST", "nosuch", 1);
  host::Install(nullptr);
  ::testing::internal::CaptureStderr();
  EXPECT_STREQ(host::Current().Name(), "none");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "orbel: ORBEL_HOST=nosuch: not a known host (known hosts: sdl, headless); no window can be made\n");
  EXPECT_EQ(MakeWindow("none", WS_OVERLAPPEDWINDOW, 0, 0, 64, 64), nullptr);
  EXPECT_EQ(MessageBoxA(nullptr, "shown?", "none", MB_YESNO), 0) << "a box that cannot be shown fails";
  setenv("ORBEL_HOST", "headless", 1);
  host::Install(host::CreateHostByName("headless"));
}

TEST_F(HostHeadless, MessageBoxesAnswerFromTheTestTheEnvironmentOrYes) {
  struct Case {
    const char* environment;  // null: unset
    UINT type;
    int expected;
  };
  const Case cases[] = {
      {nullptr, MB_YESNO, IDYES},          {"no", MB_YESNO, IDNO},
      {"NO", MB_YESNOCANCEL, IDNO},        {"yes", MB_OKCANCEL, IDOK},
      {"no", MB_OKCANCEL, IDCANCEL},       {"no", MB_OK | MB_ICONHAND, IDOK},
      {"no", MB_RETRYCANCEL, IDCANCEL},    {"yes", MB_ABORTRETRYIGNORE, IDABORT},
  };
  for (const Case& c : cases) {
    if (c.environment != nullptr) setenv("ORBEL_MESSAGEBOX_ANSWER", c.environment, 1);
    else unsetenv("ORBEL_MESSAGEBOX_ANSWER");
    EXPECT_EQ(MessageBoxA(nullptr, "フルスクリーンモードで起動しますか？", "スクリーン設定", c.type), c.expected)
        << (c.environment ? c.environment : "(unset)") << " type " << c.type;
  }
  test::SetMessageBoxAnswer(IDNO);
  EXPECT_EQ(MessageBoxA(nullptr, "t", "c", MB_YESNO), IDNO);
  const auto calls = test::MessageBoxCalls();
  ASSERT_EQ(calls.size(), std::size(cases) + 1);
  EXPECT_EQ(calls[0].caption, "スクリーン設定");
  EXPECT_EQ(calls[0].type, static_cast<UINT>(MB_YESNO));
  EXPECT_EQ(calls.back().answer, IDNO);
}

}  // namespace
