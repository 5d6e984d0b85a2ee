// Per-window data: Get/SetWindowLongA (procedure, styles, user data, id, instance), CallWindowProcA,
// the window text, and SetWindowRgn.
// Style changes act at once on the frame model; WM_SIZE for a client area that a style change resized
// follows at the next SetWindowPos / MoveWindow, as the original caches frames until then.
#include <algorithm>
#include <cstring>

#include "platform/win/user/window_state.h"

namespace plat {

using namespace winstate;

LONG_PTR GetWindowLongA(HWND window, int index) {
  std::lock_guard<std::mutex> lock(State().mutex);
  auto w = LookupLocked(window);
  if (!w) return 0;
  switch (index) {
    case GWL_WNDPROC: return reinterpret_cast<LONG_PTR>(w->proc);
    case GWL_HINSTANCE: return reinterpret_cast<LONG_PTR>(w->instance);
    case GWL_ID: return w->id;
    case GWL_STYLE: return static_cast<LONG_PTR>(w->style | (w->minimized ? WS_MINIMIZE : 0u));
    case GWL_EXSTYLE: return static_cast<LONG_PTR>(w->exStyle);
    case GWL_USERDATA: return w->userData;
    default: return 0;
  }
}

LONG_PTR SetWindowLongA(HWND window, int index, LONG_PTR value) {
  WindowState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  auto w = LookupLocked(window);
  if (!w) return 0;
  LONG_PTR previous = 0;
  switch (index) {
    case GWL_WNDPROC:
      if (value == 0) return 0;
      previous = reinterpret_cast<LONG_PTR>(w->proc);
      w->proc = reinterpret_cast<WNDPROC>(value);
      break;
    case GWL_HINSTANCE:
      previous = reinterpret_cast<LONG_PTR>(w->instance);
      w->instance = reinterpret_cast<HINSTANCE>(value);
      break;
    case GWL_ID:
      previous = w->id;
      w->id = value;
      break;
    case GWL_USERDATA:
      previous = w->userData;
      w->userData = value;
      break;
    case GWL_STYLE: {
      previous = static_cast<LONG_PTR>(w->style | (w->minimized ? WS_MINIMIZE : 0u));
      const DWORD wanted = static_cast<DWORD>(value);
      const bool wasVisible = (w->style & WS_VISIBLE) != 0;
      // Minimised is a state, not a style bit one can set; WS_CHILD cannot change after creation.
      w->style = (wanted & ~(WS_MINIMIZE | WS_CHILD)) | (w->style & WS_CHILD);
      if (!(w->style & WS_MAXIMIZE)) w->normal = w->outer;
      const bool visible = (w->style & WS_VISIBLE) != 0;
      if (visible != wasVisible && w->hasHostWindow) {
        HostLocked().ShowHostWindow(window, !visible ? host::ShowState::Hidden
                                            : w->minimized ? host::ShowState::Minimized
                                                           : host::ShowState::Normal);
      }
      if (visible && !wasVisible) InvalidateLocked(*w, nullptr);
      break;
    }
    case GWL_EXSTYLE:
      previous = static_cast<LONG_PTR>(w->exStyle);
      // The topmost state changes through SetWindowPos only.
      w->exStyle = (static_cast<DWORD>(value) & ~WS_EX_TOPMOST) | (w->topmost ? WS_EX_TOPMOST : 0u);
      break;
    default:
      return 0;
  }
  return previous;
}

LRESULT CallWindowProcA(WNDPROC procedure, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return procedure != nullptr ? procedure(window, message, wParam, lParam) : 0;
}

BOOL SetWindowTextA(HWND window, const char* text) {
  std::lock_guard<std::mutex> lock(State().mutex);
  auto w = LookupLocked(window);
  if (!w) return FALSE;
  w->title = text != nullptr ? text : "";
  if (w->hasHostWindow) HostLocked().SetHostWindowTitle(window, w->title.c_str());
  return TRUE;
}

int GetWindowTextA(HWND window, char* text, int size) {
  if (text == nullptr || size <= 0) return 0;
  std::lock_guard<std::mutex> lock(State().mutex);
  auto w = LookupLocked(window);
  if (!w) {
    text[0] = '\0';
    return 0;
  }
  const size_t n = std::min(w->title.size(), static_cast<size_t>(size - 1));
  std::memcpy(text, w->title.data(), n);
  text[n] = '\0';
  return static_cast<int>(n);
}

int GetWindowTextLengthA(HWND window) {
  std::lock_guard<std::mutex> lock(State().mutex);
  auto w = LookupLocked(window);
  return w ? static_cast<int>(w->title.size()) : 0;
}

int SetWindowRgn(HWND window, HRGN region, BOOL redraw) {
  std::lock_guard<std::mutex> lock(State().mutex);
  auto w = LookupLocked(window);
  if (!w) return 0;
  w->region = region;
  if (redraw) InvalidateLocked(*w, nullptr);
  return 1;
}

}  // namespace plat
