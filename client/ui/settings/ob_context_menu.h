#pragma once

#include <memory>
#include <string>

#include "client/ui/base/ob_ui_window.h"
#include "client/ui/settings/configuration_dialog.h"

// What the main window's pop-up menu asks of the main window and of the
// small dialogs the main window offers (about, yes/no). GUI thread only.
class ContextMenuHost {
 public:
  virtual ~ContextMenuHost() = default;
  virtual uilib::HWND MainWindow() const = 0;
  // The main window is in its signed-out (no account) state.
  virtual bool IsSignedOutState() const = 0;
  virtual void ChangeUser() = 0;
  virtual void ShowAbout() = 0;
  virtual void OpenCommunitySite() = 0;
  // Kind 1 switches the user, kind 2 exits; `second_line` empty for a
  // one-line question.
  virtual void AskYesNo(int kind, const std::wstring& first_line,
                        const std::wstring& second_line) = 0;
};

// The main window's pop-up menu: about, community site, settings, change
// user, exit. Owns the settings dialog. Hides itself when it loses the
// activation. Created once with the main window; GUI thread only.
class COBContextMenu : public OBUIWindow {
 public:
  COBContextMenu(ContextMenuHost* host, ConfigurationDialogHost settings);
  ~COBContextMenu() override;

  uilib::LPCTSTR GetWindowClassName() const override { return L"OBContextMenu"; }
  uilib::LRESULT HandleMessage(uilib::UINT msg, uilib::WPARAM wparam,
                               uilib::LPARAM lparam) override;
  void Notify(uilib::TNotifyUI& msg) override;

  // The hidden menu window and the hidden settings dialog, both owned by
  // the main window. False when the menu window could not be made.
  bool Create();
  // Left = main window left + 38; bottom 35 pixels above the main window's.
  void ShowAt();
  void Toggle();
  void SetSignedOut(bool signed_out);
  void RequestLogin(bool ask);

  CConfigurationDialog* settings() const { return settings_.get(); }

 protected:
  void InitControls() override;

 private:
  void HideAndShowMain();

  ContextMenuHost* host_;
  std::unique_ptr<CConfigurationDialog> settings_;
};
