// The fixture of the Direct3D stand-in tests: a DirectDraw object, its Direct3D object, render targets
// and textures of any layout, a device, and vertex builders for the three formats drawn.
#pragma once

#include <cstring>
#include <vector>

#include "platform/d3d/d3d7.h"
#include "platform/d3d/d3d7_test_controls.h"
#include "ddraw_test_fixture.h"

namespace d3d_test {

using namespace plat;

// The three vertex layouts the library draws with.
struct VertexDiffuse {
  float x, y, z, rhw;
  DWORD diffuse;
};
struct VertexTex1 {
  float x, y, z, rhw;
  DWORD diffuse;
  float u, v;
};
struct VertexTex2 {
  float x, y, z, rhw;
  DWORD diffuse, specular;
  float u0, v0, u1, v1;
};
static_assert(sizeof(VertexDiffuse) == 20 && sizeof(VertexTex1) == 28 && sizeof(VertexTex2) == 40);

constexpr DWORD kFvfDiffuse = 0x044, kFvfTex1 = 0x144, kFvfTex2 = 0x2C4;

// Layouts by name.
inline DDPIXELFORMAT Format565() { return test::MakeRgbPixelFormat(16, 0xF800, 0x07E0, 0x001F, 0); }
inline DDPIXELFORMAT Format555() { return test::MakeRgbPixelFormat(16, 0x7C00, 0x03E0, 0x001F, 0); }
inline DDPIXELFORMAT Format1555() { return test::MakeRgbPixelFormat(16, 0x7C00, 0x03E0, 0x001F, 0x8000); }
inline DDPIXELFORMAT Format4444() { return test::MakeRgbPixelFormat(16, 0x0F00, 0x00F0, 0x000F, 0xF000); }
inline DDPIXELFORMAT FormatX888() { return test::MakeRgbPixelFormat(32, 0xFF0000, 0xFF00, 0xFF, 0); }
inline DDPIXELFORMAT Format8888() { return test::MakeRgbPixelFormat(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000); }

class D3DTest : public ddraw_test::DDrawTest {
 protected:
  void SetUp() override {
    DDrawTest::SetUp();
    ASSERT_EQ(dd->QueryInterface(IID_IDirect3D7, reinterpret_cast<void**>(&d3d)), S_OK);
  }
  void TearDown() override {
    if (device != nullptr) device->Release();
    if (d3d != nullptr) d3d->Release();
    const test::D3DCounters left = test::GetD3DCounters();
    EXPECT_EQ(left.liveObjects, 0);
    EXPECT_EQ(left.liveDevices, 0);
    DDrawTest::TearDown();
  }

  // A surface of a layout with extra caps (3DDEVICE for targets, TEXTURE for textures).
  IDirectDrawSurface7* Surface(int width, int height, const DDPIXELFORMAT& format, DWORD caps, DWORD caps2 = 0) {
    DDSURFACEDESC2 d = Desc(DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT, caps, width, height);
    d.ddpfPixelFormat = format;
    d.ddsCaps.dwCaps2 = caps2;
    IDirectDrawSurface7* s = nullptr;
    EXPECT_EQ(dd->CreateSurface(&d, &s, nullptr), DD_OK);
    return Keep(s);
  }
  IDirectDrawSurface7* Target(int width, int height, const DDPIXELFORMAT& format) {
    return Surface(width, height, format, DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE | DDSCAPS_SYSTEMMEMORY);
  }
  IDirectDrawSurface7* Texture(int width, int height, const DDPIXELFORMAT& format, DWORD caps2 = 0) {
    return Surface(width, height, format, DDSCAPS_TEXTURE, caps2);
  }

  // A device on `target` with the library's usual start: no culling, no lighting, flat shading.
  void MakeDevice(IDirectDrawSurface7* target) {
    ASSERT_EQ(d3d->CreateDevice(IID_IDirect3DHALDevice, target, &device), D3D_OK);
    device->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRENDERSTATE_LIGHTING, 0);
    device->SetRenderState(D3DRENDERSTATE_SHADEMODE, D3DSHADE_FLAT);
    device->SetRenderState(D3DRENDERSTATE_ZENABLE, 0);
  }

  // Raw texel writes through a lock, row-major.
  static void PokeAll(IDirectDrawSurface7* s, const std::vector<uint32_t>& values, int width) {
    DDSURFACEDESC2 d{};
    d.dwSize = sizeof(d);
    ASSERT_EQ(s->Lock(nullptr, &d, DDLOCK_WAIT | DDLOCK_WRITEONLY, nullptr), DD_OK);
    const int bytes = static_cast<int>(d.ddpfPixelFormat.dwRGBBitCount / 8);
    for (size_t i = 0; i < values.size(); ++i) {
      auto* row = static_cast<uint8_t*>(d.lpSurface) + (i / width) * d.lPitch;
      std::memcpy(row + (i % width) * bytes, &values[i], static_cast<size_t>(bytes));
    }
    ASSERT_EQ(s->Unlock(nullptr), DD_OK);
  }

  // A quad as a triangle list in the library's order (TL, TR, BL, BL, TR, BR), colour in 0 and 3.
  static std::vector<VertexTex1> Quad(float x0, float y0, float x1, float y1, float u0, float v0, float u1, float v1,
                                      DWORD colour = 0xFFFFFFFF) {
    std::vector<VertexTex1> q = {{x0, y0, 0, 1, colour, u0, v0}, {x1, y0, 0, 1, 0x12345678, u1, v0},
                                 {x0, y1, 0, 1, 0x12345678, u0, v1}, {x0, y1, 0, 1, colour, u0, v1},
                                 {x1, y0, 0, 1, 0x12345678, u1, v0}, {x1, y1, 0, 1, 0x12345678, u1, v1}};
    return q;
  }
  HRESULT DrawList(std::vector<VertexTex1> v) {
    return device->DrawPrimitive(D3DPT_TRIANGLELIST, kFvfTex1, v.data(), static_cast<DWORD>(v.size()), 0);
  }
  HRESULT DrawList(std::vector<VertexDiffuse> v) {
    return device->DrawPrimitive(D3DPT_TRIANGLELIST, kFvfDiffuse, v.data(), static_cast<DWORD>(v.size()), 0);
  }
  // Stage 0 reads the texture alone; nothing blends.
  void TextureOnly(IDirectDrawSurface7* texture) {
    device->SetTexture(0, texture);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_ADDRESS, D3DTADDRESS_CLAMP);
  }
  void Untextured() {
    device->SetTexture(0, nullptr);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
  }

  IDirect3D7* d3d = nullptr;
  IDirect3DDevice7* device = nullptr;
};

}  // namespace d3d_test
