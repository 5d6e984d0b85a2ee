// What a primary surface shows: the part of it under a window's client area goes to the host's picture
// of that window (the real window on screen, or the headless capture). 32-bit XRGB primaries are
// handed over in place; other layouts are widened to 32 bits first, rounding as the GDI stand-in does.
#include <algorithm>
#include <vector>

#include "platform/ddraw/ddraw_internal.h"
#include "platform/win/gdi_dc.h"
#include "platform/win/pixel_rows.h"
#include "platform/win/window.h"

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
  if (primary.layout.bits == 32 && f.dwRBitMask == 0xFF0000 && f.dwGBitMask == 0xFF00 && f.dwBBitMask == 0xFF) {
    const host::FrameView view{primary.Row(r.top) + static_cast<size_t>(r.left) * 4, w, h, primary.pitch};
    PresentToWindow(window, r.left - client.left, r.top - client.top, view);
    return;
  }
  std::vector<uint32_t> wide(static_cast<size_t>(w) * static_cast<size_t>(h));
  if (primary.layout.bits == 16 && !primary.layout.paletted) {
    for (int y = 0; y < h; ++y) {
      WidenRow16To32(primary.Row(r.top + y) + static_cast<size_t>(r.left) * 2, &wide[static_cast<size_t>(y) * w], w,
                     f.dwRBitMask, f.dwGBitMask, f.dwBBitMask);
    }
  } else {
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) wide[static_cast<size_t>(y) * w + x] = primary.ReadRgb(r.left + x, r.top + y);
    }
  }
  const host::FrameView view{reinterpret_cast<const uint8_t*>(wide.data()), w, h, w * 4};
  PresentToWindow(window, r.left - client.left, r.top - client.top, view);
}

}  // namespace plat::ddraw
