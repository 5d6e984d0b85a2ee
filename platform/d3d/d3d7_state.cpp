// The Direct3D stand-in's state record: the pretended driver (devices, caps, formats), the refusal
// switch, the call record and the live counts, with the test controls that read and change them.
#include <cstring>
#include <stdexcept>

#include "platform/d3d/d3d7_fast_paths.h"
#include "platform/d3d/d3d7_internal.h"
#include "platform/d3d/d3d7_span_avx2.h"
#include "platform/win/user/display_test_controls.h"

namespace plat::d3d {

D3DState& State() {
  // Never destroyed: threads and exit handlers may use it until the process ends.
  static auto* state = new D3DState;
  return *state;
}

test::D3DConfig Config() {
  D3DState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.configured ? s.config : test::DefaultD3DConfig();
}

size_t CopiedBytes(const test::D3DCall& call) { return call.vertices.size() + call.indices.size() * sizeof(WORD); }

bool Recording() { return State().recording.load(std::memory_order_relaxed); }

void Record(test::D3DCall call) {
  if (!Recording()) return;
  D3DState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  // A long run (a game loop under test) must not grow without bound: past a count or a size of copied
  // vertices, the older half goes.
  constexpr size_t kKeptCalls = 1 << 15;
  constexpr size_t kKeptBytes = 32u << 20;
  if (s.calls.size() >= kKeptCalls || s.recordedBytes >= kKeptBytes) {
    const auto half = s.calls.begin() + static_cast<std::ptrdiff_t>(s.calls.size() / 2);
    for (auto it = s.calls.begin(); it != half; ++it) s.recordedBytes -= CopiedBytes(*it);
    s.calls.erase(s.calls.begin(), half);
  }
  s.recordedBytes += CopiedBytes(call);
  s.calls.push_back(std::move(call));
}

RoadSwitches ReadRoadSwitches() {
  D3DState& s = State();
  s.roadSwitchReads.fetch_add(1, std::memory_order_relaxed);
  return RoadSwitches{s.fastPaths.load(std::memory_order_relaxed),
                      s.avx2.load(std::memory_order_relaxed) && Avx2Supported()};
}

bool Faulted(const char* call, HRESULT* result) { return test::TakeDisplayFault(call, result); }

int VertexStride(DWORD fvf) {
  switch (fvf) {
    case D3DFVF_XYZRHW | D3DFVF_DIFFUSE: return 20;
    case D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1: return 28;
    case D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX2: return 40;
    default: return 0;
  }
}

}  // namespace plat::d3d

namespace plat::test {

D3DDEVICEDESC7 MakeD3DDeviceDesc(const GUID& device, DWORD renderDepths) {
  D3DDEVICEDESC7 d{};
  d.dwDevCaps = D3DDEVCAPS_FLOATTLVERTEX | D3DDEVCAPS_EXECUTESYSTEMMEMORY | D3DDEVCAPS_TLVERTEXSYSTEMMEMORY |
                D3DDEVCAPS_TEXTUREVIDEOMEMORY | D3DDEVCAPS_DRAWPRIMTLVERTEX | D3DDEVCAPS_CANRENDERAFTERFLIP |
                D3DDEVCAPS_HWRASTERIZATION;
  if (device == IID_IDirect3DTnLHalDevice) d.dwDevCaps |= D3DDEVCAPS_HWTRANSFORMANDLIGHT;
  for (D3DPRIMCAPS* caps : {&d.dpcLineCaps, &d.dpcTriCaps}) {
    caps->dwSize = sizeof(D3DPRIMCAPS);
    caps->dwTextureCaps = D3DPTEXTURECAPS_PERSPECTIVE | D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_ALPHA |
                          D3DPTEXTURECAPS_TRANSPARENCY;
  }
  d.dwDeviceRenderBitDepth = renderDepths;
  d.dwDeviceZBufferBitDepth = DDBD_16 | DDBD_24 | DDBD_32;
  d.dwMinTextureWidth = 1;
  d.dwMinTextureHeight = 1;
  d.dwMaxTextureWidth = 2048;
  d.dwMaxTextureHeight = 2048;
  d.wMaxTextureBlendStages = 8;
  d.wMaxSimultaneousTextures = 8;
  d.dvMaxVertexW = 1e10f;
  d.deviceGUID = device;
  return d;
}

DDPIXELFORMAT MakeRgbPixelFormat(int bits, DWORD r, DWORD g, DWORD b, DWORD a) {
  DDPIXELFORMAT f{};
  f.dwSize = sizeof(DDPIXELFORMAT);
  f.dwFlags = DDPF_RGB | (a != 0 ? DDPF_ALPHAPIXELS : 0);
  f.dwRGBBitCount = static_cast<DWORD>(bits);
  f.dwRBitMask = r;
  f.dwGBitMask = g;
  f.dwBBitMask = b;
  f.dwRGBAlphaBitMask = a;
  return f;
}

DDPIXELFORMAT MakeZBufferPixelFormat(int bits) {
  DDPIXELFORMAT f{};
  f.dwSize = sizeof(DDPIXELFORMAT);
  f.dwFlags = DDPF_ZBUFFER;
  f.dwZBufferBitDepth = static_cast<DWORD>(bits);
  f.dwZBitMask = bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1;
  return f;
}

D3DConfig DefaultD3DConfig() {
  D3DConfig c;
  c.devices.push_back({"Hardware rasterisation", "HAL", MakeD3DDeviceDesc(IID_IDirect3DHALDevice, DDBD_16 | DDBD_32)});
  c.devices.push_back(
      {"Hardware transform and lighting", "T&L HAL", MakeD3DDeviceDesc(IID_IDirect3DTnLHalDevice, DDBD_16 | DDBD_32)});
  c.textureFormats = {
      MakeRgbPixelFormat(16, 0xF800, 0x07E0, 0x001F, 0),
      MakeRgbPixelFormat(16, 0x7C00, 0x03E0, 0x001F, 0x8000),
      MakeRgbPixelFormat(16, 0x0F00, 0x00F0, 0x000F, 0xF000),
      MakeRgbPixelFormat(32, 0xFF0000, 0xFF00, 0xFF, 0),
      MakeRgbPixelFormat(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000),
  };
  DDPIXELFORMAT alphaOnly{};
  alphaOnly.dwSize = sizeof(DDPIXELFORMAT);
  alphaOnly.dwFlags = DDPF_ALPHA;
  alphaOnly.dwAlphaBitDepth = 8;
  DDPIXELFORMAT luminance{};
  luminance.dwSize = sizeof(DDPIXELFORMAT);
  luminance.dwFlags = DDPF_LUMINANCE;
  luminance.dwRGBBitCount = 8;
  luminance.dwRBitMask = 0xFF;
  DDPIXELFORMAT fourCC{};
  fourCC.dwSize = sizeof(DDPIXELFORMAT);
  fourCC.dwFlags = DDPF_FOURCC;
  fourCC.dwFourCC = MakeFourCC('D', 'X', 'T', '1');
  c.textureFormats.push_back(alphaOnly);
  c.textureFormats.push_back(luminance);
  c.textureFormats.push_back(fourCC);
  c.zBufferFormats = {MakeZBufferPixelFormat(24), MakeZBufferPixelFormat(16)};
  return c;
}

void SetD3DConfig(const D3DConfig& config) {
  d3d::D3DState& s = d3d::State();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.config = config;
  s.configured = true;
}

D3DConfig CurrentD3DConfig() { return d3d::Config(); }

void RefuseDirect3D(bool on) {
  d3d::D3DState& s = d3d::State();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.refuse = on;
}

namespace {

// A test that reads a record nobody kept would see no calls and could pass for the wrong reason.
void RequireD3DRecord() {
  if (!d3d::Recording()) {
    throw std::logic_error("the Direct3D call record is read but was not asked for (RecordD3DCalls)");
  }
}

}  // namespace

void RecordD3DCalls(bool on) { d3d::State().recording.store(on, std::memory_order_relaxed); }

std::vector<D3DCall> D3DCalls() {
  RequireD3DRecord();
  d3d::D3DState& s = d3d::State();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.calls;
}

int D3DCallCount(const std::string& call) {
  RequireD3DRecord();
  d3d::D3DState& s = d3d::State();
  std::lock_guard<std::mutex> lock(s.mutex);
  int n = 0;
  for (const D3DCall& c : s.calls) n += c.call == call ? 1 : 0;
  return n;
}

void ClearD3DCalls() {
  d3d::D3DState& s = d3d::State();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.calls.clear();
  s.recordedBytes = 0;
  s.drawsOutsideScene = 0;
}

D3DCounters GetD3DCounters() {
  d3d::D3DState& s = d3d::State();
  std::lock_guard<std::mutex> lock(s.mutex);
  return D3DCounters{s.liveObjects, s.liveDevices, s.drawsOutsideScene, s.roadSwitchReads.load()};
}

void ResetD3D() {
  d3d::D3DState& s = d3d::State();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.configured = false;
  s.config = D3DConfig{};
  s.refuse = false;
  s.recording = false;
  s.calls.clear();
  s.recordedBytes = 0;
  s.drawsOutsideScene = 0;
  s.fastPaths = true;
  s.avx2 = true;
  d3d::ResetFastPathHits();
}

void UseD3DFastPaths(bool on) { d3d::State().fastPaths.store(on, std::memory_order_relaxed); }

void UseD3DAvx2(bool on) { d3d::State().avx2.store(on, std::memory_order_relaxed); }

bool D3DAvx2Supported() { return d3d::Avx2Supported(); }

}  // namespace plat::test
