// The DirectDraw 7 stand-in: the DirectDraw object over the host's desktop, surfaces in plain memory
// (primary with a flip chain, off-screen, textures, Z buffers), clippers and palettes. The primary
// surface is the desktop: what lands in a window's client area is shown by the host (and captured
// headless). Vertical blank and scan line follow the plat clock at 60 Hz. Overlays are refused;
// Direct3D (platform/d3d/d3d7.h) is had from the object. The older interfaces (object versions 1 and 4,
// surface versions 1 and 4) are other faces of the same objects, for the movie streams. Only the calls,
// records and constants the library uses, with their documented values. Objects are made by
// CoCreateInstance(CLSID_DirectDraw7, ...), platform/win/kernel/com.h.
#pragma once

#include "platform/win/kernel/com.h"
#include "platform/win/kernel/win_types.h"

namespace plat {

// ---- Identities ---------------------------------------------------------------------------------

extern const CLSID CLSID_DirectDraw7;
extern const IID IID_IDirectDraw7;
extern const IID IID_IDirectDraw;  // the version-1 interface (GetCaps, overlay probes, plain surfaces)
extern const IID IID_IDirectDraw4;  // the version-4 interface (handed to movie streams)
extern const IID IID_IDirectDrawSurface;
extern const IID IID_IDirectDrawSurface4;
extern const IID IID_IDirectDrawSurface7;
extern const IID IID_IDirect3D7;

// ---- Results ------------------------------------------------------------------------------------

constexpr HRESULT MakeDdHresult(unsigned code) { return static_cast<HRESULT>(0x88760000u | code); }

constexpr HRESULT DD_OK = S_OK;
constexpr HRESULT DDERR_GENERIC = E_FAIL;
constexpr HRESULT DDERR_INVALIDPARAMS = E_INVALIDARG;
constexpr HRESULT DDERR_OUTOFMEMORY = E_OUTOFMEMORY;
constexpr HRESULT DDERR_UNSUPPORTED = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT DDERR_ALREADYINITIALIZED = MakeDdHresult(5);
constexpr HRESULT DDERR_CANNOTATTACHSURFACE = MakeDdHresult(10);
constexpr HRESULT DDERR_CANNOTDETACHSURFACE = MakeDdHresult(20);
constexpr HRESULT DDERR_EXCEPTION = MakeDdHresult(55);
constexpr HRESULT DDERR_INVALIDCAPS = MakeDdHresult(100);
constexpr HRESULT DDERR_INVALIDMODE = MakeDdHresult(120);
constexpr HRESULT DDERR_INVALIDOBJECT = MakeDdHresult(130);
constexpr HRESULT DDERR_INVALIDPIXELFORMAT = MakeDdHresult(145);
constexpr HRESULT DDERR_INVALIDRECT = MakeDdHresult(150);
constexpr HRESULT DDERR_NOCLIPLIST = MakeDdHresult(205);
constexpr HRESULT DDERR_OUTOFVIDEOMEMORY = MakeDdHresult(380);
constexpr HRESULT DDERR_PRIMARYSURFACEALREADYEXISTS = MakeDdHresult(564);
constexpr HRESULT DDERR_NOCLIPPERATTACHED = MakeDdHresult(568);
constexpr HRESULT DDERR_WRONGMODE = MakeDdHresult(587);
constexpr HRESULT DDERR_NOCOLORKEY = MakeDdHresult(215);
constexpr HRESULT DDERR_NOEXCLUSIVEMODE = MakeDdHresult(225);
constexpr HRESULT DDERR_NOFLIPHW = MakeDdHresult(230);
constexpr HRESULT DDERR_NOOVERLAYHW = MakeDdHresult(270);
constexpr HRESULT DDERR_NOTFOUND = MakeDdHresult(255);
constexpr HRESULT DDERR_NOZBUFFERHW = MakeDdHresult(320);
constexpr HRESULT DDERR_SURFACEALREADYATTACHED = MakeDdHresult(410);
constexpr HRESULT DDERR_SURFACEBUSY = MakeDdHresult(430);
constexpr HRESULT DDERR_SURFACELOST = MakeDdHresult(450);
constexpr HRESULT DDERR_SURFACENOTATTACHED = MakeDdHresult(460);
constexpr HRESULT DDERR_VERTICALBLANKINPROGRESS = MakeDdHresult(537);
constexpr HRESULT DDERR_WASSTILLDRAWING = MakeDdHresult(540);
constexpr HRESULT DDERR_HWNDSUBCLASSED = MakeDdHresult(570);
constexpr HRESULT DDERR_HWNDALREADYSET = MakeDdHresult(571);
constexpr HRESULT DDERR_NOPALETTEATTACHED = MakeDdHresult(572);
constexpr HRESULT DDERR_EXCLUSIVEMODEALREADYSET = MakeDdHresult(581);
constexpr HRESULT DDERR_NOTAOVERLAYSURFACE = MakeDdHresult(580);
constexpr HRESULT DDERR_NOTFLIPPABLE = MakeDdHresult(582);
constexpr HRESULT DDERR_NOTLOCKED = MakeDdHresult(584);
constexpr HRESULT DDERR_UNSUPPORTEDMODE = MakeDdHresult(590);
constexpr HRESULT DDERR_NOTPALETTIZED = MakeDdHresult(595);
constexpr HRESULT DDERR_DCALREADYCREATED = MakeDdHresult(620);
constexpr HRESULT DDERR_CANTCREATEDC = MakeDdHresult(635);
constexpr HRESULT DDERR_NODC = MakeDdHresult(650);
constexpr HRESULT DDERR_NOTINITIALIZED = static_cast<HRESULT>(0x800401F0u);

// ---- Flags --------------------------------------------------------------------------------------

// SetCooperativeLevel
constexpr DWORD DDSCL_FULLSCREEN = 0x1;
constexpr DWORD DDSCL_ALLOWREBOOT = 0x2;
constexpr DWORD DDSCL_NOWINDOWCHANGES = 0x4;
constexpr DWORD DDSCL_NORMAL = 0x8;
constexpr DWORD DDSCL_EXCLUSIVE = 0x10;
constexpr DWORD DDSCL_MULTITHREADED = 0x400;
constexpr DWORD DDSCL_FPUPRESERVE = 0x1000;

// DDSURFACEDESC2::dwFlags
constexpr DWORD DDSD_CAPS = 0x1;
constexpr DWORD DDSD_HEIGHT = 0x2;
constexpr DWORD DDSD_WIDTH = 0x4;
constexpr DWORD DDSD_PITCH = 0x8;
constexpr DWORD DDSD_BACKBUFFERCOUNT = 0x20;
constexpr DWORD DDSD_ZBUFFERBITDEPTH = 0x40;
constexpr DWORD DDSD_LPSURFACE = 0x800;
constexpr DWORD DDSD_PIXELFORMAT = 0x1000;
constexpr DWORD DDSD_CKSRCBLT = 0x10000;
constexpr DWORD DDSD_MIPMAPCOUNT = 0x20000;
constexpr DWORD DDSD_REFRESHRATE = 0x40000;
constexpr DWORD DDSD_TEXTURESTAGE = 0x100000;

// DDSCAPS2::dwCaps
constexpr DWORD DDSCAPS_ALPHA = 0x2;
constexpr DWORD DDSCAPS_BACKBUFFER = 0x4;
constexpr DWORD DDSCAPS_COMPLEX = 0x8;
constexpr DWORD DDSCAPS_FLIP = 0x10;
constexpr DWORD DDSCAPS_FRONTBUFFER = 0x20;
constexpr DWORD DDSCAPS_OFFSCREENPLAIN = 0x40;
constexpr DWORD DDSCAPS_OVERLAY = 0x80;
constexpr DWORD DDSCAPS_PALETTE = 0x100;
constexpr DWORD DDSCAPS_PRIMARYSURFACE = 0x200;
constexpr DWORD DDSCAPS_SYSTEMMEMORY = 0x800;
constexpr DWORD DDSCAPS_TEXTURE = 0x1000;
constexpr DWORD DDSCAPS_3DDEVICE = 0x2000;
constexpr DWORD DDSCAPS_VIDEOMEMORY = 0x4000;
constexpr DWORD DDSCAPS_VISIBLE = 0x8000;
constexpr DWORD DDSCAPS_WRITEONLY = 0x10000;
constexpr DWORD DDSCAPS_ZBUFFER = 0x20000;
constexpr DWORD DDSCAPS_MIPMAP = 0x400000;
constexpr DWORD DDSCAPS_LOCALVIDMEM = 0x10000000;
// DDSCAPS2::dwCaps2
constexpr DWORD DDSCAPS2_TEXTUREMANAGE = 0x10;
constexpr DWORD DDSCAPS2_D3DTEXTUREMANAGE = 0x20000;

// DDPIXELFORMAT::dwFlags
constexpr DWORD DDPF_ALPHAPIXELS = 0x1;
constexpr DWORD DDPF_ALPHA = 0x2;
constexpr DWORD DDPF_FOURCC = 0x4;
constexpr DWORD DDPF_PALETTEINDEXED8 = 0x20;
constexpr DWORD DDPF_RGB = 0x40;
constexpr DWORD DDPF_ZBUFFER = 0x400;

// Lock
constexpr DWORD DDLOCK_SURFACEMEMORYPTR = 0x0;
constexpr DWORD DDLOCK_WAIT = 0x1;
constexpr DWORD DDLOCK_READONLY = 0x10;
constexpr DWORD DDLOCK_WRITEONLY = 0x20;
constexpr DWORD DDLOCK_NOSYSLOCK = 0x800;

// Blt
constexpr DWORD DDBLT_COLORFILL = 0x400;
constexpr DWORD DDBLT_DDFX = 0x800;
constexpr DWORD DDBLT_KEYDEST = 0x2000;
constexpr DWORD DDBLT_KEYSRC = 0x8000;
constexpr DWORD DDBLT_KEYSRCOVERRIDE = 0x10000;
constexpr DWORD DDBLT_WAIT = 0x1000000;
constexpr DWORD DDBLT_DEPTHFILL = 0x2000000;
constexpr DWORD DDBLT_DONOTWAIT = 0x8000000;

// BltFast
constexpr DWORD DDBLTFAST_NOCOLORKEY = 0x0;
constexpr DWORD DDBLTFAST_SRCCOLORKEY = 0x1;
constexpr DWORD DDBLTFAST_DESTCOLORKEY = 0x2;
constexpr DWORD DDBLTFAST_WAIT = 0x10;

// Flip
constexpr DWORD DDFLIP_WAIT = 0x1;
constexpr DWORD DDFLIP_NOVSYNC = 0x8;

// SetColorKey / GetColorKey
constexpr DWORD DDCKEY_COLORSPACE = 0x1;
constexpr DWORD DDCKEY_DESTBLT = 0x2;
constexpr DWORD DDCKEY_DESTOVERLAY = 0x4;
constexpr DWORD DDCKEY_SRCBLT = 0x8;
constexpr DWORD DDCKEY_SRCOVERLAY = 0x10;

// CreatePalette
constexpr DWORD DDPCAPS_8BIT = 0x4;
constexpr DWORD DDPCAPS_ALLOW256 = 0x40;

// WaitForVerticalBlank
constexpr DWORD DDWAITVB_BLOCKBEGIN = 0x1;
constexpr DWORD DDWAITVB_BLOCKEND = 0x4;

// DDCAPS::dwCaps (overlay alignment, read by movie code)
constexpr DWORD DDCAPS_ALIGNBOUNDARYDEST = 0x2;
constexpr DWORD DDCAPS_ALIGNSIZEDEST = 0x4;
constexpr DWORD DDCAPS_ALIGNBOUNDARYSRC = 0x8;
constexpr DWORD DDCAPS_ALIGNSIZESRC = 0x10;
constexpr DWORD DDCAPS_ALIGNSTRIDE = 0x20;
constexpr DWORD DDCAPS_BLT = 0x40;
constexpr DWORD DDCAPS_BLTSTRETCH = 0x200;
constexpr DWORD DDCAPS_COLORKEY = 0x400000;
constexpr DWORD DDCAPS_BLTCOLORFILL = 0x4000000;
constexpr DWORD DDCAPS_BLTDEPTHFILL = 0x10000000;

// UpdateOverlay
constexpr DWORD DDOVER_HIDE = 0x200;
constexpr DWORD DDOVER_SHOW = 0x4000;

// EnumAttachedSurfaces callback results
constexpr HRESULT DDENUMRET_CANCEL = 0;
constexpr HRESULT DDENUMRET_OK = 1;

// Four-character codes.
constexpr DWORD MakeFourCC(char a, char b, char c, char d) {
  return static_cast<DWORD>(static_cast<BYTE>(a)) | static_cast<DWORD>(static_cast<BYTE>(b)) << 8 |
         static_cast<DWORD>(static_cast<BYTE>(c)) << 16 | static_cast<DWORD>(static_cast<BYTE>(d)) << 24;
}

// ---- Records ------------------------------------------------------------------------------------

struct PALETTEENTRY {
  BYTE peRed;
  BYTE peGreen;
  BYTE peBlue;
  BYTE peFlags;
};

struct DDCOLORKEY {
  DWORD dwColorSpaceLowValue;   // inclusive
  DWORD dwColorSpaceHighValue;  // inclusive
};

struct DDPIXELFORMAT {
  DWORD dwSize;  // sizeof(DDPIXELFORMAT)
  DWORD dwFlags;
  DWORD dwFourCC;
  union {
    DWORD dwRGBBitCount;
    DWORD dwZBufferBitDepth;
    DWORD dwAlphaBitDepth;
  };
  union {
    DWORD dwRBitMask;
    DWORD dwStencilBitDepth;
  };
  union {
    DWORD dwGBitMask;
    DWORD dwZBitMask;
  };
  union {
    DWORD dwBBitMask;
    DWORD dwStencilBitMask;
  };
  union {
    DWORD dwRGBAlphaBitMask;
    DWORD dwRGBZBitMask;
  };
};

struct DDSCAPS {
  DWORD dwCaps;
};

struct DDSCAPS2 {
  DWORD dwCaps;
  DWORD dwCaps2;
  DWORD dwCaps3;
  DWORD dwCaps4;
};

// The description of a surface: what CreateSurface is asked for, what Lock and GetSurfaceDesc report.
struct DDSURFACEDESC2 {
  DWORD dwSize;  // sizeof(DDSURFACEDESC2)
  DWORD dwFlags;
  DWORD dwHeight;  // pixels
  DWORD dwWidth;   // pixels
  union {
    LONG lPitch;  // bytes per row
    DWORD dwLinearSize;
  };
  DWORD dwBackBufferCount;
  union {
    DWORD dwMipMapCount;
    DWORD dwRefreshRate;
  };
  DWORD dwAlphaBitDepth;
  DWORD dwReserved;
  void* lpSurface;  // first pixel (of the locked rectangle)
  DDCOLORKEY ddckCKDestOverlay;
  DDCOLORKEY ddckCKDestBlt;
  DDCOLORKEY ddckCKSrcOverlay;
  DDCOLORKEY ddckCKSrcBlt;
  DDPIXELFORMAT ddpfPixelFormat;
  DDSCAPS2 ddsCaps;
  DWORD dwTextureStage;
};

// The version-1 description: overlay probes and plain surfaces made through the version-1 interface.
struct DDSURFACEDESC {
  DWORD dwSize;  // sizeof(DDSURFACEDESC)
  DWORD dwFlags;
  DWORD dwHeight;
  DWORD dwWidth;
  LONG lPitch;
  DWORD dwBackBufferCount;
  DWORD dwRefreshRate;
  DWORD dwAlphaBitDepth;
  DWORD dwReserved;
  void* lpSurface;
  DDCOLORKEY ddckCKDestOverlay;
  DDCOLORKEY ddckCKDestBlt;
  DDCOLORKEY ddckCKSrcOverlay;
  DDCOLORKEY ddckCKSrcBlt;
  DDPIXELFORMAT ddpfPixelFormat;
  DDSCAPS ddsCaps;
};

// Hardware capabilities (95 DWORDs).
struct DDCAPS {
  DWORD dwSize;  // sizeof(DDCAPS)
  DWORD dwCaps;
  DWORD dwCaps2;
  DWORD dwCKeyCaps;
  DWORD dwFXCaps;
  DWORD dwFXAlphaCaps;
  DWORD dwPalCaps;
  DWORD dwSVCaps;
  DWORD dwAlphaBltConstBitDepths;
  DWORD dwAlphaBltPixelBitDepths;
  DWORD dwAlphaBltSurfaceBitDepths;
  DWORD dwAlphaOverlayConstBitDepths;
  DWORD dwAlphaOverlayPixelBitDepths;
  DWORD dwAlphaOverlaySurfaceBitDepths;
  DWORD dwZBufferBitDepths;
  DWORD dwVidMemTotal;  // bytes
  DWORD dwVidMemFree;   // bytes
  DWORD dwMaxVisibleOverlays;
  DWORD dwCurrVisibleOverlays;
  DWORD dwNumFourCCCodes;
  DWORD dwAlignBoundarySrc;
  DWORD dwAlignSizeSrc;
  DWORD dwAlignBoundaryDest;
  DWORD dwAlignSizeDest;
  DWORD dwAlignStrideAlign;
  DWORD dwRops[8];
  DDSCAPS ddsOldCaps;
  DWORD dwMinOverlayStretch;  // 1000 = 1.0
  DWORD dwMaxOverlayStretch;
  DWORD dwMinLiveVideoStretch;
  DWORD dwMaxLiveVideoStretch;
  DWORD dwMinHwCodecStretch;
  DWORD dwMaxHwCodecStretch;
  DWORD dwReserved1;
  DWORD dwReserved2;
  DWORD dwReserved3;
  DWORD dwSVBCaps;
  DWORD dwSVBCKeyCaps;
  DWORD dwSVBFXCaps;
  DWORD dwSVBRops[8];
  DWORD dwVSBCaps;
  DWORD dwVSBCKeyCaps;
  DWORD dwVSBFXCaps;
  DWORD dwVSBRops[8];
  DWORD dwSSBCaps;
  DWORD dwSSBCKeyCaps;
  DWORD dwSSBFXCaps;
  DWORD dwSSBRops[8];
  DWORD dwMaxVideoPorts;
  DWORD dwCurrVideoPorts;
  DWORD dwSVBCaps2;
  DWORD dwNLVBCaps;
  DWORD dwNLVBCaps2;
  DWORD dwNLVBCKeyCaps;
  DWORD dwNLVBFXCaps;
  DWORD dwNLVBRops[8];
  DDSCAPS2 ddsCaps;
};

struct DDBLTFX {
  DWORD dwSize;  // sizeof(DDBLTFX)
  DWORD dwDDFX;
  DWORD dwROP;
  DWORD dwDDROP;
  DWORD dwRotationAngle;
  DWORD dwZBufferOpCode;
  DWORD dwZBufferLow;
  DWORD dwZBufferHigh;
  DWORD dwZBufferBaseDest;
  DWORD dwZDestConstBitDepth;
  DWORD dwZDestConst;
  DWORD dwZSrcConstBitDepth;
  DWORD dwZSrcConst;
  DWORD dwAlphaEdgeBlendBitDepth;
  DWORD dwAlphaEdgeBlend;
  DWORD dwReserved;
  DWORD dwAlphaDestConstBitDepth;
  DWORD dwAlphaDestConst;
  DWORD dwAlphaSrcConstBitDepth;
  DWORD dwAlphaSrcConst;
  union {
    DWORD dwFillColor;  // raw pixel value in the destination's format
    DWORD dwFillDepth;  // raw depth value
    DWORD dwFillPixel;
  };
  DDCOLORKEY ddckDestColorkey;
  DDCOLORKEY ddckSrcColorkey;
};

constexpr int MAX_DDDEVICEID_STRING = 512;

struct DDDEVICEIDENTIFIER2 {
  char szDriver[MAX_DDDEVICEID_STRING];
  char szDescription[MAX_DDDEVICEID_STRING];
  LARGE_INTEGER liDriverVersion;  // product.version in the high part, sub-version.build in the low
  DWORD dwVendorId;
  DWORD dwDeviceId;
  DWORD dwSubSysId;
  DWORD dwRevision;
  GUID guidDeviceIdentifier;
  DWORD dwWHQLLevel;
};

// ---- Interfaces ---------------------------------------------------------------------------------
// Each object starts with one reference; Release at zero frees it. A released DirectDraw object leaves
// its surfaces usable (they own their memory).

class IDirectDrawSurface7;

// Called once per attached surface; the surface is lent for the call (no reference is added).
// Return DDENUMRET_OK to go on, DDENUMRET_CANCEL to stop.
using LPDDENUMSURFACESCALLBACK7 = HRESULT (*)(IDirectDrawSurface7* surface, DDSURFACEDESC2* desc, void* context);

class IDirectDrawClipper {
 public:
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;
  // Clips blits to the client area of `window` (desktop coordinates on the primary).
  virtual HRESULT SetHWnd(DWORD flags, HWND window) = 0;
  virtual HRESULT GetHWnd(HWND* window) = 0;

 protected:
  virtual ~IDirectDrawClipper() = default;
};

class IDirectDrawPalette {
 public:
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;
  virtual HRESULT GetCaps(DWORD* caps) = 0;
  virtual HRESULT GetEntries(DWORD flags, DWORD start, DWORD count, PALETTEENTRY* entries) = 0;
  virtual HRESULT SetEntries(DWORD flags, DWORD start, DWORD count, const PALETTEENTRY* entries) = 0;

 protected:
  virtual ~IDirectDrawPalette() = default;
};

// The version-1 face of a surface: what movie streams take and hand back. QueryInterface gives the
// version-4 and version-7 faces of the same surface (E_NOINTERFACE for anything else).
class IDirectDrawSurface {
 public:
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;
  virtual HRESULT QueryInterface(REFIID iid, void** out) = 0;

 protected:
  virtual ~IDirectDrawSurface() = default;
};

class IDirectDrawSurface7 : public IDirectDrawSurface {
 public:
  ULONG AddRef() override = 0;
  ULONG Release() override = 0;
  // Attaches a Z buffer (the target keeps a reference until detached or released).
  virtual HRESULT AddAttachedSurface(IDirectDrawSurface7* attached) = 0;
  virtual HRESULT DeleteAttachedSurface(DWORD flags, IDirectDrawSurface7* attached) = 0;
  // Copies (stretching when the rectangles differ in size), fills a colour or a depth. Null
  // rectangles mean the whole surface; a clipper on this surface clips the destination.
  virtual HRESULT Blt(RECT* destRect, IDirectDrawSurface7* source, RECT* sourceRect, DWORD flags, DDBLTFX* fx) = 0;
  // Copies without stretching or clipping, optionally skipping source pixels equal to its colour key.
  virtual HRESULT BltFast(DWORD x, DWORD y, IDirectDrawSurface7* source, RECT* sourceRect, DWORD flags) = 0;
  virtual HRESULT EnumAttachedSurfaces(void* context, LPDDENUMSURFACESCALLBACK7 callback) = 0;
  // Swaps the front of a flip chain with its back buffer; waits for the vertical blank unless NOVSYNC.
  virtual HRESULT Flip(IDirectDrawSurface7* target, DWORD flags) = 0;
  // Finds an attached surface by caps (BACKBUFFER, ZBUFFER) and adds a reference to it.
  virtual HRESULT GetAttachedSurface(DDSCAPS2* caps, IDirectDrawSurface7** out) = 0;
  virtual HRESULT GetCaps(DDSCAPS2* caps) = 0;
  virtual HRESULT GetClipper(IDirectDrawClipper** out) = 0;
  virtual HRESULT GetColorKey(DWORD flags, DDCOLORKEY* key) = 0;
  // A GDI memory DC over the surface's pixels, until ReleaseDC. The surface counts as locked meanwhile.
  virtual HRESULT GetDC(HDC* dc) = 0;
  virtual HRESULT GetPalette(IDirectDrawPalette** out) = 0;
  virtual HRESULT GetPixelFormat(DDPIXELFORMAT* format) = 0;
  virtual HRESULT GetSurfaceDesc(DDSURFACEDESC2* desc) = 0;
  // DD_OK, or DDERR_SURFACELOST once the display was lost or changed.
  virtual HRESULT IsLost() = 0;
  // Gives access to the pixels of a rectangle (null: all): lpSurface points at its first pixel.
  virtual HRESULT Lock(RECT* rect, DDSURFACEDESC2* desc, DWORD flags, HANDLE event) = 0;
  virtual HRESULT ReleaseDC(HDC dc) = 0;
  // Brings a lost surface back; its pixels are undefined (zeroed here).
  virtual HRESULT Restore() = 0;
  virtual HRESULT SetClipper(IDirectDrawClipper* clipper) = 0;
  virtual HRESULT SetColorKey(DWORD flags, DDCOLORKEY* key) = 0;
  virtual HRESULT SetPalette(IDirectDrawPalette* palette) = 0;
  virtual HRESULT Unlock(RECT* rect) = 0;
  // Places an overlay surface on `target` (DDOVER_SHOW) or hides it (DDOVER_HIDE). No surface here is
  // an overlay: DDERR_NOTAOVERLAYSURFACE.
  virtual HRESULT UpdateOverlay(RECT* sourceRect, IDirectDrawSurface7* target, RECT* destRect, DWORD flags) = 0;

 protected:
  ~IDirectDrawSurface7() override = default;
};

// The version-4 face of a surface: the calls movie frames are read through. Same behaviour as the
// version-7 calls of the same names.
class IDirectDrawSurface4 {
 public:
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;
  virtual HRESULT QueryInterface(REFIID iid, void** out) = 0;
  virtual HRESULT GetPixelFormat(DDPIXELFORMAT* format) = 0;
  virtual HRESULT GetSurfaceDesc(DDSURFACEDESC2* desc) = 0;
  virtual HRESULT IsLost() = 0;
  virtual HRESULT Lock(RECT* rect, DDSURFACEDESC2* desc, DWORD flags, HANDLE event) = 0;
  virtual HRESULT Restore() = 0;
  virtual HRESULT Unlock(RECT* rect) = 0;

 protected:
  virtual ~IDirectDrawSurface4() = default;
};

// The version-1 object interface: capabilities, (refused) overlay surfaces and plain surfaces.
class IDirectDraw {
 public:
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;
  virtual HRESULT GetCaps(DDCAPS* driverCaps, DDCAPS* emulationCaps) = 0;
  // Off-screen plain surfaces (system or video memory) of a given size, in the description's pixel
  // format or the display's, as the version-7 call makes them. Overlays: DDERR_NOOVERLAYHW; primary
  // surfaces, flip chains, textures and Z buffers: DDERR_INVALIDCAPS.
  virtual HRESULT CreateSurface(DDSURFACEDESC* desc, IDirectDrawSurface7** out, void* outer) = 0;
  // The same, handing out the surface's version-1 face.
  HRESULT CreateSurface(DDSURFACEDESC* desc, IDirectDrawSurface** out, void* outer) {
    IDirectDrawSurface7* made = nullptr;
    const HRESULT result = CreateSurface(desc, &made, outer);
    if (out != nullptr) *out = made;
    return result;
  }

 protected:
  virtual ~IDirectDraw() = default;
};

// The version-4 object interface: only handed on (to a movie stream), which asks it for the other faces.
class IDirectDraw4 {
 public:
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;
  // IID_IDirectDraw7, IID_IDirectDraw4 and IID_IDirectDraw of the same object.
  virtual HRESULT QueryInterface(REFIID iid, void** out) = 0;

 protected:
  virtual ~IDirectDraw4() = default;
};

class IDirectDraw7 {
 public:
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;
  // IID_IDirectDraw7, IID_IDirectDraw4, IID_IDirectDraw and IID_IDirect3D7; E_NOINTERFACE for anything else.
  virtual HRESULT QueryInterface(REFIID iid, void** out) = 0;
  // Null: the primary display driver. Every other call needs this first (DDERR_NOTINITIALIZED).
  virtual HRESULT Initialize(GUID* driver) = 0;
  virtual HRESULT SetCooperativeLevel(HWND window, DWORD flags) = 0;
  // Needs exclusive full-screen mode; refresh 0 (default) or 60 Hz.
  virtual HRESULT SetDisplayMode(DWORD width, DWORD height, DWORD bitsPerPixel, DWORD refreshRate, DWORD flags) = 0;
  virtual HRESULT RestoreDisplayMode() = 0;
  virtual HRESULT GetDisplayMode(DDSURFACEDESC2* desc) = 0;
  virtual HRESULT GetDeviceIdentifier(DDDEVICEIDENTIFIER2* id, DWORD flags) = 0;
  virtual HRESULT GetAvailableVidMem(DDSCAPS2* caps, DWORD* total, DWORD* free) = 0;
  virtual HRESULT GetCaps(DDCAPS* driverCaps, DDCAPS* emulationCaps) = 0;
  virtual HRESULT CreateClipper(DWORD flags, IDirectDrawClipper** out, void* outer) = 0;
  virtual HRESULT CreateSurface(DDSURFACEDESC2* desc, IDirectDrawSurface7** out, void* outer) = 0;
  virtual HRESULT CreatePalette(DWORD flags, PALETTEENTRY* entries, IDirectDrawPalette** out, void* outer) = 0;
  virtual HRESULT FlipToGDISurface() = 0;
  // TRUE while the display is in its vertical blank.
  virtual HRESULT GetVerticalBlankStatus(BOOL* inBlank) = 0;
  // The line being scanned out: 0 at the top of a frame, growing to past the visible height in the blank.
  virtual HRESULT GetScanLine(DWORD* line) = 0;
  virtual HRESULT WaitForVerticalBlank(DWORD flags, HANDLE event) = 0;

 protected:
  virtual ~IDirectDraw7() = default;
};

}  // namespace plat
