// Window creation and destruction: CreateWindowExA (WM_CREATE, then the first WM_SIZE / WM_MOVE, then
// the show when WS_VISIBLE is asked for), DestroyWindow (deactivation, WM_DESTROY, children, clean-up),
// and the state queries IsWindow / IsWindowVisible / IsIconic / IsZoomed.
#include <algorithm>

#include "platform/win/user/message_queue.h"
#include "platform/win/kernel/sync.h"
#include "platform/win/user/window_state.h"

namespace plat {
namespace {

using namespace winstate;

constexpr uintptr_t kFirstHandle = 0x00010010;
constexpr uintptr_t kHandleStep = 4;
// Where CW_USEDEFAULT puts and sizes a window (outer, desktop pixels).
constexpr int kDefaultX = 32, kDefaultY = 32, kDefaultWidth = 640, kDefaultHeight = 480;

bool IsTopLevel(const Window& w) { return (w.style & WS_CHILD) == 0 || w.parent == nullptr; }

host::WindowSpec SpecLocked(const Window& w) {
  host::WindowSpec spec;
  spec.title = w.title;
  spec.client = ClientOnDesktopLocked(w);
  spec.visible = false;
  spec.topmost = w.topmost;
  spec.resizable = (w.style & WS_THICKFRAME) != 0;
  return spec;
}

}  // namespace

HWND CreateWindowExA(DWORD exStyle, const char* className, const char* windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance, void* param) {
  EnsureThreadQueue();
  WindowState& s = State();
  HWND handle;
  bool wantVisible;
  CREATESTRUCTA create{};
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    auto cls = s.classes.find(ClassKey(className));
    if (className == nullptr || cls == s.classes.end()) return nullptr;
    const bool messageOnly = parent == HWND_MESSAGE;
    if (messageOnly) parent = nullptr;
    if (parent != nullptr && !LookupLocked(parent)) return nullptr;
    if ((style & WS_CHILD) && parent == nullptr) return nullptr;

    auto w = std::make_shared<Window>();
    if (s.nextHandle == 0) s.nextHandle = kFirstHandle;
    handle = reinterpret_cast<HWND>(s.nextHandle);
    s.nextHandle += kHandleStep;
    w->handle = handle;
    w->wndClass = cls->second;
    w->proc = cls->second->proc;
    w->title = windowName != nullptr ? windowName : "";
    wantVisible = (style & WS_VISIBLE) != 0;
    w->style = style & ~(WS_VISIBLE | WS_MINIMIZE | WS_MAXIMIZE);
    w->topmost = (exStyle & WS_EX_TOPMOST) != 0;
    w->exStyle = exStyle;
    if (x == CW_USEDEFAULT) { x = kDefaultX; y = kDefaultY; }
    if (width == CW_USEDEFAULT) { width = kDefaultWidth; height = kDefaultHeight; }
    w->outer = RECT{x, y, x + std::max(width, 0), y + std::max(height, 0)};
    w->normal = w->outer;
    w->parent = parent;
    w->menu = (style & WS_CHILD) ? nullptr : menu;
    w->id = (style & WS_CHILD) ? reinterpret_cast<LONG_PTR>(menu) : 0;
    w->instance = instance;
    w->threadId = GetCurrentThreadId();
    w->messageOnly = messageOnly;
    // A top-level window is one the host shows: where the host can make none (no display), there is none.
    w->hasHostWindow = IsTopLevel(*w) && !messageOnly;
    if (w->hasHostWindow && !HostLocked().CreateHostWindow(handle, SpecLocked(*w))) return nullptr;
    s.windows.emplace(reinterpret_cast<uintptr_t>(handle), w);
    ++w->wndClass->windowCount;
    if (!messageOnly) AcquireClassLock(w->wndClass->key);
    if (w->hasHostWindow) RaiseLocked(*w);

    create.lpCreateParams = param;
    create.hInstance = instance;
    create.hMenu = menu;
    create.hwndParent = parent;
    create.cx = width;
    create.cy = height;
    create.x = x;
    create.y = y;
    create.style = static_cast<LONG>(style);
    create.lpszName = windowName;
    create.lpszClass = className;
    create.dwExStyle = exStyle;
  }

  if (SendMessageA(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
    DestroyWindow(handle);
    return nullptr;
  }
  if (!IsWindow(handle)) return nullptr;  // the procedure destroyed it
  ReportGeometry(handle, false);
  if (wantVisible) ShowWindow(handle, SW_SHOW);
  return handle;
}

BOOL DestroyWindow(HWND window) {
  WindowState& s = State();
  std::vector<HWND> children;
  bool wasActive;
  HWND next = nullptr;
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    auto w = LookupLocked(window);
    if (!w) return FALSE;
    if (w->destroying) return TRUE;  // WM_DESTROY handling asked again
    if (w->threadId != GetCurrentThreadId()) return FALSE;
    w->destroying = true;
    wasActive = s.active == window;
    if (wasActive) next = NextActiveLocked(window);
    for (const auto& [value, other] : s.windows) {
      if (other->parent == window) children.push_back(other->handle);
    }
    if (w->hasHostWindow) HostLocked().ShowHostWindow(window, host::ShowState::Hidden);
  }
  if (wasActive) Activate(next);
  SendMessageA(window, WM_DESTROY, 0, 0);
  for (HWND child : children) DestroyWindow(child);

  DWORD threadId;
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    auto w = LookupLocked(window);
    if (!w) return TRUE;
    threadId = w->threadId;
    if (w->hasHostWindow) HostLocked().DestroyHostWindow(window);
    s.zOrder.erase(std::remove(s.zOrder.begin(), s.zOrder.end(), window), s.zOrder.end());
    if (s.active == window) s.active = nullptr;
    if (s.focus == window) s.focus = nullptr;
    --w->wndClass->windowCount;
    if (!w->messageOnly) ReleaseClassLock(w->wndClass->key);
    s.windows.erase(reinterpret_cast<uintptr_t>(window));
  }
  ForgetWindowMessages(threadId, window);
  return TRUE;
}

BOOL IsWindow(HWND window) { return Lookup(window) != nullptr ? TRUE : FALSE; }

BOOL IsWindowVisible(HWND window) {
  std::lock_guard<std::mutex> lock(State().mutex);
  auto w = LookupLocked(window);
  return w && (w->style & WS_VISIBLE) ? TRUE : FALSE;
}

BOOL IsIconic(HWND window) {
  std::lock_guard<std::mutex> lock(State().mutex);
  auto w = LookupLocked(window);
  return w && w->minimized ? TRUE : FALSE;
}

BOOL IsZoomed(HWND window) {
  std::lock_guard<std::mutex> lock(State().mutex);
  auto w = LookupLocked(window);
  return w && (w->style & WS_MAXIMIZE) ? TRUE : FALSE;
}

}  // namespace plat
