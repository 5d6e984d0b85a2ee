// Helpers of the window stand-in tests: a window procedure that records every message it gets (and
// hands it to DefWindowProcA unless told otherwise), a class registered with it, and message filters.
#pragma once

#include <array>
#include <functional>
#include <vector>

#include "platform/win/user/message_queue.h"
#include "platform/win/user/window.h"

namespace windows_test {

struct Recorded {
  plat::HWND window;
  plat::UINT message;
  plat::WPARAM wParam;
  plat::LPARAM lParam;
};

inline std::vector<Recorded>& Log() {
  static std::vector<Recorded> log;
  return log;
}

// Runs before the default handling; returning true answers the message with `*result`.
using Hook = std::function<bool(plat::HWND, plat::UINT, plat::WPARAM, plat::LPARAM, plat::LRESULT* result)>;
inline Hook& CurrentHook() {
  static Hook hook;
  return hook;
}

inline plat::LRESULT RecordingProc(plat::HWND w, plat::UINT m, plat::WPARAM wp, plat::LPARAM lp) {
  Log().push_back(Recorded{w, m, wp, lp});
  if (CurrentHook()) {
    plat::LRESULT result = 0;
    if (CurrentHook()(w, m, wp, lp, &result)) return result;
  }
  return plat::DefWindowProcA(w, m, wp, lp);
}

inline constexpr const char* kClass = "OrbelTestClass";

inline void RegisterTestClass(const char* name = kClass, plat::UINT style = plat::CS_HREDRAW | plat::CS_VREDRAW) {
  plat::WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.style = style;
  wc.lpfnWndProc = &RecordingProc;
  wc.lpszClassName = name;
  plat::RegisterClassExA(&wc);
}

// A window of the recording class (or `className`), with no parent, menu or creation data.
inline plat::HWND MakeWindow(const char* title, plat::DWORD style, int x, int y, int width, int height,
                             plat::DWORD exStyle = 0, const char* className = kClass) {
  return plat::CreateWindowExA(exStyle, className, title, style, x, y, width, height, nullptr, nullptr, nullptr,
                               nullptr);
}

// A rectangle as {left, top, right, bottom}, compared and printed whole.
using Edges = std::array<long, 4>;
inline Edges EdgesOf(const plat::RECT& r) { return {r.left, r.top, r.right, r.bottom}; }
inline Edges ClientEdges(plat::HWND w) {
  plat::RECT r{};
  plat::GetClientRect(w, &r);
  return EdgesOf(r);
}
inline Edges WindowEdges(plat::HWND w) {
  plat::RECT r{};
  plat::GetWindowRect(w, &r);
  return EdgesOf(r);
}

// The recorded message numbers of `window` (any window when null), in order, among `wanted` (all when
// empty).
inline std::vector<plat::UINT> Messages(plat::HWND window = nullptr, std::vector<plat::UINT> wanted = {}) {
  std::vector<plat::UINT> out;
  for (const Recorded& r : Log()) {
    if (window != nullptr && r.window != window) continue;
    bool keep = wanted.empty();
    for (plat::UINT m : wanted) keep = keep || m == r.message;
    if (keep) out.push_back(r.message);
  }
  return out;
}

inline std::vector<Recorded> RecordsOf(plat::UINT message) {
  std::vector<Recorded> out;
  for (const Recorded& r : Log()) {
    if (r.message == message) out.push_back(r);
  }
  return out;
}

// Takes and dispatches every waiting message (translated); returns how many.
inline int Drain() {
  plat::MSG msg;
  int n = 0;
  while (plat::PeekMessageA(&msg, nullptr, 0, 0, plat::PM_REMOVE)) {
    plat::TranslateMessage(&msg);
    plat::DispatchMessageA(&msg);
    ++n;
  }
  return n;
}

inline void ClearRecording() {
  Log().clear();
  CurrentHook() = nullptr;
}

}  // namespace windows_test
