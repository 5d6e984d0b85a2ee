// The DirectDraw object and its version-1 interface: initialisation, cooperative level, display mode,
// device report, capabilities, and the making of surfaces, clippers and palettes.
#include <cstring>
#include <new>

#include "platform/d3d/d3d7_internal.h"
#include "platform/ddraw/ddraw_factory.h"
#include "platform/ddraw/ddraw_internal.h"
#include "platform/win/user/display_settings.h"
#include "platform/win/gdi/gdi_dc.h"
#include "platform/win/user/window.h"

namespace plat::ddraw {
namespace {

constexpr int kMaxSurfaceSide = 16384;  // pixels
constexpr DWORD kRefreshHz = 60;

int DesktopDepth() {
  HDC screen = plat::GetDC(nullptr);
  const int bits = GetDeviceCaps(screen, BITSPIXEL);
  plat::ReleaseDC(nullptr, screen);
  return bits;
}

void DesktopSize(int* width, int* height) {
  RECT desktop{};
  ClientOnDesktop(nullptr, &desktop);
  *width = desktop.right;
  *height = desktop.bottom;
}

void FillCaps(DDCAPS* caps) {
  std::memset(caps, 0, sizeof(*caps));
  caps->dwSize = sizeof(DDCAPS);
  caps->dwCaps = DDCAPS_BLT | DDCAPS_BLTSTRETCH | DDCAPS_COLORKEY | DDCAPS_BLTCOLORFILL | DDCAPS_BLTDEPTHFILL;
  caps->dwCKeyCaps = 0x200;  // source colour keys on blits
  caps->dwPalCaps = DDPCAPS_8BIT | DDPCAPS_ALLOW256;
  caps->dwZBufferBitDepths = 0x400 | 0x200 | 0x100;  // 16, 24 and 32 bits
  caps->dwVidMemTotal = static_cast<DWORD>(kVideoMemoryBytes);
  {
    std::lock_guard<std::mutex> lock(State().mutex);
    caps->dwVidMemFree = static_cast<DWORD>(kVideoMemoryBytes - State().videoMemoryUsed);
  }
  // No overlay hardware: no visible overlays and no stretch factors.
  caps->dwMaxVisibleOverlays = 0;
  caps->ddsCaps.dwCaps = DDSCAPS_BACKBUFFER | DDSCAPS_COMPLEX | DDSCAPS_FLIP | DDSCAPS_FRONTBUFFER |
                         DDSCAPS_OFFSCREENPLAIN | DDSCAPS_PALETTE | DDSCAPS_PRIMARYSURFACE | DDSCAPS_SYSTEMMEMORY |
                         DDSCAPS_TEXTURE | DDSCAPS_3DDEVICE | DDSCAPS_VIDEOMEMORY | DDSCAPS_ZBUFFER;
  caps->ddsOldCaps.dwCaps = caps->ddsCaps.dwCaps;
}

class DirectDraw7;

// The version-1 interface of an object: it keeps the object alive.
class DirectDraw1 final : public IDirectDraw {
 public:
  explicit DirectDraw1(IDirectDraw7* owner) : owner_(owner) { owner_->AddRef(); }
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT GetCaps(DDCAPS* driver, DDCAPS* emulation) override { return owner_->GetCaps(driver, emulation); }
  HRESULT CreateSurface(DDSURFACEDESC* desc, IDirectDrawSurface7** out, void*) override {
    HRESULT forced;
    if (out != nullptr) *out = nullptr;
    if (Faulted("CreateSurface1", desc != nullptr ? desc->ddsCaps.dwCaps : 0, &forced)) return forced;
    if (desc == nullptr || out == nullptr || desc->dwSize != sizeof(DDSURFACEDESC)) return DDERR_INVALIDPARAMS;
    const DWORD caps = desc->ddsCaps.dwCaps;
    if (caps & DDSCAPS_OVERLAY) return DDERR_NOOVERLAYHW;
    // This face makes plain off-screen surfaces only; the rest is the version-7 interface's work.
    constexpr DWORD kOtherKinds = DDSCAPS_BACKBUFFER | DDSCAPS_COMPLEX | DDSCAPS_FLIP | DDSCAPS_FRONTBUFFER |
                                  DDSCAPS_PRIMARYSURFACE | DDSCAPS_TEXTURE | DDSCAPS_3DDEVICE | DDSCAPS_ZBUFFER |
                                  DDSCAPS_MIPMAP;
    if (caps & kOtherKinds) return DDERR_INVALIDCAPS;
    DDSURFACEDESC2 full{};
    full.dwSize = sizeof(DDSURFACEDESC2);
    full.dwFlags = desc->dwFlags & (DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT | DDSD_CKSRCBLT);
    full.dwHeight = desc->dwHeight;
    full.dwWidth = desc->dwWidth;
    full.ddckCKSrcBlt = desc->ddckCKSrcBlt;
    full.ddpfPixelFormat = desc->ddpfPixelFormat;
    full.ddsCaps.dwCaps = caps | DDSCAPS_OFFSCREENPLAIN;
    return owner_->CreateSurface(&full, out, nullptr);
  }

 private:
  ~DirectDraw1() override { owner_->Release(); }
  IDirectDraw7* owner_;
  ULONG refs_ = 1;
};

class DirectDraw7 final : public IDirectDraw7 {
 public:
  DirectDraw7() {
    std::lock_guard<std::mutex> lock(State().mutex);
    ++State().liveObjects;
  }

  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (iid == IID_IDirectDraw7) {
      AddRef();
      *out = static_cast<IDirectDraw7*>(this);
      return S_OK;
    }
    if (iid == IID_IDirectDraw) {
      *out = static_cast<IDirectDraw*>(new DirectDraw1(this));
      return S_OK;
    }
    if (iid == IID_IDirectDraw4) return QueryDirectDraw4(this, out);
    if (iid == IID_IDirect3D7) return d3d::CreateDirect3DObject(this, out);
    return E_NOINTERFACE;
  }

  HRESULT Initialize(GUID* driver) override {
    HRESULT forced;
    if (Faulted("Initialize", 0, &forced)) return forced;
    if (initialised_) return DDERR_ALREADYINITIALIZED;
    if (driver != nullptr) return DDERR_INVALIDPARAMS;  // only the primary display driver exists
    initialised_ = true;
    return DD_OK;
  }

  HRESULT SetCooperativeLevel(HWND window, DWORD flags) override {
    HRESULT forced;
    if (Faulted("SetCooperativeLevel", flags, &forced)) return forced;
    if (!initialised_) return DDERR_NOTINITIALIZED;
    const bool exclusive = (flags & DDSCL_EXCLUSIVE) != 0;
    const bool fullScreen = (flags & DDSCL_FULLSCREEN) != 0;
    const bool normal = (flags & DDSCL_NORMAL) != 0;
    if (exclusive != fullScreen || (normal && exclusive) || (!normal && !exclusive)) return DDERR_INVALIDPARAMS;
    if (exclusive) {
      if (window == nullptr || !IsWindow(window)) return DDERR_INVALIDPARAMS;
      std::lock_guard<std::mutex> lock(State().mutex);
      if (State().exclusiveHeld && !exclusive_) return DDERR_EXCLUSIVEMODEALREADYSET;
      State().exclusiveHeld = true;
    } else {
      DropExclusive();
    }
    exclusive_ = exclusive;
    window_ = window;
    return DD_OK;
  }

  HRESULT SetDisplayMode(DWORD width, DWORD height, DWORD bits, DWORD refresh, DWORD) override {
    HRESULT forced;
    if (Faulted("SetDisplayMode", refresh, &forced)) return forced;
    if (!initialised_) return DDERR_NOTINITIALIZED;
    if (!exclusive_) return DDERR_NOEXCLUSIVEMODE;
    if (width == 0 || height == 0 || width > kMaxSurfaceSide || height > kMaxSurfaceSide) return DDERR_INVALIDMODE;
    if (bits != 8 && bits != 16 && bits != 24 && bits != 32) return DDERR_INVALIDMODE;
    if (refresh != 0 && refresh != kRefreshHz) return DDERR_INVALIDMODE;
    int w, h;
    DesktopSize(&w, &h);
    const bool change = static_cast<DWORD>(w) != width || static_cast<DWORD>(h) != height ||
                        static_cast<DWORD>(DesktopDepth()) != bits;
    if (!SwitchDisplayMode(static_cast<int>(width), static_cast<int>(height), static_cast<int>(bits)))
      return DDERR_UNSUPPORTEDMODE;
    switchedMode_ = true;
    // What was made for the old mode no longer fits the display.
    if (change) LoseSurfaces(false);
    return DD_OK;
  }

  HRESULT RestoreDisplayMode() override {
    HRESULT forced;
    if (Faulted("RestoreDisplayMode", 0, &forced)) return forced;
    if (!initialised_) return DDERR_NOTINITIALIZED;
    if (switchedMode_) {
      switchedMode_ = false;
      if (DisplayModeSwitched()) {
        RestoreDesktopMode();
        LoseSurfaces(false);
      }
    }
    return DD_OK;
  }

  HRESULT GetDisplayMode(DDSURFACEDESC2* desc) override {
    if (desc == nullptr) return DDERR_INVALIDPARAMS;
    if (!initialised_) return DDERR_NOTINITIALIZED;
    int w, h;
    DesktopSize(&w, &h);
    const PixelLayout layout = DisplayLayout(DesktopDepth());
    std::memset(desc, 0, sizeof(*desc));
    desc->dwSize = sizeof(DDSURFACEDESC2);
    desc->dwFlags = DDSD_WIDTH | DDSD_HEIGHT | DDSD_PITCH | DDSD_PIXELFORMAT | DDSD_REFRESHRATE;
    desc->dwWidth = static_cast<DWORD>(w);
    desc->dwHeight = static_cast<DWORD>(h);
    desc->lPitch = PitchFor(w, layout.bytes);
    desc->dwRefreshRate = kRefreshHz;
    desc->ddpfPixelFormat = layout.format;
    return DD_OK;
  }

  HRESULT GetDeviceIdentifier(DDDEVICEIDENTIFIER2* id, DWORD) override {
    if (id == nullptr) return DDERR_INVALIDPARAMS;
    std::memset(id, 0, sizeof(*id));
    std::strcpy(id->szDriver, "orbel_display");
    std::strcpy(id->szDescription, "Orbel memory display");
    id->liDriverVersion.QuadPart = (int64_t{1} << 48) | (int64_t{0} << 32) | (int64_t{0} << 16) | 1;
    return DD_OK;
  }

  HRESULT GetAvailableVidMem(DDSCAPS2* caps, DWORD* total, DWORD* free) override {
    if (caps == nullptr) return DDERR_INVALIDPARAMS;
    if (!initialised_) return DDERR_NOTINITIALIZED;
    std::lock_guard<std::mutex> lock(State().mutex);
    if (total != nullptr) *total = static_cast<DWORD>(kVideoMemoryBytes);
    if (free != nullptr) *free = static_cast<DWORD>(kVideoMemoryBytes - State().videoMemoryUsed);
    return DD_OK;
  }

  HRESULT GetCaps(DDCAPS* driver, DDCAPS* emulation) override {
    if (driver == nullptr && emulation == nullptr) return DDERR_INVALIDPARAMS;
    if (driver != nullptr) FillCaps(driver);
    if (emulation != nullptr) FillCaps(emulation);
    return DD_OK;
  }

  HRESULT CreateClipper(DWORD, IDirectDrawClipper** out, void*) override {
    HRESULT forced;
    if (out != nullptr) *out = nullptr;
    if (Faulted("CreateClipper", 0, &forced)) return forced;
    if (out == nullptr) return DDERR_INVALIDPARAMS;
    if (!initialised_) return DDERR_NOTINITIALIZED;
    *out = new Clipper();
    return DD_OK;
  }

  HRESULT CreatePalette(DWORD flags, PALETTEENTRY* entries, IDirectDrawPalette** out, void*) override {
    HRESULT forced;
    if (out != nullptr) *out = nullptr;
    if (Faulted("CreatePalette", flags, &forced)) return forced;
    if (out == nullptr || entries == nullptr || !(flags & DDPCAPS_8BIT)) return DDERR_INVALIDPARAMS;
    if (!initialised_) return DDERR_NOTINITIALIZED;
    auto* palette = new Palette();
    palette->caps = flags;
    std::memcpy(palette->entries, entries, sizeof(palette->entries));
    *out = palette;
    return DD_OK;
  }

  HRESULT CreateSurface(DDSURFACEDESC2* desc, IDirectDrawSurface7** out, void*) override;

  HRESULT FlipToGDISurface() override {
    HRESULT forced;
    if (Faulted("FlipToGDISurface", 0, &forced)) return forced;
    if (!initialised_) return DDERR_NOTINITIALIZED;
    // Bring the buffer GDI draws on (the one first in front) back to the front of the chain.
    for (IDirectDrawSurface7* s : LivePrimaries()) {
      auto* primary = static_cast<Surface*>(s);
      while (primary->flipsSinceGdi != 0 && primary->Flip(nullptr, DDFLIP_NOVSYNC) == DD_OK) {
      }
    }
    return DD_OK;
  }

  HRESULT GetVerticalBlankStatus(BOOL* inBlank) override {
    HRESULT forced;
    if (Faulted("GetVerticalBlankStatus", 0, &forced)) return forced;
    if (inBlank == nullptr) return DDERR_INVALIDPARAMS;
    if (!initialised_) return DDERR_NOTINITIALIZED;
    *inBlank = InVerticalBlank() ? TRUE : FALSE;
    return DD_OK;
  }

  HRESULT GetScanLine(DWORD* line) override {
    HRESULT forced;
    if (Faulted("GetScanLine", 0, &forced)) return forced;
    if (line == nullptr) return DDERR_INVALIDPARAMS;
    if (!initialised_) return DDERR_NOTINITIALIZED;
    *line = CurrentScanLine();
    return DD_OK;
  }

  HRESULT WaitForVerticalBlank(DWORD flags, HANDLE) override {
    HRESULT forced;
    if (Faulted("WaitForVerticalBlank", flags, &forced)) return forced;
    if (!initialised_) return DDERR_NOTINITIALIZED;
    if (flags == DDWAITVB_BLOCKBEGIN) WaitBlankBegin();
    else if (flags == DDWAITVB_BLOCKEND) WaitBlankEnd();
    else return DDERR_INVALIDPARAMS;
    return DD_OK;
  }

 private:
  ~DirectDraw7() override {
    // Releasing the object gives the display back as the user had it.
    if (switchedMode_ && DisplayModeSwitched()) RestoreDesktopMode();
    DropExclusive();
    std::lock_guard<std::mutex> lock(State().mutex);
    --State().liveObjects;
  }

  void DropExclusive() {
    if (!exclusive_) return;
    std::lock_guard<std::mutex> lock(State().mutex);
    State().exclusiveHeld = false;
    exclusive_ = false;
  }

  static std::vector<IDirectDrawSurface7*> LivePrimaries() {
    std::vector<IDirectDrawSurface7*> out;
    std::lock_guard<std::mutex> lock(State().mutex);
    for (Surface* s : State().surfaces) {
      if (s->IsPrimary()) out.push_back(s);
    }
    return out;
  }

  HRESULT MakeSurface(int width, int height, const PixelLayout& layout, DWORD caps, DWORD caps2, Surface** out);

  ULONG refs_ = 1;
  bool initialised_ = false;
  bool exclusive_ = false;
  bool switchedMode_ = false;
  HWND window_ = nullptr;
};

HRESULT DirectDraw7::MakeSurface(int width, int height, const PixelLayout& layout, DWORD caps, DWORD caps2,
                                 Surface** out) {
  if (!(caps & DDSCAPS_SYSTEMMEMORY)) {
    const uint64_t bytes = static_cast<uint64_t>(PitchFor(width, layout.bytes)) * static_cast<uint64_t>(height);
    std::lock_guard<std::mutex> lock(State().mutex);
    if (State().videoMemoryUsed + bytes > kVideoMemoryBytes) return DDERR_OUTOFVIDEOMEMORY;
    caps |= DDSCAPS_VIDEOMEMORY | DDSCAPS_LOCALVIDMEM;
  }
  bool ok = false;
  auto* s = new (std::nothrow) Surface(width, height, layout, caps, caps2, &ok);
  if (s == nullptr) return DDERR_OUTOFMEMORY;
  if (!ok) {
    s->Release();
    return DDERR_OUTOFMEMORY;
  }
  *out = s;
  return DD_OK;
}

HRESULT DirectDraw7::CreateSurface(DDSURFACEDESC2* desc, IDirectDrawSurface7** out, void*) {
  HRESULT forced;
  if (out != nullptr) *out = nullptr;
  const DWORD askedCaps = desc != nullptr ? desc->ddsCaps.dwCaps : 0;
  if (Faulted("CreateSurface", askedCaps, &forced)) return forced;
  if (desc == nullptr || out == nullptr || desc->dwSize != sizeof(DDSURFACEDESC2)) return DDERR_INVALIDPARAMS;
  if (!initialised_) return DDERR_NOTINITIALIZED;
  if (!(desc->dwFlags & DDSD_CAPS)) return DDERR_INVALIDPARAMS;
  if (desc->dwFlags & DDSD_LPSURFACE) return DDERR_UNSUPPORTED;
  DWORD caps = askedCaps;
  const DWORD caps2 = desc->ddsCaps.dwCaps2;
  if (caps & DDSCAPS_OVERLAY) return DDERR_NOOVERLAYHW;
  if ((caps & DDSCAPS_SYSTEMMEMORY) && (caps & DDSCAPS_VIDEOMEMORY)) return DDERR_INVALIDCAPS;

  // The layout: the description's, a Z buffer's, or the display's.
  PixelLayout layout;
  if (desc->dwFlags & DDSD_PIXELFORMAT) {
    if (!LayoutFromFormat(desc->ddpfPixelFormat, &layout)) return DDERR_INVALIDPIXELFORMAT;
  } else if (caps & DDSCAPS_ZBUFFER) {
    DDPIXELFORMAT z{};
    z.dwSize = sizeof(z);
    z.dwFlags = DDPF_ZBUFFER;
    z.dwZBufferBitDepth = 16;
    z.dwZBitMask = 0xFFFF;
    if (!LayoutFromFormat(z, &layout)) return DDERR_INVALIDPIXELFORMAT;
  } else {
    layout = DisplayLayout(DesktopDepth());
  }
  if (((caps & DDSCAPS_ZBUFFER) != 0) != layout.depth) return DDERR_INVALIDPIXELFORMAT;

  Surface* made = nullptr;
  if (caps & DDSCAPS_PRIMARYSURFACE) {
    for (IDirectDrawSurface7* existing : LivePrimaries()) {
      if (!static_cast<Surface*>(existing)->lost) return DDERR_PRIMARYSURFACEALREADYEXISTS;
    }
    if (desc->dwFlags & (DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT)) return DDERR_INVALIDPARAMS;
    int w, h;
    DesktopSize(&w, &h);
    const bool chain = (desc->dwFlags & DDSD_BACKBUFFERCOUNT) != 0;
    if (chain) {
      if (!exclusive_) return DDERR_NOEXCLUSIVEMODE;
      if (!(caps & DDSCAPS_FLIP) || !(caps & DDSCAPS_COMPLEX) || desc->dwBackBufferCount == 0 ||
          desc->dwBackBufferCount > 3) {
        return DDERR_INVALIDCAPS;
      }
      caps |= DDSCAPS_FRONTBUFFER;
    } else if (caps & DDSCAPS_FLIP) {
      return DDERR_INVALIDCAPS;
    }
    if (HRESULT hr = MakeSurface(w, h, layout, caps | DDSCAPS_VISIBLE, caps2, &made); hr != DD_OK) return hr;
    made->window = window_;
    if (chain) {
      const DWORD backCaps = (caps & ~(DDSCAPS_PRIMARYSURFACE | DDSCAPS_FRONTBUFFER | DDSCAPS_VIDEOMEMORY |
                                       DDSCAPS_LOCALVIDMEM | DDSCAPS_VISIBLE)) |
                             DDSCAPS_BACKBUFFER;
      for (DWORD i = 0; i < desc->dwBackBufferCount; ++i) {
        Surface* back = nullptr;
        if (HRESULT hr = MakeSurface(w, h, layout, backCaps, caps2, &back); hr != DD_OK) {
          made->Release();
          return hr;
        }
        back->chainFront = made;
        made->backBuffers.push_back(back);
      }
    }
  } else {
    if (!(desc->dwFlags & DDSD_WIDTH) || !(desc->dwFlags & DDSD_HEIGHT)) return DDERR_INVALIDPARAMS;
    if (desc->dwWidth == 0 || desc->dwHeight == 0 || desc->dwWidth > kMaxSurfaceSide ||
        desc->dwHeight > kMaxSurfaceSide) {
      return DDERR_INVALIDPARAMS;
    }
    if (caps & (DDSCAPS_FLIP | DDSCAPS_BACKBUFFER | DDSCAPS_FRONTBUFFER)) return DDERR_INVALIDCAPS;
    if (HRESULT hr = MakeSurface(static_cast<int>(desc->dwWidth), static_cast<int>(desc->dwHeight), layout, caps,
                                 caps2, &made);
        hr != DD_OK) {
      return hr;
    }
  }
  if (desc->dwFlags & DDSD_CKSRCBLT) {
    made->hasSourceKey = true;
    made->sourceKey = desc->ddckCKSrcBlt;
  }
  *out = made;
  return DD_OK;
}

}  // namespace

HRESULT CreateDirectDrawObjectFor(REFIID iid, void** out) {
  HRESULT forced;
  if (Faulted("CoCreateInstance", 0, &forced)) return forced;
  auto* object = new DirectDraw7();
  const HRESULT hr = object->QueryInterface(iid, out);
  object->Release();
  return hr;
}

// ---- Clippers and palettes ----------------------------------------------------------------------

Clipper::Clipper() {
  std::lock_guard<std::mutex> lock(State().mutex);
  ++State().liveClippers;
}

Clipper::~Clipper() {
  std::lock_guard<std::mutex> lock(State().mutex);
  --State().liveClippers;
}

ULONG Clipper::AddRef() { return ++refs_; }

ULONG Clipper::Release() {
  const ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

HRESULT Clipper::SetHWnd(DWORD, HWND w) {
  if (w != nullptr && !IsWindow(w)) return DDERR_INVALIDPARAMS;
  window = w;
  return DD_OK;
}

HRESULT Clipper::GetHWnd(HWND* out) {
  if (out == nullptr) return DDERR_INVALIDPARAMS;
  *out = window;
  return DD_OK;
}

Palette::Palette() {
  std::lock_guard<std::mutex> lock(State().mutex);
  ++State().livePalettes;
}

Palette::~Palette() {
  std::lock_guard<std::mutex> lock(State().mutex);
  --State().livePalettes;
}

ULONG Palette::AddRef() { return ++refs_; }

ULONG Palette::Release() {
  const ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

HRESULT Palette::GetCaps(DWORD* out) {
  if (out == nullptr) return DDERR_INVALIDPARAMS;
  *out = caps;
  return DD_OK;
}

HRESULT Palette::GetEntries(DWORD, DWORD start, DWORD count, PALETTEENTRY* out) {
  if (out == nullptr || start > 256 || count > 256 - start) return DDERR_INVALIDPARAMS;
  std::memcpy(out, entries + start, count * sizeof(PALETTEENTRY));
  return DD_OK;
}

HRESULT Palette::SetEntries(DWORD, DWORD start, DWORD count, const PALETTEENTRY* in) {
  if (in == nullptr || start > 256 || count > 256 - start) return DDERR_INVALIDPARAMS;
  std::memcpy(entries + start, in, count * sizeof(PALETTEENTRY));
  return DD_OK;
}

}  // namespace plat::ddraw

namespace plat {

HRESULT CreateDirectDrawObject(REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  return ddraw::CreateDirectDrawObjectFor(iid, out);
}

}  // namespace plat
