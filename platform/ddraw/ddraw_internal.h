// Inside the DirectDraw stand-in: the pixel layout of a surface, the surface, clipper and palette
// records, the service's one state record, and the helpers the files share (blits, presentation,
// vertical blank). Only platform/ddraw includes this file.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/ddraw/ddraw.h"

namespace plat::ddraw {

// ---- Pixel layout -------------------------------------------------------------------------------

struct PixelLayout {
  DDPIXELFORMAT format{};  // as reported
  int bits = 0;            // 8, 16, 24 or 32
  int bytes = 0;           // per pixel
  bool paletted = false;
  bool depth = false;      // a Z buffer
  uint32_t keyMask = 0;    // the bits colour keys compare (colour channels only)
};

// The layout of the desktop at a depth (16 bits: 5-6-5 unless the test switch asks for 5-5-5).
PixelLayout DisplayLayout(int bitsPerPixel);
// The layout a description asks for; false for formats we do not hold (FOURCC, odd depths).
bool LayoutFromFormat(const DDPIXELFORMAT& format, PixelLayout* out);
bool SameLayout(const PixelLayout& a, const PixelLayout& b);
// Bytes per row: 4-byte aligned, as DIB rows are, so a DC over the pixels needs no copy.
inline int PitchFor(int width, int bytesPerPixel) { return (width * bytesPerPixel + 3) & ~3; }

// ---- Records ------------------------------------------------------------------------------------

class Palette final : public IDirectDrawPalette {
 public:
  Palette();
  ULONG AddRef() override;
  ULONG Release() override;
  HRESULT GetCaps(DWORD* caps) override;
  HRESULT GetEntries(DWORD flags, DWORD start, DWORD count, PALETTEENTRY* entries) override;
  HRESULT SetEntries(DWORD flags, DWORD start, DWORD count, const PALETTEENTRY* entries) override;

  PALETTEENTRY entries[256]{};
  DWORD caps = 0;

 private:
  ~Palette() override;
  ULONG refs_ = 1;
};

class Clipper final : public IDirectDrawClipper {
 public:
  Clipper();
  ULONG AddRef() override;
  ULONG Release() override;
  HRESULT SetHWnd(DWORD flags, HWND window) override;
  HRESULT GetHWnd(HWND* window) override;

  HWND window = nullptr;

 private:
  ~Clipper() override;
  ULONG refs_ = 1;
};

// One surface under its version-7 face, which is also its version-1 face, and its version-4 face.
class Surface final : public IDirectDrawSurface7, public IDirectDrawSurface4 {
 public:
  // Pixels are zeroed; false in *ok when they cannot be had.
  Surface(int width, int height, const PixelLayout& layout, DWORD caps, DWORD caps2, bool* ok);

  ULONG AddRef() override;
  ULONG Release() override;
  HRESULT QueryInterface(REFIID iid, void** out) override;
  HRESULT AddAttachedSurface(IDirectDrawSurface7* attached) override;
  HRESULT DeleteAttachedSurface(DWORD flags, IDirectDrawSurface7* attached) override;
  HRESULT Blt(RECT* destRect, IDirectDrawSurface7* source, RECT* sourceRect, DWORD flags, DDBLTFX* fx) override;
  HRESULT BltFast(DWORD x, DWORD y, IDirectDrawSurface7* source, RECT* sourceRect, DWORD flags) override;
  HRESULT EnumAttachedSurfaces(void* context, LPDDENUMSURFACESCALLBACK7 callback) override;
  HRESULT Flip(IDirectDrawSurface7* target, DWORD flags) override;
  HRESULT GetAttachedSurface(DDSCAPS2* caps, IDirectDrawSurface7** out) override;
  HRESULT GetCaps(DDSCAPS2* caps) override;
  HRESULT GetClipper(IDirectDrawClipper** out) override;
  HRESULT GetColorKey(DWORD flags, DDCOLORKEY* key) override;
  HRESULT GetDC(HDC* dc) override;
  HRESULT GetPalette(IDirectDrawPalette** out) override;
  HRESULT GetPixelFormat(DDPIXELFORMAT* format) override;
  HRESULT GetSurfaceDesc(DDSURFACEDESC2* desc) override;
  HRESULT IsLost() override;
  HRESULT Lock(RECT* rect, DDSURFACEDESC2* desc, DWORD flags, HANDLE event) override;
  HRESULT ReleaseDC(HDC dc) override;
  HRESULT Restore() override;
  HRESULT SetClipper(IDirectDrawClipper* clipper) override;
  HRESULT SetColorKey(DWORD flags, DDCOLORKEY* key) override;
  HRESULT SetPalette(IDirectDrawPalette* palette) override;
  HRESULT Unlock(RECT* rect) override;
  HRESULT UpdateOverlay(RECT* sourceRect, IDirectDrawSurface7* target, RECT* destRect, DWORD flags) override;

  uint8_t* Row(int y) { return pixels + static_cast<size_t>(y) * static_cast<size_t>(pitch); }
  const uint8_t* Row(int y) const { return pixels + static_cast<size_t>(y) * static_cast<size_t>(pitch); }
  bool Busy() const { return locked || dc != nullptr; }
  RECT Bounds() const { return RECT{0, 0, width, height}; }
  bool IsPrimary() const { return (caps & DDSCAPS_PRIMARYSURFACE) != 0; }
  // The palette its 8-bit pixels are seen through: its own, else the display's (the primary's).
  const Palette* EffectivePalette() const;
  uint32_t ReadRaw(int x, int y) const;
  uint32_t ReadRgb(int x, int y) const;  // 0x00RRGGBB

  int width;   // pixels
  int height;  // pixels
  int pitch;   // bytes per row
  PixelLayout layout;
  DWORD caps;
  DWORD caps2;
  uint8_t* pixels = nullptr;  // owned; swapped between the buffers of a flip chain
  size_t byteSize = 0;
  bool lost = false;
  bool locked = false;
  RECT lockRect{};
  DWORD lockFlags = 0;
  HDC dc = nullptr;
  HBITMAP dcBitmap = nullptr;
  HGDIOBJ dcPrevious = nullptr;
  bool hasSourceKey = false;
  DDCOLORKEY sourceKey{};
  Clipper* clipper = nullptr;            // referenced
  Palette* palette = nullptr;            // referenced
  Surface* zbuffer = nullptr;            // attached, referenced
  std::vector<Surface*> backBuffers;     // of a flip chain's front, referenced
  Surface* chainFront = nullptr;         // of a back buffer: its front (not referenced)
  int flipsSinceGdi = 0;                 // flips since the GDI buffer was in front
  HWND window = nullptr;                 // primary: the cooperative window when made

 private:
  ~Surface() override;
  ULONG refs_ = 1;
};

// ---- Service state ------------------------------------------------------------------------------

struct DDrawState {
  std::mutex mutex;  // guards the lists; the objects themselves belong to the calling thread
  std::vector<Surface*> surfaces;  // live, oldest first
  int liveObjects = 0;
  int liveClippers = 0;
  int livePalettes = 0;
  int videoMemoryReadLocks = 0;
  uint64_t videoMemoryUsed = 0;  // bytes
  bool exclusiveHeld = false;    // some object has exclusive full-screen mode
  bool display555 = false;       // test switch: 16-bit desktop with 5-5-5 layout
};

DDrawState& State();
void Register(Surface* surface);
void Unregister(Surface* surface);
// Marks every live surface lost but managed textures (all: true, as a locked workstation does), or
// only the primary chains and video-memory surfaces (a display mode change).
void LoseSurfaces(bool all);

constexpr uint64_t kVideoMemoryBytes = 256ull << 20;

// A new DirectDraw object as the asked-for interface (CoCreateInstance's road).
HRESULT CreateDirectDrawObjectFor(REFIID iid, void** out);
// The version-4 face of an object, which keeps the object alive (ddraw_object4.cpp).
HRESULT QueryDirectDraw4(IDirectDraw7* owner, void** out);

// Records the call and says whether a test wants it to fail (with *result).
bool Faulted(const char* call, DWORD flags, HRESULT* result);

// ---- Blits (ddraw_blit.cpp) ---------------------------------------------------------------------

void FillRect(Surface& s, const RECT& r, uint32_t value);
// Copies src rectangle `sr` onto dest rectangle `dr` (same size: rows; otherwise nearest-pixel
// stretching). `clip` is the part of `dr` that may be written. With a key, source pixels whose
// masked value lies in [low, high] are skipped.
void CopyRect(Surface& d, const RECT& dr, const RECT& clip, const Surface& s, const RECT& sr, const DDCOLORKEY* key);

// ---- Presentation (ddraw_present.cpp) -----------------------------------------------------------

// Shows what changed in `rect` of a primary surface in the window whose client area it covers.
void PresentPrimary(Surface& primary, const RECT& rect);
// Before a primary's pixels change without a present (restore, a lock or DC that writes) or go: the
// window picture copies in what it shows from them.
void ReleaseShownPixels(Surface& primary);
// The desktop rectangle of a window's client area; false for no window.
bool ClientOnDesktop(HWND window, RECT* out);

// ---- Vertical blank (ddraw_vblank.cpp) ----------------------------------------------------------

bool InVerticalBlank();
DWORD CurrentScanLine();
// Waits (on the plat clock) for the next start (or end) of a vertical blank.
void WaitBlankBegin();
void WaitBlankEnd();

}  // namespace plat::ddraw
