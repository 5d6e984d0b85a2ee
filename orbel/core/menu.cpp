// The window menu, its item registry and the tool bar's buttons.
// The registry holds at most 128 items; registering a menu with more stops there and fails.
// Depends on: platform/win menu, window and queue calls; window mode (style, mouse position, cursor)
// and the graphics subsystem's GDI output switch.
#include "orbel/core/menu.h"

#include "orbel/core/library_state.h"
#include "orbel/core/string_routines.h"
#include "orbel/core/window_mode.h"
#include "orbel/graphics/graphics_system.h"
#include "platform/win/user/menu.h"
#include "platform/win/user/message_queue.h"
#include "platform/win/user/window.h"

namespace orbel {

namespace {

constexpr int kMenuAutoDisplayTop = 60;  // pixels from the top of the screen

// Shared name buffer of the item reader.
char g_menuItemName[kMenuItemNameSize];

}  // namespace

int SetUseMenu(plat::HMENU menu) {
  gSettings.menu = menu;
  gSettings.menuInUse = menu != nullptr;
  return 0;
}

int CheckMenuDisplay() {
  if (gWindow.window == nullptr || !gSettings.menuInUse || gWindow.menuHidden) return 0;
  return (gSettings.menuAlwaysShown || gSettings.windowMode || gWindow.mouseInTop) ? 1 : 0;
}

int SetMenuVisible(int show) {
  if (!gSettings.menuInUse) return 0;
  gWindow.menuHidden = !show;
  if (gWindow.window == nullptr) return 0;
  const int display = CheckMenuDisplay();
  if (display == gWindow.menuDisplayed) return 0;
  if (display == 1 && !gWindow.menuAttached) {
    plat::SetMenu(gWindow.window, gSettings.menu);
    gWindow.menuAttached = 1;
  } else if (display == 0 && gWindow.menuAttached) {
    plat::SetMenu(gWindow.window, nullptr);
    gWindow.menuAttached = 0;
  }
  if (gSettings.windowMode) SetWindowStyleForMode();
  plat::UpdateWindow(gWindow.window);
  gWindow.menuDisplayed = display;
  return 0;
}

int UpdateMenuAutoDisplay() {
  if (gSettings.windowMode) return 0;
  int y = 0;
  GetMousePosition(nullptr, &y);
  gWindow.mouseInTop = y < kMenuAutoDisplayTop;
  SwitchGdiSurfaceOutput(GetGdiSurfaceOutputRequest());
  SetMouseCursorVisible(gWindow.cursorSetting);
  SetMenuVisible(!gWindow.menuHidden);
  return 0;
}

int DeleteAllToolBarButtons() {
  if (!gWindow.toolBarExists) return -1;
  for (int i = 0; i < gWindow.toolBarButtonCount; ++i) {
    plat::SendMessageA(gWindow.toolBarWindow, plat::TB_DELETEBUTTON, 0, 0);
  }
  gWindow.toolBarButtonCount = 0;
  return 0;
}

int GetMenuItemType(plat::HMENU menu, int position, unsigned* commandId, plat::HMENU* subMenu, char* name) {
  plat::MENUITEMINFOA info = {};
  info.cbSize = sizeof info;
  info.fMask = plat::MIIM_TYPE;
  if (!plat::GetMenuItemInfoA(menu, static_cast<plat::UINT>(position), plat::TRUE, &info)) return -1;
  if (info.fType & plat::MFT_SEPARATOR) return 1;

  info = {};
  info.cbSize = sizeof info;
  info.fMask = plat::MIIM_STATE | plat::MIIM_ID | plat::MIIM_SUBMENU | plat::MIIM_TYPE;
  info.dwTypeData = g_menuItemName;
  info.cch = sizeof g_menuItemName;
  g_menuItemName[0] = '\0';
  if (!plat::GetMenuItemInfoA(menu, static_cast<plat::UINT>(position), plat::TRUE, &info)) return -1;
  if (commandId) *commandId = info.wID;
  if (subMenu) *subMenu = info.hSubMenu;
  if (name) FormatString(name, kMenuItemNameSize, "%s", g_menuItemName);
  return 0;
}

int RegisterMenuItems(plat::HMENU menu) {
  const int count = plat::GetMenuItemCount(menu);
  if (count == -1) return -1;
  for (int position = 0; position < count; ++position) {
    unsigned commandId = 0;
    plat::HMENU subMenu = nullptr;
    char name[kMenuItemNameSize];
    const int type = GetMenuItemType(menu, position, &commandId, &subMenu, name);
    if (type == -1) return -1;
    if (type == 1) continue;
    if (gWindow.menuItemCount >= kMenuItemMax) return -1;  // the table is full
    MenuItemRecord& record = gWindow.menuItems[gWindow.menuItemCount++];
    record.menu = menu;
    record.position = static_cast<int16_t>(position);
    record.commandId = static_cast<uint16_t>(commandId);
    StrCopy(record.name, name);
    if (subMenu != nullptr && RegisterMenuItems(subMenu) == -1) return -1;
  }
  return 0;
}

int GetToolBarHeight() {
  if (!gWindow.toolBarExists) return 0;
  plat::RECT rect = {};
  plat::GetWindowRect(gWindow.toolBarWindow, &rect);
  return rect.bottom - rect.top;
}

int FindToolBarButtonIndex(int commandId) {
  if (!gWindow.toolBarExists) return -1;
  for (int i = 0; i < gWindow.toolBarButtonCount; ++i) {
    const ToolBarButtonRecord& button = gWindow.toolBarButtons[i];
    if (button.commandId == static_cast<uint32_t>(commandId) && button.type != 3) return i;
  }
  return -1;
}

int GetUseMenuFlag() { return gSettings.menuInUse; }

int GetMenuItemName(int commandId, char* name) {
  if (!gSettings.menuInUse) return -1;
  for (int i = 0; i < gWindow.menuItemCount; ++i) {
    const MenuItemRecord& record = gWindow.menuItems[i];
    if (record.commandId != commandId) continue;
    char current[kMenuItemNameSize];
    if (GetMenuItemType(record.menu, record.position, nullptr, nullptr, current) != 0) {
      StrCopy(current, record.name);
    }
    StrCopy(name, current);
    return 0;
  }
  return -1;
}

int PopSelectedMenuItem() {
  if (gWindow.selectedMenuItemCount == 0) return -1;
  const int id = static_cast<int>(gWindow.selectedMenuItems[0]);
  for (int i = 1; i < gWindow.selectedMenuItemCount; ++i) {
    gWindow.selectedMenuItems[i - 1] = gWindow.selectedMenuItems[i];
  }
  --gWindow.selectedMenuItemCount;
  return id;
}

int GetRegisteredMenuItemCount() { return gWindow.menuItemCount; }

}  // namespace orbel
