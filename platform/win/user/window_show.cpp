// Showing, minimising and maximising windows, the z-order, and activation with its messages
// (WM_ACTIVATEAPP and WM_ACTIVATE together, see window.h), plus the foreground and focus calls.
// There is one active window per process; the process is active while it has one.
#include <unistd.h>

#include <algorithm>
#include <atomic>

#include "platform/win/user/message_queue.h"
#include "platform/win/kernel/sync.h"
#include "platform/win/user/window_state.h"

namespace plat {
namespace winstate {
namespace {

std::atomic<int> g_attachDepth{0};

host::ShowState HostStateLocked(const Window& w) {
  if (!(w.style & WS_VISIBLE)) return host::ShowState::Hidden;
  if (w.minimized) return host::ShowState::Minimized;
  if (w.style & WS_MAXIMIZE) return host::ShowState::Maximized;
  return host::ShowState::Normal;
}

}  // namespace

HWND NextActiveLocked(HWND leaving) {
  for (HWND candidate : State().zOrder) {
    if (candidate == leaving) continue;
    auto w = LookupLocked(candidate);
    if (w && !w->destroying && (w->style & WS_VISIBLE) && !w->minimized) return candidate;
  }
  return nullptr;
}

void RaiseLocked(Window& w) {
  auto& z = State().zOrder;
  z.erase(std::remove(z.begin(), z.end(), w.handle), z.end());
  // Topmost windows stay in front of the others.
  auto at = z.begin();
  if (!w.topmost) {
    while (at != z.end()) {
      auto other = LookupLocked(*at);
      if (!other || !other->topmost) break;
      ++at;
    }
  }
  z.insert(at, w.handle);
}

void Activate(HWND window) {
  WindowState& s = State();
  HWND old;
  bool oldMinimized = false, newMinimized = false;
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    if (window != nullptr) {
      auto w = LookupLocked(window);
      if (!w || w->destroying || (w->style & WS_CHILD)) return;
      newMinimized = w->minimized;
    }
    old = s.active;
    if (old == window) return;
    if (auto o = LookupLocked(old)) oldMinimized = o->minimized;
    s.active = window;
    s.focus = window;
  }
  if (old != nullptr && IsWindow(old)) {
    SendMessageA(old, WM_ACTIVATE, static_cast<WPARAM>(MAKELPARAM(WA_INACTIVE, oldMinimized ? 1 : 0)),
                 reinterpret_cast<LPARAM>(window));
    if (window == nullptr) SendMessageA(old, WM_ACTIVATEAPP, FALSE, 0);
  }
  if (window != nullptr && IsWindow(window)) {
    if (old == nullptr) SendMessageA(window, WM_ACTIVATEAPP, TRUE, 0);
    SendMessageA(window, WM_ACTIVATE, static_cast<WPARAM>(MAKELPARAM(WA_ACTIVE, newMinimized ? 1 : 0)),
                 reinterpret_cast<LPARAM>(old));
  }
}

void ResetAttachDepth() { g_attachDepth = 0; }

}  // namespace winstate

using namespace winstate;

BOOL ShowWindow(HWND window, int command) {
  WindowState& s = State();
  bool wasVisible, geometry = false;
  enum class Then { Nothing, Activate, Deactivate } then = Then::Nothing;
  HWND next = nullptr;
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    auto w = LookupLocked(window);
    if (!w) return FALSE;
    wasVisible = (w->style & WS_VISIBLE) != 0;
    const bool wasMinimized = w->minimized, wasMaximized = (w->style & WS_MAXIMIZE) != 0;
    const bool topLevel = !(w->style & WS_CHILD);
    auto restore = [&] {
      if (w->minimized) w->minimized = false, geometry = true;
      if (w->style & WS_MAXIMIZE) w->style &= ~WS_MAXIMIZE, w->outer = w->normal, geometry = true;
    };
    switch (command) {
      case SW_HIDE:
        w->style &= ~WS_VISIBLE;
        if (s.active == window) then = Then::Deactivate;
        break;
      case SW_SHOWNORMAL:
      case SW_RESTORE:
      case SW_SHOWDEFAULT:
        w->style |= WS_VISIBLE;
        restore();
        then = Then::Activate;
        break;
      case SW_SHOWNOACTIVATE:
        w->style |= WS_VISIBLE;
        restore();
        break;
      case SW_SHOW:
        w->style |= WS_VISIBLE;
        then = Then::Activate;
        break;
      case SW_SHOWNA:
        w->style |= WS_VISIBLE;
        break;
      case SW_SHOWMAXIMIZED: {
        w->style |= WS_VISIBLE;
        w->minimized = false;
        if (!wasMaximized) {
          w->normal = w->outer;
          const host::DesktopMode d = DesktopLocked();
          w->outer = RECT{0, 0, d.width, d.height};
          w->style |= WS_MAXIMIZE;
        }
        geometry = geometry || !wasMaximized || wasMinimized;
        then = Then::Activate;
        break;
      }
      case SW_MINIMIZE:
      case SW_SHOWMINNOACTIVE:
      case SW_SHOWMINIMIZED:
        w->style |= WS_VISIBLE;
        w->minimized = true;
        geometry = !wasMinimized;
        if (command == SW_SHOWMINIMIZED) then = Then::Activate;
        else if (s.active == window) then = Then::Deactivate;
        break;
      default:
        return FALSE;
    }
    if (then == Then::Deactivate) next = NextActiveLocked(window);
    if (!topLevel) then = Then::Nothing;
    if ((w->style & WS_VISIBLE) && !wasVisible) InvalidateLocked(*w, nullptr);
    if (w->hasHostWindow) HostLocked().ShowHostWindow(window, HostStateLocked(*w));
  }
  if (geometry) ReportGeometry(window, true);
  if (then == Then::Activate) {
    BringWindowToTop(window);
  } else if (then == Then::Deactivate) {
    Activate(next);
  }
  return wasVisible ? TRUE : FALSE;
}

HWND GetForegroundWindow() {
  std::lock_guard<std::mutex> lock(State().mutex);
  return State().active;
}

BOOL SetForegroundWindow(HWND window) { return BringWindowToTop(window); }

BOOL BringWindowToTop(HWND window) {
  {
    std::lock_guard<std::mutex> lock(State().mutex);
    auto w = LookupLocked(window);
    if (!w || w->destroying) return FALSE;
    if (w->style & WS_CHILD) return TRUE;
    RaiseLocked(*w);
    if (w->hasHostWindow) HostLocked().RaiseHostWindow(window);
  }
  Activate(window);
  return TRUE;
}

HWND SetActiveWindow(HWND window) {
  HWND previous;
  {
    std::lock_guard<std::mutex> lock(State().mutex);
    auto w = LookupLocked(window);
    if (!w || (w->style & WS_CHILD)) return nullptr;
    previous = State().active;
  }
  Activate(window);
  return previous;
}

HWND GetActiveWindow() {
  std::lock_guard<std::mutex> lock(State().mutex);
  return State().active;
}

HWND SetFocus(HWND window) {
  std::lock_guard<std::mutex> lock(State().mutex);
  if (window != nullptr && !LookupLocked(window)) return nullptr;
  HWND previous = State().focus;
  State().focus = window;
  return previous;
}

HWND GetFocus() {
  std::lock_guard<std::mutex> lock(State().mutex);
  return State().focus;
}

DWORD GetWindowThreadProcessId(HWND window, DWORD* processId) {
  std::lock_guard<std::mutex> lock(State().mutex);
  auto w = LookupLocked(window);
  if (!w) return 0;
  if (processId != nullptr) *processId = static_cast<DWORD>(getpid());
  return w->threadId;
}

BOOL AttachThreadInput(DWORD attachThread, DWORD toThread, BOOL attach) {
  if (attachThread == 0 || toThread == 0) return FALSE;
  g_attachDepth += attach ? 1 : -1;
  return TRUE;
}

namespace test {
int ThreadInputAttachDepth() { return winstate::g_attachDepth.load(); }
}  // namespace test

}  // namespace plat
