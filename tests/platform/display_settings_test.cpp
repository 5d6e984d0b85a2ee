// ChangeDisplaySettingsA, and GDI blits into and out of a window's DC (the software road's present).
#include <cstring>

#include "platform/win/user/display_settings.h"
#include "platform/win/gdi/gdi_dc.h"
#include "platform/win/gdi/gdi_dib.h"
#include "platform/test_controls.h"
#include "platform/win/user/window.h"
#include "window_test_fixture.h"

namespace {

using namespace plat;
using namespace windows_test;

class DisplaySettings : public RecordingWindowTest {
 protected:
  static int Desktop(int index) {
    HDC screen = GetDC(nullptr);
    const int value = GetDeviceCaps(screen, index);
    ReleaseDC(nullptr, screen);
    return value;
  }
  static DEVMODEA Mode(DWORD fields, int width, int height, int bits, DWORD hz = 0) {
    DEVMODEA m{};
    m.dmSize = sizeof(m);
    m.dmFields = fields;
    m.dmPelsWidth = static_cast<DWORD>(width);
    m.dmPelsHeight = static_cast<DWORD>(height);
    m.dmBitsPerPel = static_cast<DWORD>(bits);
    m.dmDisplayFrequency = hz;
    return m;
  }
};

TEST_F(DisplaySettings, ChangesAndRestoresTheDesktopMode) {
  constexpr DWORD kSize = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
  static_assert(kSize == 0x1C0000 && (kSize | DM_DISPLAYFREQUENCY) == 0x5C0000);
  test::RecordDisplayCalls(true);
  struct Case {
    DWORD fields;
    int width, height, bits;
    DWORD hz, flags;
    LONG result;
    int afterWidth, afterBits;
  } cases[] = {
      {kSize, 640, 480, 16, 0, CDS_FULLSCREEN, DISP_CHANGE_SUCCESSFUL, 640, 16},
      {kSize | DM_DISPLAYFREQUENCY, 800, 600, 32, 60, CDS_FULLSCREEN, DISP_CHANGE_SUCCESSFUL, 800, 32},
      {kSize | DM_DISPLAYFREQUENCY, 640, 480, 16, 75, CDS_FULLSCREEN, DISP_CHANGE_BADMODE, 800, 32},
      {kSize, 640, 480, 12, 0, 0, DISP_CHANGE_BADMODE, 800, 32},
      {kSize, 1024, 768, 16, 0, CDS_TEST, DISP_CHANGE_SUCCESSFUL, 800, 32},
      {DM_PELSWIDTH | DM_PELSHEIGHT, 1024, 768, 8, 0, 0, DISP_CHANGE_SUCCESSFUL, 1024, 32},
  };
  for (const Case& c : cases) {
    DEVMODEA m = Mode(c.fields, c.width, c.height, c.bits, c.hz);
    EXPECT_EQ(ChangeDisplaySettingsA(&m, c.flags), c.result) << c.width << "x" << c.height << "x" << c.bits;
    EXPECT_EQ(Desktop(HORZRES), c.afterWidth);
    EXPECT_EQ(Desktop(BITSPIXEL), c.afterBits);
  }
  // Null goes back to what the desktop was before the first change.
  EXPECT_EQ(ChangeDisplaySettingsA(nullptr, 0), DISP_CHANGE_SUCCESSFUL);
  EXPECT_EQ(Desktop(HORZRES), 1920);
  EXPECT_EQ(Desktop(VERTRES), 1080);
  test::FailDisplayCall("ChangeDisplaySettingsA");
  DEVMODEA m = Mode(kSize, 640, 480, 16);
  EXPECT_EQ(ChangeDisplaySettingsA(&m, CDS_FULLSCREEN), DISP_CHANGE_FAILED);
  EXPECT_EQ(Desktop(HORZRES), 1920);
  EXPECT_EQ(test::DisplayCallCount("ChangeDisplaySettingsA"), 8);
}

TEST_F(DisplaySettings, DibBlitsIntoAWindowDcShowInTheWindow) {
  HWND w = MakeWindow("main", WS_POPUP, 10, 10, 8, 4);
  ShowWindow(w, SW_SHOW);
  // A 4 x 2 top-down 5-6-5 picture: red row over blue row.
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = 4;
  info.bmiHeader.biHeight = -2;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 16;
  info.bmiHeader.biCompression = BI_BITFIELDS;
  SetDibMasks(&info, 0xF800, 0x07E0, 0x001F);
  const uint16_t pixels[8] = {0xF800, 0xF800, 0xF800, 0xF800, 0x001F, 0x001F, 0x001F, 0x001F};
  HDC dc = GetDC(w);
  ASSERT_EQ(SetDIBitsToDevice(dc, 0, 0, 4, 2, 0, 0, 0, 2, pixels, &info, DIB_RGB_COLORS), 2);
  host::Frame f = test::CaptureWindowFrame(w);
  EXPECT_EQ(f.pixels[0], 0xFF0000u);
  EXPECT_EQ(f.pixels[8 + 3], 0x0000FFu);
  EXPECT_EQ(f.pixels[4], 0u) << "beside the picture nothing changes";
  // Stretched twice over the whole client area.
  ASSERT_EQ(StretchDIBits(dc, 0, 0, 8, 4, 0, 0, 4, 2, pixels, &info, DIB_RGB_COLORS, SRCCOPY), 4);
  f = test::CaptureWindowFrame(w);
  EXPECT_EQ(f.pixels[7], 0xFF0000u);
  EXPECT_EQ(f.pixels[8 + 7], 0xFF0000u);
  EXPECT_EQ(f.pixels[16], 0x0000FFu);
  EXPECT_EQ(f.pixels[31], 0x0000FFu);
  // Read back into a memory bitmap with BitBlt.
  HDC memory = CreateCompatibleDC(dc);
  BITMAPINFO out{};
  out.bmiHeader = info.bmiHeader;
  out.bmiHeader.biWidth = 8;
  out.bmiHeader.biHeight = -4;
  out.bmiHeader.biBitCount = 32;
  out.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP section = CreateDIBSection(memory, &out, DIB_RGB_COLORS, &bits, nullptr, 0);
  ASSERT_NE(section, nullptr);
  HGDIOBJ old = SelectObject(memory, section);
  ASSERT_TRUE(BitBlt(memory, 0, 0, 8, 4, dc, 0, 0, SRCCOPY));
  EXPECT_EQ(static_cast<uint32_t*>(bits)[31] & 0xFFFFFF, 0x0000FFu);
  EXPECT_EQ(static_cast<uint32_t*>(bits)[0] & 0xFFFFFF, 0xFF0000u);
  SelectObject(memory, old);
  DeleteObject(section);
  DeleteDC(memory);
  ReleaseDC(w, dc);
}

}  // namespace
