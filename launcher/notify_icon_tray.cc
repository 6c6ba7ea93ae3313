#include "launcher/notify_icon_tray.h"

#include "uilib/winsys/notify_icon.h"
#include "uilib/winsys/ui_backend.h"

NotifyIconTray::NotifyIconTray(const std::string& program_folder) {
  for (int id : {100, 101, 102})
    uilib::RegisterIconResource(id, program_folder + "/tray" + std::to_string(id) + ".png");
}

NotifyIconTray::~NotifyIconTray() { Remove(); }

void NotifyIconTray::Add(int icon, const std::wstring& tip) {
  icon_id_ = icon;
  tip_ = tip.substr(0, kMaxTip);
  icon_ = uilib::GetUiBackend().CreateNotifyIcon();
  // Nothing is asked of the icon, so no window hears its mouse messages.
  if (icon_ && !icon_->Add(0, 0, icon_id_, tip_)) icon_.reset();
}

void NotifyIconTray::SetIcon(int icon) {
  icon_id_ = icon;
  if (icon_) icon_->Modify(icon_id_, tip_);
}

void NotifyIconTray::SetTip(const std::wstring& tip) {
  tip_ = tip.substr(0, kMaxTip);
  if (icon_) icon_->Modify(icon_id_, tip_);
}

void NotifyIconTray::Remove() {
  if (!icon_) return;
  icon_->Delete();
  icon_.reset();
}
