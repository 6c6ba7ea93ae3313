#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "client/core/shot_catalogue.h"
#include "client/ui/dialogs/quota_overflow_dialog.h"
#include "client/ui/dialogs/yes_no_dialog.h"
#include "client/ui/frame/frame_services.h"
#include "client/ui/picture/picture_window_host.h"
#include "client/ui/settings/ob_context_menu.h"
#include "client/ui/userinfo/user_info_dialog.h"

class CAboutDialog;
class CFeedDialog;
class COBAlbumWnd;
class COBFrameWnd;
class COBPicWnd;
class CWarningDialog;

// The windows the main window opens: the feedback form and the warning
// box, the screenshot picker and the album, the pop-up menu with its
// settings dialog, the about box and the yes/no question, the profile
// editor and the storage quota note. Each is made on first use, owned
// here alone and kept for the run; all are owned windows of the main
// window and go before it. This object answers what those windows ask of
// the main window. GUI thread only.
class FrameWindows : public IPictureWindowHost,
                     public ContextMenuHost,
                     public UserInfoHost,
                     public IYesNoFrame,
                     public IQuotaDialogOwner {
 public:
  FrameWindows(COBFrameWnd* frame, FrameServices* services, const ControlContext* context);
  ~FrameWindows() override;
  FrameWindows(const FrameWindows&) = delete;
  FrameWindows& operator=(const FrameWindows&) = delete;

  void ShowFeedback();
  void ShowWarning(const std::wstring& title, const std::wstring& text);
  // Each shows its window unless it is shown already, and keeps the other
  // one's opener disabled while it is open.
  void OpenPicker();
  void OpenAlbum();
  // The menu and its settings dialog; made once.
  COBContextMenu* EnsureContextMenu();
  void ShowContextMenu();
  // 1: the normal tab, 2: the shortcut keys.
  void ShowSettings(int tab);
  CUserInfoDialog* EnsureUserInfo();
  // The user's account and roles are asked for again; the editor shows
  // when it exists.
  void ShowUserInfo();
  // Sign-out: the profile editor forgets the user.
  void ResetUserInfo();
  void SetGuestMode(bool guest);
  // The storage check after sign-in. True when it warned.
  bool RunQuotaCheck();

  CFeedDialog* feed() const { return feed_.get(); }
  CWarningDialog* warning() const { return warning_.get(); }
  COBPicWnd* picker() const { return picker_.get(); }
  COBAlbumWnd* album() const { return album_.get(); }
  COBContextMenu* menu() const { return menu_.get(); }
  CConfigurationDialog* settings() const { return menu_ ? menu_->settings() : nullptr; }
  CAboutDialog* about() const { return about_.get(); }
  CYesNoDialog* yes_no() const { return yes_no_.get(); }
  CUserInfoDialog* user_info() const { return user_info_.get(); }
  CQuotaOverflowDialog* quota() const { return quota_.get(); }

  // IPictureWindowHost
  ShotCatalogue& GetShotCatalogue() override;
  void GetGameIds(std::vector<std::wstring>* ids) override;
  std::wstring GetSkinFolder() override;
  void EnableOpener(PictureOpener opener) override;
  std::unique_ptr<IConfirmPrompt> CreateConfirmPrompt() override;

  // ContextMenuHost
  uilib::HWND MainWindow() const override;
  bool IsSignedOutState() const override;
  void ChangeUser() override;
  void ShowAbout() override;
  void OpenCommunitySite() override;
  void AskYesNo(int kind, const std::wstring& first_line, const std::wstring& second_line) override;

  // UserInfoHost
  const UserAccountRecord* CurrentUser() const override;
  void UpdateUserInfo(const std::map<std::wstring, std::wstring>& fields) override;
  void UpdateGameProfile(const std::wstring& json) override;
  void RequestAvatarKey() override;
  void OpenAvatarEditor(const std::wstring& key, const uilib::RECT& at) override;

  // IYesNoFrame
  void HideAndSignOut() override;
  void ShowDefaultPage() override;

  // IQuotaDialogOwner
  void CloseSettings() override;
  void ShowScreenshotFolderPage() override;
  void OpenScreenshotFolder() override;

 private:
  void ShowQuotaNote(int megabytes);
  void SetOpenerEnabled(const wchar_t* name, bool enabled);

  COBFrameWnd* frame_;
  FrameServices* services_;
  const ControlContext* context_;
  ConfigStore* config_ = nullptr;
  // Stands in when the client has no catalogue: nothing to show.
  ShotCatalogue no_shots_;

  // Destroyed bottom up: the quota note goes before the settings dialog
  // whose window owns it.
  std::unique_ptr<CUserInfoDialog> user_info_;
  std::unique_ptr<CYesNoDialog> yes_no_;
  std::unique_ptr<CAboutDialog> about_;
  std::unique_ptr<COBContextMenu> menu_;
  std::unique_ptr<COBAlbumWnd> album_;
  std::unique_ptr<COBPicWnd> picker_;
  std::unique_ptr<CWarningDialog> warning_;
  std::unique_ptr<CFeedDialog> feed_;
  std::unique_ptr<CQuotaOverflowDialog> quota_;
};
