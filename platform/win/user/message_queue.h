// The message queue: one queue per thread holding posted messages, with WM_QUIT, WM_PAINT and WM_TIMER
// made when they are looked for; posting, sending, peeking, translating and dispatching; the default
// window procedure; window timers on the plat clock.
// Every peek first lets the host deliver its pending events (keys, mouse, focus, close, drops), which
// arrive as posted or sent window messages. Peeks nest: a window procedure may peek and dispatch.
//
// Retrieval order: messages sent from other threads are delivered first (their procedures run inside
// the peek), then posted messages in posting order, then WM_QUIT once nothing posted matches, then
// WM_PAINT for an invalid window, then WM_TIMER for a due timer.
//
// Characters: TranslateMessage is the one road from keys to WM_CHAR / WM_SYSCHAR (US layout, with
// Shift, Caps Lock and Ctrl); the host posts WM_CHAR itself only for text no key produces (IME text),
// byte by byte in Shift-JIS.
#pragma once

#include "platform/win/user/window.h"
#include "platform/win/user/window_messages.h"
#include "platform/win/kernel/win_types.h"

namespace plat {

struct MSG {
  HWND hwnd;  // null for thread messages
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;  // timeGetTime() when posted
  POINT pt;    // cursor position (desktop) when posted
};

using TIMERPROC = void (*)(HWND window, UINT message, UINT_PTR id, DWORD time);

// Filters: window null = every message of the calling thread; (HWND)-1 = thread messages only (those
// posted with a null window, and WM_QUIT); a window = messages of that window. min = max = 0 takes every
// message number, otherwise min <= number <= max. remove: PM_NOREMOVE or PM_REMOVE.
BOOL PeekMessageA(MSG* msg, HWND window, UINT filterMin, UINT filterMax, UINT remove);
// Waits (on the plat clock) for a message; FALSE when it is WM_QUIT, -1 on a null msg.
BOOL GetMessageA(MSG* msg, HWND window, UINT filterMin, UINT filterMax);

// Posts to the window's thread; a null window posts a thread message to the calling thread;
// HWND_BROADCAST posts to every top-level window. FALSE for an unknown window.
BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// FALSE when the thread has no queue (it never created a window nor looked at its queue).
BOOL PostThreadMessageA(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam);
// Calls the window procedure directly on the window's thread; from another thread it waits until that
// thread next looks at its queue. 0 for an unknown window.
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// WM_QUIT is seen once the calling thread's posted messages are taken.
void PostQuitMessage(int exitCode);

// Posts WM_CHAR (WM_SYSCHAR for WM_SYSKEYDOWN) ahead of the other posted messages when the key makes a
// character. Nonzero for every key message, as the original call.
BOOL TranslateMessage(const MSG* msg);
// Calls the procedure of msg->hwnd (or a WM_TIMER's TIMERPROC); 0 for thread messages.
LRESULT DispatchMessageA(const MSG* msg);
// WM_CLOSE destroys the window; WM_SYSCOMMAND SC_CLOSE sends WM_CLOSE, SC_MINIMIZE / SC_MAXIMIZE /
// SC_RESTORE show the window so; WM_PAINT validates the window. Everything else returns 0.
LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// No accelerator tables or modeless dialogs exist here: both return 0.
int TranslateAcceleratorA(HWND window, HACCEL table, MSG* msg);
BOOL IsDialogMessageA(HWND dialog, MSG* msg);

// Window timers. With a window the id is the caller's (replacing a timer of the same id); without one a
// new id is returned. Periods below 10 ms count as 10 ms. 0 on failure.
UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapseMs, TIMERPROC procedure);
BOOL KillTimer(HWND window, UINT_PTR id);

}  // namespace plat
