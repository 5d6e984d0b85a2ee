// Host events into window messages: close -> WM_CLOSE; focus -> activation (WM_ACTIVATEAPP and
// WM_ACTIVATE); keys -> WM_KEYDOWN / WM_KEYUP, or WM_SYSKEYDOWN / WM_SYSKEYUP with Alt or F10; text ->
// WM_CHAR per byte; mouse -> WM_MOUSEMOVE, button and wheel messages; drops -> WM_DROPFILES; exposure ->
// an invalid window; user moves and resizes -> the window's geometry (with WM_SIZING first); minimise,
// maximise and restore -> WM_SYSCOMMAND; input-method composition -> the IMM stand-in's IME messages. Also the queue of events that tests inject.
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "platform/imm/imm_state.h"
#include "platform/win/user/drag_drop.h"
#include "platform/win/user/end_signals.h"
#include "platform/win/gdi/gdi_dc.h"
#include "platform/win/user/message_queue.h"
#include "platform/win/kernel/posix_path.h"
#include "platform/win/user/window_state.h"

namespace plat {
namespace winstate {
namespace {

struct InjectedEvents {
  std::mutex mutex;
  std::deque<host::Event> events;
};

InjectedEvents& Injected() {
  // Never destroyed: threads and exit handlers may use it until the process ends.
  static auto* injected = new InjectedEvents;
  return *injected;
}

// The window an event is for: its own when alive, else the focus, else the front window.
HWND TargetOf(const host::Event& e, POINT* clientOrigin, RECT* insets) {
  WindowState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  std::shared_ptr<Window> w = LookupLocked(e.window);
  if (!w) w = LookupLocked(s.focus);
  if (!w && !s.zOrder.empty()) w = LookupLocked(s.zOrder.front());
  if (!w || w->destroying) return nullptr;
  const RECT client = ClientOnDesktopLocked(*w);
  *clientOrigin = POINT{client.left, client.top};
  *insets = FrameInsets(w->style, w->exStyle, w->menu != nullptr);
  return w->handle;
}

WPARAM MouseKeyFlags() {
  WPARAM flags = 0;
  if (GetAsyncKeyState(VK_LBUTTON) < 0) flags |= MK_LBUTTON;
  if (GetAsyncKeyState(VK_RBUTTON) < 0) flags |= MK_RBUTTON;
  if (GetAsyncKeyState(VK_MBUTTON) < 0) flags |= MK_MBUTTON;
  if (GetAsyncKeyState(VK_SHIFT) < 0) flags |= MK_SHIFT;
  if (GetAsyncKeyState(VK_CONTROL) < 0) flags |= MK_CONTROL;
  return flags;
}

void PostKey(HWND window, const host::Event& e) {
  const bool down = e.type == host::EventType::KeyDown;
  const bool wasDown = GetAsyncKeyState(static_cast<int>(e.key)) < 0;
  NoteAsyncKey(e.key, down);
  const bool alt = GetAsyncKeyState(VK_MENU) < 0 || (e.key == VK_MENU && !down);
  const bool ctrl = GetAsyncKeyState(VK_CONTROL) < 0;
  const bool sys = e.key == VK_MENU || e.key == VK_F10 || (alt && !ctrl);
  const UINT message = down ? (sys ? WM_SYSKEYDOWN : WM_KEYDOWN) : (sys ? WM_SYSKEYUP : WM_KEYUP);
  // Repeat count 1, scan code, extended flag, context (Alt), previous state, transition.
  uint32_t lParam = 1u | ((e.scanCode & 0xFFu) << 16) | (e.extended ? 1u << 24 : 0u) | (alt ? 1u << 29 : 0u);
  if (down ? (wasDown || e.repeat) : true) lParam |= 1u << 30;
  if (!down) lParam |= 1u << 31;
  PostMessageA(window, message, e.key, static_cast<LPARAM>(lParam));
}

void PostMouse(HWND window, const host::Event& e, POINT origin) {
  NoteCursorPos(origin.x + e.x, origin.y + e.y);
  static constexpr UINT kDown[] = {WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN};
  static constexpr UINT kUp[] = {WM_LBUTTONUP, WM_RBUTTONUP, WM_MBUTTONUP};
  static constexpr UINT kKeys[] = {VK_LBUTTON, VK_RBUTTON, VK_MBUTTON};
  UINT message = WM_MOUSEMOVE;
  if (e.type != host::EventType::MouseMove) {
    if (e.button < 0 || e.button > 2) return;
    const bool down = e.type == host::EventType::MouseButtonDown;
    NoteAsyncKey(kKeys[e.button], down);
    message = down ? kDown[e.button] : kUp[e.button];
  }
  PostMessageA(window, message, MouseKeyFlags(), MAKELPARAM(e.x, e.y));
}

// The user resized the client area to (width, height): the window procedure may adjust the proposed
// outer rectangle (WM_SIZING) before it is applied.
void UserResize(HWND window, const host::Event& e, const RECT& insets) {
  RECT outer;
  if (!GetWindowRect(window, &outer)) return;
  RECT proposed{outer.left, outer.top, outer.left + insets.left + e.x + insets.right,
                outer.top + insets.top + e.y + insets.bottom};
  if (proposed.right == outer.right && proposed.bottom == outer.bottom) return;
  SendMessageA(window, WM_SIZING, WMSZ_BOTTOMRIGHT, reinterpret_cast<LPARAM>(&proposed));
  SetWindowPos(window, nullptr, proposed.left, proposed.top, proposed.right - proposed.left,
               proposed.bottom - proposed.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

void OnHostEvent(const host::Event& e) {
  POINT origin{0, 0};
  RECT insets{0, 0, 0, 0};
  const HWND window = TargetOf(e, &origin, &insets);
  if (window == nullptr) {
    if (e.type == host::EventType::KeyDown || e.type == host::EventType::KeyUp)
      NoteAsyncKey(e.key, e.type == host::EventType::KeyDown);
    return;
  }
  switch (e.type) {
    case host::EventType::Close: PostMessageA(window, WM_CLOSE, 0, 0); break;
    case host::EventType::FocusGained: Activate(window); break;
    case host::EventType::FocusLost:
      if (GetActiveWindow() != nullptr) Activate(nullptr);
      break;
    case host::EventType::KeyDown:
    case host::EventType::KeyUp: PostKey(window, e); break;
    case host::EventType::Text:
      for (unsigned char c : e.text) PostMessageA(window, WM_CHAR, c, 1);
      break;
    case host::EventType::MouseMove:
    case host::EventType::MouseButtonDown:
    case host::EventType::MouseButtonUp: PostMouse(window, e, origin); break;
    case host::EventType::MouseWheel: {
      NoteCursorPos(origin.x + e.x, origin.y + e.y);
      const WPARAM wParam = static_cast<WPARAM>(static_cast<uint32_t>(MAKELPARAM(
          static_cast<int>(MouseKeyFlags()), e.wheel * WHEEL_DELTA)));
      PostMessageA(window, WM_MOUSEWHEEL, wParam, MAKELPARAM(origin.x + e.x, origin.y + e.y));
      break;
    }
    case host::EventType::DropFiles: {
      // The host gives the names as the file system has them; the library reads Shift-JIS.
      std::vector<std::string> names;
      names.reserve(e.names.size());
      for (const std::string& name : e.names) names.push_back(SystemNameToShiftJis(name));
      HDROP drop = CreateDropHandle(std::move(names), POINT{e.x, e.y});
      if (!PostMessageA(window, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0)) DragFinish(drop);
      break;
    }
    case host::EventType::Exposed: InvalidateRect(window, nullptr, FALSE); break;
    case host::EventType::Moved:
      SetWindowPos(window, nullptr, e.x - insets.left, e.y - insets.top, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      break;
    case host::EventType::Resized: UserResize(window, e, insets); break;
    case host::EventType::Minimized: PostMessageA(window, WM_SYSCOMMAND, SC_MINIMIZE, 0); break;
    case host::EventType::Maximized: PostMessageA(window, WM_SYSCOMMAND, SC_MAXIMIZE, 0); break;
    case host::EventType::Restored: PostMessageA(window, WM_SYSCOMMAND, SC_RESTORE, 0); break;
    case host::EventType::Composition: imm::TakeHostComposition(window, e); break;
    default: break;  // pads belong to the DirectInput stand-in
  }
}

void QueueInjectedEvent(const host::Event& event) {
  std::lock_guard<std::mutex> lock(Injected().mutex);
  Injected().events.push_back(event);
}

void DeliverInjectedEvents() {
  for (;;) {
    host::Event event;
    {
      std::lock_guard<std::mutex> lock(Injected().mutex);
      if (Injected().events.empty()) return;
      event = std::move(Injected().events.front());
      Injected().events.pop_front();
    }
    // The log's line of a signal comes before the close it asked for.
    if (event.type == host::EventType::Close) WriteEndSignalNotice();
    // Every listener hears injected events as it hears the host's (the input devices too).
    host::AddEventListener(&OnHostEvent);
    host::DeliverEvent(event);
  }
}

void ResetHostEvents() {
  std::lock_guard<std::mutex> lock(Injected().mutex);
  Injected().events.clear();
}

}  // namespace winstate
}  // namespace plat
