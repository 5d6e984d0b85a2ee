// Dropped files: HDROP records checked against the live set, so a stale or doubled DragFinish and a
// query on a freed drop are harmless.
#include "platform/win/user/drag_drop.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <unordered_set>

#include "platform/win/user/window.h"
#include "platform/win/user/window_state.h"

struct plat::DropObject {
  std::vector<std::string> names;
  POINT point;
};

namespace plat {
namespace winstate {
namespace {

struct DropRegistry {
  std::mutex mutex;
  std::unordered_set<DropObject*> live;
};

DropRegistry& Drops() {
  // Never destroyed: threads and exit handlers may use it until the process ends.
  static auto* registry = new DropRegistry;
  return *registry;
}

}  // namespace

void ResetDragDrop() {
  DropRegistry& r = Drops();
  std::lock_guard<std::mutex> lock(r.mutex);
  for (DropObject* drop : r.live) delete drop;
  r.live.clear();
}

}  // namespace winstate

using namespace winstate;

HDROP CreateDropHandle(std::vector<std::string> names, POINT point) {
  auto* drop = new DropObject{std::move(names), point};
  DropRegistry& r = Drops();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.live.insert(drop);
  return drop;
}

UINT DragQueryFileA(HDROP drop, UINT index, char* buffer, UINT size) {
  DropRegistry& r = Drops();
  std::lock_guard<std::mutex> lock(r.mutex);
  if (r.live.count(drop) == 0) return 0;
  if (index == 0xFFFFFFFFu) return static_cast<UINT>(drop->names.size());
  if (index >= drop->names.size()) return 0;
  const std::string& name = drop->names[index];
  if (buffer == nullptr) return static_cast<UINT>(name.size());
  if (size == 0) return 0;
  const size_t n = std::min(name.size(), static_cast<size_t>(size - 1));
  std::memcpy(buffer, name.data(), n);
  buffer[n] = '\0';
  return static_cast<UINT>(n);
}

BOOL DragQueryPoint(HDROP drop, POINT* point) {
  DropRegistry& r = Drops();
  std::lock_guard<std::mutex> lock(r.mutex);
  if (point == nullptr || r.live.count(drop) == 0) return FALSE;
  *point = drop->point;
  return TRUE;
}

void DragFinish(HDROP drop) {
  DropRegistry& r = Drops();
  std::lock_guard<std::mutex> lock(r.mutex);
  if (r.live.erase(drop) != 0) delete drop;
}

void DragAcceptFiles(HWND window, BOOL accept) {
  const LONG_PTR ex = GetWindowLongA(window, GWL_EXSTYLE);
  SetWindowLongA(window, GWL_EXSTYLE, accept ? (ex | WS_EX_ACCEPTFILES) : (ex & ~static_cast<LONG_PTR>(WS_EX_ACCEPTFILES)));
}

}  // namespace plat
