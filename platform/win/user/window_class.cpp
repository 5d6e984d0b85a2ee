// The window stand-in's state record with its lookups, and the class registry (RegisterClassExA,
// UnregisterClassA). Class names compare without ASCII case, as the original does.
#include "platform/win/user/window_state.h"

#include <cstring>

namespace plat {
namespace winstate {

WindowState& State() {
  // Never destroyed: threads and exit handlers may use it until the process ends.
  static auto* state = new WindowState;
  return *state;
}

std::shared_ptr<Window> LookupLocked(HWND window) {
  WindowState& s = State();
  auto it = s.windows.find(reinterpret_cast<uintptr_t>(window));
  return it == s.windows.end() ? nullptr : it->second;
}

std::shared_ptr<Window> Lookup(HWND window) {
  if (window == nullptr) return nullptr;
  std::lock_guard<std::mutex> lock(State().mutex);
  return LookupLocked(window);
}

host::Host& HostLocked() {
  WindowState& s = State();
  if (!s.listening) {
    host::AddEventListener(&OnHostEvent);
    s.listening = true;
  }
  return host::Current();
}

host::DesktopMode DesktopLocked() {
  WindowState& s = State();
  host::DesktopMode mode = HostLocked().Desktop();
  if (s.desktopOverride.width > 0) {
    mode.width = s.desktopOverride.width;
    mode.height = s.desktopOverride.height;
  }
  if (s.desktopOverride.bitsPerPixel > 0) mode.bitsPerPixel = s.desktopOverride.bitsPerPixel;
  return mode;
}

std::string ClassKey(const char* name) {
  std::string key = name != nullptr ? name : "";
  for (size_t i = 0; i < key.size(); ++i) {
    const auto c = static_cast<unsigned char>(key[i]);
    if ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) {
      ++i;  // a Shift-JIS pair: its trail byte may look like a letter
    } else if (c >= 'a' && c <= 'z') {
      key[i] = static_cast<char>(c - 'a' + 'A');
    }
  }
  return key;
}

}  // namespace winstate

using namespace winstate;

ATOM RegisterClassExA(const WNDCLASSEXA* windowClass) {
  if (windowClass == nullptr || windowClass->cbSize != sizeof(WNDCLASSEXA) ||
      windowClass->lpfnWndProc == nullptr || windowClass->lpszClassName == nullptr ||
      windowClass->lpszClassName[0] == '\0' || windowClass->cbClsExtra < 0 || windowClass->cbWndExtra < 0)
    return 0;
  WindowState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  std::string key = ClassKey(windowClass->lpszClassName);
  if (s.classes.count(key) != 0) return 0;
  auto record = std::make_shared<WindowClass>();
  record->name = windowClass->lpszClassName;
  record->key = key;
  record->style = windowClass->style;
  record->proc = windowClass->lpfnWndProc;
  record->instance = windowClass->hInstance;
  record->icon = windowClass->hIcon;
  record->cursor = windowClass->hCursor;
  record->background = windowClass->hbrBackground;
  record->atom = s.nextAtom == 0xFFFF ? 0xC000 : s.nextAtom++;
  const ATOM atom = record->atom;
  s.classes.emplace(std::move(key), std::move(record));
  return atom;
}

BOOL UnregisterClassA(const char* className, HINSTANCE) {
  if (className == nullptr) return FALSE;
  WindowState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  auto it = s.classes.find(ClassKey(className));
  if (it == s.classes.end() || it->second->windowCount > 0) return FALSE;
  s.classes.erase(it);
  return TRUE;
}

}  // namespace plat
