#pragma once

#include <memory>
#include <string>

#include "launcher/tray_icon.h"

namespace uilib {
class NotifyIcon;
}

// The launcher's icon in the desktop's notification area, through the UI
// library (a status icon under the toolkit, recorded by the headless
// backend). The images 100, 101 and 102 are the PNG files "tray100.png",
// "tray101.png" and "tray102.png" of the program folder. Unlike the
// recording icon it is not thread-safe: made and used on the thread that
// runs the launcher's loop, which is the toolkit's thread.
class NotifyIconTray : public ITrayIcon {
 public:
  explicit NotifyIconTray(const std::string& program_folder);
  ~NotifyIconTray() override;

  void Add(int icon, const std::wstring& tip) override;
  void SetIcon(int icon) override;
  void SetTip(const std::wstring& tip) override;
  void Remove() override;

 private:
  std::unique_ptr<uilib::NotifyIcon> icon_;  // null once removed
  int icon_id_ = 0;
  std::wstring tip_;
};
