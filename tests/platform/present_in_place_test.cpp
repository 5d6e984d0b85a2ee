// What a window shows when a primary is presented in place (the picture reads the primary's pixels
// only when it is needed): windowed at an offset and clipped, partial presents, locks, loss and
// restore, GDI painting, moves, release, flip chains and mode changes; the GDI blits that go straight
// into the picture; and colour fills of every pixel size against a per-pixel reference.
#include <cstring>
#include <vector>

#include "platform/host/host.h"
#include "platform/win/gdi/gdi_dc.h"
#include "platform/win/gdi/gdi_dib.h"
#include "platform/win/gdi/pixel_rows.h"
#include "platform/win/user/window.h"
#include "ddraw_test_fixture.h"

namespace {

using namespace ddraw_test;
using namespace windows_test;

// A colour for each pixel of a back surface, different on every call with a new `seed`.
uint32_t Pattern(int x, int y, uint32_t seed) { return ((x * 7 + seed) & 0xFF) << 16 | ((y * 5) & 0xFF) << 8 | seed; }

void Paint(IDirectDrawSurface7* s, int width, int height, uint32_t seed) {
  DDSURFACEDESC2 d{};
  d.dwSize = sizeof(d);
  ASSERT_EQ(s->Lock(nullptr, &d, DDLOCK_WAIT | DDLOCK_WRITEONLY, nullptr), DD_OK);
  for (int y = 0; y < height; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(d.lpSurface) + static_cast<size_t>(y) * d.lPitch);
    for (int x = 0; x < width; ++x) row[x] = Pattern(x, y, seed);
  }
  ASSERT_EQ(s->Unlock(nullptr), DD_OK);
}

// Pixels of the frame that differ from `expected(x, y)` (0x00RRGGBB compared).
template <typename Expected>
int Wrong(const host::Frame& frame, Expected expected) {
  int wrong = 0;
  for (int y = 0; y < frame.height; ++y) {
    for (int x = 0; x < frame.width; ++x)
      wrong += (frame.pixels[static_cast<size_t>(y) * frame.width + x] & 0xFFFFFF) != expected(x, y) ? 1 : 0;
  }
  return wrong;
}

class PresentInPlace : public DDrawTest {
 protected:
  static constexpr int kX = 37, kY = 21, kW = 40, kH = 30;

  void MakeWindowedPrimary() {
    window = MakeWindow("main", WS_POPUP, kX, kY, kW, kH);
    ShowWindow(window, SW_SHOW);
    ASSERT_EQ(dd->SetCooperativeLevel(window, DDSCL_NORMAL), DD_OK);
    DDSURFACEDESC2 d = Desc(DDSD_CAPS, DDSCAPS_PRIMARYSURFACE);
    ASSERT_EQ(dd->CreateSurface(&d, &primary, nullptr), DD_OK);
    IDirectDrawClipper* clipper = nullptr;
    ASSERT_EQ(dd->CreateClipper(0, &clipper, nullptr), DD_OK);
    ASSERT_EQ(clipper->SetHWnd(0, window), DD_OK);
    ASSERT_EQ(primary->SetClipper(clipper), DD_OK);
    clipper->Release();
    back = Offscreen(kW, kH, DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY, 32);
  }

  void Present(uint32_t seed) {
    Paint(back, kW, kH, seed);
    RECT dest{kX, kY, kX + kW, kY + kH};
    ASSERT_EQ(primary->Blt(&dest, back, nullptr, DDBLT_WAIT, nullptr), DD_OK);
  }

  HWND window = nullptr;
  IDirectDrawSurface7* primary = nullptr;  // released by the test
  IDirectDrawSurface7* back = nullptr;
};

TEST_F(PresentInPlace, TheWindowShowsEachPresentAndKeepsItThroughLocksLossPaintingMovesAndRelease) {
  MakeWindowedPrimary();
  Present(1);
  const auto first = [](int x, int y) { return Pattern(x, y, 1); };
  EXPECT_EQ(Wrong(test::CaptureWindowFrame(window), first), 0);

  // Drawing into the back surface without a present changes nothing shown.
  Paint(back, kW, kH, 2);
  EXPECT_EQ(Wrong(test::CaptureWindowFrame(window), first), 0);

  // A present of part of the window (half of it past the client's right edge, clipped).
  RECT part{kX + 30, kY + 4, kX + 50, kY + 9};
  RECT from{0, 0, 20, 5};
  ASSERT_EQ(primary->Blt(&part, back, &from, DDBLT_WAIT, nullptr), DD_OK);
  const auto patched = [](int x, int y) {
    return x >= 30 && y >= 4 && y < 9 ? Pattern(x - 30, y - 4, 2) : Pattern(x, y, 1);
  };
  // A lock that writes there shows its pixels at the unlock, not before.
  DDSURFACEDESC2 d{};
  d.dwSize = sizeof(d);
  RECT spot{kX + 32, kY + 5, kX + 33, kY + 6};
  ASSERT_EQ(primary->Lock(&spot, &d, DDLOCK_WAIT | DDLOCK_WRITEONLY, nullptr), DD_OK);
  const uint32_t white = 0xFFFFFF;
  std::memcpy(d.lpSurface, &white, 4);
  EXPECT_EQ(Wrong(test::CaptureWindowFrame(window), patched), 0) << "the lock is still open";
  ASSERT_EQ(primary->Unlock(&spot), DD_OK);
  const auto spotted = [&](int x, int y) { return x == 32 && y == 5 ? white : patched(x, y); };
  EXPECT_EQ(Wrong(test::CaptureWindowFrame(window), spotted), 0);

  // A lost primary restored to black: the window keeps its picture until the next present.
  Present(5);
  test::LoseAllSurfaces();
  ASSERT_EQ(primary->Restore(), DD_OK);
  ASSERT_EQ(back->Restore(), DD_OK);
  EXPECT_EQ(test::ReadSurfacePixelRgb(primary, kX + 5, kY + 5), 0u);
  EXPECT_EQ(Wrong(test::CaptureWindowFrame(window), [](int x, int y) { return Pattern(x, y, 5); }), 0);

  // GDI paints over part of the window; a present then replaces the whole picture again.
  Present(3);
  HDC dc = GetDC(window);
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  RECT box{0, 0, 10, 10};
  FillRect(dc, &box, red);
  DeleteObject(red);
  ReleaseDC(window, dc);
  const auto painted = [](int x, int y) { return x < 10 && y < 10 ? 0xFF0000u : Pattern(x, y, 3); };
  EXPECT_EQ(Wrong(test::CaptureWindowFrame(window), painted), 0);
  Present(6);
  const auto sixth = [](int x, int y) { return Pattern(x, y, 6); };

  // Moving the window keeps what it shows.
  ASSERT_TRUE(SetWindowPos(window, nullptr, 200, 150, 0, 0, SWP_NOSIZE | SWP_NOZORDER));
  EXPECT_EQ(Wrong(test::CaptureWindowFrame(window), sixth), 0);
  Present(4);  // drawn at the old place: nothing of it lands in the moved window
  EXPECT_EQ(Wrong(test::CaptureWindowFrame(window), sixth), 0);
  RECT moved{200, 150, 200 + kW, 150 + kH};
  ASSERT_EQ(primary->Blt(&moved, back, nullptr, DDBLT_WAIT, nullptr), DD_OK);

  // Released: the last picture stays, read before the pixels went.
  primary->Release();
  primary = nullptr;
  EXPECT_EQ(Wrong(test::CaptureWindowFrame(window), [](int x, int y) { return Pattern(x, y, 4); }), 0);
}

TEST_F(PresentInPlace, SixteenBitFlipChainsShowEachFlipAndKeepTheLastThroughAModeChange) {
  HWND w = MakeWindow("main", WS_POPUP, 0, 0, 320, 240);
  ShowWindow(w, SW_SHOW);
  ASSERT_EQ(dd->SetCooperativeLevel(w, DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE), DD_OK);
  ASSERT_EQ(dd->SetDisplayMode(320, 240, 16, 0, 0), DD_OK);
  DDSURFACEDESC2 d = Desc(DDSD_CAPS | DDSD_BACKBUFFERCOUNT, DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX);
  d.dwBackBufferCount = 1;
  IDirectDrawSurface7* front = nullptr;
  ASSERT_EQ(dd->CreateSurface(&d, &front, nullptr), DD_OK);
  DDSCAPS2 want{DDSCAPS_BACKBUFFER, 0, 0, 0};
  IDirectDrawSurface7* flip = nullptr;
  ASSERT_EQ(front->GetAttachedSurface(&want, &flip), DD_OK);
  RECT corner{300, 200, 320, 240};
  const uint32_t colours[3][2] = {{0x0843, 0xF800}, {0x07E0, 0x001F}, {0xFFFF, 0x0001}};
  for (const auto& c : colours) {
    ASSERT_EQ(Fill(flip, nullptr, c[0]), DD_OK);
    ASSERT_EQ(Fill(flip, &corner, c[1]), DD_OK);
    ASSERT_EQ(front->Flip(nullptr, DDFLIP_WAIT), DD_OK);
    const host::Frame frame = test::CaptureWindowFrame(w);
    ASSERT_EQ(frame.width, 320);
    uint32_t wide[2];
    const uint16_t raw[2] = {static_cast<uint16_t>(c[0]), static_cast<uint16_t>(c[1])};
    WidenRow16To32(reinterpret_cast<const uint8_t*>(raw), wide, 2, 0xF800, 0x07E0, 0x001F);
    EXPECT_EQ(Wrong(frame, [&](int x, int y) { return x >= 300 && y >= 200 ? wide[1] : wide[0]; }), 0) << c[0];
  }
  const host::Frame last = test::CaptureWindowFrame(w);
  // A mode change loses the chain; the window keeps the last flip until the chain is gone and after.
  ASSERT_EQ(dd->SetDisplayMode(640, 480, 32, 0, 0), DD_OK);
  EXPECT_EQ(front->IsLost(), DDERR_SURFACELOST);
  EXPECT_EQ(front->Restore(), DDERR_WRONGMODE);
  EXPECT_EQ(test::CaptureWindowFrame(w).pixels, last.pixels);
  flip->Release();
  front->Release();
  const host::Frame after = test::CaptureWindowFrame(w);
  ASSERT_EQ(after.width, 320);
  EXPECT_EQ(std::vector<uint32_t>(after.pixels.begin(), after.pixels.begin() + 320),
            std::vector<uint32_t>(last.pixels.begin(), last.pixels.begin() + 320));
  ASSERT_EQ(dd->RestoreDisplayMode(), DD_OK);
}

// 16- and 32-bit top-down DIBs go straight into the window; the picture matches what the general road
// (a bottom-up DIB of the same pixels) gives, at an offset and clipped by the client's edges.
TEST_F(DDrawTest, StraightDibBlitsShowWhatTheGeneralRoadShows) {
  HWND w = MakeWindow("main", WS_POPUP, 10, 10, 48, 20);
  ShowWindow(w, SW_SHOW);
  constexpr int kDibW = 30, kDibH = 12;
  for (int bits : {16, 32}) {
    SCOPED_TRACE(bits);
    std::vector<uint8_t> down(static_cast<size_t>(kDibW) * kDibH * 4), up(down.size());
    const int bytes = bits / 8;
    const size_t rowBytes = (static_cast<size_t>(kDibW) * bytes + 3) & ~size_t{3};
    for (int y = 0; y < kDibH; ++y) {
      for (int x = 0; x < kDibW; ++x) {
        const uint32_t v = bits == 16 ? static_cast<uint32_t>((x * 2113 + y * 977) & 0xFFFF) : Pattern(x, y, 9);
        std::memcpy(&down[y * rowBytes + x * bytes], &v, static_cast<size_t>(bytes));
        std::memcpy(&up[(kDibH - 1 - y) * rowBytes + x * bytes], &v, static_cast<size_t>(bytes));
      }
    }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = kDibW;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = static_cast<WORD>(bits);
    info.bmiHeader.biCompression = BI_BITFIELDS;
    if (bits == 16) SetDibMasks(&info, 0xF800, 0x07E0, 0x001F);
    else SetDibMasks(&info, 0xFF0000, 0xFF00, 0xFF);
    HDC dc = GetDC(w);
    const RECT all{0, 0, 48, 20};
    auto draw = [&](const std::vector<uint8_t>& pixels, int height, bool stretch) {
      FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
      info.bmiHeader.biHeight = height;
      // The bottom ten rows of the DIB from column 3, at (25, 14): clipped on the right and at the bottom.
      return stretch ? StretchDIBits(dc, 25, 14, 27, 10, 3, 0, 27, 10, pixels.data(), &info,
                                     DIB_RGB_COLORS, SRCCOPY)
                     : SetDIBitsToDevice(dc, 25, 14, 27, 10, 3, 0, 0, kDibH, pixels.data(), &info, DIB_RGB_COLORS);
    };
    for (bool stretch : {false, true}) {
      SCOPED_TRACE(stretch);
      const int straightRows = draw(down, -kDibH, stretch);
      const host::Frame straight = test::CaptureWindowFrame(w);
      const int generalRows = draw(up, kDibH, stretch);
      const host::Frame general = test::CaptureWindowFrame(w);
      EXPECT_EQ(straightRows, generalRows);
      EXPECT_GT(straightRows, 0);
      EXPECT_EQ(straight.pixels, general.pixels);
      EXPECT_NE(straight.pixels[static_cast<size_t>(15) * 48 + 30] & 0xFFFFFF, 0u) << "the DIB landed";
    }
    ReleaseDC(w, dc);
  }
}

// Fills of every pixel size, length and byte offset against a per-pixel reference, nothing written
// past either end; then DirectDraw colour fills of odd rectangles, clipped at the surface's edges.
TEST_F(DDrawTest, FillsMatchAPerPixelReference) {
  for (int pixelBytes = 1; pixelBytes <= 4; ++pixelBytes) {
    for (uint32_t value : {0x00000000u, 0xFFFFFFFFu, 0x12345678u, 0x00FF00FFu, 0x80808080u}) {
      for (int offset = 0; offset < 4; ++offset) {
        for (int count = 0; count <= 80; ++count) {
          std::vector<uint8_t> buffer(static_cast<size_t>(count) * pixelBytes + 16, 0xA5);
          FillPixelRow(buffer.data() + offset, static_cast<size_t>(count) * pixelBytes, pixelBytes, value);
          int wrong = 0;
          for (size_t i = 0; i < buffer.size(); ++i) {
            const size_t at = i - static_cast<size_t>(offset);
            const bool inside = i >= static_cast<size_t>(offset) && at < static_cast<size_t>(count) * pixelBytes;
            const uint8_t want = inside ? static_cast<uint8_t>(value >> (8 * (at % pixelBytes))) : 0xA5;
            wrong += buffer[i] != want ? 1 : 0;
          }
          ASSERT_EQ(wrong, 0) << pixelBytes << " bytes, " << std::hex << value << std::dec << ", offset " << offset
                              << ", " << count << " pixels";
        }
      }
    }
  }

  for (int bits : {16, 32}) {
    SCOPED_TRACE(bits);
    constexpr int kW = 53, kH = 9;
    IDirectDrawSurface7* s = Offscreen(kW, kH, DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY, bits);
    const uint32_t mask = bits == 16 ? 0xFFFF : 0xFFFFFFFF;
    std::vector<uint32_t> reference(static_cast<size_t>(kW) * kH, 0);
    const RECT rects[] = {{0, 0, kW, kH}, {1, 1, 2, 2}, {3, 2, 50, 7}, {kW - 17, 0, kW, kH}, {0, 8, 33, 9}, {5, 0, 12, 9}};
    const uint32_t values[] = {0x1234ABCD, 0x0, 0x00F800FF, 0x7BEF7BEF, 0xFFFFFFFF, 0x00010002};
    for (size_t i = 0; i < std::size(rects); ++i) {
      RECT r = rects[i];
      ASSERT_EQ(Fill(s, &r, values[i]), DD_OK);
      for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) reference[static_cast<size_t>(y) * kW + x] = values[i] & mask;
      int wrong = 0;
      for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) wrong += Raw(s, x, y) != reference[static_cast<size_t>(y) * kW + x] ? 1 : 0;
      EXPECT_EQ(wrong, 0) << "after fill " << i;
    }
  }
}

}  // namespace
