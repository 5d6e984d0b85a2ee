// DirectDraw surfaces: fills, copies, stretches, colour keys, the clipper, locks, GDI DCs, loss and
// restore, and what a window-mode primary shows.
#include <png.h>

#include <cstdlib>
#include <filesystem>

#include "platform/host/host.h"
#include "platform/win/gdi/gdi_dc.h"
#include "platform/win/gdi/gdi_dib.h"
#include "platform/win/user/window.h"
#include "ddraw_test_fixture.h"

namespace {

using namespace ddraw_test;
using namespace windows_test;

TEST_F(DDrawTest, ColourFillCopyAndStretch) {
  for (int bits : {16, 32}) {
    SCOPED_TRACE(bits);
    const DWORD red = bits == 16 ? 0xF800 : 0xFF0000, blue = bits == 16 ? 0x001F : 0x0000FF;
    IDirectDrawSurface7* src = Offscreen(4, 2, 0x840, bits);
    IDirectDrawSurface7* dst = Offscreen(9, 5, 0x840, bits);
    ASSERT_EQ(Fill(src, nullptr, red), DD_OK);
    RECT right{2, 0, 4, 2};
    ASSERT_EQ(Fill(src, &right, blue), DD_OK);
    // Unstretched copy to (1, 1).
    RECT d1{1, 1, 5, 3};
    ASSERT_EQ(dst->Blt(&d1, src, nullptr, DDBLT_WAIT, nullptr), DD_OK);
    EXPECT_EQ(Raw(dst, 0, 1), 0u);
    EXPECT_EQ(Raw(dst, 1, 1), red);
    EXPECT_EQ(Raw(dst, 4, 2), blue);
    EXPECT_EQ(Raw(dst, 5, 2), 0u);
    // Stretched twice as wide, nearest pixel: columns 0-3 red, 4-7 blue.
    RECT d2{0, 3, 8, 5};
    ASSERT_EQ(dst->Blt(&d2, src, nullptr, DDBLT_WAIT, nullptr), DD_OK);
    EXPECT_EQ(Raw(dst, 3, 4), red);
    EXPECT_EQ(Raw(dst, 4, 4), blue);
    EXPECT_EQ(Raw(dst, 8, 4), 0u);
    // Rectangles outside either surface are refused without a clipper.
    RECT outside{7, 0, 11, 2};
    EXPECT_EQ(dst->Blt(&outside, src, nullptr, DDBLT_WAIT, nullptr), DDERR_INVALIDRECT);
    RECT badSource{0, 0, 5, 2};
    EXPECT_EQ(dst->Blt(nullptr, src, &badSource, DDBLT_WAIT, nullptr), DDERR_INVALIDRECT);
    RECT empty{3, 3, 3, 4};
    EXPECT_EQ(Fill(dst, &empty, red), DDERR_INVALIDRECT);
  }
}

TEST_F(DDrawTest, StretchingSamplesTheNearestSourcePixel) {
  for (int bits : {16, 32}) {
    SCOPED_TRACE(bits);
    IDirectDrawSurface7* src = Offscreen(2, 3, 0x840, bits);
    IDirectDrawSurface7* dst = Offscreen(7, 7, 0x840, bits);
    for (int y = 0; y < 3; ++y) {
      for (int x = 0; x < 2; ++x) Poke(src, x, y, static_cast<uint32_t>(1 + x + 2 * y));
    }
    // 2 x 3 onto 6 x 5 at (1, 1): column = dx * 2 / 6, row = dy * 3 / 5.
    RECT dr{1, 1, 7, 6};
    ASSERT_EQ(dst->Blt(&dr, src, nullptr, DDBLT_WAIT, nullptr), DD_OK);
    for (int y = 0; y < 7; ++y) {
      for (int x = 0; x < 7; ++x) {
        const bool inside = x >= 1 && y >= 1 && y < 6;
        const uint32_t want = inside ? static_cast<uint32_t>(1 + (x - 1) * 2 / 6 + 2 * ((y - 1) * 3 / 5)) : 0;
        EXPECT_EQ(Raw(dst, x, y), want) << x << "," << y;
      }
    }
  }
}

TEST_F(DDrawTest, BltConvertsBetweenRgbLayouts) {
  IDirectDrawSurface7* src = Offscreen(2, 1, 0x840, 16);
  IDirectDrawSurface7* dst = Offscreen(2, 1, 0x840, 32);
  Poke(src, 0, 0, 0xF800);
  Poke(src, 1, 0, 0x07E0 | 0x0010);
  ASSERT_EQ(dst->Blt(nullptr, src, nullptr, DDBLT_WAIT, nullptr), DD_OK);
  EXPECT_EQ(Raw(dst, 0, 0), 0xFF0000u);
  EXPECT_EQ(Raw(dst, 1, 0), 0x00FF84u);  // blue 16 of 31 rounds to 132
}

TEST_F(DDrawTest, SourceColourKeysSkipKeyedPixelsAtEveryRowLength) {
  // Lengths around the 8- and 4-pixel steps of the vector compare, and a range key.
  for (int bits : {16, 32, 24}) {
    for (int width : {1, 3, 4, 7, 8, 9, 17, 33}) {
      SCOPED_TRACE(::testing::Message() << bits << " bits, width " << width);
      IDirectDrawSurface7* src = nullptr;
      DDSURFACEDESC2 d = Desc(DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT, 0x840, width, 2);
      d.ddpfPixelFormat = RgbFormat(bits == 16 ? 16 : 32);
      d.ddpfPixelFormat.dwRGBBitCount = static_cast<DWORD>(bits);
      ASSERT_EQ(dd->CreateSurface(&d, &src, nullptr), DD_OK);
      Keep(src);
      DDSURFACEDESC2 desc{};
      src->GetSurfaceDesc(&desc);
      IDirectDrawSurface7* dst = nullptr;
      DDSURFACEDESC2 dd2 = Desc(DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT, 0x840, width + 2, 2);
      dd2.ddpfPixelFormat = desc.ddpfPixelFormat;
      ASSERT_EQ(dd->CreateSurface(&dd2, &dst, nullptr), DD_OK);
      Keep(dst);
      const DWORD key = 0x1F, other = 0x3F, behind = 0x7;
      ASSERT_EQ(Fill(dst, nullptr, behind), DD_OK);
      for (int x = 0; x < width; ++x) {
        Poke(src, x, 0, x % 3 == 0 ? key : other + static_cast<DWORD>(x));
        // An unused top byte must not stop a 32-bit pixel matching the key.
        Poke(src, x, 1, x % 2 == 0 ? (bits == 32 ? 0xFF000000u | key : key) : other);
      }
      DDCOLORKEY ck{key, key};
      ASSERT_EQ(src->SetColorKey(DDCKEY_SRCBLT, &ck), DD_OK);
      ASSERT_EQ(dst->BltFast(1, 0, src, nullptr, DDBLTFAST_SRCCOLORKEY), DD_OK);
      for (int x = 0; x < width; ++x) {
        EXPECT_EQ(Raw(dst, 1 + x, 0), x % 3 == 0 ? behind : other + static_cast<DWORD>(x)) << "x " << x;
        EXPECT_EQ(Raw(dst, 1 + x, 1), x % 2 == 0 ? behind : other) << "row 1, x " << x;
      }
      EXPECT_EQ(Raw(dst, 0, 0), behind);
      EXPECT_EQ(Raw(dst, width + 1, 0), behind);
      // Without the key flag every pixel is copied.
      ASSERT_EQ(dst->BltFast(1, 0, src, nullptr, DDBLTFAST_NOCOLORKEY | DDBLTFAST_WAIT), DD_OK);
      EXPECT_EQ(Raw(dst, 1, 0), key);
      // A range key through Blt.
      ASSERT_EQ(Fill(dst, nullptr, behind), DD_OK);
      DDBLTFX fx{};
      fx.dwSize = sizeof(fx);
      fx.ddckSrcColorkey = DDCOLORKEY{0x1F, 0x40};
      RECT dr{1, 0, width + 1, 2};
      ASSERT_EQ(dst->Blt(&dr, src, nullptr, DDBLT_KEYSRCOVERRIDE, &fx), DD_OK);
      EXPECT_EQ(Raw(dst, 2, 1), behind) << "0x3F lies inside the range";
    }
  }
}

TEST_F(DDrawTest, ColourKeyRulesAndBltFastBounds) {
  IDirectDrawSurface7* src = Offscreen(4, 4, 0x840, 16);
  IDirectDrawSurface7* dst = Offscreen(8, 8, 0x840, 16);
  EXPECT_EQ(dst->Blt(nullptr, src, nullptr, DDBLT_KEYSRC, nullptr), DDERR_NOCOLORKEY);
  DDCOLORKEY got{};
  EXPECT_EQ(src->GetColorKey(DDCKEY_SRCBLT, &got), DDERR_NOCOLORKEY);
  DDCOLORKEY ck{5, 9};
  ASSERT_EQ(src->SetColorKey(DDCKEY_SRCBLT, &ck), DD_OK);
  ASSERT_EQ(src->GetColorKey(DDCKEY_SRCBLT, &got), DD_OK);
  EXPECT_EQ(got.dwColorSpaceHighValue, 5u) << "without COLORSPACE the key is one value";
  EXPECT_EQ(dst->BltFast(5, 0, src, nullptr, 0), DDERR_INVALIDRECT);
  EXPECT_EQ(dst->BltFast(4, 4, src, nullptr, 0), DD_OK);
  RECT part{1, 1, 3, 3};
  EXPECT_EQ(dst->BltFast(6, 6, src, &part, 0), DD_OK);
  IDirectDrawSurface7* other = Offscreen(4, 4, 0x840, 32);
  EXPECT_EQ(dst->BltFast(0, 0, other, nullptr, 0), DD_OK) << "converted on the slow road";
}

TEST_F(DDrawTest, OverlappingCopiesOnOneSurface) {
  IDirectDrawSurface7* s = Offscreen(4, 6, 0x840, 32);
  for (int y = 0; y < 6; ++y) {
    for (int x = 0; x < 4; ++x) Poke(s, x, y, static_cast<uint32_t>(y * 10 + x));
  }
  RECT from{0, 0, 4, 4};
  ASSERT_EQ(s->BltFast(0, 2, s, &from, 0), DD_OK);
  for (int y = 2; y < 6; ++y) EXPECT_EQ(Raw(s, 3, y), static_cast<uint32_t>((y - 2) * 10 + 3)) << y;
}

TEST_F(DDrawTest, LocksPointAtTheRectangleAndExcludeOtherAccess) {
  IDirectDrawSurface7* s = Offscreen(10, 10, 0x2040, 16);
  IDirectDrawSurface7* other = Offscreen(10, 10, 0x840, 16);
  DDSURFACEDESC2 all{}, part{};
  ASSERT_EQ(s->Lock(nullptr, &all, DDLOCK_WAIT, nullptr), DD_OK);
  EXPECT_EQ(all.lPitch, 20);
  EXPECT_EQ(s->Lock(nullptr, &part, DDLOCK_WAIT, nullptr), DDERR_SURFACEBUSY);
  EXPECT_EQ(Fill(s, nullptr, 1), DDERR_SURFACEBUSY);
  EXPECT_EQ(other->Blt(nullptr, s, nullptr, 0, nullptr), DDERR_SURFACEBUSY);
  HDC dc = nullptr;
  EXPECT_EQ(s->GetDC(&dc), DDERR_SURFACEBUSY);
  ASSERT_EQ(s->Unlock(nullptr), DD_OK);
  EXPECT_EQ(s->Unlock(nullptr), DDERR_NOTLOCKED);
  RECT r{3, 2, 5, 4};
  ASSERT_EQ(s->Lock(&r, &part, DDLOCK_WAIT | DDLOCK_WRITEONLY, nullptr), DD_OK);
  EXPECT_EQ(static_cast<uint8_t*>(part.lpSurface) - static_cast<uint8_t*>(all.lpSurface), 2 * 20 + 3 * 2);
  ASSERT_EQ(s->Unlock(&r), DD_OK);
  RECT bad{8, 8, 11, 9};
  EXPECT_EQ(s->Lock(&bad, &part, DDLOCK_WAIT, nullptr), DDERR_INVALIDRECT);
  // Read locks of video memory are counted (the software renderer should not read from there).
  EXPECT_EQ(test::GetDDrawCounters().videoMemoryReadLocks, 1);
  test::FailDisplayCall("Lock");
  EXPECT_EQ(s->Lock(nullptr, &part, DDLOCK_WAIT, nullptr), E_FAIL);
  EXPECT_EQ(s->Lock(nullptr, &part, DDLOCK_WAIT, nullptr), DD_OK);
  s->Unlock(nullptr);
}

TEST_F(DDrawTest, LostSurfacesRefuseWorkUntilRestored) {
  IDirectDrawSurface7* s = Offscreen(4, 4, 0x840, 32);
  IDirectDrawSurface7* t = Offscreen(4, 4, 0x840, 32);
  ASSERT_EQ(Fill(s, nullptr, 0x123456), DD_OK);
  test::LoseAllSurfaces();
  DDSURFACEDESC2 d{};
  HDC dc = nullptr;
  EXPECT_EQ(s->IsLost(), DDERR_SURFACELOST);
  EXPECT_EQ(s->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DDERR_SURFACELOST);
  EXPECT_EQ(Fill(s, nullptr, 1), DDERR_SURFACELOST);
  EXPECT_EQ(s->GetDC(&dc), DDERR_SURFACELOST);
  ASSERT_EQ(t->Restore(), DD_OK);
  EXPECT_EQ(t->Blt(nullptr, s, nullptr, 0, nullptr), DDERR_SURFACELOST) << "a lost source";
  ASSERT_EQ(s->Restore(), DD_OK);
  EXPECT_EQ(s->IsLost(), DD_OK);
  EXPECT_EQ(Raw(s, 0, 0), 0u) << "restored memory holds nothing of before";
}

TEST_F(DDrawTest, GdiDrawsThroughASurfaceDc) {
  IDirectDrawSurface7* s = Offscreen(8, 4, 0x840, 16);
  HDC dc = nullptr;
  ASSERT_EQ(s->GetDC(&dc), DD_OK);
  HDC again = nullptr;
  EXPECT_EQ(s->GetDC(&again), DDERR_DCALREADYCREATED);
  // A 24-bit DIB of one pure green pixel, drawn at (2, 1).
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = 1;
  info.bmiHeader.biHeight = -1;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  const uint8_t green[4] = {0, 255, 0, 0};
  EXPECT_EQ(SetDIBitsToDevice(dc, 2, 1, 1, 1, 0, 0, 0, 1, green, &info, DIB_RGB_COLORS), 1);
  DDSURFACEDESC2 d{};
  EXPECT_EQ(s->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DDERR_SURFACEBUSY) << "a DC out locks the surface";
  ASSERT_EQ(s->ReleaseDC(dc), DD_OK);
  EXPECT_EQ(Raw(s, 2, 1), 0x07E0u);
  EXPECT_EQ(s->ReleaseDC(dc), DDERR_INVALIDPARAMS);
  EXPECT_EQ(test::GetGdiDibCounters().liveMemoryDcs, 0);
}

TEST_F(DDrawTest, WindowPrimaryShowsWhatLandsInTheClientArea) {
  HWND w = MakeWindow("main", WS_POPUP, 100, 50, 64, 32);
  ShowWindow(w, SW_SHOW);
  ASSERT_EQ(dd->SetCooperativeLevel(w, DDSCL_NORMAL), DD_OK);
  DDSURFACEDESC2 d = Desc(DDSD_CAPS, 0x2200);
  IDirectDrawSurface7* primary = nullptr;
  ASSERT_EQ(dd->CreateSurface(&d, &primary, nullptr), DD_OK);
  Keep(primary);
  IDirectDrawClipper* clipper = nullptr;
  ASSERT_EQ(dd->CreateClipper(0, &clipper, nullptr), DD_OK);
  ASSERT_EQ(clipper->SetHWnd(0, w), DD_OK);
  ASSERT_EQ(primary->SetClipper(clipper), DD_OK);
  clipper->Release();  // the surface keeps it

  IDirectDrawSurface7* back = Offscreen(32, 16, 0x2040);
  ASSERT_EQ(Fill(back, nullptr, 0x00FF00), DD_OK);
  RECT quarter{0, 0, 16, 8};
  ASSERT_EQ(Fill(back, &quarter, 0xFF0000), DD_OK);
  // Scaled by two into the client area, as a window present does; the part past the client is clipped.
  RECT dest{100, 50, 164, 82};
  ASSERT_EQ(primary->Blt(&dest, back, nullptr, DDBLT_WAIT, nullptr), DD_OK);
  host::Frame frame = test::CaptureWindowFrame(w);
  ASSERT_EQ(frame.width, 64);
  EXPECT_EQ(frame.pixels[0], 0xFF0000u);
  EXPECT_EQ(frame.pixels[31], 0xFF0000u);
  EXPECT_EQ(frame.pixels[32], 0x00FF00u);
  EXPECT_EQ(frame.pixels[static_cast<size_t>(16) * 64], 0x00FF00u);
  RECT beyond{140, 70, 300, 200};
  ASSERT_EQ(Fill(primary, &beyond, 0x0000FF), DD_OK);
  EXPECT_EQ(test::ReadSurfacePixelRgb(primary, 163, 81), 0x0000FFu);
  EXPECT_EQ(test::ReadSurfacePixelRgb(primary, 164, 81), 0u) << "outside the client: clipped";
  EXPECT_EQ(test::CaptureWindowFrame(w).pixels[static_cast<size_t>(31) * 64 + 63], 0x0000FFu);

  // Reading the window back through a lock of the client rectangle.
  DDSURFACEDESC2 locked{};
  RECT client{100, 50, 164, 82};
  ASSERT_EQ(primary->Lock(&client, &locked, DDLOCK_WAIT | DDLOCK_READONLY, nullptr), DD_OK);
  uint32_t first;
  std::memcpy(&first, locked.lpSurface, 4);
  EXPECT_EQ(first & 0xFFFFFF, 0xFF0000u);
  ASSERT_EQ(primary->Unlock(&client), DD_OK);
}

TEST_F(DDrawTest, BothPresentRoadsWidenSixteenBitPixelsAlike) {
  HWND w = MakeWindow("main", WS_POPUP, 0, 0, 4, 1);
  ShowWindow(w, SW_SHOW);
  const uint16_t values[4] = {0x0843, 0xFFFF, 0x7BEF, 0x0001};
  // The DirectDraw road: a 16-bit desktop's primary.
  test::SetDesktopDepth(16);
  ASSERT_EQ(dd->SetCooperativeLevel(w, DDSCL_NORMAL), DD_OK);
  DDSURFACEDESC2 d = Desc(DDSD_CAPS, 0x2200);
  IDirectDrawSurface7* primary = nullptr;
  ASSERT_EQ(dd->CreateSurface(&d, &primary, nullptr), DD_OK);
  Keep(primary);
  for (int x = 0; x < 4; ++x) Poke(primary, x, 0, values[x]);
  const host::Frame viaSurface = test::CaptureWindowFrame(w);
  // The software road: the same pixels as a 16-bit DIB onto the window's DC.
  test::SetDesktopDepth(32);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = 4;
  info.bmiHeader.biHeight = -1;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 16;
  info.bmiHeader.biCompression = BI_BITFIELDS;
  SetDibMasks(&info, 0xF800, 0x07E0, 0x001F);
  HDC dc = GetDC(w);
  ASSERT_EQ(SetDIBitsToDevice(dc, 0, 0, 4, 1, 0, 0, 0, 1, values, &info, DIB_RGB_COLORS), 1);
  ReleaseDC(w, dc);
  const host::Frame viaGdi = test::CaptureWindowFrame(w);
  ASSERT_EQ(viaSurface.pixels.size(), 4u);
  EXPECT_EQ(viaSurface.pixels[0], 0x080819u);  // 1, 2, 3 of 31, 63, 31, rounded to 8 bits
  EXPECT_EQ(viaSurface.pixels[1], 0xFFFFFFu);
  for (int x = 0; x < 4; ++x) EXPECT_EQ(viaSurface.pixels[x] & 0xFFFFFF, viaGdi.pixels[x] & 0xFFFFFF) << x;
}

// The headless capture writes what each road presented: a flip of a 16-bit full-screen chain, then a
// 16-bit DIB put on the window's DC, each one numbered PNG with the picture the window shows.
TEST_F(DDrawTest, HeadlessCaptureShowsWhatEachRoadPresented) {
  orbel::testing::ScopedWorkDir dir;
  setenv("ORBEL_HEADLESS_CAPTURE_DIR", dir.path().c_str(), 1);
  host::Install(host::CreateHostByName("headless"));
  unsetenv("ORBEL_HEADLESS_CAPTURE_DIR");
  HWND w = MakeWindow("main", WS_POPUP, 0, 0, 640, 480);
  ShowWindow(w, SW_SHOW);
  ASSERT_EQ(dd->SetCooperativeLevel(w, DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE), DD_OK);
  ASSERT_EQ(dd->SetDisplayMode(640, 480, 16, 0, 0), DD_OK);
  DDSURFACEDESC2 d = Desc(DDSD_CAPS | DDSD_BACKBUFFERCOUNT, 0x2218);
  d.dwBackBufferCount = 1;
  IDirectDrawSurface7* primary = nullptr;
  ASSERT_EQ(dd->CreateSurface(&d, &primary, nullptr), DD_OK);
  Keep(primary);
  DDSCAPS2 want{DDSCAPS_BACKBUFFER, 0, 0, 0};
  IDirectDrawSurface7* back = nullptr;
  ASSERT_EQ(primary->GetAttachedSurface(&want, &back), DD_OK);
  Keep(back);
  ASSERT_EQ(Fill(back, nullptr, 0x0843), DD_OK);
  RECT corner{600, 440, 640, 480};
  ASSERT_EQ(Fill(back, &corner, 0xF800), DD_OK);
  ASSERT_EQ(primary->Flip(nullptr, DDFLIP_WAIT), DD_OK);

  ASSERT_EQ(dd->SetCooperativeLevel(w, DDSCL_NORMAL), DD_OK);
  ASSERT_EQ(dd->RestoreDisplayMode(), DD_OK);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = 2;
  info.bmiHeader.biHeight = -1;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 16;
  info.bmiHeader.biCompression = BI_BITFIELDS;
  SetDibMasks(&info, 0xF800, 0x07E0, 0x001F);
  const uint16_t blue[2] = {0x001F, 0x001F};
  HDC dc = GetDC(w);
  ASSERT_EQ(SetDIBitsToDevice(dc, 0, 0, 2, 1, 0, 0, 0, 1, blue, &info, DIB_RGB_COLORS), 1);
  ReleaseDC(w, dc);

  auto read = [&](const char* name, std::vector<uint8_t>* rgb) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    const std::string path = (dir.path() / name).string();
    if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
    image.format = PNG_FORMAT_RGB;
    rgb->resize(PNG_IMAGE_SIZE(image));
    return png_image_finish_read(&image, nullptr, rgb->data(), 0, nullptr) != 0 && image.width == 640;
  };
  std::vector<uint8_t> flipped, drawn;
  ASSERT_TRUE(read("frame_000000.png", &flipped)) << "the flip was captured";
  EXPECT_EQ(flipped[0], 0x08);
  EXPECT_EQ(flipped[1], 0x08);
  EXPECT_EQ(flipped[2], 0x19);
  EXPECT_EQ(flipped[(479 * 640 + 639) * 3], 0xFF);
  ASSERT_TRUE(read("frame_000001.png", &drawn)) << "the GDI present was captured";
  EXPECT_EQ(drawn[2], 0xFF);
  EXPECT_EQ(drawn[0], 0x00);
  EXPECT_EQ(drawn[3 * 2 + 2], 0x19) << "beside the DIB the flipped picture stays";
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "frame_000002.png"));
}

TEST_F(DDrawTest, PalettesBelongToEightBitSurfaces) {
  PALETTEENTRY entries[256] = {};
  entries[3] = PALETTEENTRY{10, 20, 30, 0};
  IDirectDrawPalette* palette = nullptr;
  ASSERT_EQ(dd->CreatePalette(DDPCAPS_8BIT, entries, &palette, nullptr), DD_OK);
  DDSURFACEDESC2 d = Desc(DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT, 0x840, 4, 4);
  d.ddpfPixelFormat.dwSize = sizeof(DDPIXELFORMAT);
  d.ddpfPixelFormat.dwFlags = DDPF_RGB | DDPF_PALETTEINDEXED8;
  d.ddpfPixelFormat.dwRGBBitCount = 8;
  IDirectDrawSurface7* s = nullptr;
  ASSERT_EQ(dd->CreateSurface(&d, &s, nullptr), DD_OK);
  Keep(s);
  IDirectDrawSurface7* rgb = Offscreen(4, 4, 0x840, 16);
  EXPECT_EQ(rgb->SetPalette(palette), DDERR_INVALIDPIXELFORMAT);
  ASSERT_EQ(s->SetPalette(palette), DD_OK);
  ASSERT_EQ(Fill(s, nullptr, 3), DD_OK);
  EXPECT_EQ(test::ReadSurfacePixelRgb(s, 1, 1), 0x0A141Eu);
  PALETTEENTRY back[256];
  entries[3].peRed = 99;
  ASSERT_EQ(palette->SetEntries(0, 0, 256, entries), DD_OK);
  ASSERT_EQ(palette->GetEntries(0, 0, 256, back), DD_OK);
  EXPECT_EQ(back[3].peRed, 99);
  EXPECT_EQ(palette->GetEntries(0, 200, 100, back), DDERR_INVALIDPARAMS);
  palette->Release();  // the surface keeps it
  EXPECT_EQ(test::ReadSurfacePixelRgb(s, 0, 0), 0x63141Eu);
}

// An 8-bit off-screen surface without a palette of its own is seen through the display's palette
// (the primary's), also by GDI drawing through its DC.
TEST_F(DDrawTest, EightBitSurfacesWithoutAPaletteUseTheDisplays) {
  HWND w = MakeWindow("main", WS_POPUP, 0, 0, 64, 48);
  test::SetDesktopDepth(8);
  ASSERT_EQ(dd->SetCooperativeLevel(w, DDSCL_NORMAL), DD_OK);
  PALETTEENTRY entries[256] = {};
  entries[7] = PALETTEENTRY{0, 255, 0, 0};
  entries[9] = PALETTEENTRY{255, 0, 0, 0};
  IDirectDrawPalette* palette = nullptr;
  ASSERT_EQ(dd->CreatePalette(DDPCAPS_8BIT, entries, &palette, nullptr), DD_OK);
  DDSURFACEDESC2 d = Desc(DDSD_CAPS, 0x2200);
  IDirectDrawSurface7* primary = nullptr;
  ASSERT_EQ(dd->CreateSurface(&d, &primary, nullptr), DD_OK);
  Keep(primary);
  ASSERT_EQ(primary->SetPalette(palette), DD_OK);
  palette->Release();
  IDirectDrawSurface7* s = Offscreen(4, 1, 0x840);
  ASSERT_EQ(Fill(s, nullptr, 9), DD_OK);
  EXPECT_EQ(test::ReadSurfacePixelRgb(s, 0, 0), 0xFF0000u);
  HDC dc = nullptr;
  ASSERT_EQ(s->GetDC(&dc), DD_OK);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = 1;
  info.bmiHeader.biHeight = -1;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  const uint8_t green[4] = {0, 250, 10, 0};
  EXPECT_EQ(SetDIBitsToDevice(dc, 2, 0, 1, 1, 0, 0, 0, 1, green, &info, DIB_RGB_COLORS), 1);
  ASSERT_EQ(s->ReleaseDC(dc), DD_OK);
  EXPECT_EQ(Raw(s, 2, 0), 7u) << "the nearest entry of the display's palette";

  // Between two such surfaces GDI keeps the indices, even of entries with equal colours.
  IDirectDrawSurface7* t = Offscreen(4, 1, 0x840);
  Poke(s, 0, 0, 200);  // entry 200 is black, as entry 0 is
  HDC from = nullptr, to = nullptr;
  ASSERT_EQ(s->GetDC(&from), DD_OK);
  ASSERT_EQ(t->GetDC(&to), DD_OK);
  EXPECT_TRUE(BitBlt(to, 0, 0, 4, 1, from, 0, 0, SRCCOPY));
  ASSERT_EQ(t->ReleaseDC(to), DD_OK);
  ASSERT_EQ(s->ReleaseDC(from), DD_OK);
  EXPECT_EQ(Raw(t, 0, 0), 200u);
  EXPECT_EQ(Raw(t, 1, 0), 9u);
}

}  // namespace
