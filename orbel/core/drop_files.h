// The names of files dropped on the main window: at most 1000 tracked copies, filled by the window
// procedure from WM_DROPFILES and freed when the window ends.
#pragma once

#include "platform/win/kernel/win_types.h"

namespace orbel {

constexpr int kDropFileMax = 1000;

// Copies the drop's names into the table while it has room, then releases the drop; 0.
int StoreDroppedFiles(plat::HDROP drop);
// Frees every stored name; count := 0. Returns 0.
int ClearDragFileNames();
int GetDragFileNum();
// The stored name at `index`, or null.
const char* GetDragFileName(int index);

}  // namespace orbel
