// The mouse cursor: system cursors and icons, SetCursor, the ShowCursor display counter and the cursor
// position. The host shows or hides the real pointer; positions are desktop coordinates.
// No resources exist: a cursor or icon by resource id of a module is not found (null).
#pragma once

#include <cstdint>

#include "platform/win/kernel/win_types.h"

namespace plat {

inline const char* MAKEINTRESOURCEA(int id) {
  return reinterpret_cast<const char*>(static_cast<uintptr_t>(static_cast<WORD>(id)));
}
inline bool IS_INTRESOURCE(const char* name) { return (reinterpret_cast<uintptr_t>(name) >> 16) == 0; }

// System cursors and icons (pass a null module).
inline const char* const IDC_ARROW = MAKEINTRESOURCEA(32512);
inline const char* const IDC_IBEAM = MAKEINTRESOURCEA(32513);
inline const char* const IDC_WAIT = MAKEINTRESOURCEA(32514);
inline const char* const IDC_CROSS = MAKEINTRESOURCEA(32515);
inline const char* const IDC_HAND = MAKEINTRESOURCEA(32649);
inline const char* const IDI_APPLICATION = MAKEINTRESOURCEA(32512);
inline const char* const IDI_ERROR = MAKEINTRESOURCEA(32513);
inline const char* const IDI_QUESTION = MAKEINTRESOURCEA(32514);
inline const char* const IDI_WARNING = MAKEINTRESOURCEA(32515);
inline const char* const IDI_INFORMATION = MAKEINTRESOURCEA(32516);

HCURSOR LoadCursorA(HINSTANCE instance, const char* name);
HICON LoadIconA(HINSTANCE instance, const char* name);
// Returns the previous cursor; a null cursor hides the pointer over the window.
HCURSOR SetCursor(HCURSOR cursor);
HCURSOR GetCursor();
// Adds 1 (show) or -1 to the display counter (starting at 0) and returns the new count; the pointer is
// shown while the count is 0 or more.
int ShowCursor(BOOL show);
BOOL GetCursorPos(POINT* point);
BOOL SetCursorPos(int x, int y);

}  // namespace plat
