// The DirectDraw object: creation and interfaces, cooperative levels, display modes, surfaces made
// for each description the library asks for, and the vertical blank on the virtual clock.
#include <stdexcept>

#include "platform/d3d/d3d7_test_controls.h"
#include "platform/win/kernel/clock.h"
#include "platform/win/gdi/gdi_dc.h"
#include "platform/win/user/window.h"
#include "ddraw_test_fixture.h"

namespace {

using namespace ddraw_test;
using namespace windows_test;

TEST_F(DDrawTest, ObjectNeedsInitialiseAndOffersDirectDrawAndDirect3D) {
  IDirectDraw7* fresh = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_DirectDraw7, nullptr, CLSCTX_ALL, IID_IDirectDraw7, reinterpret_cast<void**>(&fresh)),
            S_OK);
  DDSURFACEDESC2 mode{};
  EXPECT_EQ(fresh->GetDisplayMode(&mode), DDERR_NOTINITIALIZED);
  EXPECT_EQ(fresh->Initialize(nullptr), DD_OK);
  EXPECT_EQ(fresh->Initialize(nullptr), DDERR_ALREADYINITIALIZED);
  // Direct3D is refused only on a machine without it (the test switch).
  test::RefuseDirect3D(true);
  void* d3d = reinterpret_cast<void*>(1);
  EXPECT_EQ(fresh->QueryInterface(IID_IDirect3D7, &d3d), E_NOINTERFACE);
  EXPECT_EQ(d3d, nullptr);
  test::RefuseDirect3D(false);
  ASSERT_EQ(fresh->QueryInterface(IID_IDirect3D7, &d3d), S_OK);
  ASSERT_NE(d3d, nullptr);
  static_cast<IDirect3D7*>(d3d)->Release();
  fresh->Release();

  IDirectDraw* v1 = nullptr;
  ASSERT_EQ(dd->QueryInterface(IID_IDirectDraw, reinterpret_cast<void**>(&v1)), S_OK);
  DDCAPS caps{};
  caps.dwSize = sizeof(caps);
  ASSERT_EQ(v1->GetCaps(&caps, nullptr), DD_OK);
  EXPECT_EQ(caps.dwMaxVisibleOverlays, 0u);
  EXPECT_EQ(caps.dwVidMemTotal, 256u << 20);
  DDSURFACEDESC overlay{};
  overlay.dwSize = sizeof(overlay);
  overlay.dwFlags = 0x1007;
  overlay.ddsCaps.dwCaps = 0x4080;
  overlay.dwWidth = overlay.dwHeight = 16;
  IDirectDrawSurface7* s = nullptr;
  EXPECT_EQ(v1->CreateSurface(&overlay, &s, nullptr), DDERR_NOOVERLAYHW);
  EXPECT_EQ(s, nullptr);
  v1->Release();

  void* other = nullptr;
  EXPECT_EQ(CoCreateInstance(IID_IDirect3D7, nullptr, CLSCTX_ALL, IID_IDirectDraw7, &other), REGDB_E_CLASSNOTREG);
  test::FailDisplayCall("CoCreateInstance");
  EXPECT_EQ(CoCreateInstance(CLSID_DirectDraw7, nullptr, CLSCTX_ALL, IID_IDirectDraw7, &other), E_FAIL);
  EXPECT_EQ(other, nullptr);
}

TEST_F(DDrawTest, CooperativeLevels) {
  HWND w = MakeWindow("main", WS_POPUP, 0, 0, 640, 480);
  struct Case {
    DWORD flags;
    HWND window;
    HRESULT result;
  } cases[] = {
      {DDSCL_NORMAL, w, DD_OK},
      {DDSCL_NORMAL | DDSCL_FPUPRESERVE, nullptr, DD_OK},
      {DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE, w, DD_OK},
      {DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE | DDSCL_FPUPRESERVE, w, DD_OK},
      {DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE, nullptr, DDERR_INVALIDPARAMS},
      {DDSCL_EXCLUSIVE, w, DDERR_INVALIDPARAMS},
      {DDSCL_NORMAL | DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN, w, DDERR_INVALIDPARAMS},
      {0, w, DDERR_INVALIDPARAMS},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(dd->SetCooperativeLevel(c.window, c.flags), c.result) << "flags 0x" << std::hex << c.flags;
    dd->SetCooperativeLevel(w, DDSCL_NORMAL);
  }
  // One object at a time holds exclusive mode.
  IDirectDraw7* second = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_DirectDraw7, nullptr, CLSCTX_ALL, IID_IDirectDraw7, reinterpret_cast<void**>(&second)),
            S_OK);
  ASSERT_EQ(second->Initialize(nullptr), DD_OK);
  ASSERT_EQ(dd->SetCooperativeLevel(w, DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE), DD_OK);
  EXPECT_EQ(second->SetCooperativeLevel(w, DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE), DDERR_EXCLUSIVEMODEALREADYSET);
  EXPECT_EQ(dd->SetCooperativeLevel(w, DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE), DD_OK) << "the holder may set it again";
  EXPECT_EQ(dd->SetCooperativeLevel(w, DDSCL_NORMAL), DD_OK);
  EXPECT_EQ(second->SetCooperativeLevel(w, DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE), DD_OK);
  second->Release();
}

TEST_F(DDrawTest, DisplayModeReportsTheDesktopLayout) {
  struct Case {
    int depth;
    bool five55;
    DWORD r, g, b;
  } cases[] = {
      {32, false, 0xFF0000, 0xFF00, 0xFF},
      {16, false, 0xF800, 0x07E0, 0x001F},
      {16, true, 0x7C00, 0x03E0, 0x001F},
      {24, false, 0xFF0000, 0xFF00, 0xFF},
  };
  for (const Case& c : cases) {
    test::SetDesktopDepth(c.depth);
    test::SetDisplay16BitLayout555(c.five55);
    DDSURFACEDESC2 mode{};
    mode.dwSize = sizeof(mode);
    ASSERT_EQ(dd->GetDisplayMode(&mode), DD_OK);
    EXPECT_EQ(mode.dwWidth, 1920u);
    EXPECT_EQ(mode.dwHeight, 1080u);
    EXPECT_EQ(mode.ddpfPixelFormat.dwSize, sizeof(DDPIXELFORMAT));
    EXPECT_EQ(mode.ddpfPixelFormat.dwRGBBitCount, static_cast<DWORD>(c.depth));
    EXPECT_EQ(mode.ddpfPixelFormat.dwRBitMask, c.r) << c.depth;
    EXPECT_EQ(mode.ddpfPixelFormat.dwGBitMask, c.g) << c.depth;
    EXPECT_EQ(mode.ddpfPixelFormat.dwBBitMask, c.b) << c.depth;
    EXPECT_EQ(mode.ddpfPixelFormat.dwRGBAlphaBitMask, 0u);
  }
}

TEST_F(DDrawTest, SetDisplayModeSwitchesTheDesktopAndLosesTheDisplaySurfaces) {
  HWND w = MakeWindow("main", WS_POPUP, 0, 0, 640, 480);
  IDirectDrawSurface7* video = Offscreen(64, 64, DDSCAPS_OFFSCREENPLAIN | DDSCAPS_VIDEOMEMORY);
  IDirectDrawSurface7* system = Offscreen(64, 64);
  EXPECT_EQ(dd->SetDisplayMode(640, 480, 16, 0, 0), DDERR_NOEXCLUSIVEMODE);
  // The record holds what came after the test asked for it, and reading it before then says so.
  EXPECT_THROW(test::DisplayCalls(), std::logic_error);
  test::RecordDisplayCalls(true);
  ASSERT_EQ(dd->SetCooperativeLevel(w, DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE), DD_OK);
  EXPECT_EQ(dd->SetDisplayMode(640, 480, 16, 75, 0), DDERR_INVALIDMODE);
  EXPECT_EQ(dd->SetDisplayMode(640, 480, 12, 0, 0), DDERR_INVALIDMODE);
  ASSERT_EQ(dd->SetDisplayMode(640, 480, 16, 60, 0), DD_OK);
  HDC screen = GetDC(nullptr);
  EXPECT_EQ(GetDeviceCaps(screen, HORZRES), 640);
  EXPECT_EQ(GetDeviceCaps(screen, BITSPIXEL), 16);
  EXPECT_EQ(video->IsLost(), DDERR_SURFACELOST);
  EXPECT_EQ(system->IsLost(), DD_OK);
  EXPECT_EQ(video->Restore(), DD_OK);
  EXPECT_EQ(video->IsLost(), DD_OK);

  // Failures on demand, for the fallback chains: the next two fail, the third works.
  test::FailDisplayCall("SetDisplayMode", 2, DDERR_UNSUPPORTEDMODE);
  EXPECT_EQ(dd->SetDisplayMode(800, 600, 32, 0, 0), DDERR_UNSUPPORTEDMODE);
  EXPECT_EQ(dd->SetDisplayMode(800, 600, 32, 0, 0), DDERR_UNSUPPORTEDMODE);
  EXPECT_EQ(dd->SetDisplayMode(800, 600, 32, 0, 0), DD_OK);
  EXPECT_EQ(GetDeviceCaps(screen, HORZRES), 800);

  ASSERT_EQ(dd->SetCooperativeLevel(w, DDSCL_NORMAL), DD_OK);
  ASSERT_EQ(dd->RestoreDisplayMode(), DD_OK);
  EXPECT_EQ(GetDeviceCaps(screen, HORZRES), 1920);
  EXPECT_EQ(GetDeviceCaps(screen, BITSPIXEL), 32);

  // Releasing an object that switched the display gives the desktop back.
  ASSERT_EQ(dd->SetCooperativeLevel(w, DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE), DD_OK);
  ASSERT_EQ(dd->SetDisplayMode(640, 480, 16, 0, 0), DD_OK);
  dd->Release();
  dd = nullptr;
  EXPECT_EQ(GetDeviceCaps(screen, HORZRES), 1920);
  ReleaseDC(nullptr, screen);

  std::vector<DWORD> refreshes;
  for (const test::DisplayCall& c : test::DisplayCalls()) {
    if (c.call == "SetDisplayMode") refreshes.push_back(c.flags);
  }
  EXPECT_EQ(refreshes, (std::vector<DWORD>{75, 0, 60, 0, 0, 0, 0}));
}

TEST_F(DDrawTest, SurfacesForEachDescriptionTheLibraryMakes) {
  HWND w = MakeWindow("main", WS_POPUP, 0, 0, 640, 480);
  test::SetDesktopDepth(16);
  ASSERT_EQ(dd->SetCooperativeLevel(w, DDSCL_NORMAL), DD_OK);
  struct Case {
    const char* what;
    DWORD flags;
    DWORD caps;
    int width, height;
    HRESULT result;
    DWORD placement;  // VIDEOMEMORY or SYSTEMMEMORY in the caps read back
    int bits;
  } cases[] = {
      {"window primary", DDSD_CAPS, 0x2200, 0, 0, DD_OK, DDSCAPS_VIDEOMEMORY, 16},
      {"memory-image primary", DDSD_CAPS, 0xA00, 0, 0, DD_OK, DDSCAPS_SYSTEMMEMORY, 16},
      {"back", DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT, 0x2040, 640, 480, DD_OK, DDSCAPS_VIDEOMEMORY, 16},
      {"work", DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT, 0x840, 640, 480, DD_OK, DDSCAPS_SYSTEMMEMORY, 16},
      {"no size", DDSD_CAPS, 0x840, 0, 0, DDERR_INVALIDPARAMS, 0, 0},
      {"zero size", DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT, 0x840, 0, 10, DDERR_INVALIDPARAMS, 0, 0},
      {"overlay", DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT, 0x4080, 16, 16, DDERR_NOOVERLAYHW, 0, 0},
      {"chain without exclusive mode", DDSD_CAPS | DDSD_BACKBUFFERCOUNT, 0x2218, 0, 0, DDERR_NOEXCLUSIVEMODE, 0, 0},
      {"both memories", DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT, 0x4840, 8, 8, DDERR_INVALIDCAPS, 0, 0},
  };
  for (const Case& c : cases) {
    DDSURFACEDESC2 d = Desc(c.flags, c.caps, c.width, c.height);
    if (std::string(c.what) == "chain without exclusive mode") d.dwBackBufferCount = 1;
    IDirectDrawSurface7* s = nullptr;
    EXPECT_EQ(dd->CreateSurface(&d, &s, nullptr), c.result) << c.what;
    if (s == nullptr) continue;
    DDSCAPS2 caps{};
    ASSERT_EQ(s->GetCaps(&caps), DD_OK);
    EXPECT_EQ(caps.dwCaps & (DDSCAPS_VIDEOMEMORY | DDSCAPS_SYSTEMMEMORY), c.placement) << c.what;
    DDSURFACEDESC2 back{};
    ASSERT_EQ(s->GetSurfaceDesc(&back), DD_OK);
    EXPECT_EQ(back.ddpfPixelFormat.dwRGBBitCount, static_cast<DWORD>(c.bits)) << c.what;
    if (caps.dwCaps & DDSCAPS_PRIMARYSURFACE) {
      EXPECT_EQ(back.dwWidth, 1920u) << c.what;
      IDirectDrawSurface7* again = nullptr;
      EXPECT_EQ(dd->CreateSurface(&d, &again, nullptr), DDERR_PRIMARYSURFACEALREADYEXISTS);
    }
    s->Release();
  }
  // A pixel format of a different four-character code is not held.
  DDSURFACEDESC2 yuv = Desc(DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT, 0x840, 16, 16);
  yuv.ddpfPixelFormat.dwSize = sizeof(DDPIXELFORMAT);
  yuv.ddpfPixelFormat.dwFlags = DDPF_FOURCC;
  yuv.ddpfPixelFormat.dwFourCC = MakeFourCC('Y', 'U', 'Y', '2');
  IDirectDrawSurface7* s = nullptr;
  EXPECT_EQ(dd->CreateSurface(&yuv, &s, nullptr), DDERR_INVALIDPIXELFORMAT);
}

TEST_F(DDrawTest, ZBufferAttachesToTheBackSurfaceAndTakesDepthFills) {
  IDirectDrawSurface7* back = Offscreen(64, 32, 0x2040);
  DDSURFACEDESC2 d = Desc(DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT, 0x24000, 64, 32);
  d.ddpfPixelFormat.dwSize = 32;
  d.ddpfPixelFormat.dwFlags = DDPF_ZBUFFER;
  d.ddpfPixelFormat.dwZBufferBitDepth = 16;
  d.ddpfPixelFormat.dwZBitMask = 0xFFFF;
  IDirectDrawSurface7* z = nullptr;
  ASSERT_EQ(dd->CreateSurface(&d, &z, nullptr), DD_OK);
  Keep(z);
  ASSERT_EQ(back->AddAttachedSurface(z), DD_OK);
  EXPECT_EQ(back->AddAttachedSurface(z), DDERR_SURFACEALREADYATTACHED);
  DDBLTFX fx{};
  fx.dwSize = sizeof(fx);
  fx.dwFillDepth = 65535;
  EXPECT_EQ(z->Blt(nullptr, nullptr, nullptr, DDBLT_DEPTHFILL | DDBLT_WAIT, &fx), DD_OK);
  EXPECT_EQ(Raw(z, 63, 31), 0xFFFFu);
  EXPECT_EQ(back->Blt(nullptr, nullptr, nullptr, DDBLT_DEPTHFILL, &fx), DDERR_INVALIDPARAMS) << "not a depth surface";
  int seen = 0;
  back->EnumAttachedSurfaces(&seen, [](IDirectDrawSurface7*, DDSURFACEDESC2* desc, void* ctx) -> HRESULT {
    *static_cast<int*>(ctx) += desc->ddsCaps.dwCaps & DDSCAPS_ZBUFFER ? 1 : 100;
    return DDENUMRET_OK;
  });
  EXPECT_EQ(seen, 1);
  EXPECT_EQ(back->DeleteAttachedSurface(0, z), DD_OK);
  EXPECT_EQ(back->DeleteAttachedSurface(0, z), DDERR_SURFACENOTATTACHED);
}

TEST_F(DDrawTest, FullScreenFlipChainSwapsBuffersAndWaitsForTheBlank) {
  HWND w = MakeWindow("main", WS_POPUP, 0, 0, 640, 480);
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
  DDSURFACEDESC2 desc{};
  ASSERT_EQ(back->GetSurfaceDesc(&desc), DD_OK);
  EXPECT_EQ(desc.dwWidth, 640u);
  EXPECT_EQ(desc.ddpfPixelFormat.dwRGBBitCount, 16u);

  ASSERT_EQ(Fill(back, nullptr, 0xF800), DD_OK);
  const uint64_t before = clock::NowMicroseconds();
  ASSERT_EQ(primary->Flip(nullptr, DDFLIP_WAIT), DD_OK);
  const uint64_t waited = clock::NowMicroseconds() - before;
  EXPECT_LE(waited, 16667u + 1000u);
  BOOL blank = FALSE;
  ASSERT_EQ(dd->GetVerticalBlankStatus(&blank), DD_OK);
  EXPECT_TRUE(blank) << "a waiting flip returns in the blank";
  EXPECT_EQ(Raw(primary, 639, 479), 0xF800u);
  EXPECT_EQ(Raw(back, 0, 0), 0u) << "the old front is now behind";
  // What the front shows is what the window shows, 5-6-5 widened to 8-8-8.
  host::Frame frame = test::CaptureWindowFrame(w);
  ASSERT_EQ(frame.width, 640);
  EXPECT_EQ(frame.pixels[0], 0xFF0000u);

  ASSERT_EQ(Fill(back, nullptr, 0x001F), DD_OK);
  ASSERT_EQ(primary->Flip(nullptr, DDFLIP_WAIT | DDFLIP_NOVSYNC), DD_OK);
  EXPECT_EQ(test::CaptureWindowFrame(w).pixels[0], 0x0000FFu);
  ASSERT_EQ(dd->FlipToGDISurface(), DD_OK);
  EXPECT_EQ(Raw(primary, 0, 0), 0x001Fu) << "two flips put the first buffer in front again";
  EXPECT_EQ(back->Flip(nullptr, 0), DDERR_NOTFLIPPABLE);
}

TEST_F(DDrawTest, ScanLineRunsDownTheFrameAndWrapsAtSixtyHertz) {
  dd->WaitForVerticalBlank(DDWAITVB_BLOCKEND, nullptr);
  DWORD first = 0, line = 0;
  ASSERT_EQ(dd->GetScanLine(&first), DD_OK);
  EXPECT_LT(first, 10u) << "just after the blank ends, the top of the frame";
  plat::Sleep(8);
  ASSERT_EQ(dd->GetScanLine(&line), DD_OK);
  EXPECT_GT(line, first);
  EXPECT_NEAR(static_cast<double>(line), 8.0 / 16.667 * 1181, 20.0);
  plat::Sleep(9);
  DWORD wrapped = 0;
  ASSERT_EQ(dd->GetScanLine(&wrapped), DD_OK);
  EXPECT_LT(wrapped, line) << "the next frame starts again at the top";
  const uint64_t before = clock::NowMicroseconds();
  ASSERT_EQ(dd->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr), DD_OK);
  EXPECT_LE(clock::NowMicroseconds() - before, 16667u + 100u);
  BOOL blank = FALSE;
  ASSERT_EQ(dd->GetVerticalBlankStatus(&blank), DD_OK);
  EXPECT_TRUE(blank);
  EXPECT_EQ(dd->WaitForVerticalBlank(0x100, nullptr), DDERR_INVALIDPARAMS);
  test::FailDisplayCall("GetVerticalBlankStatus", -1);
  EXPECT_EQ(dd->GetVerticalBlankStatus(&blank), E_FAIL);
  EXPECT_EQ(dd->GetVerticalBlankStatus(&blank), E_FAIL) << "fails until reset";
}

}  // namespace

namespace {

using namespace ddraw_test;

// The faces movie streams use: plain surfaces from the version-1 interface, the version-1, 4 and 7
// faces of one surface, and overlays refused everywhere.
TEST_F(DDrawTest, VersionOneMakesPlainSurfacesWhoseFacesShareOneSurface) {
  // The version-4 face is handed on to movie streams, which ask it for the others.
  IDirectDraw4* v4 = nullptr;
  ASSERT_EQ(dd->QueryInterface(IID_IDirectDraw4, reinterpret_cast<void**>(&v4)), S_OK);
  IDirectDraw7* back = nullptr;
  ASSERT_EQ(v4->QueryInterface(IID_IDirectDraw7, reinterpret_cast<void**>(&back)), S_OK);
  EXPECT_EQ(back, dd);
  back->Release();
  dd->Release();  // the version-4 face keeps the object alive
  ASSERT_EQ(v4->QueryInterface(IID_IDirectDraw7, reinterpret_cast<void**>(&dd)), S_OK);
  v4->Release();

  IDirectDraw* v1 = nullptr;
  ASSERT_EQ(dd->QueryInterface(IID_IDirectDraw, reinterpret_cast<void**>(&v1)), S_OK);
  DDSURFACEDESC plain{};
  plain.dwSize = sizeof(plain);
  plain.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT;
  plain.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
  plain.dwWidth = 5;
  plain.dwHeight = 3;
  plain.ddpfPixelFormat = RgbFormat(24);
  IDirectDrawSurface* surface = nullptr;
  ASSERT_EQ(v1->CreateSurface(&plain, &surface, nullptr), DD_OK);

  struct Refused {
    DWORD caps;
    HRESULT result;
  } refused[] = {
      {DDSCAPS_OVERLAY | DDSCAPS_VIDEOMEMORY, DDERR_NOOVERLAYHW},
      {DDSCAPS_PRIMARYSURFACE, DDERR_INVALIDCAPS},
      {DDSCAPS_TEXTURE, DDERR_INVALIDCAPS},
      {DDSCAPS_ZBUFFER, DDERR_INVALIDCAPS},
  };
  for (const Refused& r : refused) {
    DDSURFACEDESC other = plain;
    other.ddsCaps.dwCaps = r.caps;
    IDirectDrawSurface* none = reinterpret_cast<IDirectDrawSurface*>(1);
    EXPECT_EQ(v1->CreateSurface(&other, &none, nullptr), r.result) << "caps 0x" << std::hex << r.caps;
    EXPECT_EQ(none, nullptr);
  }
  v1->Release();

  IDirectDrawSurface4* four = nullptr;
  IDirectDrawSurface7* seven = nullptr;
  ASSERT_EQ(surface->QueryInterface(IID_IDirectDrawSurface4, reinterpret_cast<void**>(&four)), S_OK);
  ASSERT_EQ(surface->QueryInterface(IID_IDirectDrawSurface7, reinterpret_cast<void**>(&seven)), S_OK);
  void* other = reinterpret_cast<void*>(1);
  EXPECT_EQ(surface->QueryInterface(IID_IDirectDraw7, &other), E_NOINTERFACE);
  EXPECT_EQ(other, nullptr);
  surface->Release();  // the other faces keep the surface

  // A pixel written through the version-4 face is the version-7 face's pixel.
  DDSURFACEDESC2 locked{};
  locked.dwSize = sizeof(locked);
  ASSERT_EQ(four->Lock(nullptr, &locked, DDLOCK_WAIT | DDLOCK_WRITEONLY, nullptr), DD_OK);
  EXPECT_EQ(locked.dwWidth, 5u);
  EXPECT_EQ(locked.ddpfPixelFormat.dwRGBBitCount, 24u);
  EXPECT_EQ(locked.ddsCaps.dwCaps & (DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY),
            DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY);
  auto* row = static_cast<uint8_t*>(locked.lpSurface) + locked.lPitch * 2;
  row[3] = 0x30, row[4] = 0x20, row[5] = 0x10;  // pixel (1, 2): B, G, R
  EXPECT_EQ(seven->Lock(nullptr, &locked, DDLOCK_WAIT, nullptr), DDERR_SURFACEBUSY);
  ASSERT_EQ(four->Unlock(nullptr), DD_OK);
  EXPECT_EQ(test::ReadSurfacePixelRgb(seven, 1, 2), 0x102030u);

  test::LoseAllSurfaces();
  EXPECT_EQ(four->IsLost(), DDERR_SURFACELOST);
  EXPECT_EQ(four->Restore(), DD_OK);
  EXPECT_EQ(seven->IsLost(), DD_OK);
  EXPECT_EQ(seven->UpdateOverlay(nullptr, nullptr, nullptr, DDOVER_HIDE), DDERR_NOTAOVERLAYSURFACE);
  four->Release();
  EXPECT_EQ(test::GetDDrawCounters().liveSurfaces, 1);
  seven->Release();
}

}  // namespace
