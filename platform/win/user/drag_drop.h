// Dropped files: the HDROP a host builds from dropped names and sends with WM_DROPFILES, read with
// DragQueryFileA and freed with DragFinish. Names are Shift-JIS (the host's names are converted).
// Drops reach every window; DragAcceptFiles only records the window's wish (WS_EX_ACCEPTFILES).
#pragma once

#include <string>
#include <vector>

#include "platform/win/kernel/win_types.h"

namespace plat {

// index 0xFFFFFFFF: the number of names. Else with a null buffer: the name's length (no NUL); with a
// buffer: copies at most size - 1 bytes and a NUL and returns the bytes copied. 0 for an unknown drop
// or index.
UINT DragQueryFileA(HDROP drop, UINT index, char* buffer, UINT size);
// The drop point in client coordinates; FALSE for an unknown drop.
BOOL DragQueryPoint(HDROP drop, POINT* point);
// Frees the drop; unknown or already freed drops are ignored.
void DragFinish(HDROP drop);
void DragAcceptFiles(HWND window, BOOL accept);

// For hosts and tests: a drop of `names` at a client point, freed by DragFinish.
HDROP CreateDropHandle(std::vector<std::string> names, POINT point);

}  // namespace plat
