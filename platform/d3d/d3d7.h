// The Direct3D 7 stand-in: an IDirect3D7 obtained from the DirectDraw object (QueryInterface with
// IID_IDirect3D7) and the IDirect3DDevice7 it makes on a DirectDraw surface, drawing with a software
// rasteriser into the DirectDraw stand-in's surfaces. Pre-transformed vertices only (no transform or
// lighting pipeline); transforms are stored and never applied. Only the calls, records and constants
// the library uses, with their documented values. Plain classes with AddRef / Release, as ddraw.h.
#pragma once

#include "platform/ddraw/ddraw.h"

namespace plat {

// ---- Identities ---------------------------------------------------------------------------------

// IID_IDirect3D7 is declared in ddraw.h (the DirectDraw object answers it).
extern const IID IID_IDirect3DHALDevice;
extern const IID IID_IDirect3DTnLHalDevice;
extern const IID IID_IDirect3DRGBDevice;  // a software device: never offered by default

// ---- Results ------------------------------------------------------------------------------------

constexpr HRESULT D3D_OK = S_OK;
constexpr HRESULT D3DERR_INVALID_DEVICE = MakeDdHresult(705);
constexpr HRESULT D3DERR_INITFAILED = MakeDdHresult(706);
constexpr HRESULT D3DERR_SCENE_IN_SCENE = MakeDdHresult(770);
constexpr HRESULT D3DERR_SCENE_NOT_IN_SCENE = MakeDdHresult(771);

// Enumeration callbacks answer these.
constexpr HRESULT D3DENUMRET_CANCEL = 0;
constexpr HRESULT D3DENUMRET_OK = 1;

// ---- Plain types --------------------------------------------------------------------------------

using D3DVALUE = float;
using D3DCOLOR = DWORD;  // 0xAARRGGBB

// ---- Primitives and vertex formats --------------------------------------------------------------

using D3DPRIMITIVETYPE = DWORD;
constexpr D3DPRIMITIVETYPE D3DPT_POINTLIST = 1;
constexpr D3DPRIMITIVETYPE D3DPT_LINELIST = 2;
constexpr D3DPRIMITIVETYPE D3DPT_LINESTRIP = 3;
constexpr D3DPRIMITIVETYPE D3DPT_TRIANGLELIST = 4;
constexpr D3DPRIMITIVETYPE D3DPT_TRIANGLESTRIP = 5;
constexpr D3DPRIMITIVETYPE D3DPT_TRIANGLEFAN = 6;

// Flexible vertex format bits. Only pre-transformed vertices (XYZRHW) are drawn: x, y, z, rhw as
// floats, then the diffuse colour, the specular colour and the texture coordinate pairs the bits name.
constexpr DWORD D3DFVF_XYZ = 0x002;
constexpr DWORD D3DFVF_XYZRHW = 0x004;
constexpr DWORD D3DFVF_NORMAL = 0x010;
constexpr DWORD D3DFVF_DIFFUSE = 0x040;
constexpr DWORD D3DFVF_SPECULAR = 0x080;
constexpr DWORD D3DFVF_TEX0 = 0x000;
constexpr DWORD D3DFVF_TEX1 = 0x100;
constexpr DWORD D3DFVF_TEX2 = 0x200;
constexpr DWORD D3DFVF_TEXCOUNT_MASK = 0xF00;
constexpr DWORD D3DFVF_TEXCOUNT_SHIFT = 8;

// DrawPrimitive flags (accepted and ignored: every draw is waited for).
constexpr DWORD D3DDP_WAIT = 0x1;

// ---- Transforms ---------------------------------------------------------------------------------

using D3DTRANSFORMSTATETYPE = DWORD;
constexpr D3DTRANSFORMSTATETYPE D3DTRANSFORMSTATE_WORLD = 1;
constexpr D3DTRANSFORMSTATETYPE D3DTRANSFORMSTATE_VIEW = 2;
constexpr D3DTRANSFORMSTATETYPE D3DTRANSFORMSTATE_PROJECTION = 3;
constexpr D3DTRANSFORMSTATETYPE D3DTRANSFORMSTATE_WORLD1 = 4;
constexpr D3DTRANSFORMSTATETYPE D3DTRANSFORMSTATE_WORLD2 = 5;
constexpr D3DTRANSFORMSTATETYPE D3DTRANSFORMSTATE_WORLD3 = 6;
constexpr D3DTRANSFORMSTATETYPE D3DTRANSFORMSTATE_TEXTURE0 = 16;  // ... TEXTURE7 = 23

// ---- Render states ------------------------------------------------------------------------------

using D3DRENDERSTATETYPE = DWORD;
constexpr D3DRENDERSTATETYPE D3DRENDERSTATE_ANTIALIAS = 2;
constexpr D3DRENDERSTATETYPE D3DRENDERSTATE_TEXTUREPERSPECTIVE = 4;
constexpr D3DRENDERSTATETYPE D3DRENDERSTATE_ZENABLE = 7;
constexpr D3DRENDERSTATETYPE D3DRENDERSTATE_FILLMODE = 8;
constexpr D3DRENDERSTATETYPE D3DRENDERSTATE_SHADEMODE = 9;
constexpr D3DRENDERSTATETYPE D3DRENDERSTATE_ZWRITEENABLE = 14;
constexpr D3DRENDERSTATETYPE D3DRENDERSTATE_ALPHATESTENABLE = 15;
constexpr D3DRENDERSTATETYPE D3DRENDERSTATE_LASTPIXEL = 16;
constexpr D3DRENDERSTATETYPE D3DRENDERSTATE_SRCBLEND = 19;
constexpr D3DRENDERSTATETYPE D3DRENDERSTATE_DESTBLEND = 20;
constexpr D3DRENDERSTATETYPE D3DRENDERSTATE_CULLMODE = 22;
constexpr D3DRENDERSTATETYPE D3DRENDERSTATE_ZFUNC = 23;
constexpr D3DRENDERSTATETYPE D3DRENDERSTATE_ALPHAREF = 24;
constexpr D3DRENDERSTATETYPE D3DRENDERSTATE_ALPHAFUNC = 25;
constexpr D3DRENDERSTATETYPE D3DRENDERSTATE_DITHERENABLE = 26;
constexpr D3DRENDERSTATETYPE D3DRENDERSTATE_ALPHABLENDENABLE = 27;
constexpr D3DRENDERSTATETYPE D3DRENDERSTATE_FOGENABLE = 28;
constexpr D3DRENDERSTATETYPE D3DRENDERSTATE_SPECULARENABLE = 29;
constexpr D3DRENDERSTATETYPE D3DRENDERSTATE_FOGCOLOR = 34;
constexpr D3DRENDERSTATETYPE D3DRENDERSTATE_COLORKEYENABLE = 41;
constexpr D3DRENDERSTATETYPE D3DRENDERSTATE_ZBIAS = 47;
constexpr D3DRENDERSTATETYPE D3DRENDERSTATE_STENCILENABLE = 52;
constexpr D3DRENDERSTATETYPE D3DRENDERSTATE_TEXTUREFACTOR = 60;
constexpr D3DRENDERSTATETYPE D3DRENDERSTATE_CLIPPING = 136;
constexpr D3DRENDERSTATETYPE D3DRENDERSTATE_LIGHTING = 137;
constexpr D3DRENDERSTATETYPE D3DRENDERSTATE_COLORKEYBLENDENABLE = 144;
constexpr D3DRENDERSTATETYPE D3DRENDERSTATE_DIFFUSEMATERIALSOURCE = 145;
constexpr D3DRENDERSTATETYPE D3DRENDERSTATE_SPECULARMATERIALSOURCE = 146;
constexpr DWORD kD3DRenderStateCount = 256;  // states are stored in a table of this size

// Values of render states.
constexpr DWORD D3DZB_FALSE = 0;
constexpr DWORD D3DZB_TRUE = 1;
constexpr DWORD D3DSHADE_FLAT = 1;
constexpr DWORD D3DSHADE_GOURAUD = 2;
constexpr DWORD D3DCULL_NONE = 1;
constexpr DWORD D3DCULL_CW = 2;
constexpr DWORD D3DCULL_CCW = 3;
constexpr DWORD D3DMCS_MATERIAL = 0;
constexpr DWORD D3DMCS_COLOR1 = 1;
constexpr DWORD D3DMCS_COLOR2 = 2;

// Comparisons (ZFUNC, ALPHAFUNC).
constexpr DWORD D3DCMP_NEVER = 1;
constexpr DWORD D3DCMP_LESS = 2;
constexpr DWORD D3DCMP_EQUAL = 3;
constexpr DWORD D3DCMP_LESSEQUAL = 4;
constexpr DWORD D3DCMP_GREATER = 5;
constexpr DWORD D3DCMP_NOTEQUAL = 6;
constexpr DWORD D3DCMP_GREATEREQUAL = 7;
constexpr DWORD D3DCMP_ALWAYS = 8;

// Blend factors (SRCBLEND, DESTBLEND).
constexpr DWORD D3DBLEND_ZERO = 1;
constexpr DWORD D3DBLEND_ONE = 2;
constexpr DWORD D3DBLEND_SRCCOLOR = 3;
constexpr DWORD D3DBLEND_INVSRCCOLOR = 4;
constexpr DWORD D3DBLEND_SRCALPHA = 5;
constexpr DWORD D3DBLEND_INVSRCALPHA = 6;
constexpr DWORD D3DBLEND_DESTALPHA = 7;
constexpr DWORD D3DBLEND_INVDESTALPHA = 8;
constexpr DWORD D3DBLEND_DESTCOLOR = 9;
constexpr DWORD D3DBLEND_INVDESTCOLOR = 10;
constexpr DWORD D3DBLEND_SRCALPHASAT = 11;
constexpr DWORD D3DBLEND_BOTHSRCALPHA = 12;
constexpr DWORD D3DBLEND_BOTHINVSRCALPHA = 13;

// ---- Texture stage states -----------------------------------------------------------------------

constexpr DWORD kD3DMaxTextureStages = 8;

using D3DTEXTURESTAGESTATETYPE = DWORD;
constexpr D3DTEXTURESTAGESTATETYPE D3DTSS_COLOROP = 1;
constexpr D3DTEXTURESTAGESTATETYPE D3DTSS_COLORARG1 = 2;
constexpr D3DTEXTURESTAGESTATETYPE D3DTSS_COLORARG2 = 3;
constexpr D3DTEXTURESTAGESTATETYPE D3DTSS_ALPHAOP = 4;
constexpr D3DTEXTURESTAGESTATETYPE D3DTSS_ALPHAARG1 = 5;
constexpr D3DTEXTURESTAGESTATETYPE D3DTSS_ALPHAARG2 = 6;
constexpr D3DTEXTURESTAGESTATETYPE D3DTSS_TEXCOORDINDEX = 11;
constexpr D3DTEXTURESTAGESTATETYPE D3DTSS_ADDRESS = 12;  // sets ADDRESSU and ADDRESSV together
constexpr D3DTEXTURESTAGESTATETYPE D3DTSS_ADDRESSU = 13;
constexpr D3DTEXTURESTAGESTATETYPE D3DTSS_ADDRESSV = 14;
constexpr D3DTEXTURESTAGESTATETYPE D3DTSS_BORDERCOLOR = 15;
constexpr D3DTEXTURESTAGESTATETYPE D3DTSS_MAGFILTER = 16;
constexpr D3DTEXTURESTAGESTATETYPE D3DTSS_MINFILTER = 17;
constexpr D3DTEXTURESTAGESTATETYPE D3DTSS_MIPFILTER = 18;
constexpr DWORD kD3DStageStateCount = 32;  // per stage

// Stage operations (COLOROP, ALPHAOP).
constexpr DWORD D3DTOP_DISABLE = 1;
constexpr DWORD D3DTOP_SELECTARG1 = 2;
constexpr DWORD D3DTOP_SELECTARG2 = 3;
constexpr DWORD D3DTOP_MODULATE = 4;
constexpr DWORD D3DTOP_MODULATE2X = 5;
constexpr DWORD D3DTOP_MODULATE4X = 6;
constexpr DWORD D3DTOP_ADD = 7;
constexpr DWORD D3DTOP_ADDSIGNED = 8;
constexpr DWORD D3DTOP_ADDSIGNED2X = 9;
constexpr DWORD D3DTOP_SUBTRACT = 10;
constexpr DWORD D3DTOP_ADDSMOOTH = 11;
constexpr DWORD D3DTOP_BLENDDIFFUSEALPHA = 12;
constexpr DWORD D3DTOP_BLENDTEXTUREALPHA = 13;
constexpr DWORD D3DTOP_BLENDFACTORALPHA = 14;
constexpr DWORD D3DTOP_BLENDTEXTUREALPHAPM = 15;
constexpr DWORD D3DTOP_BLENDCURRENTALPHA = 16;

// Stage arguments (COLORARG1/2, ALPHAARG1/2): a source in the low bits plus modifiers.
constexpr DWORD D3DTA_SELECTMASK = 0x0F;
constexpr DWORD D3DTA_DIFFUSE = 0x00;
constexpr DWORD D3DTA_CURRENT = 0x01;
constexpr DWORD D3DTA_TEXTURE = 0x02;
constexpr DWORD D3DTA_TFACTOR = 0x03;
constexpr DWORD D3DTA_SPECULAR = 0x04;
constexpr DWORD D3DTA_COMPLEMENT = 0x10;
constexpr DWORD D3DTA_ALPHAREPLICATE = 0x20;

// Texture addressing (ADDRESS, ADDRESSU, ADDRESSV).
constexpr DWORD D3DTADDRESS_WRAP = 1;
constexpr DWORD D3DTADDRESS_MIRROR = 2;
constexpr DWORD D3DTADDRESS_CLAMP = 3;
constexpr DWORD D3DTADDRESS_BORDER = 4;

// Filters: magnification (MAGFILTER), minification (MINFILTER), mip levels (MIPFILTER).
constexpr DWORD D3DTFG_POINT = 1;
constexpr DWORD D3DTFG_LINEAR = 2;
constexpr DWORD D3DTFN_POINT = 1;
constexpr DWORD D3DTFN_LINEAR = 2;
constexpr DWORD D3DTFP_NONE = 1;
constexpr DWORD D3DTFP_POINT = 2;
constexpr DWORD D3DTFP_LINEAR = 3;

// ---- Capabilities -------------------------------------------------------------------------------

// Render and Z bit depths of a device (dwDeviceRenderBitDepth, dwDeviceZBufferBitDepth).
constexpr DWORD DDBD_1 = 0x4000;
constexpr DWORD DDBD_2 = 0x2000;
constexpr DWORD DDBD_4 = 0x1000;
constexpr DWORD DDBD_8 = 0x800;
constexpr DWORD DDBD_16 = 0x400;
constexpr DWORD DDBD_24 = 0x200;
constexpr DWORD DDBD_32 = 0x100;

// D3DPRIMCAPS::dwTextureCaps
constexpr DWORD D3DPTEXTURECAPS_PERSPECTIVE = 0x1;
constexpr DWORD D3DPTEXTURECAPS_POW2 = 0x2;
constexpr DWORD D3DPTEXTURECAPS_ALPHA = 0x4;
constexpr DWORD D3DPTEXTURECAPS_TRANSPARENCY = 0x8;
constexpr DWORD D3DPTEXTURECAPS_BORDER = 0x10;
constexpr DWORD D3DPTEXTURECAPS_SQUAREONLY = 0x20;

// D3DDEVICEDESC7::dwDevCaps
constexpr DWORD D3DDEVCAPS_FLOATTLVERTEX = 0x1;
constexpr DWORD D3DDEVCAPS_EXECUTESYSTEMMEMORY = 0x10;
constexpr DWORD D3DDEVCAPS_TLVERTEXSYSTEMMEMORY = 0x40;
constexpr DWORD D3DDEVCAPS_TEXTUREVIDEOMEMORY = 0x200;
constexpr DWORD D3DDEVCAPS_DRAWPRIMTLVERTEX = 0x400;
constexpr DWORD D3DDEVCAPS_CANRENDERAFTERFLIP = 0x800;
constexpr DWORD D3DDEVCAPS_HWRASTERIZATION = 0x80000;
constexpr DWORD D3DDEVCAPS_HWTRANSFORMANDLIGHT = 0x10000;

// Pixel format flags that texture enumeration lists (surfaces of them are not made).
constexpr DWORD DDPF_LUMINANCE = 0x20000;
constexpr DWORD DDPF_BUMPLUMINANCE = 0x40000;
constexpr DWORD DDPF_BUMPDUDV = 0x80000;

// ---- Records ------------------------------------------------------------------------------------

// What a device can do with one kind of primitive.
struct D3DPRIMCAPS {
  DWORD dwSize;  // sizeof(D3DPRIMCAPS)
  DWORD dwMiscCaps;
  DWORD dwRasterCaps;
  DWORD dwZCmpCaps;
  DWORD dwSrcBlendCaps;
  DWORD dwDestBlendCaps;
  DWORD dwAlphaCmpCaps;
  DWORD dwShadeCaps;
  DWORD dwTextureCaps;  // D3DPTEXTURECAPS_*
  DWORD dwTextureFilterCaps;
  DWORD dwTextureBlendCaps;
  DWORD dwTextureAddressCaps;
  DWORD dwStippleWidth;
  DWORD dwStippleHeight;
};

// A device's description, as EnumDevices hands it out.
struct D3DDEVICEDESC7 {
  DWORD dwDevCaps;
  D3DPRIMCAPS dpcLineCaps;
  D3DPRIMCAPS dpcTriCaps;
  DWORD dwDeviceRenderBitDepth;   // DDBD_* bits
  DWORD dwDeviceZBufferBitDepth;  // DDBD_* bits
  DWORD dwMinTextureWidth;        // texels; 0 = no limit given
  DWORD dwMinTextureHeight;
  DWORD dwMaxTextureWidth;
  DWORD dwMaxTextureHeight;
  DWORD dwMaxTextureRepeat;
  DWORD dwMaxTextureAspectRatio;
  DWORD dwMaxAnisotropy;
  D3DVALUE dvGuardBandLeft;
  D3DVALUE dvGuardBandTop;
  D3DVALUE dvGuardBandRight;
  D3DVALUE dvGuardBandBottom;
  D3DVALUE dvExtentsAdjust;
  DWORD dwStencilCaps;
  DWORD dwFVFCaps;
  DWORD dwTextureOpCaps;
  WORD wMaxTextureBlendStages;
  WORD wMaxSimultaneousTextures;
  DWORD dwMaxActiveLights;
  D3DVALUE dvMaxVertexW;
  GUID deviceGUID;
  WORD wMaxUserClipPlanes;
  WORD wMaxVertexBlendMatrices;
  DWORD dwVertexProcessingCaps;
  DWORD dwReserved1;
  DWORD dwReserved2;
  DWORD dwReserved3;
  DWORD dwReserved4;
};

// The rectangle drawn into (also the scissor: nothing outside it is written), in target pixels.
struct D3DVIEWPORT7 {
  DWORD dwX;
  DWORD dwY;
  DWORD dwWidth;
  DWORD dwHeight;
  D3DVALUE dvMinZ;
  D3DVALUE dvMaxZ;
};

// A 4x4 matrix, row-major (_12 is row 1, column 2).
struct D3DMATRIX {
  union {
    struct {
      D3DVALUE _11, _12, _13, _14;
      D3DVALUE _21, _22, _23, _24;
      D3DVALUE _31, _32, _33, _34;
      D3DVALUE _41, _42, _43, _44;
    };
    D3DVALUE m[4][4];
  };
};

// ---- Callbacks ----------------------------------------------------------------------------------

// One device: its description text, its name and its capabilities (lent for the call).
// D3DENUMRET_OK goes on, D3DENUMRET_CANCEL stops.
using LPD3DENUMDEVICESCALLBACK7 = HRESULT (*)(char* description, char* name, D3DDEVICEDESC7* desc, void* context);
// One pixel format (texture or Z buffer), lent for the call.
using LPD3DENUMPIXELFORMATSCALLBACK = HRESULT (*)(DDPIXELFORMAT* format, void* context);

// ---- Interfaces ---------------------------------------------------------------------------------

class IDirect3DDevice7;

// Made by the DirectDraw object; keeps that object alive until released.
class IDirect3D7 {
 public:
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;
  // Calls back once per device, in the configured order, until the callback answers CANCEL.
  virtual HRESULT EnumDevices(LPD3DENUMDEVICESCALLBACK7 callback, void* context) = 0;
  // The Z-buffer formats a device type supports, in the configured order, until CANCEL.
  virtual HRESULT EnumZBufferFormats(REFCLSID device, LPD3DENUMPIXELFORMATSCALLBACK callback, void* context) = 0;
  // A device of an enumerated type drawing into `target` (a surface of this object with 3D-device
  // caps or a primary chain). The device keeps a reference to its current target.
  virtual HRESULT CreateDevice(REFCLSID device, IDirectDrawSurface7* target, IDirect3DDevice7** out) = 0;

 protected:
  virtual ~IDirect3D7() = default;
};

// A rendering device. States start at their documented defaults; every call is recorded for tests.
class IDirect3DDevice7 {
 public:
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;
  // The texture formats, in the configured order, until CANCEL.
  virtual HRESULT EnumTextureFormats(LPD3DENUMPIXELFORMATSCALLBACK callback, void* context) = 0;
  virtual HRESULT BeginScene() = 0;
  virtual HRESULT EndScene() = 0;
  // Draws into `target` from now on; the viewport is left as it is.
  virtual HRESULT SetRenderTarget(IDirectDrawSurface7* target, DWORD flags) = 0;
  // Stored only: every vertex drawn is already transformed.
  virtual HRESULT SetTransform(D3DTRANSFORMSTATETYPE type, D3DMATRIX* matrix) = 0;
  virtual HRESULT SetViewport(D3DVIEWPORT7* viewport) = 0;
  virtual HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) = 0;
  // Binds a texture surface to a stage (null unbinds); the stage keeps a reference.
  virtual HRESULT SetTexture(DWORD stage, IDirectDrawSurface7* texture) = 0;
  virtual HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) = 0;
  // Triangle lists and strips of pre-transformed vertices (FVF 0x044, 0x144, 0x2C4).
  virtual HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, DWORD fvf, void* vertices, DWORD vertexCount, DWORD flags) = 0;
  virtual HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, DWORD fvf, void* vertices, DWORD vertexCount,
                                       WORD* indices, DWORD indexCount, DWORD flags) = 0;
  // Copies a rectangle of `source` (null: all) to `destPoint` of `dest` (null: the origin); both are
  // textures of the same pixel format.
  virtual HRESULT Load(IDirectDrawSurface7* dest, POINT* destPoint, IDirectDrawSurface7* source, RECT* sourceRect,
                       DWORD flags) = 0;

 protected:
  virtual ~IDirect3DDevice7() = default;
};

}  // namespace plat
