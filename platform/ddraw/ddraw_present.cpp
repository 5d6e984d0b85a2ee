// What a primary surface shows: the part of it under a window's client area goes to the host's picture
// of that window (the real window on screen, or the headless capture). 32-bit XRGB and 16-bit RGB
// primaries are linked to the picture in place (read when the host needs it); other layouts are
// widened to 32 bits first, rounding as the GDI stand-in does. A primary whose pixels are about to
// change without a present, or go, lets go of its link first (ReleaseShownPixels).
#include <algorithm>
#include <vector>

#include "platform/ddraw/ddraw_internal.h"
#include "platform/win/gdi/gdi_dc.h"
#include "platform/win/user/window.h"

namespace plat::ddraw {

bool ClientOnDesktop(HWND window, RECT* out) {
  if (window == nullptr) {
    HDC screen = plat::GetDC(nullptr);
    *out = RECT{0, 0, GetDeviceCaps(screen, HORZRES), GetDeviceCaps(screen, VERTRES)};
    plat::ReleaseDC(nullptr, screen);
    return true;
  }
  RECT client;
  POINT origin{0, 0};
  if (!GetClientRect(window, &client) || !ClientToScreen(window, &origin)) return false;
  *out = RECT{origin.x, origin.y, origin.x + client.right, origin.y + client.bottom};
  return true;
}

void PresentPrimary(Surface& primary, const RECT& rect) {
  HWND window = primary.clipper != nullptr && primary.clipper->window != nullptr ? primary.clipper->window
                                                                                   : primary.window;
  RECT client;
  if (window == nullptr || !ClientOnDesktop(window, &client)) return;
  const RECT r{std::max(rect.left, std::max(client.left, LONG{0})), std::max(rect.top, std::max(client.top, LONG{0})),
               std::min(rect.right, std::min(client.right, LONG(primary.width))),
               std::min(rect.bottom, std::min(client.bottom, LONG(primary.height)))};
  if (r.left >= r.right || r.top >= r.bottom) return;
  const int w = r.right - r.left, h = r.bottom - r.top;
  const DDPIXELFORMAT& f = primary.layout.format;
  const uint8_t* corner = primary.Row(r.top) + static_cast<size_t>(r.left) * primary.layout.bytes;
  // 32-bit XRGB and 16-bit RGB primaries are shown from their own pixels: the host reads them when it
  // needs the picture, so a present costs no copy beyond the blit that drew the primary.
  if (primary.layout.bits == 32 && f.dwRBitMask == 0xFF0000 && f.dwGBitMask == 0xFF00 && f.dwBBitMask == 0xFF) {
    LinkToWindow(window, r.left - client.left, r.top - client.top, host::FrameView{corner, w, h, primary.pitch},
                 &primary);
    return;
  }
  if (primary.layout.bits == 16 && !primary.layout.paletted) {
    const host::FrameView view{corner, w, h, primary.pitch, 16, f.dwRBitMask, f.dwGBitMask, f.dwBBitMask};
    LinkToWindow(window, r.left - client.left, r.top - client.top, view, &primary);
    return;
  }
  std::vector<uint32_t> wide(static_cast<size_t>(w) * static_cast<size_t>(h));
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) wide[static_cast<size_t>(y) * w + x] = primary.ReadRgb(r.left + x, r.top + y);
  }
  const host::FrameView view{reinterpret_cast<const uint8_t*>(wide.data()), w, h, w * 4};
  PresentToWindow(window, r.left - client.left, r.top - client.top, view);
}

void ReleaseShownPixels(Surface& primary) {
  if (primary.IsPrimary()) ReleaseWindowPictureSource(&primary);
}

}  // namespace plat::ddraw
