// Painting: the invalid area of each window, InvalidateRect / ValidateRect, UpdateWindow (WM_PAINT sent
// at once), BeginPaint / EndPaint, and the search for a window to paint that the queue runs when it has
// nothing posted. A window becomes invalid when shown, when its size changes (CS_HREDRAW / CS_VREDRAW)
// and when the host says its picture was exposed.
#include <algorithm>
#include <cstring>

#include "platform/win/gdi/gdi_dc.h"
#include "platform/win/user/message_queue.h"
#include "platform/win/user/window_state.h"

namespace plat {
namespace winstate {
namespace {

RECT ClientBoundsLocked(const Window& w) {
  const RECT c = ClientOnDesktopLocked(w);
  return RECT{0, 0, c.right - c.left, c.bottom - c.top};
}

bool Empty(const RECT& r) { return r.right <= r.left || r.bottom <= r.top; }

}  // namespace

void InvalidateLocked(Window& w, const RECT* clientRect) {
  const RECT bounds = ClientBoundsLocked(w);
  RECT r = clientRect != nullptr ? *clientRect : bounds;
  r.left = std::max(r.left, bounds.left);
  r.top = std::max(r.top, bounds.top);
  r.right = std::min(r.right, bounds.right);
  r.bottom = std::min(r.bottom, bounds.bottom);
  if (Empty(r)) {
    // An empty client area still needs its WM_PAINT after a show or a resize.
    if (clientRect != nullptr) return;
    r = bounds;
  }
  if (!w.updatePending) {
    w.updateRect = r;
    w.updatePending = true;
    return;
  }
  w.updateRect.left = std::min(w.updateRect.left, r.left);
  w.updateRect.top = std::min(w.updateRect.top, r.top);
  w.updateRect.right = std::max(w.updateRect.right, r.right);
  w.updateRect.bottom = std::max(w.updateRect.bottom, r.bottom);
}

HWND FindWindowToPaint(DWORD threadId, HWND filter) {
  if (filter == reinterpret_cast<HWND>(intptr_t{-1})) return nullptr;
  WindowState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  if (filter != nullptr) {
    auto w = LookupLocked(filter);
    return w && w->threadId == threadId && w->updatePending && (w->style & WS_VISIBLE) && !w->destroying
               ? filter
               : nullptr;
  }
  for (const auto& [value, w] : s.windows) {
    if (w->threadId == threadId && w->updatePending && (w->style & WS_VISIBLE) && !w->destroying)
      return w->handle;
  }
  return nullptr;
}

}  // namespace winstate

using namespace winstate;

BOOL InvalidateRect(HWND window, const RECT* rect, BOOL) {
  std::lock_guard<std::mutex> lock(State().mutex);
  auto w = LookupLocked(window);
  if (!w) return FALSE;
  InvalidateLocked(*w, rect);
  return TRUE;
}

BOOL ValidateRect(HWND window, const RECT* rect) {
  std::lock_guard<std::mutex> lock(State().mutex);
  auto w = LookupLocked(window);
  if (!w) return FALSE;
  // A partial validation that leaves part of the area invalid keeps the whole bounding box: the next
  // paint covers a little more than needed, never less.
  if (rect == nullptr ||
      (rect->left <= w->updateRect.left && rect->top <= w->updateRect.top &&
       rect->right >= w->updateRect.right && rect->bottom >= w->updateRect.bottom))
    w->updatePending = false;
  return TRUE;
}

BOOL UpdateWindow(HWND window) {
  bool paint;
  {
    std::lock_guard<std::mutex> lock(State().mutex);
    auto w = LookupLocked(window);
    if (!w) return FALSE;
    paint = w->updatePending && (w->style & WS_VISIBLE);
  }
  if (paint) SendMessageA(window, WM_PAINT, 0, 0);
  return TRUE;
}

HDC BeginPaint(HWND window, PAINTSTRUCT* paint) {
  if (paint == nullptr) return nullptr;
  RECT area;
  {
    std::lock_guard<std::mutex> lock(State().mutex);
    auto w = LookupLocked(window);
    if (!w) return nullptr;
    area = w->updatePending ? w->updateRect : RECT{0, 0, 0, 0};
    w->updatePending = false;
  }
  std::memset(paint, 0, sizeof *paint);
  paint->hdc = GetDC(window);
  paint->fErase = FALSE;
  paint->rcPaint = area;
  return paint->hdc;
}

BOOL EndPaint(HWND window, const PAINTSTRUCT* paint) {
  if (paint == nullptr) return FALSE;
  ReleaseDC(window, paint->hdc);
  return TRUE;
}

}  // namespace plat
