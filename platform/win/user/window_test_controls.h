// Test controls of the window stand-ins: desktop mode, message-box answers, injected messages and host
// events, recorded settings (screen saver, cursor count, IME, foreground lock), window snapshots, the
// double-start lock, and frames. ResetWindow destroys every window and class, clears every setting and
// installs a fresh headless host, so each test starts alone on a 1920x1080 32-bit desktop.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/host/host.h"
#include "platform/win/kernel/win_types.h"

namespace plat::test {

void ResetWindow();

// ---- Desktop ------------------------------------------------------------------------------------
// Over the host's report: what GetSystemMetrics and GetDeviceCaps give. bits: 16, 24 or 32.
void SetDesktopSize(int width, int height);
void SetDesktopDepth(int bitsPerPixel);

// ---- Message box --------------------------------------------------------------------------------
// Every MessageBoxA answers `answer` (IDYES, IDNO, ...) until cleared; 0 clears (the host answers).
void SetMessageBoxAnswer(int answer);
struct MessageBoxCall {
  std::string text;     // Shift-JIS
  std::string caption;  // Shift-JIS
  UINT type;
  int answer;
};
std::vector<MessageBoxCall> MessageBoxCalls();

// ---- Injection ----------------------------------------------------------------------------------
// Posts a message as if the system had (no host involved).
void InjectMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Host events, delivered at the calling thread's next peek as a host would deliver them. A null
// window means the window with the focus (else the front window).
void InjectHostEvent(const host::Event& event);
void InjectKey(UINT virtualKey, bool down, HWND window = nullptr);
void InjectKeyPress(UINT virtualKey, HWND window = nullptr);  // down then up
void InjectText(const std::string& shiftJis, HWND window = nullptr);
void InjectMouseMove(int clientX, int clientY, HWND window = nullptr);
void InjectMouseButton(int button, bool down, int clientX, int clientY, HWND window = nullptr);
void InjectDrop(const std::vector<std::string>& names, HWND window = nullptr);
// N names "file0000.txt", "file0001.txt", ...
void InjectDropOfCount(int count, HWND window = nullptr);
void InjectFocus(bool gained, HWND window = nullptr);
void InjectClose(HWND window = nullptr);

// ---- Recorded settings --------------------------------------------------------------------------
bool ScreenSaverActive();
bool ScreenSaverRunning();
uint32_t ForegroundLockTimeout();
int CursorDisplayCount();
HCURSOR CurrentCursor();
bool ImeEnabled();
// AttachThreadInput attaches minus detaches.
int ThreadInputAttachDepth();

// ---- Windows ------------------------------------------------------------------------------------
struct WindowSnapshot {
  bool exists;
  std::string className;
  std::string title;
  DWORD style;    // with WS_VISIBLE / WS_MINIMIZE / WS_MAXIMIZE as the window is
  DWORD exStyle;  // with WS_EX_TOPMOST as the window is
  RECT outer;     // desktop coordinates
  RECT client;    // desktop coordinates
  bool visible;
  bool minimized;
  bool topmost;
  bool active;
  bool invalid;   // awaiting WM_PAINT
  int zIndex;     // 0 = front; -1 when not top-level
};
WindowSnapshot GetWindowSnapshot(HWND window);
// Every live window, oldest first.
std::vector<HWND> AllWindows();

// ---- Double-start detection ---------------------------------------------------------------------
// FindWindowA(class, ...) with no window of that class here finds "another process's" window.
void ForceFindWindow(bool found);
// Where the per-class lock files live. ResetWindow picks the process's own folder, whatever the
// environment says; a child process that runs no reset sees the same one when given ORBEL_RUNTIME_DIR,
// one that does is pointed at it with SetLockDirectory.
void SetLockDirectory(const std::string& directory);
std::string LockDirectory();

// ---- Frames -------------------------------------------------------------------------------------
// The host's picture of the window's client area (empty frame for none).
host::Frame CaptureWindowFrame(HWND window);
bool SaveWindowFramePng(HWND window, const std::string& path);

}  // namespace plat::test
