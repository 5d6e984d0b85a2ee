// The fixture of the DirectDraw stand-in tests: a fresh stand-in on the virtual clock, an initialised
// DirectDraw object, and helpers that make surfaces and read their pixels.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/ddraw/ddraw.h"
#include "platform/ddraw/test_controls.h"
#include "platform/test_controls.h"
#include "window_test_fixture.h"

namespace ddraw_test {

using namespace plat;

class DDrawTest : public windows_test::RecordingWindowTest {
 protected:
  void SetUp() override {
    RecordingWindowTest::SetUp();
    ASSERT_EQ(CoCreateInstance(CLSID_DirectDraw7, nullptr, CLSCTX_ALL, IID_IDirectDraw7, reinterpret_cast<void**>(&dd)),
              S_OK);
    ASSERT_EQ(dd->Initialize(nullptr), DD_OK);
  }
  void TearDown() override {
    for (IDirectDrawSurface7* s : made_) s->Release();
    if (dd != nullptr) dd->Release();
    const test::DDrawCounters left = test::GetDDrawCounters();
    EXPECT_EQ(left.liveObjects, 0);
    EXPECT_EQ(left.liveSurfaces, 0) << "surfaces leaked";
    EXPECT_EQ(left.liveClippers, 0);
    EXPECT_EQ(left.livePalettes, 0);
    RecordingWindowTest::TearDown();
  }

  static DDSURFACEDESC2 Desc(DWORD flags, DWORD caps, int width = 0, int height = 0) {
    DDSURFACEDESC2 d{};
    d.dwSize = sizeof(d);
    d.dwFlags = flags;
    d.ddsCaps.dwCaps = caps;
    d.dwWidth = static_cast<DWORD>(width);
    d.dwHeight = static_cast<DWORD>(height);
    return d;
  }

  // An off-screen surface of the display's layout, or of `bits` RGB bits (16: 5-6-5, 32: XRGB).
  IDirectDrawSurface7* Offscreen(int width, int height, DWORD caps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY,
                                 int bits = 0) {
    DDSURFACEDESC2 d = Desc(DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT, caps, width, height);
    if (bits != 0) {
      d.dwFlags |= DDSD_PIXELFORMAT;
      d.ddpfPixelFormat = RgbFormat(bits);
    }
    IDirectDrawSurface7* s = nullptr;
    EXPECT_EQ(dd->CreateSurface(&d, &s, nullptr), DD_OK);
    if (s != nullptr) made_.push_back(s);
    return s;
  }

  static DDPIXELFORMAT RgbFormat(int bits) {
    DDPIXELFORMAT f{};
    f.dwSize = sizeof(f);
    f.dwFlags = DDPF_RGB;
    f.dwRGBBitCount = static_cast<DWORD>(bits);
    if (bits == 16) {
      f.dwRBitMask = 0xF800, f.dwGBitMask = 0x07E0, f.dwBBitMask = 0x001F;
    } else {
      f.dwRBitMask = 0xFF0000, f.dwGBitMask = 0xFF00, f.dwBBitMask = 0xFF;
    }
    return f;
  }

  // Keeps a surface made elsewhere to be released at the end.
  IDirectDrawSurface7* Keep(IDirectDrawSurface7* s) {
    if (s != nullptr) made_.push_back(s);
    return s;
  }

  static HRESULT Fill(IDirectDrawSurface7* s, RECT* r, DWORD value) {
    DDBLTFX fx{};
    fx.dwSize = sizeof(fx);
    fx.dwFillColor = value;
    return s->Blt(r, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx);
  }

  // Writes raw values row by row through a lock.
  static void Poke(IDirectDrawSurface7* s, int x, int y, uint32_t value) {
    DDSURFACEDESC2 d{};
    d.dwSize = sizeof(d);
    RECT r{x, y, x + 1, y + 1};
    ASSERT_EQ(s->Lock(&r, &d, DDLOCK_WAIT | DDLOCK_WRITEONLY, nullptr), DD_OK);
    const int bytes = static_cast<int>(d.ddpfPixelFormat.dwRGBBitCount / 8);
    std::memcpy(d.lpSurface, &value, static_cast<size_t>(bytes));
    ASSERT_EQ(s->Unlock(&r), DD_OK);
  }

  static uint32_t Raw(IDirectDrawSurface7* s, int x, int y) { return test::ReadSurfacePixelRaw(s, x, y); }

  IDirectDraw7* dd = nullptr;

 private:
  std::vector<IDirectDrawSurface7*> made_;
};

}  // namespace ddraw_test
