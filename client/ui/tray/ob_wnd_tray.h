#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "client/core/event_chain.h"
#include "client/core/web_user.h"
#include "client/ui/base/ob_ui_window.h"
#include "client/ui/login/login_links.h"
#include "client/ui/tray/ob_msg_tray_pos.h"
#include "client/ui/tray/tray_links.h"

class OBPromptDialog;
class SystemConfig;
namespace uilib {
class NotifyIcon;
}

// The hidden window behind the notification icon: the icon and its tip
// follow the sign-in, the icon blinks while the account has new items, a
// double-click opens the target window, a right-click offers the menu, and
// resting on the icon shows the new-item prompt. GUI thread only, except
// the hover tracker's thread, which only posts to this window.
class OBWndTray : public OBUIWindow, public ITrayTarget {
 public:
  static constexpr int kIconSignedOut = 156;
  static constexpr int kIconSignedIn = 157;
  static constexpr int kIconBlink = 158;
  static constexpr int kMenuTargetHidden = 160;
  static constexpr int kMenuTargetVisible = 1100;
  static constexpr int kMenuNoTarget = 161;
  static constexpr uilib::UINT kCmdQuit = 1102;
  static constexpr uilib::UINT kCmdHide = 32778;
  static constexpr uilib::UINT kCmdShow = 32780;
  static constexpr uilib::UINT kCmdSettings = 32784;
  static constexpr size_t kTipLimit = 127;

  struct Links {
    EventChain* events = nullptr;
    SystemConfig* config = nullptr;
    const IWebUser* user = nullptr;
    ITrayFrame* frame = nullptr;
    std::wstring skin_folder;
    std::chrono::milliseconds hover_interval{1000};
  };

  explicit OBWndTray(Links links);
  ~OBWndTray() override;

  // The three tray menus, registered once by start-up.
  static void RegisterMenus();

  uilib::LPCTSTR GetWindowClassName() const override { return L"OBWndTray"; }
  uilib::LRESULT HandleMessage(uilib::UINT msg, uilib::WPARAM wparam,
                               uilib::LPARAM lparam) override;
  void Notify(uilib::TNotifyUI&) override {}

  void SetTargetWindow(uilib::HWND hwnd) override { target_ = hwnd; }
  uilib::HWND target_window() const { return target_; }
  OBPromptDialog* prompt_dialog() const { return prompt_.get(); }
  bool HasNewItems() const;
  void UpdateIconAndTip();

 protected:
  void InitControls() override;

 private:
  static constexpr uintptr_t kBlinkTimer = 1;

  void OnMenuCommand(uilib::UINT id);
  void OnBlinkTimer();
  void OnDoubleClick();
  void ShowContextMenu();
  void ShowPrompt();
  void CreatePromptDialog();
  void SetTrayIcon(int icon);
  std::wstring Tip() const;
  void OpenTarget();

  Links links_;
  std::unique_ptr<uilib::NotifyIcon> icon_;
  OBMsgTrayPos tracker_;
  std::unique_ptr<OBPromptDialog> prompt_;
  std::vector<EventChain::Handle> subscriptions_;
  uilib::HWND target_ = 0;
  bool blink_phase_ = false;
};
