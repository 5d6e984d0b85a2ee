// Menus as far as the library touches them: creating and filling a menu (for tests and callers that
// build one), attaching it to a window (the frame gains a menu bar), reading items by position or id,
// and destroying it. No menu is ever drawn.
#pragma once

#include "platform/win/kernel/win_types.h"

namespace plat {

// AppendMenuA flags.
constexpr UINT MF_STRING = 0x0000;
constexpr UINT MF_GRAYED = 0x0001;
constexpr UINT MF_DISABLED = 0x0002;
constexpr UINT MF_CHECKED = 0x0008;
constexpr UINT MF_POPUP = 0x0010;
constexpr UINT MF_SEPARATOR = 0x0800;
constexpr UINT MF_BYCOMMAND = 0x0000;
constexpr UINT MF_BYPOSITION = 0x0400;

// MENUITEMINFOA masks and types.
constexpr UINT MIIM_STATE = 0x0001;
constexpr UINT MIIM_ID = 0x0002;
constexpr UINT MIIM_SUBMENU = 0x0004;
constexpr UINT MIIM_CHECKMARKS = 0x0008;
constexpr UINT MIIM_TYPE = 0x0010;
constexpr UINT MIIM_DATA = 0x0020;
constexpr UINT MIIM_STRING = 0x0040;
constexpr UINT MIIM_FTYPE = 0x0100;
constexpr UINT MFT_STRING = 0x0000;
constexpr UINT MFT_SEPARATOR = 0x0800;
constexpr UINT MFS_ENABLED = 0x0000;
constexpr UINT MFS_GRAYED = 0x0003;
constexpr UINT MFS_CHECKED = 0x0008;

struct MENUITEMINFOA {
  UINT cbSize;
  UINT fMask;
  UINT fType;
  UINT fState;
  UINT wID;
  HMENU hSubMenu;
  HBITMAP hbmpChecked;
  HBITMAP hbmpUnchecked;
  uintptr_t dwItemData;
  char* dwTypeData;  // the text buffer (in: its address; null asks for the length)
  UINT cch;          // in: buffer size in bytes; out: text length
  HBITMAP hbmpItem;
};

HMENU CreateMenu();
HMENU CreatePopupMenu();
// `idOrSubmenu` is the command id, or the submenu handle with MF_POPUP.
BOOL AppendMenuA(HMENU menu, UINT flags, uintptr_t idOrSubmenu, const char* text);
// Destroys the menu and its submenus; a menu attached to a window is detached first.
BOOL DestroyMenu(HMENU menu);
// Attaches (or with null detaches) a window's menu; the client area shrinks or grows by the menu bar.
BOOL SetMenu(HWND window, HMENU menu);
HMENU GetMenu(HWND window);
BOOL DrawMenuBar(HWND window);
// -1 for an unknown menu.
int GetMenuItemCount(HMENU menu);
// The item at `item` (a position with byPosition, else a command id searched through submenus).
// MIIM_TYPE / MIIM_STRING copy the text into dwTypeData (at most cch - 1 bytes and a NUL) and set cch
// to the text length. FALSE for an unknown menu or item.
BOOL GetMenuItemInfoA(HMENU menu, UINT item, BOOL byPosition, MENUITEMINFOA* info);

}  // namespace plat
