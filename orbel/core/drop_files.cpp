// The dropped-file table: tracked copies of the names of WM_DROPFILES, up to 1000; names that do not
// fit are dropped silently, and a failed allocation ends the copying.
// Depends on: platform/win/user/drag_drop.h, core tracked memory.
#include "orbel/core/drop_files.h"

#include "orbel/core/memory.h"
#include "platform/win/user/drag_drop.h"

namespace orbel {

namespace {

struct DropFileTable {
  char* names[kDropFileMax];
  int count;
};

DropFileTable g_drops = {};

}  // namespace

int StoreDroppedFiles(plat::HDROP drop) {
  const plat::UINT total = plat::DragQueryFileA(drop, 0xFFFFFFFFu, nullptr, 0);
  for (plat::UINT index = 0; index < total && g_drops.count < kDropFileMax; ++index) {
    const plat::UINT length = plat::DragQueryFileA(drop, index, nullptr, 0);
    char* name = static_cast<char*>(MemAlloc(length + 1, "DropFileName", __LINE__));
    if (name == nullptr) break;
    plat::DragQueryFileA(drop, index, name, length + 1);
    name[length] = '\0';
    g_drops.names[g_drops.count++] = name;
  }
  plat::DragFinish(drop);
  return 0;
}

int ClearDragFileNames() {
  for (int i = 0; i < g_drops.count; ++i) {
    MemFree(g_drops.names[i]);
    g_drops.names[i] = nullptr;
  }
  g_drops.count = 0;
  return 0;
}

int GetDragFileNum() { return g_drops.count; }

const char* GetDragFileName(int index) {
  if (index < 0 || index >= g_drops.count) return nullptr;
  return g_drops.names[index];
}

}  // namespace orbel
