// The Direct3D object and device: enumeration over a configured driver, failure injection by name,
// the refusal switch, device creation, the call record, Load, locked and lost surfaces, managed
// textures across a loss, and drawing into the primary being shown.
#include <stdexcept>
#include <string>

#include "d3d7_test_fixture.h"

namespace {

using namespace d3d_test;
using windows_test::MakeWindow;

struct Seen {
  std::vector<std::string> names;
  std::vector<DWORD> depths;  // render depths, or pixel-format bit counts
  int stopAfter = 1000;
};

HRESULT OnDevice(char*, char* name, D3DDEVICEDESC7* desc, void* context) {
  auto* seen = static_cast<Seen*>(context);
  seen->names.push_back(name);
  seen->depths.push_back(desc->dwDeviceRenderBitDepth);
  return static_cast<int>(seen->names.size()) >= seen->stopAfter ? D3DENUMRET_CANCEL : D3DENUMRET_OK;
}

HRESULT OnFormat(DDPIXELFORMAT* format, void* context) {
  auto* seen = static_cast<Seen*>(context);
  seen->depths.push_back(format->dwRGBBitCount);
  seen->names.push_back(std::to_string(format->dwFlags));
  return static_cast<int>(seen->names.size()) >= seen->stopAfter ? D3DENUMRET_CANCEL : D3DENUMRET_OK;
}

TEST_F(D3DTest, EnumerationFollowsTheConfiguredDriverAndStopsOnCancel) {
  Seen devices;
  ASSERT_EQ(d3d->EnumDevices(OnDevice, &devices), D3D_OK);
  EXPECT_EQ(devices.names, (std::vector<std::string>{"HAL", "T&L HAL"}));
  Seen z;
  ASSERT_EQ(d3d->EnumZBufferFormats(IID_IDirect3DHALDevice, OnFormat, &z), D3D_OK);
  EXPECT_EQ(z.depths, (std::vector<DWORD>{24, 16}));

  // A driver of one T&L device rendering 16 bits, square textures only, and a single texture format.
  test::D3DConfig config;
  test::D3DDeviceConfig tnl{"d", "only", test::MakeD3DDeviceDesc(IID_IDirect3DTnLHalDevice, DDBD_16)};
  tnl.desc.dpcTriCaps.dwTextureCaps |= D3DPTEXTURECAPS_SQUAREONLY;
  config.devices = {tnl};
  config.textureFormats = {Format555(), Format4444()};
  config.zBufferFormats = {test::MakeZBufferPixelFormat(16)};
  test::SetD3DConfig(config);
  Seen one;
  one.stopAfter = 1;
  ASSERT_EQ(d3d->EnumDevices(OnDevice, &one), D3D_OK);
  EXPECT_EQ(one.depths, (std::vector<DWORD>{DDBD_16}));
  EXPECT_EQ(d3d->EnumZBufferFormats(IID_IDirect3DHALDevice, OnFormat, &z), DDERR_INVALIDPARAMS) << "no HAL device";

  // Devices render only at their depths, and only device types the driver has.
  IDirectDrawSurface7* wide = Target(8, 8, FormatX888());
  IDirectDrawSurface7* narrow = Target(8, 8, Format555());
  EXPECT_EQ(d3d->CreateDevice(IID_IDirect3DTnLHalDevice, wide, &device), DDERR_INVALIDPIXELFORMAT);
  EXPECT_EQ(device, nullptr);
  EXPECT_EQ(d3d->CreateDevice(IID_IDirect3DHALDevice, narrow, &device), D3DERR_INVALID_DEVICE);
  ASSERT_EQ(d3d->CreateDevice(IID_IDirect3DTnLHalDevice, narrow, &device), D3D_OK);
  Seen formats;
  formats.stopAfter = 1;
  ASSERT_EQ(device->EnumTextureFormats(OnFormat, &formats), D3D_OK);
  EXPECT_EQ(formats.depths, (std::vector<DWORD>{16}));

  // Named failures, one state at a time where asked.
  test::FailDisplayCall("EnumTextureFormats", 1, DDERR_GENERIC);
  EXPECT_EQ(device->EnumTextureFormats(OnFormat, &formats), DDERR_GENERIC);
  test::FailDisplayCall("SetRenderState:4", 1, DDERR_GENERIC);
  EXPECT_EQ(device->SetRenderState(D3DRENDERSTATE_SHADEMODE, D3DSHADE_FLAT), D3D_OK);
  EXPECT_EQ(device->SetRenderState(D3DRENDERSTATE_TEXTUREPERSPECTIVE, 0), DDERR_GENERIC);
  EXPECT_EQ(device->SetRenderState(D3DRENDERSTATE_TEXTUREPERSPECTIVE, 0), D3D_OK);
  test::FailDisplayCall("SetViewport", 1, DDERR_GENERIC);
  D3DVIEWPORT7 vp{0, 0, 8, 8, 0.0f, 1.0f};
  EXPECT_EQ(device->SetViewport(&vp), DDERR_GENERIC);
  vp.dwWidth = 9;
  EXPECT_EQ(device->SetViewport(&vp), DDERR_INVALIDPARAMS) << "past the target";
  test::FailDisplayCall("CreateDevice", 1, DDERR_OUTOFMEMORY);
  IDirect3DDevice7* second = nullptr;
  EXPECT_EQ(d3d->CreateDevice(IID_IDirect3DTnLHalDevice, narrow, &second), DDERR_OUTOFMEMORY);
  EXPECT_EQ(second, nullptr);

  // The DirectDraw object refuses Direct3D under the switch or an injected failure.
  void* other = nullptr;
  test::RefuseDirect3D(true);
  EXPECT_EQ(dd->QueryInterface(IID_IDirect3D7, &other), E_NOINTERFACE);
  test::RefuseDirect3D(false);
  test::FailDisplayCall("QueryInterface", 1, E_NOINTERFACE);
  EXPECT_EQ(dd->QueryInterface(IID_IDirect3D7, &other), E_NOINTERFACE);
  EXPECT_EQ(other, nullptr);
}

TEST_F(D3DTest, TheRecordIsKeptOnlyWhenAskedForAndCopiesArgumentsVerticesAndIndices) {
  IDirectDrawSurface7* target = Target(8, 8, Format565());
  MakeDevice(target);
  std::vector<VertexTex2> v(4);
  for (int i = 0; i < 4; ++i) v[i] = {float(i), float(i % 2), 0.2f, 1, 0xFF000000u | i, 0xFFFFFFFF, 0, 0, 0.5f, 0.25f};
  // Until the test asks, nothing is kept (the device's making and this draw included) and reading says so.
  ASSERT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, kFvfTex2, v.data(), 4, 0), D3D_OK);
  EXPECT_THROW(test::D3DCalls(), std::logic_error);
  EXPECT_THROW(test::D3DCallCount("DrawPrimitive"), std::logic_error);
  test::RecordD3DCalls(true);
  D3DMATRIX m{};
  m._11 = 2;
  m._44 = 1;
  ASSERT_EQ(device->SetTransform(D3DTRANSFORMSTATE_PROJECTION, &m), D3D_OK);
  std::vector<WORD> idx = {0, 1, 2, 3};
  ASSERT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, kFvfTex2, v.data(), 4, 0), D3D_OK);
  ASSERT_EQ(device->BeginScene(), D3D_OK);
  EXPECT_EQ(device->BeginScene(), D3DERR_SCENE_IN_SCENE);
  ASSERT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLESTRIP, kFvfTex2, v.data(), 4, idx.data(), 4, 0), D3D_OK);
  ASSERT_EQ(device->EndScene(), D3D_OK);
  EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLEFAN, kFvfTex2, v.data(), 4, 0), DDERR_INVALIDPARAMS);
  EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0x142, v.data(), 3, 0), DDERR_INVALIDPARAMS) << "untransformed";

  const std::vector<test::D3DCall> calls = test::D3DCalls();
  ASSERT_EQ(calls.size(), 8u);
  EXPECT_EQ(calls[0].call, "SetTransform");
  EXPECT_EQ(calls[0].args, (std::vector<DWORD>{D3DTRANSFORMSTATE_PROJECTION}));
  EXPECT_EQ(calls[0].matrix._11, 2.0f);
  EXPECT_EQ(calls[1].call, "DrawPrimitive");
  EXPECT_EQ(calls[1].args, (std::vector<DWORD>{D3DPT_TRIANGLESTRIP, kFvfTex2, 4, 0}));
  ASSERT_EQ(calls[1].vertices.size(), 4 * sizeof(VertexTex2));
  EXPECT_EQ(std::memcmp(calls[1].vertices.data(), v.data(), calls[1].vertices.size()), 0);
  EXPECT_FALSE(calls[1].inScene);
  EXPECT_EQ(calls[4].call, "DrawIndexedPrimitive");
  EXPECT_TRUE(calls[4].inScene);
  EXPECT_EQ(calls[4].indices, idx);
  EXPECT_EQ(calls[6].result, DDERR_INVALIDPARAMS);
  EXPECT_EQ(test::GetD3DCounters().drawsOutsideScene, 2) << "the two refused draws draw nothing";
  EXPECT_EQ(test::D3DCallCount("DrawPrimitive"), 3);
  test::RecordD3DCalls(false);
  ASSERT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, kFvfTex2, v.data(), 4, 0), D3D_OK);
  EXPECT_THROW(test::D3DCalls(), std::logic_error);
  test::RecordD3DCalls(true);
  EXPECT_EQ(test::D3DCalls().size(), 8u) << "a record turned off keeps what it had and adds nothing";
}

TEST_F(D3DTest, RoadSwitchesAreReadWhenTheDeviceIsMadeAndOnceAScene) {
  IDirectDrawSurface7* target = Target(8, 8, FormatX888());
  const int before = test::GetD3DCounters().roadSwitchReads;
  MakeDevice(target);
  Untextured();
  const std::vector<VertexDiffuse> quad = {{0, 0, 0, 1, 0xFF102030}, {8, 0, 0, 1, 0}, {0, 8, 0, 1, 0},
                                           {0, 8, 0, 1, 0xFF102030}, {8, 0, 0, 1, 0}, {8, 8, 0, 1, 0}};
  for (int scene = 0; scene < 3; ++scene) {
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    for (int i = 0; i < 20; ++i) ASSERT_EQ(DrawList(quad), D3D_OK);
    ASSERT_EQ(device->EndScene(), D3D_OK);
  }
  ASSERT_EQ(DrawList(quad), D3D_OK);
  EXPECT_EQ(test::ReadSurfacePixelRgb(target, 4, 4), 0x102030u);
  EXPECT_EQ(test::GetD3DCounters().roadSwitchReads - before, 1 + 3) << "once when made, then once a scene";
}

TEST_F(D3DTest, LoadCopiesSameFormatTexturesAndBusySurfacesRefuseDrawing) {
  IDirectDrawSurface7* target = Target(4, 4, FormatX888());
  IDirectDrawSurface7* from = Texture(4, 4, Format4444());
  IDirectDrawSurface7* to = Texture(4, 4, Format4444());
  IDirectDrawSurface7* other = Texture(4, 4, Format565());
  std::vector<uint32_t> texels(16);
  for (int i = 0; i < 16; ++i) texels[i] = 0x1111u * i;
  PokeAll(from, texels, 4);
  MakeDevice(target);
  RECT r{1, 1, 3, 4};
  POINT p{2, 0};
  ASSERT_EQ(device->Load(to, &p, from, &r, 0), D3D_OK);
  EXPECT_EQ(Raw(to, 2, 0), texels[1 * 4 + 1]);
  EXPECT_EQ(Raw(to, 3, 2), texels[3 * 4 + 2]);
  EXPECT_EQ(Raw(to, 1, 0), 0u);
  EXPECT_EQ(device->Load(other, nullptr, from, nullptr, 0), DDERR_INVALIDPIXELFORMAT);
  p = POINT{3, 0};
  EXPECT_EQ(device->Load(to, &p, from, &r, 0), DDERR_INVALIDRECT);
  test::FailDisplayCall("Load", 2, DDERR_SURFACEBUSY);
  EXPECT_EQ(device->Load(to, nullptr, from, nullptr, 0), DDERR_SURFACEBUSY);
  EXPECT_EQ(device->Load(to, nullptr, from, nullptr, 0), DDERR_SURFACEBUSY);
  EXPECT_EQ(device->Load(to, nullptr, from, nullptr, 0), D3D_OK);

  // A locked texture or target is neither sampled nor drawn into.
  TextureOnly(from);
  DDSURFACEDESC2 d{};
  d.dwSize = sizeof(d);
  for (IDirectDrawSurface7* busy : {from, target}) {
    ASSERT_EQ(busy->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DD_OK);
    EXPECT_EQ(DrawList(Quad(-0.5f, -0.5f, 3.5f, 3.5f, 0, 0, 1, 1)), DDERR_SURFACEBUSY);
    ASSERT_EQ(busy->Unlock(nullptr), DD_OK);
    EXPECT_EQ(Raw(target, 1, 1), 0u);
  }
  ASSERT_EQ(DrawList(Quad(-0.5f, -0.5f, 3.5f, 3.5f, 0, 0, 1, 1)), D3D_OK);
  EXPECT_EQ(Raw(target, 1, 1), 0x555555u);  // 0x5555 in 4:4:4:4
}

TEST_F(D3DTest, ManagedTexturesKeepTheirPixelsAcrossALossWithoutAModeChange) {
  IDirectDrawSurface7* managed = Texture(2, 2, Format565(), DDSCAPS2_TEXTUREMANAGE);
  IDirectDrawSurface7* plain = Texture(2, 2, Format565());
  PokeAll(managed, {1, 2, 3, 4}, 2);
  PokeAll(plain, {1, 2, 3, 4}, 2);
  test::LoseAllSurfaces();
  EXPECT_EQ(managed->IsLost(), DD_OK);
  EXPECT_EQ(Raw(managed, 1, 1), 4u);
  EXPECT_EQ(plain->IsLost(), DDERR_SURFACELOST);
  ASSERT_EQ(plain->Restore(), DD_OK);
  EXPECT_EQ(Raw(plain, 1, 1), 0u);
  // A lost texture is not drawn from.
  IDirectDrawSurface7* target = Target(2, 2, Format565());
  MakeDevice(target);
  TextureOnly(plain);
  test::LoseAllSurfaces();
  EXPECT_EQ(DrawList(Quad(-0.5f, -0.5f, 1.5f, 1.5f, 0, 0, 1, 1)), DDERR_SURFACELOST);
}

TEST_F(D3DTest, DrawingIntoThePrimaryIsShownInTheWindow) {
  HWND w = MakeWindow("main", WS_POPUP, 100, 50, 64, 32);
  ShowWindow(w, SW_SHOW);
  ASSERT_EQ(dd->SetCooperativeLevel(w, DDSCL_NORMAL), DD_OK);
  DDSURFACEDESC2 d = Desc(DDSD_CAPS, DDSCAPS_PRIMARYSURFACE | DDSCAPS_3DDEVICE);
  IDirectDrawSurface7* primary = nullptr;
  ASSERT_EQ(dd->CreateSurface(&d, &primary, nullptr), DD_OK);
  Keep(primary);
  IDirectDrawClipper* clipper = nullptr;
  ASSERT_EQ(dd->CreateClipper(0, &clipper, nullptr), DD_OK);
  ASSERT_EQ(clipper->SetHWnd(0, w), DD_OK);
  ASSERT_EQ(primary->SetClipper(clipper), DD_OK);
  clipper->Release();
  MakeDevice(primary);
  Untextured();
  // The client area's (2, 3) is the desktop's (102, 53).
  std::vector<VertexDiffuse> t = {{101.5f, 52.5f, 0, 1, 0x00FF8000}, {110, 52.5f, 0, 1, 0}, {101.5f, 60, 0, 1, 0}};
  ASSERT_EQ(DrawList(t), D3D_OK);
  host::Frame frame = test::CaptureWindowFrame(w);
  ASSERT_EQ(frame.width, 64);
  EXPECT_EQ(frame.pixels[static_cast<size_t>(3) * 64 + 2] & 0xFFFFFF, 0xFF8000u);
  EXPECT_EQ(frame.pixels[static_cast<size_t>(2) * 64 + 2] & 0xFFFFFF, 0u);
}

}  // namespace
