#include "uilib/winsys/popup_menu.h"

#include <map>
#include <mutex>

#include "uilib/winsys/ui_backend.h"
#include "uilib/winsys/win_api.h"

namespace uilib {

namespace {

struct Menus {
  std::mutex mutex;
  std::map<int, PopupMenu> menus;
};

Menus& M() {
  static Menus* menus = new Menus;
  return *menus;
}

}  // namespace

bool PopupMenu::EnableMenuItem(UINT id, UINT flags) {
  for (MenuItem& item : items_) {
    if (!item.separator && item.id == id) {
      item.enabled = (flags & MF_GRAYED) == 0;
      return true;
    }
  }
  return false;
}

void RegisterMenuResource(int id, const PopupMenu& menu) {
  std::lock_guard<std::mutex> lock(M().mutex);
  M().menus[id] = menu;
}

PopupMenu LoadMenu(int id) {
  std::lock_guard<std::mutex> lock(M().mutex);
  auto it = M().menus.find(id);
  return it == M().menus.end() ? PopupMenu() : it->second;
}

UINT TrackPopupMenu(const PopupMenu& menu, POINT screen_pt, HWND owner) {
  UINT chosen = GetUiBackend().RunPopupMenu(menu, screen_pt, owner);
  bool valid = false;
  for (const MenuItem& item : menu.items()) {
    if (!item.separator && item.enabled && item.id == chosen) valid = true;
  }
  if (!valid) return 0;
  if (owner) PostMessage(owner, WM_COMMAND, chosen, 0);
  return chosen;
}

}  // namespace uilib
