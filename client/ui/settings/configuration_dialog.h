#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "client/core/event_chain.h"
#include "client/ui/base/ob_ui_window.h"
#include "client/ui/controls/control_context.h"
#include "client/ui/controls/spin_edit.h"
#include "client/ui/settings/store_folder_size.h"

class CWarningDialog;
class ConfigStore;
class FolderSizeWalk;

namespace brx::platform {
class Shell;
}

namespace uilib {
class CButtonUI;
class CContainerUI;
class CControlUI;
class COptionUI;
class CRichEditUI;
}  // namespace uilib

// What the settings dialog needs from the client around it. Every pointer
// must outlive the dialog; the functions may be empty.
struct ConfigurationDialogHost {
  ConfigStore* config = nullptr;
  // Receives the two change events after every save.
  EventChain* events = nullptr;
  // Below "...\SOFTWARE\Dorsk\Ombrix\" of both hives.
  std::wstring edition_key;
  // The skin folder holding "configuration_dialog.xml" and the lent
  // context of the client's own controls.
  const ControlContext* controls = nullptr;
  // Opens folders and pages; may be null (nothing is opened).
  brx::platform::Shell* shell = nullptr;
  // The login window's stored password text; empty when there is no login
  // window.
  std::function<std::wstring()> login_password;
  // The folder chooser, modal to `owner` (the dialog), opened at *folder
  // when that names one: true with the chosen folder in *folder, false
  // when cancelled.
  std::function<bool(uilib::HWND owner, const std::wstring& title, std::wstring* folder)>
      choose_folder;
  // The quota overflow dialog, shown with the quota in MB.
  std::function<void(int megabytes)> show_quota_overflow;
  // Where the account provider's pages live ("https://host").
  std::wstring account_site;
  // How far a walk of the screenshot folder may go (the quota check, and
  // the check of a newly chosen folder).
  FolderWalkLimits store_walk;
};

// The settings dialog: five tabs on two pages. It loads every setting
// from the configuration store when shown and writes them back on OK or
// Apply, then tells the client through the system change event and the
// game change event of the current game. Modal by disabling its owner.
// Created once with the main window, shown and hidden many times; GUI
// thread only.
class CConfigurationDialog : public OBUIWindow {
 public:
  enum Tab : uint32_t { kNormal = 1, kAccel = 2, kSound = 3, kFolder = 4, kPasswordSecurity = 5 };

  explicit CConfigurationDialog(ConfigurationDialogHost host);
  ~CConfigurationDialog() override;

  uilib::LPCTSTR GetWindowClassName() const override { return L"OBSysConfigure"; }
  uilib::UINT GetClassStyle() const override { return 2059; }
  uilib::LRESULT HandleMessage(uilib::UINT msg, uilib::WPARAM wparam,
                               uilib::LPARAM lparam) override;
  void Notify(uilib::TNotifyUI& msg) override;

  // Creates the hidden dialog window owned by `owner` (may be 0).
  uilib::HWND CreateDialogWindow(uilib::HWND owner);
  // 1: the normal tab, 2: the shortcut tab, 3: the folder tab; always on
  // the page that holds the tab.
  void Show(int tab);
  void Close();
  // Writes every value and tells the client; false, with nothing written
  // and the reason shown, when the typed screenshot folder cannot be used.
  bool Save();
  // After sign-in: measures the screenshot folder off the GUI thread and,
  // when it holds more than the quota, shows this dialog on the folder tab
  // with the quota note, whether or not the reminder box is ticked. False
  // when there is no window to hear the result.
  bool RunQuotaCheck();

  uint32_t current_tab() const { return current_tab_; }
  uint32_t current_page() const { return current_page_; }
  bool dirty() const { return dirty_; }
  // A folder walk (the quota check or a chosen folder's check) is under way.
  bool measuring() const;
  CWarningDialog* warning_dialog() const { return warning_.get(); }

 protected:
  void InitControls() override;

 private:
  void SelectTab(uint32_t tab);
  void SelectPage(uint32_t page);
  void LoadNormal();
  void LoadAccel();
  void LoadSound();
  void LoadFolder();
  void LoadAutoLoginText();
  void SetDirty(bool dirty);
  void SetSoundBoxesEnabled(bool enabled);
  void SetFolderEditEnabled(bool enabled);
  void ChooseFolder();
  void OnChosenFolderMeasured();
  void EndFolderCheck(bool accepted);
  void OnQuotaMeasured();
  void Warn(const std::wstring& text);
  void CancelAutoLogin();
  std::wstring GameId() const;

  ConfigurationDialogHost host_;
  uint32_t current_tab_ = 0;
  uint32_t current_page_ = 0;
  bool dirty_ = false;
  uilib::HWND owner_ = 0;

  uilib::CButtonUI* tab_buttons_[5] = {};
  uilib::CControlUI* tab_containers_[5] = {};
  uilib::CControlUI* page1_ = nullptr;
  uilib::CControlUI* page2_ = nullptr;
  uilib::CButtonUI* apply_ = nullptr;

  SpinEdit duration_;
  SpinEdit interval_;
  SpinEdit timer_shot_;
  SpinEdit quota_;

  uilib::COptionUI* auto_start_ = nullptr;
  uilib::COptionUI* auto_login_ = nullptr;
  uilib::COptionUI* launching_with_game_ = nullptr;
  uilib::CControlUI* launching_tip_ = nullptr;
  uilib::COptionUI* exit_with_game_ = nullptr;

  uilib::CRichEditUI* navigate_edit_ = nullptr;
  uilib::CControlUI* navigate_folder_ = nullptr;
  uilib::COptionUI* save_default_ = nullptr;
  uilib::COptionUI* save_documents_ = nullptr;
  uilib::COptionUI* save_custom_ = nullptr;
  uilib::COptionUI* remind_quota_ = nullptr;

  uilib::CControlUI* auto_login_text_ = nullptr;
  uilib::CControlUI* cancel_auto_login_ = nullptr;

  uilib::COptionUI* mute_ = nullptr;
  uilib::COptionUI* one_shot_sound_ = nullptr;
  uilib::COptionUI* many_shot_sound_ = nullptr;

  uilib::CRichEditUI* key_edits_[4] = {};
  uilib::COptionUI* time_shot_ = nullptr;
  uilib::CControlUI* ok_ = nullptr;

  std::unique_ptr<CWarningDialog> warning_;
  // A chosen folder is in the field and being checked; the field's text
  // before it went in.
  bool checking_folder_ = false;
  std::wstring folder_before_check_;
  // Declared last: stopped before anything they report to goes.
  std::unique_ptr<FolderSizeWalk> quota_walk_;
  std::unique_ptr<FolderSizeWalk> chosen_walk_;
};
