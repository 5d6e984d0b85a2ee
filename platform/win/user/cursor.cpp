// The cursor: system cursors and icons as fixed objects, SetCursor, the ShowCursor display counter and
// the pointer position (followed from the host's mouse events, moved by SetCursorPos).
#include "platform/win/user/cursor.h"

#include <mutex>

#include "platform/win/user/window_state.h"

struct plat::IconObject {
  int id;
};

namespace plat {
namespace winstate {
namespace {

struct CursorState {
  std::mutex mutex;
  int displayCount = 0;
  HCURSOR current = nullptr;
  POINT position{0, 0};
};

IconObject* SystemObject(const char* name, bool cursor);

// The arrow is the cursor until someone sets another.
CursorState& Cursor() {
  static CursorState* state = [] {
    auto* s = new CursorState;  // alive for the process, like the cursors it points at
    s->current = SystemObject(IDC_ARROW, true);
    return s;
  }();
  return *state;
}

// The system's cursors and icons: one object per id, alive for the process.
IconObject* SystemObject(const char* name, bool cursor) {
  static IconObject cursors[] = {{32512}, {32513}, {32514}, {32515}, {32649}};
  static IconObject icons[] = {{32512}, {32513}, {32514}, {32515}, {32516}};
  if (!IS_INTRESOURCE(name)) return nullptr;
  const int id = static_cast<int>(reinterpret_cast<uintptr_t>(name));
  for (IconObject& o : cursor ? cursors : icons) {
    if (o.id == id) return &o;
  }
  return nullptr;
}

}  // namespace

void NoteCursorPos(int x, int y) {
  std::lock_guard<std::mutex> lock(Cursor().mutex);
  Cursor().position = POINT{x, y};
}

POINT CursorPos() {
  std::lock_guard<std::mutex> lock(Cursor().mutex);
  return Cursor().position;
}

void ResetCursor() {
  CursorState& c = Cursor();
  std::lock_guard<std::mutex> lock(c.mutex);
  c.displayCount = 0;
  c.current = SystemObject(IDC_ARROW, true);
  c.position = POINT{0, 0};
}

}  // namespace winstate

using namespace winstate;

HCURSOR LoadCursorA(HINSTANCE instance, const char* name) {
  return instance == nullptr ? SystemObject(name, true) : nullptr;
}

HICON LoadIconA(HINSTANCE instance, const char* name) {
  return instance == nullptr ? SystemObject(name, false) : nullptr;
}

HCURSOR SetCursor(HCURSOR cursor) {
  HCURSOR previous;
  bool visible;
  {
    CursorState& c = Cursor();
    std::lock_guard<std::mutex> lock(c.mutex);
    previous = c.current;
    c.current = cursor;
    visible = cursor != nullptr && c.displayCount >= 0;
  }
  std::lock_guard<std::mutex> lock(State().mutex);
  HostLocked().SetCursorVisible(visible);
  return previous;
}

HCURSOR GetCursor() {
  std::lock_guard<std::mutex> lock(Cursor().mutex);
  return Cursor().current;
}

int ShowCursor(BOOL show) {
  int count;
  bool visible;
  {
    CursorState& c = Cursor();
    std::lock_guard<std::mutex> lock(c.mutex);
    count = c.displayCount += show ? 1 : -1;
    visible = count >= 0 && c.current != nullptr;
  }
  std::lock_guard<std::mutex> lock(State().mutex);
  HostLocked().SetCursorVisible(visible);
  return count;
}

BOOL GetCursorPos(POINT* point) {
  if (point == nullptr) return FALSE;
  *point = CursorPos();
  return TRUE;
}

BOOL SetCursorPos(int x, int y) {
  NoteCursorPos(x, y);
  std::lock_guard<std::mutex> lock(State().mutex);
  HostLocked().WarpCursor(x, y);
  return TRUE;
}

namespace test {

int CursorDisplayCount() {
  std::lock_guard<std::mutex> lock(Cursor().mutex);
  return Cursor().displayCount;
}

HCURSOR CurrentCursor() { return GetCursor(); }

}  // namespace test
}  // namespace plat
