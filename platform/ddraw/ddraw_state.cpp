// The DirectDraw stand-in's state record: the live surfaces, the counts, the pixel layouts of the
// desktop, and the test controls that read and change them.
#include <algorithm>
#include <cstring>

#include "platform/ddraw/ddraw_internal.h"
#include "platform/ddraw/test_controls.h"

namespace plat::ddraw {

DDrawState& State() {
  // Never destroyed: threads and exit handlers may use it until the process ends.
  static auto* state = new DDrawState;
  return *state;
}

void Register(Surface* surface) {
  DDrawState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.surfaces.push_back(surface);
  if (surface->caps & DDSCAPS_VIDEOMEMORY) s.videoMemoryUsed += surface->byteSize;
}

void Unregister(Surface* surface) {
  DDrawState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.surfaces.erase(std::remove(s.surfaces.begin(), s.surfaces.end(), surface), s.surfaces.end());
  if (surface->caps & DDSCAPS_VIDEOMEMORY) s.videoMemoryUsed -= surface->byteSize;
}

void LoseSurfaces(bool all) {
  DDrawState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  for (Surface* surface : s.surfaces) {
    const bool display = surface->IsPrimary() || surface->chainFront != nullptr;
    // Managed textures keep a copy the driver puts back: only a mode change takes them.
    const bool managed = (surface->caps2 & (DDSCAPS2_TEXTUREMANAGE | DDSCAPS2_D3DTEXTUREMANAGE)) != 0;
    if (all && managed) continue;
    if (all || display || (surface->caps & DDSCAPS_VIDEOMEMORY)) surface->lost = true;
  }
}

bool Faulted(const char* call, DWORD flags, HRESULT* result) {
  test::RecordDisplayCall(call, flags);
  return test::TakeDisplayFault(call, result);
}

namespace {

DDPIXELFORMAT RgbFormat(int bits, DWORD r, DWORD g, DWORD b) {
  DDPIXELFORMAT f{};
  f.dwSize = sizeof(DDPIXELFORMAT);
  f.dwFlags = DDPF_RGB;
  f.dwRGBBitCount = static_cast<DWORD>(bits);
  f.dwRBitMask = r;
  f.dwGBitMask = g;
  f.dwBBitMask = b;
  return f;
}

}  // namespace

PixelLayout DisplayLayout(int bitsPerPixel) {
  PixelLayout l;
  switch (bitsPerPixel) {
    case 8:
      l.format = RgbFormat(8, 0, 0, 0);
      l.format.dwFlags |= DDPF_PALETTEINDEXED8;
      l.paletted = true;
      break;
    case 16:
      l.format = State().display555 ? RgbFormat(16, 0x7C00, 0x03E0, 0x001F) : RgbFormat(16, 0xF800, 0x07E0, 0x001F);
      break;
    case 24: l.format = RgbFormat(24, 0xFF0000, 0xFF00, 0xFF); break;
    default: l.format = RgbFormat(32, 0xFF0000, 0xFF00, 0xFF); break;
  }
  l.bits = static_cast<int>(l.format.dwRGBBitCount);
  l.bytes = l.bits / 8;
  l.keyMask = l.paletted ? 0xFFu : (l.format.dwRBitMask | l.format.dwGBitMask | l.format.dwBBitMask);
  return l;
}

bool LayoutFromFormat(const DDPIXELFORMAT& f, PixelLayout* out) {
  PixelLayout l;
  l.format = f;
  l.format.dwSize = sizeof(DDPIXELFORMAT);
  if (f.dwFlags & DDPF_FOURCC) return false;
  if (f.dwFlags & DDPF_ZBUFFER) {
    const DWORD bits = f.dwZBufferBitDepth;
    if (bits != 16 && bits != 24 && bits != 32) return false;
    l.depth = true;
    l.bits = static_cast<int>(bits);
    l.bytes = l.bits / 8;
    l.keyMask = f.dwZBitMask != 0 ? f.dwZBitMask : (bits == 32 ? 0xFFFFFFFFu : (1u << bits) - 1);
    *out = l;
    return true;
  }
  if (f.dwFlags & DDPF_PALETTEINDEXED8) {
    l.paletted = true;
    l.bits = 8;
    l.bytes = 1;
    l.format.dwRGBBitCount = 8;
    l.keyMask = 0xFF;
    *out = l;
    return true;
  }
  if (!(f.dwFlags & DDPF_RGB)) return false;
  const DWORD bits = f.dwRGBBitCount;
  if (bits != 16 && bits != 24 && bits != 32) return false;
  l.bits = static_cast<int>(bits);
  l.bytes = l.bits / 8;
  l.keyMask = f.dwRBitMask | f.dwGBitMask | f.dwBBitMask;
  if (l.keyMask == 0) return false;
  *out = l;
  return true;
}

bool SameLayout(const PixelLayout& a, const PixelLayout& b) {
  if (a.bits != b.bits || a.paletted != b.paletted || a.depth != b.depth) return false;
  if (a.paletted || a.depth) return true;
  return a.format.dwRBitMask == b.format.dwRBitMask && a.format.dwGBitMask == b.format.dwGBitMask &&
         a.format.dwBBitMask == b.format.dwBBitMask;
}

}  // namespace plat::ddraw

namespace plat::test {

using namespace plat::ddraw;

void LoseAllSurfaces() { LoseSurfaces(true); }

SurfacePixels ReadSurface(IDirectDrawSurface7* surface) {
  SurfacePixels out;
  auto* s = static_cast<Surface*>(surface);
  if (s == nullptr || s->pixels == nullptr) return out;
  out.width = s->width;
  out.height = s->height;
  out.bitsPerPixel = s->layout.bits;
  out.pitch = s->pitch;
  out.format = s->layout.format;
  out.caps = s->caps;
  out.bytes.assign(s->pixels, s->pixels + s->byteSize);
  return out;
}

uint32_t ReadSurfacePixelRgb(IDirectDrawSurface7* surface, int x, int y) {
  auto* s = static_cast<Surface*>(surface);
  if (s == nullptr || x < 0 || y < 0 || x >= s->width || y >= s->height) return 0;
  return s->ReadRgb(x, y);
}

uint32_t ReadSurfacePixelRaw(IDirectDrawSurface7* surface, int x, int y) {
  auto* s = static_cast<Surface*>(surface);
  if (s == nullptr || x < 0 || y < 0 || x >= s->width || y >= s->height) return 0;
  return s->ReadRaw(x, y);
}

std::vector<IDirectDrawSurface7*> LiveSurfaces() {
  DDrawState& s = ddraw::State();
  std::lock_guard<std::mutex> lock(s.mutex);
  return std::vector<IDirectDrawSurface7*>(s.surfaces.begin(), s.surfaces.end());
}

IDirectDrawSurface7* LivePrimarySurface() {
  DDrawState& s = ddraw::State();
  std::lock_guard<std::mutex> lock(s.mutex);
  for (Surface* surface : s.surfaces) {
    if (surface->IsPrimary()) return surface;
  }
  return nullptr;
}

DDrawCounters GetDDrawCounters() {
  DDrawState& s = ddraw::State();
  std::lock_guard<std::mutex> lock(s.mutex);
  return DDrawCounters{s.liveObjects, static_cast<int>(s.surfaces.size()), s.liveClippers, s.livePalettes,
                       s.videoMemoryReadLocks};
}

void SetDisplay16BitLayout555(bool on) { ddraw::State().display555 = on; }

void ResetDDraw() {
  DDrawState& s = ddraw::State();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.videoMemoryReadLocks = 0;
  s.display555 = false;
}

}  // namespace plat::test
