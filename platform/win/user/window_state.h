// The window stand-in's own state, shared by its files (window_*.cpp, message_queue*.cpp, gdi_dc.cpp):
// the class registry, the window records, z-order and activation, the desktop mode, and the helpers the
// files call on each other. Not for the library; tests reach it through window_test_controls.h.
// Locking: one mutex guards the whole record; it is never held while a window procedure runs or while
// the host pumps events.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/host/host.h"
#include "platform/win/user/window.h"

namespace plat::winstate {

struct WindowClass {
  std::string name;  // as registered
  std::string key;   // the name with ASCII letters upper-cased (lead/trail bytes kept)
  UINT style = 0;
  WNDPROC proc = nullptr;
  HINSTANCE instance = nullptr;
  HICON icon = nullptr;
  HCURSOR cursor = nullptr;
  HBRUSH background = nullptr;
  ATOM atom = 0;
  int windowCount = 0;
};

struct Window {
  HWND handle = nullptr;
  std::shared_ptr<WindowClass> wndClass;
  WNDPROC proc = nullptr;
  std::string title;
  DWORD style = 0;
  DWORD exStyle = 0;  // WS_EX_TOPMOST mirrors `topmost`
  RECT outer{};       // desktop coordinates (a child's: its parent's client coordinates)
  RECT normal{};      // the rectangle to restore to while maximised
  HWND parent = nullptr;
  HMENU menu = nullptr;
  HINSTANCE instance = nullptr;
  LONG_PTR userData = 0;
  LONG_PTR id = 0;
  DWORD threadId = 0;
  bool topmost = false;
  bool minimized = false;
  bool hasHostWindow = false;
  bool destroying = false;
  bool messageOnly = false;  // created under HWND_MESSAGE: no host window, no z-order, no class lock
  // What WM_SIZE / WM_MOVE last reported, so that only real changes are sent.
  bool sizeReported = false;
  bool positionReported = false;
  SIZE reportedSize{};
  POINT reportedPos{};
  // Invalid client area awaiting WM_PAINT (client coordinates).
  bool updatePending = false;
  RECT updateRect{};
  HRGN region = nullptr;
};

struct WindowState {
  std::mutex mutex;
  std::unordered_map<uintptr_t, std::shared_ptr<Window>> windows;
  std::unordered_map<std::string, std::shared_ptr<WindowClass>> classes;  // by key
  std::vector<HWND> zOrder;   // top-level windows, front first
  uintptr_t nextHandle = 0;   // handles are never reused
  ATOM nextAtom = 0xC000;
  HWND active = nullptr;      // the active window; null when the process is not active
  HWND focus = nullptr;
  bool listening = false;     // registered as the host's event listener
  // Desktop mode set by a test (over the host's report); width 0 = none.
  host::DesktopMode desktopOverride{0, 0, 0};
};

WindowState& State();

// Handle <-> record. Lookup takes the lock; the *Locked forms expect it held.
std::shared_ptr<Window> Lookup(HWND window);
std::shared_ptr<Window> LookupLocked(HWND window);
// The host, with this stand-in registered as its event listener.
host::Host& HostLocked();
host::DesktopMode DesktopLocked();

// The class-name key: ASCII letters upper-cased, Shift-JIS pairs left alone.
std::string ClassKey(const char* name);

// ---- Frame model (window_geometry.cpp) ----------------------------------------------------------
// The frame around the client area: left, top, right, bottom insets in pixels.
RECT FrameInsets(DWORD style, DWORD exStyle, bool hasMenu);
RECT ClientOnDesktopLocked(const Window& w);  // empty at the iconic spot while minimised
// Sends WM_SIZE / WM_MOVE for what changed since the last report and tells the host. Lock not held.
void ReportGeometry(HWND window, bool tellHost);

// ---- Activation (window_show.cpp) ---------------------------------------------------------------
// Makes `window` the active window (null: the process loses activation) and sends the messages.
void Activate(HWND window);
// The front visible, unminimised top-level window other than `leaving`, or null.
HWND NextActiveLocked(HWND leaving);
// Moves a top-level window to the front of its band (topmost windows first).
void RaiseLocked(Window& w);

// ---- Painting (window_paint.cpp) ----------------------------------------------------------------
void InvalidateLocked(Window& w, const RECT* clientRect);
// A visible window of `threadId` with an invalid area matching the peek filter, or null.
HWND FindWindowToPaint(DWORD threadId, HWND filter);

// ---- Cross-process finding (window_find.cpp) ----------------------------------------------------
// Holds the class's lock file while the first window of the class exists; released with the last.
void AcquireClassLock(const std::string& key);
void ReleaseClassLock(const std::string& key);
bool IsForeignHandle(HWND window);
void ResetFind();

// ---- Queue hooks (message_queue.cpp) -------------------------------------------------------------
// Makes sure the calling thread has a queue (windows and PostThreadMessageA need one).
void EnsureThreadQueue();
// Drops the queued messages and timers of a destroyed window.
void ForgetWindowMessages(DWORD threadId, HWND window);
// Delivers host events injected by tests, then the host's own. Skipped when already pumping.
void PumpHostEvents();
void ResetQueues();
// A service that makes its messages on demand (the socket notices) registers one hook; it runs at the
// start of every peek, on the peeking thread, with the peek's window filter. Null removes it.
using PeekHook = void (*)(HWND filter);
void SetPeekHook(PeekHook hook);

// ---- Host events (window_host_events.cpp) --------------------------------------------------------
void OnHostEvent(const host::Event& event);
void QueueInjectedEvent(const host::Event& event);
void DeliverInjectedEvents();
void ResetHostEvents();

// ---- Others' resets (called by the test controls) ------------------------------------------------
void ResetCursor();
void ResetMenus();
void ResetMessageBox();
void ResetDragDrop();
void ResetSystemSettings();
void ResetKeyState();
// Key state (user_keys.cpp): host reports and queue hand-outs.
void NoteAsyncKey(UINT virtualKey, bool down);
void NoteKeyMessage(UINT message, WPARAM virtualKey);
// Cursor (cursor.cpp): the host's pointer position in desktop coordinates.
void NoteCursorPos(int x, int y);
POINT CursorPos();

}  // namespace plat::winstate
