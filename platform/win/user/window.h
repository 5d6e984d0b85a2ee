// Windows: the class registry, window creation and destruction, styles, geometry under a simple frame
// model, showing and activation, the foreground calls, per-window data and text, FindWindowA across
// processes, and the display-change notice the display stand-in sends.
// Depends on platform/host (each top-level window has a host window). Painting and DCs are in gdi_dc.h,
// the queue in message_queue.h, cursor/menu/message box/drag-drop/system settings in their own headers.
//
// Frame model (pixels, each side unless said): WS_THICKFRAME 4; else WS_DLGFRAME (part of WS_CAPTION) 3;
// else WS_BORDER 1; plus WS_EX_CLIENTEDGE 2, WS_EX_STATICEDGE 1, WS_EX_DLGMODALFRAME 3. WS_CAPTION adds a
// caption of 19 on top (15 with WS_EX_TOOLWINDOW); an attached menu adds a bar of 19. WS_POPUP alone has
// no frame. The client area is the outer rectangle less the frame.
#pragma once

#include "platform/host/host.h"
#include "platform/win/kernel/win_types.h"

namespace plat {

// ---- Styles -------------------------------------------------------------------------------------
constexpr DWORD WS_OVERLAPPED = 0x00000000;
constexpr DWORD WS_TABSTOP = 0x00010000;
constexpr DWORD WS_MAXIMIZEBOX = 0x00010000;
constexpr DWORD WS_GROUP = 0x00020000;
constexpr DWORD WS_MINIMIZEBOX = 0x00020000;
constexpr DWORD WS_THICKFRAME = 0x00040000;
constexpr DWORD WS_SYSMENU = 0x00080000;
constexpr DWORD WS_HSCROLL = 0x00100000;
constexpr DWORD WS_VSCROLL = 0x00200000;
constexpr DWORD WS_DLGFRAME = 0x00400000;
constexpr DWORD WS_BORDER = 0x00800000;
constexpr DWORD WS_CAPTION = 0x00C00000;  // WS_BORDER | WS_DLGFRAME
constexpr DWORD WS_MAXIMIZE = 0x01000000;
constexpr DWORD WS_CLIPCHILDREN = 0x02000000;
constexpr DWORD WS_CLIPSIBLINGS = 0x04000000;
constexpr DWORD WS_DISABLED = 0x08000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr DWORD WS_MINIMIZE = 0x20000000;
constexpr DWORD WS_CHILD = 0x40000000;
constexpr DWORD WS_POPUP = 0x80000000;
constexpr DWORD WS_OVERLAPPEDWINDOW =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
constexpr DWORD WS_POPUPWINDOW = WS_POPUP | WS_BORDER | WS_SYSMENU;

constexpr DWORD WS_EX_DLGMODALFRAME = 0x00000001;
constexpr DWORD WS_EX_TOPMOST = 0x00000008;
constexpr DWORD WS_EX_ACCEPTFILES = 0x00000010;
constexpr DWORD WS_EX_TRANSPARENT = 0x00000020;
constexpr DWORD WS_EX_TOOLWINDOW = 0x00000080;
constexpr DWORD WS_EX_WINDOWEDGE = 0x00000100;
constexpr DWORD WS_EX_CLIENTEDGE = 0x00000200;
constexpr DWORD WS_EX_APPWINDOW = 0x00040000;
constexpr DWORD WS_EX_STATICEDGE = 0x00020000;

// Class styles.
constexpr UINT CS_VREDRAW = 0x0001;
constexpr UINT CS_HREDRAW = 0x0002;
constexpr UINT CS_DBLCLKS = 0x0008;
constexpr UINT CS_OWNDC = 0x0020;

// ---- Records ------------------------------------------------------------------------------------
using WNDPROC = LRESULT (*)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

struct WNDCLASSEXA {
  UINT cbSize;  // sizeof(WNDCLASSEXA)
  UINT style;
  WNDPROC lpfnWndProc;
  int cbClsExtra;
  int cbWndExtra;
  HINSTANCE hInstance;
  HICON hIcon;
  HCURSOR hCursor;
  HBRUSH hbrBackground;
  const char* lpszMenuName;
  const char* lpszClassName;
  HICON hIconSm;
};

// What WM_CREATE's lParam points to.
struct CREATESTRUCTA {
  void* lpCreateParams;
  HINSTANCE hInstance;
  HMENU hMenu;
  HWND hwndParent;
  int cy;
  int cx;
  int y;
  int x;
  LONG style;
  const char* lpszName;
  const char* lpszClass;
  DWORD dwExStyle;
};

// ---- Special values -----------------------------------------------------------------------------
constexpr int CW_USEDEFAULT = static_cast<int>(0x80000000u);
// Z-order positions of SetWindowPos.
inline const HWND HWND_TOP = nullptr;
inline const HWND HWND_BOTTOM = reinterpret_cast<HWND>(intptr_t{1});
inline const HWND HWND_TOPMOST = reinterpret_cast<HWND>(intptr_t{-1});
inline const HWND HWND_NOTOPMOST = reinterpret_cast<HWND>(intptr_t{-2});
// PostMessageA / SendMessageA to every top-level window.
inline const HWND HWND_BROADCAST = reinterpret_cast<HWND>(intptr_t{0xFFFF});
// CreateWindowExA's parent for a message-only window: never shown, not top-level, not found by
// FindWindowA; it only receives messages.
inline const HWND HWND_MESSAGE = reinterpret_cast<HWND>(intptr_t{-3});

// ShowWindow commands.
constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_NORMAL = 1;
constexpr int SW_SHOWMINIMIZED = 2;
constexpr int SW_SHOWMAXIMIZED = 3;
constexpr int SW_MAXIMIZE = 3;
constexpr int SW_SHOWNOACTIVATE = 4;
constexpr int SW_SHOW = 5;
constexpr int SW_MINIMIZE = 6;
constexpr int SW_SHOWMINNOACTIVE = 7;
constexpr int SW_SHOWNA = 8;
constexpr int SW_RESTORE = 9;
constexpr int SW_SHOWDEFAULT = 10;

// SetWindowPos flags.
constexpr UINT SWP_NOSIZE = 0x0001;
constexpr UINT SWP_NOMOVE = 0x0002;
constexpr UINT SWP_NOZORDER = 0x0004;
constexpr UINT SWP_NOREDRAW = 0x0008;
constexpr UINT SWP_NOACTIVATE = 0x0010;
constexpr UINT SWP_FRAMECHANGED = 0x0020;
constexpr UINT SWP_SHOWWINDOW = 0x0040;
constexpr UINT SWP_HIDEWINDOW = 0x0080;
constexpr UINT SWP_NOOWNERZORDER = 0x0200;

// GetWindowLongA / SetWindowLongA indices.
constexpr int GWL_WNDPROC = -4;
constexpr int GWL_HINSTANCE = -6;
constexpr int GWL_ID = -12;
constexpr int GWL_STYLE = -16;
constexpr int GWL_EXSTYLE = -20;
constexpr int GWL_USERDATA = -21;

// ---- Classes ------------------------------------------------------------------------------------
// Fails (0) on a wrong cbSize, a null procedure or name, or a name already registered (class names
// compare without ASCII case).
ATOM RegisterClassExA(const WNDCLASSEXA* windowClass);
// Fails while a window of the class exists or when the class is unknown.
BOOL UnregisterClassA(const char* className, HINSTANCE instance);

// ---- Creation and destruction -------------------------------------------------------------------
// Sends WM_CREATE synchronously (a -1 result destroys the window and fails the call), then WM_SIZE and
// WM_MOVE with the first geometry, then shows the window when the style holds WS_VISIBLE.
HWND CreateWindowExA(DWORD exStyle, const char* className, const char* windowName, DWORD style, int x,
                     int y, int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     void* param);
// Deactivates the window when it is active, sends WM_DESTROY synchronously, kills its timers and drops
// the messages still queued for it. FALSE for an unknown window.
BOOL DestroyWindow(HWND window);
BOOL IsWindow(HWND window);
BOOL IsWindowVisible(HWND window);
BOOL IsIconic(HWND window);
BOOL IsZoomed(HWND window);
// Finds a top-level window by class (and title when not null), in this process and, for a class alone,
// in other processes of this user (each process holds an advisory lock per class while it has a window
// of that class). A window of another process is returned as a handle that no other call accepts.
HWND FindWindowA(const char* className, const char* windowName);

// ---- Showing, activation and the foreground -----------------------------------------------------
// Activation changes send WM_ACTIVATEAPP(1) then WM_ACTIVATE to the window gaining it, and
// WM_ACTIVATE(WA_INACTIVE) then WM_ACTIVATEAPP(0) to the window losing it when the process loses it.
// Returns whether the window was visible before.
BOOL ShowWindow(HWND window, int command);
// Sends WM_PAINT at once when the window has an invalid area.
BOOL UpdateWindow(HWND window);
HWND GetForegroundWindow();
BOOL SetForegroundWindow(HWND window);
BOOL BringWindowToTop(HWND window);
HWND SetActiveWindow(HWND window);  // the previously active window
HWND GetActiveWindow();
HWND SetFocus(HWND window);
HWND GetFocus();
DWORD GetWindowThreadProcessId(HWND window, DWORD* processId);
// Recorded only: there is one input state per process here.
BOOL AttachThreadInput(DWORD attachThread, DWORD toThread, BOOL attach);

// ---- Geometry (desktop coordinates unless said) --------------------------------------------------
// WM_SIZE and WM_MOVE follow only a real change of the client size or position.
BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int width, int height, UINT flags);
BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint);
BOOL GetWindowRect(HWND window, RECT* rect);  // outer rectangle
BOOL GetClientRect(HWND window, RECT* rect);  // (0, 0, client width, client height)
BOOL ClientToScreen(HWND window, POINT* point);
BOOL ScreenToClient(HWND window, POINT* point);
// Grows a client rectangle into the outer one for the style (frame model above).
BOOL AdjustWindowRectEx(RECT* rect, DWORD style, BOOL hasMenu, DWORD exStyle);
// The window keeps the region and never deletes it: its owner does.
int SetWindowRgn(HWND window, HRGN region, BOOL redraw);

// ---- Window data --------------------------------------------------------------------------------
// Pointer-sized, so GWL_WNDPROC and GWL_USERDATA round-trip on 64-bit. Setting GWL_STYLE takes effect
// at once (WS_VISIBLE shows or hides without activation); WS_EX_TOPMOST follows SetWindowPos only.
// Failure returns 0.
LONG_PTR GetWindowLongA(HWND window, int index);
LONG_PTR SetWindowLongA(HWND window, int index, LONG_PTR value);  // the previous value
LRESULT CallWindowProcA(WNDPROC procedure, HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL SetWindowTextA(HWND window, const char* text);  // Shift-JIS; the host window shows it
// Copies at most size - 1 bytes and a NUL; returns the bytes copied.
int GetWindowTextA(HWND window, char* text, int size);
int GetWindowTextLengthA(HWND window);

// ---- Display changes ----------------------------------------------------------------------------
// For the display stand-in: records the desktop's new mode (the host may switch for real) and sends
// WM_DISPLAYCHANGE to every top-level window (posted to windows of other threads). Returns FALSE for
// a mode the host refuses; the notice is sent in every other case, also when nothing changed.
BOOL ApplyDisplayMode(int width, int height, int bitsPerPixel);
// Sends WM_DISPLAYCHANGE with the current desktop mode to every top-level window.
void BroadcastDisplayChange();
// For the display stand-ins: copies pixels into the host's picture of the window's client area
// at client (x, y), clipped; FALSE for an unknown window or one the host does not show.
BOOL PresentToWindow(HWND window, int x, int y, const host::FrameView& view);
// The same by reference (host::Host::LinkFrame): the pixels stay `owner`'s and are read when the
// picture is next needed, until ReleaseWindowPictureSource(owner).
BOOL LinkToWindow(HWND window, int x, int y, const host::FrameView& view, const void* owner);
// Copies in what `owner`'s linked pixels show, before they change unseen or go.
void ReleaseWindowPictureSource(const void* owner);
// A copy of the host's picture of the window's client area; FALSE when there is none.
BOOL CopyWindowPicture(HWND window, host::Frame* out);

}  // namespace plat
