// Test controls of the window stand-ins (see window_test_controls.h).
#include "platform/win/user/window_test_controls.h"

#include <algorithm>
#include <cstdio>

#include "platform/win/user/message_queue.h"
#include "platform/win/user/window_state.h"

namespace plat {
namespace winstate {
void ResetAttachDepth();
}  // namespace winstate

namespace test {

using namespace winstate;

void ResetWindow() {
  WindowState& s = State();
  {
    // Windows left by a test go without messages: their procedures may belong to a finished test.
    std::lock_guard<std::mutex> lock(s.mutex);
    for (const auto& [value, w] : s.windows) {
      if (w->hasHostWindow) HostLocked().DestroyHostWindow(w->handle);
      if (!w->messageOnly) ReleaseClassLock(w->wndClass->key);
    }
    s.windows.clear();
    s.zOrder.clear();
    s.classes.clear();
    s.active = nullptr;
    s.focus = nullptr;
    s.desktopOverride = host::DesktopMode{0, 0, 0};
    ResetFind();
  }
  ResetQueues();
  ResetHostEvents();
  ResetCursor();
  ResetMenus();
  ResetMessageBox();
  ResetDragDrop();
  ResetSystemSettings();
  ResetKeyState();
  ResetAttachDepth();
  host::Install(host::CreateHostByName("headless"));
}

void SetDesktopSize(int width, int height) {
  std::lock_guard<std::mutex> lock(State().mutex);
  State().desktopOverride.width = width;
  State().desktopOverride.height = height;
}

void SetDesktopDepth(int bitsPerPixel) {
  std::lock_guard<std::mutex> lock(State().mutex);
  WindowState& s = State();
  if (s.desktopOverride.width == 0) {
    const host::DesktopMode mode = HostLocked().Desktop();
    s.desktopOverride.width = mode.width;
    s.desktopOverride.height = mode.height;
  }
  s.desktopOverride.bitsPerPixel = bitsPerPixel;
}

void InjectMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  PostMessageA(window, message, wParam, lParam);
}

void InjectHostEvent(const host::Event& event) { QueueInjectedEvent(event); }

void InjectKey(UINT virtualKey, bool down, HWND window) {
  host::Event e;
  e.type = down ? host::EventType::KeyDown : host::EventType::KeyUp;
  e.key = virtualKey;
  e.window = window;
  QueueInjectedEvent(e);
}

void InjectKeyPress(UINT virtualKey, HWND window) {
  InjectKey(virtualKey, true, window);
  InjectKey(virtualKey, false, window);
}

void InjectText(const std::string& shiftJis, HWND window) {
  host::Event e;
  e.type = host::EventType::Text;
  e.text = shiftJis;
  e.window = window;
  QueueInjectedEvent(e);
}

void InjectMouseMove(int clientX, int clientY, HWND window) {
  host::Event e;
  e.type = host::EventType::MouseMove;
  e.x = clientX;
  e.y = clientY;
  e.window = window;
  QueueInjectedEvent(e);
}

void InjectMouseButton(int button, bool down, int clientX, int clientY, HWND window) {
  host::Event e;
  e.type = down ? host::EventType::MouseButtonDown : host::EventType::MouseButtonUp;
  e.button = button;
  e.x = clientX;
  e.y = clientY;
  e.window = window;
  QueueInjectedEvent(e);
}

void InjectDrop(const std::vector<std::string>& names, HWND window) {
  host::Event e;
  e.type = host::EventType::DropFiles;
  e.names = names;
  e.window = window;
  QueueInjectedEvent(e);
}

void InjectDropOfCount(int count, HWND window) {
  std::vector<std::string> names;
  names.reserve(static_cast<size_t>(std::max(count, 0)));
  for (int i = 0; i < count; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "file%04d.txt", i);
    names.emplace_back(name);
  }
  InjectDrop(names, window);
}

void InjectFocus(bool gained, HWND window) {
  host::Event e;
  e.type = gained ? host::EventType::FocusGained : host::EventType::FocusLost;
  e.window = window;
  QueueInjectedEvent(e);
}

void InjectClose(HWND window) {
  host::Event e;
  e.type = host::EventType::Close;
  e.window = window;
  QueueInjectedEvent(e);
}

WindowSnapshot GetWindowSnapshot(HWND window) {
  WindowState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  WindowSnapshot snap{};
  auto w = LookupLocked(window);
  if (!w) return snap;
  snap.exists = true;
  snap.className = w->wndClass->name;
  snap.title = w->title;
  snap.style = w->style | (w->minimized ? WS_MINIMIZE : 0u);
  snap.exStyle = w->exStyle;
  snap.client = ClientOnDesktopLocked(*w);
  // The outer rectangle through the public call's rules (iconic spot while minimised).
  const RECT in = FrameInsets(w->style, w->exStyle, w->menu != nullptr);
  snap.outer = w->minimized ? RECT{-32000, -32000, -32000 + 160, -32000 + 28}
                            : RECT{snap.client.left - in.left, snap.client.top - in.top,
                                   snap.client.right + in.right, snap.client.bottom + in.bottom};
  snap.visible = (w->style & WS_VISIBLE) != 0;
  snap.minimized = w->minimized;
  snap.topmost = w->topmost;
  snap.active = s.active == window;
  snap.invalid = w->updatePending;
  auto at = std::find(s.zOrder.begin(), s.zOrder.end(), window);
  snap.zIndex = at == s.zOrder.end() ? -1 : static_cast<int>(at - s.zOrder.begin());
  return snap;
}

std::vector<HWND> AllWindows() {
  WindowState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  std::vector<HWND> all;
  for (const auto& [value, w] : s.windows) all.push_back(w->handle);
  std::sort(all.begin(), all.end(), [](HWND a, HWND b) {
    return reinterpret_cast<uintptr_t>(a) < reinterpret_cast<uintptr_t>(b);
  });
  return all;
}

host::Frame CaptureWindowFrame(HWND window) {
  std::lock_guard<std::mutex> lock(State().mutex);
  const host::Frame* frame = HostLocked().CaptureFrame(window);
  return frame != nullptr ? *frame : host::Frame{};
}

bool SaveWindowFramePng(HWND window, const std::string& path) {
  const host::Frame frame = CaptureWindowFrame(window);
  return host::SaveFramePng(frame, path.c_str());
}

}  // namespace test
}  // namespace plat
