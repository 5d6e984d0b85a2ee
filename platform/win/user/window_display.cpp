// Display changes: the display stand-in records a new desktop mode here, and every top-level window
// hears WM_DISPLAYCHANGE (wParam bits per pixel, lParam width and height). Also the two doors through
// which the display stand-ins (DirectDraw, GDI blits on a window DC) reach a window's picture.
#include "platform/win/user/message_queue.h"
#include "platform/win/user/window_state.h"

namespace plat {

using namespace winstate;

BOOL ApplyDisplayMode(int width, int height, int bitsPerPixel) {
  {
    WindowState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!HostLocked().SetDesktopMode(host::DesktopMode{width, height, bitsPerPixel})) return FALSE;
    // A test's desktop follows the switch too.
    if (s.desktopOverride.width > 0) {
      s.desktopOverride.width = width;
      s.desktopOverride.height = height;
    }
    if (s.desktopOverride.bitsPerPixel > 0) s.desktopOverride.bitsPerPixel = bitsPerPixel;
  }
  BroadcastDisplayChange();
  return TRUE;
}

void BroadcastDisplayChange() {
  host::DesktopMode mode;
  {
    std::lock_guard<std::mutex> lock(State().mutex);
    mode = DesktopLocked();
  }
  SendMessageA(HWND_BROADCAST, WM_DISPLAYCHANGE, static_cast<WPARAM>(mode.bitsPerPixel),
               MAKELPARAM(mode.width, mode.height));
}

}  // namespace plat

namespace plat {

BOOL PresentToWindow(HWND window, int x, int y, const host::FrameView& view) {
  std::lock_guard<std::mutex> lock(State().mutex);
  auto w = LookupLocked(window);
  if (!w || !w->hasHostWindow) return FALSE;
  HostLocked().PresentFrame(window, x, y, view);
  return TRUE;
}

BOOL LinkToWindow(HWND window, int x, int y, const host::FrameView& view, const void* owner) {
  std::lock_guard<std::mutex> lock(State().mutex);
  auto w = LookupLocked(window);
  if (!w || !w->hasHostWindow) return FALSE;
  HostLocked().LinkFrame(window, x, y, view, owner);
  return TRUE;
}

void ReleaseWindowPictureSource(const void* owner) {
  std::lock_guard<std::mutex> lock(State().mutex);
  HostLocked().ReleaseFrameSource(owner);
}

BOOL CopyWindowPicture(HWND window, host::Frame* out) {
  if (out == nullptr) return FALSE;
  std::lock_guard<std::mutex> lock(State().mutex);
  auto w = LookupLocked(window);
  if (!w || !w->hasHostWindow) return FALSE;
  const host::Frame* frame = HostLocked().CaptureFrame(window);
  if (frame == nullptr) return FALSE;
  *out = *frame;
  return TRUE;
}

}  // namespace plat
