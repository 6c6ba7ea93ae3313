#pragma once

#include <string>
#include <vector>

#include "uilib/winsys/ui_defs.h"

namespace uilib {

// A context menu as data: what LoadMenu gives and EnableMenuItem changes.
struct MenuItem {
  UINT id = 0;  // 0 with `separator`
  std::wstring text;
  bool separator = false;
  bool enabled = true;
};

class PopupMenu {
 public:
  PopupMenu() = default;
  explicit PopupMenu(std::vector<MenuItem> items) : items_(std::move(items)) {}

  void Append(UINT id, const std::wstring& text) {
    items_.push_back(MenuItem{id, text, false, true});
  }
  void AppendSeparator() { items_.push_back(MenuItem{0, L"", true, true}); }
  // MF_GRAYED or MF_ENABLED for the item of command `id`; false when absent.
  bool EnableMenuItem(UINT id, UINT flags);
  const std::vector<MenuItem>& items() const { return items_; }

 private:
  std::vector<MenuItem> items_;
};

// Menu resources of the program, registered at start-up by id.
void RegisterMenuResource(int id, const PopupMenu& menu);
// A copy of the registered menu (empty when unknown).
PopupMenu LoadMenu(int id);

// Shows the menu at a screen point and waits for the choice. The chosen
// enabled item is posted to `owner` as WM_COMMAND (wParam = id) and
// returned; 0 when the menu was dismissed.
UINT TrackPopupMenu(const PopupMenu& menu, POINT screen_pt, HWND owner);

}  // namespace uilib
