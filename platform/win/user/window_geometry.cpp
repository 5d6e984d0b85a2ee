// Window geometry: the frame model (see window.h), AdjustWindowRectEx, the outer and client rectangles,
// coordinate conversion, SetWindowPos / MoveWindow, and the WM_SIZE / WM_MOVE reports, which are sent
// only when the client size or position really changed since the last report.
#include <algorithm>

#include "platform/win/user/message_queue.h"
#include "platform/win/user/window_state.h"

namespace plat {
namespace winstate {
namespace {

// Frame pieces in pixels.
constexpr int kThickFrame = 4;
constexpr int kDialogFrame = 3;
constexpr int kThinBorder = 1;
constexpr int kClientEdge = 2;
constexpr int kStaticEdge = 1;
constexpr int kCaption = 19;
constexpr int kToolCaption = 15;
constexpr int kMenuBar = 19;
// Where a minimised window sits, and its size.
constexpr int kIconicX = -32000, kIconicY = -32000, kIconicWidth = 160, kIconicHeight = 28;

// The desktop position of a child's parent client area (0, 0 for a top-level window).
POINT ParentOriginLocked(const Window& w) {
  if (!(w.style & WS_CHILD) || w.parent == nullptr) return POINT{0, 0};
  auto parent = LookupLocked(w.parent);
  if (!parent) return POINT{0, 0};
  const RECT client = ClientOnDesktopLocked(*parent);
  return POINT{client.left, client.top};
}

RECT OuterOnDesktopLocked(const Window& w) {
  if (w.minimized) return RECT{kIconicX, kIconicY, kIconicX + kIconicWidth, kIconicY + kIconicHeight};
  const POINT origin = ParentOriginLocked(w);
  return RECT{w.outer.left + origin.x, w.outer.top + origin.y, w.outer.right + origin.x,
              w.outer.bottom + origin.y};
}

}  // namespace

RECT FrameInsets(DWORD style, DWORD exStyle, bool hasMenu) {
  // An overlapped window always has a caption and border, whatever its style says.
  if (!(style & (WS_POPUP | WS_CHILD))) style |= WS_CAPTION;
  int side = 0;
  if (style & WS_THICKFRAME) side = kThickFrame;
  else if ((style & WS_DLGFRAME) || (exStyle & WS_EX_DLGMODALFRAME)) side = kDialogFrame;
  else if (style & WS_BORDER) side = kThinBorder;
  if (exStyle & WS_EX_CLIENTEDGE) side += kClientEdge;
  if (exStyle & WS_EX_STATICEDGE) side += kStaticEdge;
  RECT insets{side, side, side, side};
  if ((style & WS_CAPTION) == WS_CAPTION) insets.top += (exStyle & WS_EX_TOOLWINDOW) ? kToolCaption : kCaption;
  if (hasMenu) insets.top += kMenuBar;
  return insets;
}

RECT ClientOnDesktopLocked(const Window& w) {
  if (w.minimized) return RECT{kIconicX, kIconicY, kIconicX, kIconicY};
  const RECT outer = OuterOnDesktopLocked(w);
  const RECT in = FrameInsets(w.style, w.exStyle, w.menu != nullptr);
  RECT client{outer.left + in.left, outer.top + in.top, outer.right - in.right, outer.bottom - in.bottom};
  client.right = std::max(client.right, client.left);
  client.bottom = std::max(client.bottom, client.top);
  return client;
}

void ReportGeometry(HWND window, bool tellHost) {
  WindowState& s = State();
  WPARAM sizeKind;
  LPARAM sizeParam = 0;
  bool sendSize = false;
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    auto w = LookupLocked(window);
    if (!w) return;
    const RECT client = ClientOnDesktopLocked(*w);
    if (tellHost && w->hasHostWindow && !w->minimized) HostLocked().MoveHostWindow(window, client);
    const SIZE size{client.right - client.left, client.bottom - client.top};
    if (!w->sizeReported || size.cx != w->reportedSize.cx || size.cy != w->reportedSize.cy) {
      if (w->sizeReported && (w->wndClass->style & (CS_HREDRAW | CS_VREDRAW))) InvalidateLocked(*w, nullptr);
      w->sizeReported = true;
      w->reportedSize = size;
      sendSize = true;
      sizeKind = w->minimized ? SIZE_MINIMIZED : (w->style & WS_MAXIMIZE) ? SIZE_MAXIMIZED : SIZE_RESTORED;
      sizeParam = MAKELPARAM(size.cx, size.cy);
    }
  }
  if (sendSize) SendMessageA(window, WM_SIZE, sizeKind, sizeParam);

  // The position is read after WM_SIZE: its handler may have moved the window already.
  LPARAM moveParam = 0;
  bool sendMove = false;
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    auto w = LookupLocked(window);
    if (!w) return;
    const RECT client = ClientOnDesktopLocked(*w);
    const POINT origin = ParentOriginLocked(*w);
    const POINT pos{client.left - origin.x, client.top - origin.y};
    if (!w->positionReported || pos.x != w->reportedPos.x || pos.y != w->reportedPos.y) {
      w->positionReported = true;
      w->reportedPos = pos;
      sendMove = true;
      moveParam = MAKELPARAM(pos.x, pos.y);
    }
  }
  if (sendMove) SendMessageA(window, WM_MOVE, 0, moveParam);
}

}  // namespace winstate

using namespace winstate;

BOOL AdjustWindowRectEx(RECT* rect, DWORD style, BOOL hasMenu, DWORD exStyle) {
  if (rect == nullptr) return FALSE;
  const RECT in = FrameInsets(style, exStyle, hasMenu != FALSE);
  rect->left -= in.left;
  rect->top -= in.top;
  rect->right += in.right;
  rect->bottom += in.bottom;
  return TRUE;
}

BOOL GetWindowRect(HWND window, RECT* rect) {
  if (rect == nullptr) return FALSE;
  std::lock_guard<std::mutex> lock(State().mutex);
  auto w = LookupLocked(window);
  if (!w) return FALSE;
  *rect = OuterOnDesktopLocked(*w);
  return TRUE;
}

BOOL GetClientRect(HWND window, RECT* rect) {
  if (rect == nullptr) return FALSE;
  std::lock_guard<std::mutex> lock(State().mutex);
  auto w = LookupLocked(window);
  if (!w) return FALSE;
  const RECT client = ClientOnDesktopLocked(*w);
  *rect = RECT{0, 0, client.right - client.left, client.bottom - client.top};
  return TRUE;
}

BOOL ClientToScreen(HWND window, POINT* point) {
  if (point == nullptr) return FALSE;
  std::lock_guard<std::mutex> lock(State().mutex);
  auto w = LookupLocked(window);
  if (!w) return FALSE;
  const RECT client = ClientOnDesktopLocked(*w);
  point->x += client.left;
  point->y += client.top;
  return TRUE;
}

BOOL ScreenToClient(HWND window, POINT* point) {
  if (point == nullptr) return FALSE;
  std::lock_guard<std::mutex> lock(State().mutex);
  auto w = LookupLocked(window);
  if (!w) return FALSE;
  const RECT client = ClientOnDesktopLocked(*w);
  point->x -= client.left;
  point->y -= client.top;
  return TRUE;
}

BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int width, int height, UINT flags) {
  WindowState& s = State();
  bool moved = false, show = false, hide = false, activate = false;
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    auto w = LookupLocked(window);
    if (!w) return FALSE;
    const bool topLevel = !(w->style & WS_CHILD);
    // A minimised window keeps its restored place: the request only concerns its icon.
    if (!w->minimized && (flags & (SWP_NOMOVE | SWP_NOSIZE)) != (SWP_NOMOVE | SWP_NOSIZE)) {
      RECT outer = w->outer;
      if (!(flags & SWP_NOMOVE)) {
        outer = RECT{x, y, x + (outer.right - outer.left), y + (outer.bottom - outer.top)};
      }
      if (!(flags & SWP_NOSIZE)) {
        outer.right = outer.left + std::max(width, 0);
        outer.bottom = outer.top + std::max(height, 0);
      }
      moved = outer.left != w->outer.left || outer.top != w->outer.top || outer.right != w->outer.right ||
              outer.bottom != w->outer.bottom;
      w->outer = outer;
    }
    if (topLevel && !(flags & SWP_NOZORDER)) {
      const bool wasTopmost = w->topmost;
      if (insertAfter == HWND_TOPMOST) w->topmost = true;
      if (insertAfter == HWND_NOTOPMOST) w->topmost = false;
      w->exStyle = w->topmost ? (w->exStyle | WS_EX_TOPMOST) : (w->exStyle & ~WS_EX_TOPMOST);
      if (insertAfter == HWND_BOTTOM) {
        s.zOrder.erase(std::remove(s.zOrder.begin(), s.zOrder.end(), window), s.zOrder.end());
        s.zOrder.push_back(window);
      } else {
        RaiseLocked(*w);
        if (w->hasHostWindow) HostLocked().RaiseHostWindow(window);
      }
      if (wasTopmost != w->topmost && w->hasHostWindow) HostLocked().SetHostWindowTopmost(window, w->topmost);
    }
    show = (flags & SWP_SHOWWINDOW) && !(w->style & WS_VISIBLE);
    hide = (flags & SWP_HIDEWINDOW) && (w->style & WS_VISIBLE);
    activate = topLevel && !(flags & SWP_NOACTIVATE) && !hide && ((w->style & WS_VISIBLE) || show);
    if (moved && !(flags & SWP_NOREDRAW)) InvalidateLocked(*w, nullptr);
  }
  if (moved) ReportGeometry(window, true);
  if (show) ShowWindow(window, (flags & SWP_NOACTIVATE) ? SW_SHOWNA : SW_SHOW);
  if (hide) ShowWindow(window, SW_HIDE);
  if (activate && IsWindow(window)) Activate(window);
  return TRUE;
}

BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint) {
  return SetWindowPos(window, nullptr, x, y, width, height,
                      SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0u : SWP_NOREDRAW));
}

}  // namespace plat
