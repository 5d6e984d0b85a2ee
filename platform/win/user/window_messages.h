// Window message numbers and the codes their parameters carry, with their documented values: the core
// window messages, activation, sizing, keyboard and mouse, IME, menu and system commands, the message
// queue's peek flags, and the private notices the library posts to itself.
// Constants only; the calls live in window.h and message_queue.h, virtual-key codes in user_keys.h.
#pragma once

#include "platform/win/user/user_keys.h"
#include "platform/win/kernel/win_types.h"

namespace plat {

// ---- Window life, geometry and painting ---------------------------------------------------------
constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_MOVE = 0x0003;  // lParam: client x (low word), y (high word), signed
constexpr UINT WM_SIZE = 0x0005;  // wParam: SIZE_*; lParam: client width (low), height (high)
constexpr UINT WM_ACTIVATE = 0x0006;  // wParam: WA_* (low word), minimised (high word); lParam: other
constexpr UINT WM_SETFOCUS = 0x0007;
constexpr UINT WM_KILLFOCUS = 0x0008;
constexpr UINT WM_SETTEXT = 0x000C;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;  // wParam: exit code
constexpr UINT WM_ERASEBKGND = 0x0014;
constexpr UINT WM_SHOWWINDOW = 0x0018;
constexpr UINT WM_ACTIVATEAPP = 0x001C;  // wParam: 1 activated, 0 deactivated
constexpr UINT WM_SETCURSOR = 0x0020;    // wParam: the window under the cursor
constexpr UINT WM_DISPLAYCHANGE = 0x007E;  // wParam: bits per pixel; lParam: width (low), height (high)

// ---- Keyboard -----------------------------------------------------------------------------------
// Key messages: wParam is the virtual-key code; lParam holds the repeat count (bits 0-15), scan code
// (16-23), extended-key flag (24), Alt held (29), previous key state (30) and transition (31).
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_KEYUP = 0x0101;
constexpr UINT WM_CHAR = 0x0102;  // wParam: one character byte (Shift-JIS text arrives byte by byte)
constexpr UINT WM_SYSKEYDOWN = 0x0104;
constexpr UINT WM_SYSKEYUP = 0x0105;
constexpr UINT WM_SYSCHAR = 0x0106;

// ---- IME ----------------------------------------------------------------------------------------
constexpr UINT WM_IME_STARTCOMPOSITION = 0x010D;
constexpr UINT WM_IME_ENDCOMPOSITION = 0x010E;
constexpr UINT WM_IME_COMPOSITION = 0x010F;
constexpr UINT WM_IME_SETCONTEXT = 0x0281;
constexpr UINT WM_IME_NOTIFY = 0x0282;

// ---- Commands and timers ------------------------------------------------------------------------
constexpr UINT WM_COMMAND = 0x0111;     // wParam: command id (low word)
constexpr UINT WM_SYSCOMMAND = 0x0112;  // wParam: SC_*
constexpr UINT WM_TIMER = 0x0113;       // wParam: timer id; lParam: TIMERPROC or 0

// ---- Mouse --------------------------------------------------------------------------------------
// Mouse messages: wParam holds MK_* flags; lParam the client x (low word) and y (high word), signed.
constexpr UINT WM_MOUSEFIRST = 0x0200;
constexpr UINT WM_MOUSEMOVE = 0x0200;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONUP = 0x0202;
constexpr UINT WM_LBUTTONDBLCLK = 0x0203;
constexpr UINT WM_RBUTTONDOWN = 0x0204;
constexpr UINT WM_RBUTTONUP = 0x0205;
constexpr UINT WM_RBUTTONDBLCLK = 0x0206;
constexpr UINT WM_MBUTTONDOWN = 0x0207;
constexpr UINT WM_MBUTTONUP = 0x0208;
constexpr UINT WM_MBUTTONDBLCLK = 0x0209;
constexpr UINT WM_MOUSEWHEEL = 0x020A;  // wParam high word: signed delta in WHEEL_DELTA units
constexpr UINT WM_MOUSELAST = 0x020A;
constexpr UINT WM_KEYFIRST = 0x0100;
constexpr UINT WM_KEYLAST = 0x0109;

// ---- Interactive sizing and shell ---------------------------------------------------------------
constexpr UINT WM_SIZING = 0x0214;  // wParam: WMSZ_*; lParam: RECT* (outer, desktop coordinates)
constexpr UINT WM_MOVING = 0x0216;  // lParam: RECT*
constexpr UINT WM_DROPFILES = 0x0233;  // wParam: HDROP

// ---- Multimedia and private messages ------------------------------------------------------------
constexpr UINT MM_MCINOTIFY = 0x03B9;
constexpr UINT WM_USER = 0x0400;
constexpr UINT WM_APP = 0x8000;
// Tool-bar common control: delete the button at index wParam.
constexpr UINT TB_DELETEBUTTON = WM_USER + 22;

// ---- Parameter codes ----------------------------------------------------------------------------
// WM_ACTIVATE low word.
constexpr WORD WA_INACTIVE = 0;
constexpr WORD WA_ACTIVE = 1;
constexpr WORD WA_CLICKACTIVE = 2;

// WM_SIZE wParam.
constexpr WPARAM SIZE_RESTORED = 0;
constexpr WPARAM SIZE_MINIMIZED = 1;
constexpr WPARAM SIZE_MAXIMIZED = 2;

// WM_SIZING wParam: the edge or corner being dragged.
constexpr WPARAM WMSZ_LEFT = 1;
constexpr WPARAM WMSZ_RIGHT = 2;
constexpr WPARAM WMSZ_TOP = 3;
constexpr WPARAM WMSZ_TOPLEFT = 4;
constexpr WPARAM WMSZ_TOPRIGHT = 5;
constexpr WPARAM WMSZ_BOTTOM = 6;
constexpr WPARAM WMSZ_BOTTOMLEFT = 7;
constexpr WPARAM WMSZ_BOTTOMRIGHT = 8;

// WM_SYSCOMMAND wParam (the low four bits are reserved and masked off by receivers).
constexpr WPARAM SC_SIZE = 0xF000;
constexpr WPARAM SC_MOVE = 0xF010;
constexpr WPARAM SC_MINIMIZE = 0xF020;
constexpr WPARAM SC_MAXIMIZE = 0xF030;
constexpr WPARAM SC_CLOSE = 0xF060;
constexpr WPARAM SC_KEYMENU = 0xF100;
constexpr WPARAM SC_RESTORE = 0xF120;
constexpr WPARAM SC_SCREENSAVE = 0xF140;
constexpr WPARAM SC_MONITORPOWER = 0xF170;

// Mouse message wParam flags.
constexpr WPARAM MK_LBUTTON = 0x0001;
constexpr WPARAM MK_RBUTTON = 0x0002;
constexpr WPARAM MK_SHIFT = 0x0004;
constexpr WPARAM MK_CONTROL = 0x0008;
constexpr WPARAM MK_MBUTTON = 0x0010;
constexpr int WHEEL_DELTA = 120;

// PeekMessageA removal flags.
constexpr UINT PM_NOREMOVE = 0x0000;
constexpr UINT PM_REMOVE = 0x0001;
constexpr UINT PM_NOYIELD = 0x0002;

}  // namespace plat
