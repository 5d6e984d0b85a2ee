// DirectDraw surfaces: pixel memory, locks, attachments (flip chains and Z buffers), colour keys,
// clippers, palettes, GDI DCs over the pixels, loss and restore, and Flip. Blits are in ddraw_blit.cpp.
#include <cstdlib>
#include <cstring>

#include "platform/ddraw/ddraw_internal.h"
#include "platform/win/gdi/gdi_dc.h"
#include "platform/win/gdi/gdi_dib.h"

namespace plat::ddraw {
namespace {

// A caller's rectangle, checked against the surface; false when empty or outside.
bool InsideRect(const Surface& s, const RECT* rect, RECT* out) {
  if (rect == nullptr) {
    *out = s.Bounds();
    return true;
  }
  if (rect->left < 0 || rect->top < 0 || rect->right > s.width || rect->bottom > s.height ||
      rect->left >= rect->right || rect->top >= rect->bottom) {
    return false;
  }
  *out = *rect;
  return true;
}

inline uint32_t ChannelTo8(uint32_t value, uint32_t mask) {
  if (mask == 0) return 0;
  const unsigned shift = static_cast<unsigned>(__builtin_ctz(mask));
  const uint32_t max = mask >> shift;
  return (((value & mask) >> shift) * 255 + max / 2) / max;
}

}  // namespace

// ---- Life ---------------------------------------------------------------------------------------

Surface::Surface(int w, int h, const PixelLayout& l, DWORD c, DWORD c2, bool* ok)
    : width(w), height(h), pitch(PitchFor(w, l.bytes)), layout(l), caps(c), caps2(c2) {
  byteSize = static_cast<size_t>(pitch) * static_cast<size_t>(height);
  pixels = static_cast<uint8_t*>(std::calloc(byteSize == 0 ? 1 : byteSize, 1));
  *ok = pixels != nullptr;
  Register(this);
}

Surface::~Surface() {
  ReleaseShownPixels(*this);
  Unregister(this);
  if (dc != nullptr) {
    // A DC still out when the surface goes: take its bitmap back so it no longer points here.
    SelectObject(dc, dcPrevious);
    DeleteObject(dcBitmap);
  }
  for (Surface* back : backBuffers) {
    back->chainFront = nullptr;
    back->Release();
  }
  if (chainFront != nullptr) {
    auto& list = chainFront->backBuffers;
    for (auto& b : list) {
      if (b == this) b = nullptr;
    }
  }
  if (zbuffer != nullptr) zbuffer->Release();
  if (clipper != nullptr) clipper->Release();
  if (palette != nullptr) palette->Release();
  std::free(pixels);
}

ULONG Surface::AddRef() { return ++refs_; }

ULONG Surface::Release() {
  const ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

HRESULT Surface::QueryInterface(REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  HRESULT forced;
  if (iid == IID_IDirectDrawSurface7 || iid == IID_IDirectDrawSurface) {
    if (iid == IID_IDirectDrawSurface7 && Faulted("QueryInterface(IID_IDirectDrawSurface7)", 0, &forced)) return forced;
    *out = static_cast<IDirectDrawSurface7*>(this);
  } else if (iid == IID_IDirectDrawSurface4) {
    if (Faulted("QueryInterface(IID_IDirectDrawSurface4)", 0, &forced)) return forced;
    *out = static_cast<IDirectDrawSurface4*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

// ---- Pixels -------------------------------------------------------------------------------------

uint32_t Surface::ReadRaw(int x, int y) const {
  const uint8_t* p = Row(y) + static_cast<size_t>(x) * layout.bytes;
  switch (layout.bytes) {
    case 1: return p[0];
    case 2: return static_cast<uint32_t>(p[0] | p[1] << 8);
    case 3: return static_cast<uint32_t>(p[0] | p[1] << 8 | p[2] << 16);
    default: {
      uint32_t v;
      std::memcpy(&v, p, 4);
      return v;
    }
  }
}

const Palette* Surface::EffectivePalette() const {
  if (palette != nullptr || !layout.paletted) return palette;
  std::lock_guard<std::mutex> lock(State().mutex);
  for (const Surface* s : State().surfaces) {
    if (s->IsPrimary() && s->palette != nullptr && !s->lost) return s->palette;
  }
  return nullptr;
}

uint32_t Surface::ReadRgb(int x, int y) const {
  const uint32_t v = ReadRaw(x, y);
  if (layout.depth) return v;
  if (layout.paletted) {
    const Palette* seen = EffectivePalette();
    if (seen == nullptr) return v << 16 | v << 8 | v;
    const PALETTEENTRY& e = seen->entries[v & 0xFF];
    return static_cast<uint32_t>(e.peRed) << 16 | static_cast<uint32_t>(e.peGreen) << 8 | e.peBlue;
  }
  const DDPIXELFORMAT& f = layout.format;
  return ChannelTo8(v, f.dwRBitMask) << 16 | ChannelTo8(v, f.dwGBitMask) << 8 | ChannelTo8(v, f.dwBBitMask);
}

HRESULT Surface::Lock(RECT* rect, DDSURFACEDESC2* desc, DWORD flags, HANDLE) {
  HRESULT forced;
  if (Faulted("Lock", flags, &forced)) return forced;
  if (desc == nullptr) return DDERR_INVALIDPARAMS;
  if (lost) return DDERR_SURFACELOST;
  if (Busy()) return DDERR_SURFACEBUSY;
  RECT r;
  if (!InsideRect(*this, rect, &r)) return DDERR_INVALIDRECT;
  // What the window shows stays as it was until the unlock presents the new pixels.
  if (!(flags & DDLOCK_READONLY)) ReleaseShownPixels(*this);
  GetSurfaceDesc(desc);
  desc->dwFlags |= DDSD_LPSURFACE | DDSD_PITCH;
  desc->lpSurface = Row(r.top) + static_cast<size_t>(r.left) * layout.bytes;
  locked = true;
  lockRect = r;
  lockFlags = flags;
  if ((caps & DDSCAPS_VIDEOMEMORY) && !(flags & DDLOCK_WRITEONLY)) {
    std::lock_guard<std::mutex> lock(State().mutex);
    ++State().videoMemoryReadLocks;
  }
  return DD_OK;
}

HRESULT Surface::Unlock(RECT*) {
  if (!locked) return DDERR_NOTLOCKED;
  locked = false;
  if (IsPrimary() && !(lockFlags & DDLOCK_READONLY)) PresentPrimary(*this, lockRect);
  return DD_OK;
}

HRESULT Surface::GetDC(HDC* out) {
  HRESULT forced;
  if (Faulted("GetDC", 0, &forced)) return forced;
  if (out == nullptr) return DDERR_INVALIDPARAMS;
  *out = nullptr;
  if (lost) return DDERR_SURFACELOST;
  if (dc != nullptr) return DDERR_DCALREADYCREATED;
  if (locked) return DDERR_SURFACEBUSY;
  if (layout.depth) return DDERR_CANTCREATEDC;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = static_cast<WORD>(layout.bits);
  if (layout.paletted) {
    info.bmiHeader.biCompression = BI_RGB;
    const Palette* seen = EffectivePalette();
    for (int i = 0; i < 256; ++i) {
      const PALETTEENTRY e = seen != nullptr ? seen->entries[i] : PALETTEENTRY{BYTE(i), BYTE(i), BYTE(i), 0};
      info.bmiColors[i] = RGBQUAD{e.peBlue, e.peGreen, e.peRed, 0};
    }
  } else if (layout.bits == 24) {
    info.bmiHeader.biCompression = BI_RGB;
  } else {
    info.bmiHeader.biCompression = BI_BITFIELDS;
    SetDibMasks(&info, layout.format.dwRBitMask, layout.format.dwGBitMask, layout.format.dwBBitMask);
  }
  HBITMAP bitmap = CreateDIBSectionOver(&info, pixels, pitch);
  if (bitmap == nullptr) return DDERR_CANTCREATEDC;
  ReleaseShownPixels(*this);
  HDC memory = CreateCompatibleDC(nullptr);
  if (memory == nullptr) {
    DeleteObject(bitmap);
    return DDERR_CANTCREATEDC;
  }
  dcPrevious = SelectObject(memory, bitmap);
  dc = memory;
  dcBitmap = bitmap;
  *out = memory;
  return DD_OK;
}

HRESULT Surface::ReleaseDC(HDC released) {
  if (released == nullptr || released != dc) return DDERR_INVALIDPARAMS;
  SelectObject(dc, dcPrevious);
  DeleteObject(dcBitmap);
  DeleteDC(dc);
  dc = nullptr;
  dcBitmap = nullptr;
  dcPrevious = nullptr;
  if (IsPrimary()) PresentPrimary(*this, Bounds());
  return DD_OK;
}

// ---- Description --------------------------------------------------------------------------------

HRESULT Surface::GetSurfaceDesc(DDSURFACEDESC2* desc) {
  if (desc == nullptr) return DDERR_INVALIDPARAMS;
  std::memset(desc, 0, sizeof(*desc));
  desc->dwSize = sizeof(DDSURFACEDESC2);
  desc->dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PITCH | DDSD_PIXELFORMAT;
  desc->dwWidth = static_cast<DWORD>(width);
  desc->dwHeight = static_cast<DWORD>(height);
  desc->lPitch = pitch;
  desc->ddpfPixelFormat = layout.format;
  desc->ddsCaps.dwCaps = caps;
  desc->ddsCaps.dwCaps2 = caps2;
  if (!backBuffers.empty()) {
    desc->dwFlags |= DDSD_BACKBUFFERCOUNT;
    desc->dwBackBufferCount = static_cast<DWORD>(backBuffers.size());
  }
  if (hasSourceKey) {
    desc->dwFlags |= DDSD_CKSRCBLT;
    desc->ddckCKSrcBlt = sourceKey;
  }
  return DD_OK;
}

HRESULT Surface::GetCaps(DDSCAPS2* out) {
  if (out == nullptr) return DDERR_INVALIDPARAMS;
  *out = DDSCAPS2{caps, caps2, 0, 0};
  return DD_OK;
}

HRESULT Surface::GetPixelFormat(DDPIXELFORMAT* out) {
  if (out == nullptr) return DDERR_INVALIDPARAMS;
  *out = layout.format;
  return DD_OK;
}

// ---- Loss ---------------------------------------------------------------------------------------

HRESULT Surface::IsLost() { return lost ? DDERR_SURFACELOST : DD_OK; }

HRESULT Surface::Restore() {
  HRESULT forced;
  if (Faulted("Restore", 0, &forced)) return forced;
  if (!lost) return DD_OK;
  if (IsPrimary() || chainFront != nullptr) {
    // The display chain fits only the mode it was made for.
    const Surface& front = chainFront != nullptr ? *chainFront : *this;
    const PixelLayout now = DisplayLayout(front.layout.bits);
    RECT desktop;
    if (!ClientOnDesktop(nullptr, &desktop) || desktop.right != front.width || desktop.bottom != front.height ||
        !SameLayout(now, front.layout)) {
      return DDERR_WRONGMODE;
    }
  }
  ReleaseShownPixels(*this);
  std::memset(pixels, 0, byteSize);
  lost = false;
  return DD_OK;
}

// ---- Colour keys, clippers, palettes --------------------------------------------------------------

HRESULT Surface::SetColorKey(DWORD flags, DDCOLORKEY* key) {
  HRESULT forced;
  if (Faulted("SetColorKey", flags, &forced)) return forced;
  if (lost) return DDERR_SURFACELOST;
  if ((flags & ~DDCKEY_COLORSPACE) != DDCKEY_SRCBLT) return (flags & DDCKEY_DESTBLT) ? DDERR_UNSUPPORTED : DDERR_INVALIDPARAMS;
  if (key == nullptr) {
    hasSourceKey = false;
    return DD_OK;
  }
  hasSourceKey = true;
  sourceKey = *key;
  if (!(flags & DDCKEY_COLORSPACE)) sourceKey.dwColorSpaceHighValue = sourceKey.dwColorSpaceLowValue;
  return DD_OK;
}

HRESULT Surface::GetColorKey(DWORD flags, DDCOLORKEY* key) {
  if (key == nullptr || flags != DDCKEY_SRCBLT) return DDERR_INVALIDPARAMS;
  if (!hasSourceKey) return DDERR_NOCOLORKEY;
  *key = sourceKey;
  return DD_OK;
}

HRESULT Surface::SetClipper(IDirectDrawClipper* c) {
  auto* next = static_cast<Clipper*>(c);
  if (next != nullptr) next->AddRef();
  if (clipper != nullptr) clipper->Release();
  clipper = next;
  return DD_OK;
}

HRESULT Surface::GetClipper(IDirectDrawClipper** out) {
  if (out == nullptr) return DDERR_INVALIDPARAMS;
  *out = clipper;
  if (clipper == nullptr) return DDERR_NOCLIPPERATTACHED;
  clipper->AddRef();
  return DD_OK;
}

HRESULT Surface::SetPalette(IDirectDrawPalette* p) {
  HRESULT forced;
  if (Faulted("SetPalette", 0, &forced)) return forced;
  if (lost) return DDERR_SURFACELOST;
  if (p != nullptr && !layout.paletted) return DDERR_INVALIDPIXELFORMAT;
  auto* next = static_cast<Palette*>(p);
  if (next != nullptr) next->AddRef();
  if (palette != nullptr) palette->Release();
  palette = next;
  return DD_OK;
}

HRESULT Surface::GetPalette(IDirectDrawPalette** out) {
  if (out == nullptr) return DDERR_INVALIDPARAMS;
  *out = palette;
  if (palette == nullptr) return DDERR_NOPALETTEATTACHED;
  palette->AddRef();
  return DD_OK;
}

// ---- Attachments --------------------------------------------------------------------------------

HRESULT Surface::AddAttachedSurface(IDirectDrawSurface7* a) {
  HRESULT forced;
  if (Faulted("AddAttachedSurface", 0, &forced)) return forced;
  auto* z = static_cast<Surface*>(a);
  if (z == nullptr || z == this) return DDERR_INVALIDPARAMS;
  if (!z->layout.depth || layout.depth) return DDERR_CANNOTATTACHSURFACE;
  if (z->width != width || z->height != height) return DDERR_CANNOTATTACHSURFACE;
  if (zbuffer != nullptr) return DDERR_SURFACEALREADYATTACHED;
  z->AddRef();
  zbuffer = z;
  return DD_OK;
}

HRESULT Surface::DeleteAttachedSurface(DWORD, IDirectDrawSurface7* a) {
  auto* z = static_cast<Surface*>(a);
  if (zbuffer == nullptr || (z != nullptr && z != zbuffer)) return DDERR_SURFACENOTATTACHED;
  zbuffer->Release();
  zbuffer = nullptr;
  return DD_OK;
}

HRESULT Surface::GetAttachedSurface(DDSCAPS2* wanted, IDirectDrawSurface7** out) {
  HRESULT forced;
  if (Faulted("GetAttachedSurface", wanted != nullptr ? wanted->dwCaps : 0, &forced)) return forced;
  if (wanted == nullptr || out == nullptr) return DDERR_INVALIDPARAMS;
  *out = nullptr;
  Surface* found = nullptr;
  if ((wanted->dwCaps & DDSCAPS_BACKBUFFER) && !backBuffers.empty()) found = backBuffers.front();
  else if ((wanted->dwCaps & DDSCAPS_ZBUFFER) && zbuffer != nullptr) found = zbuffer;
  if (found == nullptr) return DDERR_NOTFOUND;
  found->AddRef();
  *out = found;
  return DD_OK;
}

HRESULT Surface::EnumAttachedSurfaces(void* context, LPDDENUMSURFACESCALLBACK7 callback) {
  if (callback == nullptr) return DDERR_INVALIDPARAMS;
  std::vector<Surface*> attached(backBuffers.begin(), backBuffers.end());
  if (zbuffer != nullptr) attached.push_back(zbuffer);
  for (Surface* s : attached) {
    if (s == nullptr) continue;
    DDSURFACEDESC2 desc;
    s->GetSurfaceDesc(&desc);
    if (callback(s, &desc, context) == DDENUMRET_CANCEL) break;
  }
  return DD_OK;
}

// ---- Overlays -----------------------------------------------------------------------------------

// Overlay surfaces are never made (CreateSurface refuses them), so nothing can be placed.
HRESULT Surface::UpdateOverlay(RECT*, IDirectDrawSurface7*, RECT*, DWORD flags) {
  HRESULT forced;
  if (Faulted("UpdateOverlay", flags, &forced)) return forced;
  return DDERR_NOTAOVERLAYSURFACE;
}

// ---- Flip ---------------------------------------------------------------------------------------

HRESULT Surface::Flip(IDirectDrawSurface7* target, DWORD flags) {
  HRESULT forced;
  if (Faulted("Flip", flags, &forced)) return forced;
  if (backBuffers.empty() || !(caps & DDSCAPS_FLIP)) return DDERR_NOTFLIPPABLE;
  if (target != nullptr && target != backBuffers.front()) return DDERR_INVALIDPARAMS;
  if (lost) return DDERR_SURFACELOST;
  for (Surface* back : backBuffers) {
    if (back == nullptr) return DDERR_SURFACELOST;
    if (back->lost) return DDERR_SURFACELOST;
    if (back->Busy()) return DDERR_SURFACEBUSY;
  }
  if (Busy()) return DDERR_SURFACEBUSY;
  if (!(flags & DDFLIP_NOVSYNC)) WaitBlankBegin();
  // The buffers rotate: the first back buffer comes to the front, the front goes to the end.
  uint8_t* front = pixels;
  pixels = backBuffers.front()->pixels;
  for (size_t i = 0; i + 1 < backBuffers.size(); ++i) backBuffers[i]->pixels = backBuffers[i + 1]->pixels;
  backBuffers.back()->pixels = front;
  flipsSinceGdi = (flipsSinceGdi + 1) % static_cast<int>(backBuffers.size() + 1);
  PresentPrimary(*this, Bounds());
  return DD_OK;
}

}  // namespace plat::ddraw
