// The window menu (attached in window mode; in full screen shown while the mouse is in the top 60
// pixels), the registry of its items, and the tool bar's buttons. No public call of this build sets a
// menu or makes a tool bar, so these work on empty state unless a caller installs one.
#pragma once

#include "platform/win/kernel/win_types.h"

namespace orbel {

// Installs a menu before start-up (null removes it); the window attaches it in window mode.
int SetUseMenu(plat::HMENU menu);
int SetMenuVisible(int show);
// Full screen only: shows menu and cursor while the mouse is in the top area; 0.
int UpdateMenuAutoDisplay();
// 0, -1 without tool bar.
int DeleteAllToolBarButtons();
// Registers the menu's items (submenus right after their item); 0, or -1 when an item cannot be read,
// the count cannot be had, or the 128-record table is full.
int RegisterMenuItems(plat::HMENU menu);
int GetToolBarHeight();
int FindToolBarButtonIndex(int commandId);
int CheckMenuDisplay();
int GetUseMenuFlag();
// -1 on failure, 1 for a separator, else 0 with id, submenu and name filled (any may be null).
int GetMenuItemType(plat::HMENU menu, int position, unsigned* commandId, plat::HMENU* subMenu,
                    char* name);
// Copies the current name of the item with that command id; -1 without menu or for an unknown id.
int GetMenuItemName(int commandId, char* name);
// Takes the oldest selected menu command id; -1 when none is waiting.
int PopSelectedMenuItem();
int GetRegisteredMenuItemCount();

}  // namespace orbel
