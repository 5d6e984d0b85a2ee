// Menus: records of items (text, id, type, state, submenu) behind HMENU handles that are checked
// against the live set before use, attached to at most one window. Nothing is drawn; an attached menu
// only adds its bar to the window's frame.
#include "platform/win/user/menu.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/win/user/window_state.h"

struct plat::MenuObject {
  struct Item {
    std::string text;
    UINT id = 0;
    UINT type = MFT_STRING;
    UINT state = MFS_ENABLED;
    HMENU submenu = nullptr;
  };
  std::vector<Item> items;
  bool popup = false;
};

namespace plat {
namespace winstate {
namespace {

struct MenuRegistry {
  std::mutex mutex;
  std::unordered_set<MenuObject*> live;
};

MenuRegistry& Menus() {
  // Never destroyed: threads and exit handlers may use it until the process ends.
  static auto* registry = new MenuRegistry;
  return *registry;
}

HMENU NewMenu(bool popup) {
  auto* menu = new MenuObject;
  menu->popup = popup;
  MenuRegistry& r = Menus();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.live.insert(menu);
  return menu;
}

// Destroys a menu and its submenus; the registry lock is held.
void DestroyLocked(HMENU menu) {
  MenuRegistry& r = Menus();
  if (r.live.erase(menu) == 0) return;
  for (const auto& item : menu->items) {
    if (item.submenu != nullptr) DestroyLocked(item.submenu);
  }
  delete menu;
}

// The item with a command id, searched depth-first through submenus; the registry lock is held.
const MenuObject::Item* FindByIdLocked(HMENU menu, UINT id, int depth) {
  if (depth > 16 || Menus().live.count(menu) == 0) return nullptr;
  for (const auto& item : menu->items) {
    if (item.submenu == nullptr && item.id == id && item.type != MFT_SEPARATOR) return &item;
    if (item.submenu != nullptr) {
      if (const auto* found = FindByIdLocked(item.submenu, id, depth + 1)) return found;
    }
  }
  return nullptr;
}

}  // namespace

void ResetMenus() {
  MenuRegistry& r = Menus();
  std::lock_guard<std::mutex> lock(r.mutex);
  for (MenuObject* menu : r.live) delete menu;
  r.live.clear();
}

}  // namespace winstate

using namespace winstate;

HMENU CreateMenu() { return NewMenu(false); }
HMENU CreatePopupMenu() { return NewMenu(true); }

BOOL AppendMenuA(HMENU menu, UINT flags, uintptr_t idOrSubmenu, const char* text) {
  MenuRegistry& r = Menus();
  std::lock_guard<std::mutex> lock(r.mutex);
  if (r.live.count(menu) == 0) return FALSE;
  MenuObject::Item item;
  if (flags & MF_SEPARATOR) {
    item.type = MFT_SEPARATOR;
  } else {
    item.text = text != nullptr ? text : "";
  }
  if (flags & MF_POPUP) {
    auto* submenu = reinterpret_cast<HMENU>(idOrSubmenu);
    if (submenu == menu || r.live.count(submenu) == 0) return FALSE;
    item.submenu = submenu;
  } else {
    item.id = static_cast<UINT>(idOrSubmenu);
  }
  if (flags & MF_GRAYED) item.state |= MFS_GRAYED;
  if (flags & MF_CHECKED) item.state |= MFS_CHECKED;
  menu->items.push_back(std::move(item));
  return TRUE;
}

BOOL DestroyMenu(HMENU menu) {
  {
    MenuRegistry& r = Menus();
    std::lock_guard<std::mutex> lock(r.mutex);
    if (r.live.count(menu) == 0) return FALSE;
  }
  // Detach it from any window first, so no window keeps a dead menu.
  std::vector<HWND> holders;
  {
    std::lock_guard<std::mutex> lock(State().mutex);
    for (const auto& [value, w] : State().windows) {
      if (w->menu == menu) holders.push_back(w->handle);
    }
  }
  for (HWND window : holders) SetMenu(window, nullptr);
  MenuRegistry& r = Menus();
  std::lock_guard<std::mutex> lock(r.mutex);
  DestroyLocked(menu);
  return TRUE;
}

BOOL SetMenu(HWND window, HMENU menu) {
  if (menu != nullptr) {
    MenuRegistry& r = Menus();
    std::lock_guard<std::mutex> lock(r.mutex);
    if (r.live.count(menu) == 0) return FALSE;
  }
  {
    std::lock_guard<std::mutex> lock(State().mutex);
    auto w = LookupLocked(window);
    if (!w || (w->style & WS_CHILD)) return FALSE;
    if (w->menu == menu) return TRUE;
    w->menu = menu;
  }
  // The outer rectangle stays; the client area changes by the bar.
  ReportGeometry(window, true);
  return TRUE;
}

HMENU GetMenu(HWND window) {
  std::lock_guard<std::mutex> lock(State().mutex);
  auto w = LookupLocked(window);
  return w ? w->menu : nullptr;
}

BOOL DrawMenuBar(HWND window) { return IsWindow(window); }

int GetMenuItemCount(HMENU menu) {
  MenuRegistry& r = Menus();
  std::lock_guard<std::mutex> lock(r.mutex);
  if (r.live.count(menu) == 0) return -1;
  return static_cast<int>(menu->items.size());
}

BOOL GetMenuItemInfoA(HMENU menu, UINT item, BOOL byPosition, MENUITEMINFOA* info) {
  if (info == nullptr || info->cbSize != sizeof(MENUITEMINFOA)) return FALSE;
  MenuRegistry& r = Menus();
  std::lock_guard<std::mutex> lock(r.mutex);
  if (r.live.count(menu) == 0) return FALSE;
  const MenuObject::Item* found = nullptr;
  if (byPosition) {
    if (item < menu->items.size()) found = &menu->items[item];
  } else {
    found = FindByIdLocked(menu, item, 0);
  }
  if (found == nullptr) return FALSE;
  if (info->fMask & (MIIM_TYPE | MIIM_FTYPE)) info->fType = found->type;
  if (info->fMask & MIIM_STATE) info->fState = found->state;
  if (info->fMask & MIIM_ID) info->wID = found->id;
  if (info->fMask & MIIM_SUBMENU) info->hSubMenu = found->submenu;
  if (info->fMask & (MIIM_TYPE | MIIM_STRING)) {
    const UINT length = static_cast<UINT>(found->text.size());
    if (info->dwTypeData != nullptr && info->cch > 0 && found->type != MFT_SEPARATOR) {
      const UINT n = std::min(length, info->cch - 1);
      std::memcpy(info->dwTypeData, found->text.data(), n);
      info->dwTypeData[n] = '\0';
      info->cch = n;
    } else {
      info->cch = found->type == MFT_SEPARATOR ? 0 : length;
    }
  }
  return TRUE;
}

}  // namespace plat
