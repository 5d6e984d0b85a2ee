// Test controls of the Direct3D stand-in: the driver a test pretends to have (devices, caps, texture
// and Z formats and their order), a switch that makes the DirectDraw object refuse IID_IDirect3D7, and
// the record of every Direct3D call with copies of the vertices and indices drawn (kept only for a test
// that asks for it). Failures are
// injected by call name through plat::test::FailDisplayCall (display_test_controls.h): "QueryInterface"
// (IID_IDirect3D7 on the DirectDraw object), "EnumDevices", "EnumZBufferFormats", "CreateDevice",
// "EnumTextureFormats", "BeginScene", "EndScene", "SetRenderTarget", "SetTransform", "SetViewport",
// "SetRenderState", "SetRenderState:<state number>" (one state only, e.g. "SetRenderState:4" for
// TEXTUREPERSPECTIVE), "SetTexture", "SetTextureStageState", "DrawPrimitive", "DrawIndexedPrimitive",
// "Load" (e.g. DDERR_SURFACEBUSY n times). The 5:5:5 desktop is SetDisplay16BitLayout555
// (platform/ddraw/test_controls.h). ResetD3D clears all of it; plat::test::Reset calls it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/d3d/d3d7.h"
#include "platform/ddraw/test_controls.h"

namespace plat::test {

// ---- The pretended driver -----------------------------------------------------------------------

struct D3DDeviceConfig {
  std::string description;  // the text EnumDevices passes first
  std::string name;         // and second
  D3DDEVICEDESC7 desc{};    // desc.deviceGUID says which device type it is
  // The device draws only into targets of the pixel depth it was made on: SetRenderTarget refuses
  // another depth with DDERR_INVALIDPIXELFORMAT, as cards whose depth buffer follows the colour depth.
  bool ownDepthTargetsOnly = false;
};

struct D3DConfig {
  std::vector<D3DDeviceConfig> devices;       // in enumeration order
  std::vector<DDPIXELFORMAT> textureFormats;  // in enumeration order (the device's EnumTextureFormats)
  std::vector<DDPIXELFORMAT> zBufferFormats;  // in enumeration order (any device type)
};

// A typical card: a HAL then a T&L HAL device, both rendering at 16 and 32 bits with 16/24/32-bit Z;
// textures 1..2048 texels, POW2 set, SQUAREONLY clear, 8 blend stages, 8 simultaneous textures.
// Texture formats: 5:6:5, 1:5:5:5, 4:4:4:4, X8:8:8:8, 8:8:8:8, then the kinds that cannot be drawn
// from here and are only listed (8-bit alpha only, 8-bit luminance, a FourCC). Z: 24 then 16 bits.
D3DConfig DefaultD3DConfig();
// The driver the next enumerations and device creations see (until ResetD3D).
void SetD3DConfig(const D3DConfig& config);
D3DConfig CurrentD3DConfig();

// Building blocks for configurations.
D3DDEVICEDESC7 MakeD3DDeviceDesc(const GUID& device, DWORD renderDepths);
DDPIXELFORMAT MakeRgbPixelFormat(int bits, DWORD r, DWORD g, DWORD b, DWORD a);  // a != 0 adds ALPHAPIXELS
DDPIXELFORMAT MakeZBufferPixelFormat(int bits);

// While on, QueryInterface(IID_IDirect3D7) on a DirectDraw object answers E_NOINTERFACE: the road of
// a machine without Direct3D.
void RefuseDirect3D(bool on);

// ---- The call record ----------------------------------------------------------------------------

struct D3DCall {
  std::string call;                      // the method's name, as the failure names above
  std::vector<DWORD> args;               // its integer arguments in order (state, value; stage, type,
                                         // value; primitive, fvf, vertex count[, index count]; ...)
  IDirectDrawSurface7* surface = nullptr;  // SetTexture, SetRenderTarget, CreateDevice target, Load dest
  IDirectDrawSurface7* source = nullptr;   // Load
  GUID guid{};                             // CreateDevice, EnumZBufferFormats
  D3DVIEWPORT7 viewport{};                 // SetViewport
  D3DMATRIX matrix{};                      // SetTransform
  RECT rect{};                             // Load (the source rectangle used)
  POINT point{};                           // Load
  std::vector<uint8_t> vertices;           // the draw's vertices, vertexCount * stride bytes
  std::vector<WORD> indices;               // DrawIndexedPrimitive
  bool inScene = false;                    // a scene was begun when the call came
  HRESULT result = S_OK;
};

// From now on (until ResetD3D or `on` false) every Direct3D call is recorded. Off by default: the
// game, the benches and tests that do not read the record pay nothing for it.
void RecordD3DCalls(bool on);
// Every Direct3D call recorded since the reset (or the last clear), oldest first. A long run keeps the
// latest: past 32,768 calls or 32 MiB of copied vertices the older half goes. Reading the record while
// it is not kept throws std::logic_error (a test would otherwise see no calls at all).
std::vector<D3DCall> D3DCalls();
int D3DCallCount(const std::string& call);
void ClearD3DCalls();

// Live Direct3D objects and devices, for leak checks.
struct D3DCounters {
  int liveObjects;
  int liveDevices;
  int drawsOutsideScene;  // draws made while no scene was begun
  int roadSwitchReads;    // times a device read the rasteriser's road switches (when made, at each scene)
};
D3DCounters GetD3DCounters();

// Off: the rasteriser takes its general per-pixel road everywhere (the specialised loops must give the
// same bytes; tests compare the two). A device reads both switches when it is made and at each
// BeginScene: a switch changed after that holds for the device's next scene.
void UseD3DFastPaths(bool on);
// Off: those loops take their SSE2 road even where the processor runs AVX2 (both give the same bytes).
void UseD3DAvx2(bool on);
// Whether the processor runs the AVX2 road at all.
bool D3DAvx2Supported();

// The rows of the rasteriser's fast-path table in order, then "general" (the general span routine).
std::vector<std::string> D3DFastPathNames();
// How many primitives (triangles, or rectangles drawn whole) a row drew since the last reset; throws
// std::invalid_argument for a name that is not a row.
uint64_t D3DFastPathHits(const std::string& name);
// How many sprite pieces batches chose to plan since the last reset: a batch chooses a piece at its
// fourth blit in a row, on each road that blits (the general road blits nothing). The AVX2 road plans
// the piece; the SSE2 road, and the AVX2 road for a piece too large to plan, draw it as any blit.
uint64_t D3DBlitPlans();
// Clears the hits and the plans.
void ResetD3DFastPathHits();

// Clears the configuration (back to DefaultD3DConfig), the refusal switch, the record (no longer kept),
// the roads, the fast-path counts and the plans.
void ResetD3D();

}  // namespace plat::test
