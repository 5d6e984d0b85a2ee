#include <cstring>

#include "platform/win/user/cursor.h"
#include "platform/win/gdi/gdi_dc.h"
#include "platform/win/user/menu.h"
#include "platform/test_controls.h"
#include "platform/win/user/user_system.h"
#include "window_test_fixture.h"

namespace {

using namespace plat;
using namespace windows_test;

using WindowSettings = RecordingWindowTest;

TEST_F(WindowSettings, ShowCursorCountsAndTheLoopsOfTheLibraryEnd) {
  EXPECT_EQ(ShowCursor(FALSE), -1);
  EXPECT_EQ(ShowCursor(FALSE), -2);
  // Show until the count is 0 or more, as the library does.
  int count;
  do count = ShowCursor(TRUE);
  while (count < 0);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(test::CursorDisplayCount(), 0);
  HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW);
  ASSERT_NE(arrow, nullptr);
  EXPECT_EQ(LoadCursorA(nullptr, IDC_ARROW), arrow);
  EXPECT_EQ(SetCursor(nullptr), arrow) << "the arrow is the first cursor";
  EXPECT_EQ(test::CurrentCursor(), nullptr);
  EXPECT_NE(LoadIconA(nullptr, IDI_APPLICATION), nullptr);
  EXPECT_EQ(LoadIconA(reinterpret_cast<HINSTANCE>(intptr_t{1}), MAKEINTRESOURCEA(101)), nullptr)
      << "no resources here";
  ASSERT_TRUE(SetCursorPos(12, 34));
  POINT p{};
  GetCursorPos(&p);
  EXPECT_EQ(p.x, 12);
  EXPECT_EQ(p.y, 34);
}

TEST_F(WindowSettings, SystemParametersAreRecordedAndRestorable) {
  EXPECT_TRUE(test::ScreenSaverActive());
  ASSERT_TRUE(SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, FALSE, nullptr, SPIF_SENDCHANGE));
  EXPECT_FALSE(test::ScreenSaverActive());
  BOOL active = TRUE;
  ASSERT_TRUE(SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &active, 0));
  EXPECT_FALSE(active);

  // The foreground-lock dance: read, set 0 (the value travels in pvParam), restore.
  DWORD timeout = 0;
  ASSERT_TRUE(SystemParametersInfoA(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &timeout, 0));
  EXPECT_EQ(timeout, 200000u);
  ASSERT_TRUE(SystemParametersInfoA(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, nullptr, SPIF_SENDCHANGE));
  EXPECT_EQ(test::ForegroundLockTimeout(), 0u);
  SystemParametersInfoA(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, reinterpret_cast<void*>(uintptr_t{timeout}), 0);
  EXPECT_EQ(test::ForegroundLockTimeout(), 200000u);

  EXPECT_FALSE(SystemParametersInfoA(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, nullptr, 0)) << "no output";
  EXPECT_FALSE(SystemParametersInfoA(0x9999, 0, nullptr, 0));
  EXPECT_TRUE(WINNLSEnableIME(nullptr, FALSE));
  EXPECT_FALSE(test::ImeEnabled());
  EXPECT_FALSE(WINNLSEnableIME(nullptr, TRUE));
  EXPECT_TRUE(test::ImeEnabled());
}

TEST_F(WindowSettings, MetricsFollowTheDesktopAndDisplayChangesAreBroadcast) {
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1920);
  EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 1080);
  EXPECT_EQ(GetSystemMetrics(SM_CYCAPTION), 19);
  HWND a = MakeWindow("a", WS_POPUP, 0, 0, 1, 1);
  HWND b = MakeWindow("b", WS_POPUP, 0, 0, 1, 1);
  ClearRecording();
  ASSERT_TRUE(ApplyDisplayMode(640, 480, 16));
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 640);
  HDC screen = GetDC(nullptr);
  EXPECT_EQ(GetDeviceCaps(screen, BITSPIXEL), 16);
  ReleaseDC(nullptr, screen);
  for (HWND w : {a, b}) {
    ASSERT_EQ(Messages(w), (std::vector<UINT>{WM_DISPLAYCHANGE})) << "sent at once to each window";
  }
  EXPECT_EQ(RecordsOf(WM_DISPLAYCHANGE)[0].wParam, 16u);
  EXPECT_EQ(RecordsOf(WM_DISPLAYCHANGE)[0].lParam, MAKELPARAM(640, 480));
  ClearRecording();
  EXPECT_FALSE(ApplyDisplayMode(640, 480, 12));
  EXPECT_TRUE(RecordsOf(WM_DISPLAYCHANGE).empty()) << "a refused mode changes nothing";
  BroadcastDisplayChange();
  EXPECT_EQ(RecordsOf(WM_DISPLAYCHANGE).size(), 2u) << "the notice also comes without a change";
}

TEST_F(WindowSettings, MenusAttachWithTheirBarAndReadBackByPosition) {
  HWND w = MakeWindow("m", WS_POPUP | WS_CAPTION, 0, 0, 200, 200);
  const Edges before = ClientEdges(w);
  HMENU bar = CreateMenu();
  HMENU file = CreatePopupMenu();
  ASSERT_TRUE(AppendMenuA(file, MF_STRING, 101, "開く"));
  ASSERT_TRUE(AppendMenuA(file, MF_SEPARATOR, 0, nullptr));
  ASSERT_TRUE(AppendMenuA(bar, MF_POPUP, reinterpret_cast<uintptr_t>(file), "ファイル"));
  EXPECT_FALSE(AppendMenuA(bar, MF_POPUP, reinterpret_cast<uintptr_t>(bar), "self"));
  EXPECT_EQ(GetMenuItemCount(bar), 1);
  EXPECT_EQ(GetMenuItemCount(file), 2);

  ClearRecording();
  ASSERT_TRUE(SetMenu(w, bar));
  EXPECT_EQ(ClientEdges(w), (Edges{0, 0, before[2], before[3] - GetSystemMetrics(SM_CYMENU)}));
  EXPECT_EQ(RecordsOf(WM_SIZE).size(), 1u);

  MENUITEMINFOA info{};
  info.cbSize = sizeof info;
  info.fMask = MIIM_TYPE;
  ASSERT_TRUE(GetMenuItemInfoA(file, 1, TRUE, &info));
  EXPECT_EQ(info.fType, MFT_SEPARATOR);
  char name[128];
  info = MENUITEMINFOA{};
  info.cbSize = sizeof info;
  info.fMask = MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_TYPE;
  info.dwTypeData = name;
  info.cch = sizeof name;
  ASSERT_TRUE(GetMenuItemInfoA(bar, 0, TRUE, &info));
  EXPECT_EQ(info.hSubMenu, file);
  EXPECT_STREQ(name, "ファイル");
  info.dwTypeData = name;
  info.cch = 3;
  ASSERT_TRUE(GetMenuItemInfoA(bar, 101, FALSE, &info)) << "by command id, through the submenu";
  EXPECT_EQ(info.wID, 101u);
  EXPECT_EQ(std::strlen(name), 2u) << "cut to the buffer";
  EXPECT_FALSE(GetMenuItemInfoA(bar, 5, TRUE, &info));

  ASSERT_TRUE(DestroyMenu(bar));
  EXPECT_EQ(GetMenu(w), nullptr) << "destroying detaches";
  EXPECT_EQ(GetMenuItemCount(file), -1) << "submenus go with their menu";
  EXPECT_FALSE(DestroyMenu(bar));
  EXPECT_EQ(ClientEdges(w), before);
}

TEST_F(WindowSettings, BeginPaintReportsAndValidatesTheInvalidArea) {
  HWND w = MakeWindow("p", WS_POPUP, 0, 0, 100, 80);
  ValidateRect(w, nullptr);
  RECT a{10, 10, 20, 20}, b{50, 5, 60, 15};
  InvalidateRect(w, &a, FALSE);
  InvalidateRect(w, &b, FALSE);
  ShowWindow(w, SW_SHOWNA);  // showing invalidates the whole window
  PAINTSTRUCT ps{};
  ASSERT_NE(BeginPaint(w, &ps), nullptr);
  EXPECT_EQ(EdgesOf(ps.rcPaint), (Edges{0, 0, 100, 80}));
  EndPaint(w, &ps);
  InvalidateRect(w, &a, FALSE);
  InvalidateRect(w, &b, FALSE);
  ASSERT_NE(BeginPaint(w, &ps), nullptr);
  EXPECT_EQ(EdgesOf(ps.rcPaint), (Edges{10, 5, 60, 20}));
  EndPaint(w, &ps);
  EXPECT_FALSE(test::GetWindowSnapshot(w).invalid);
  EXPECT_EQ(BeginPaint(nullptr, &ps), nullptr);
}

TEST_F(WindowSettings, ClipBoxOfAWindowIsItsClientAreaAndEmptyWhenItHasNone) {
  HWND w = MakeWindow("c", WS_POPUP, 30, 40, 120, 90);
  HDC dc = GetDC(w);
  RECT box{-1, -1, -1, -1};
  EXPECT_EQ(GetClipBox(dc, &box), SIMPLEREGION);
  EXPECT_EQ(EdgesOf(box), (Edges{0, 0, 120, 90}));
  ReleaseDC(w, dc);
  HWND empty = MakeWindow("e", WS_POPUP, 0, 0, 0, 0);
  dc = GetDC(empty);
  EXPECT_EQ(GetClipBox(dc, &box), NULLREGION);
  EXPECT_EQ(GetClipBox(dc, nullptr), 0);
  ReleaseDC(empty, dc);
  EXPECT_EQ(GetClipBox(dc, &box), 0) << "a released DC";
}

}  // namespace
