#pragma once

#include <string>

#include "uilib/winsys/ui_defs.h"

namespace uilib {

// The program's icon in the notification area. Mouse activity on it is
// posted to the callback window as (callback message, 0, mouse message):
// WM_MOUSEMOVE when the pointer is over it, WM_LBUTTONDBLCLK on a double
// click, WM_RBUTTONUP for the context menu. Icons are resource ids mapped
// to image files with RegisterIconResource. Removed when destroyed.
class NotifyIcon {
 public:
  virtual ~NotifyIcon() = default;
  // NIM_ADD; false when the desktop has no notification area.
  virtual bool Add(HWND callback_window, UINT callback_message, int icon_id,
                   const std::wstring& tip) = 0;
  // NIM_MODIFY of icon and tip.
  virtual bool Modify(int icon_id, const std::wstring& tip) = 0;
  // NIM_DELETE; safe to call twice.
  virtual void Delete() = 0;
  virtual bool IsAdded() const = 0;
  virtual int GetIconId() const = 0;
  virtual std::wstring GetTip() const = 0;
};

// Icon resources of the program: id -> image file (PNG). Process-wide.
void RegisterIconResource(int id, const std::string& path);
std::string GetIconResourcePath(int id);

}  // namespace uilib
