#pragma once

#include <memory>
#include <string>

#include "client/app/user_interface_host.h"
#include "client/ui/controls/control_context.h"
#include "uilib/winsys/ui_defs.h"

class ClientComposition;
class COBUpdateUserImageDlg;
class COBFrameWnd;
class COBLoginWnd;
class FrameWindowLink;
class OBWndTray;
class WebFrameServices;
class AvatarEditorHost;

// The user interface of the client with its windows, on the skin library:
// the main frame, the tray and the login window, linked to each other and
// to the web logic; message boxes are the library's. Which toolkit shows
// them is the library's choice (a display when one opens, else windows in
// memory). GUI thread only.
class DesktopUserInterface : public UserInterfaceHost {
 public:
  // The sign-up and password-recovery pages of the account provider, and
  // the product's home page, which the login window opens.
  struct Pages {
    std::string register_url = "https://passport.ombrix.example/PTNew/phone_default.aspx?from=0";
    std::string recover_url =
        "https://passport.ombrix.example/ptinfo/safecenter/getpwd/"
        "ChgPwdStepInputAcc.aspx?pwdchoose=findpwd";
    std::string home_page = "http://www.ombrix.example/";
    // The account provider's site (the settings dialog's password page).
    std::string account_site = "https://passport.ombrix.example";
  };

  // `composition` gives the web logic; it outlives this object.
  explicit DesktopUserInterface(ClientComposition& composition);
  DesktopUserInterface(ClientComposition& composition, Pages pages);
  ~DesktopUserInterface() override;

  void ShowMessageBox(const wchar_t* text, const wchar_t* caption) override;
  void CreateMainWindows(OBApplication* app) override;
  bool TranslateMessage(const brx::base::Message& msg) override;
  void DispatchMessage(const brx::base::Message& msg) override;
  void DestroyTrayWindow() override;

  // Destroys the frame and login windows (and what links them). They hold
  // subscriptions on the application's chains, so this runs after the main
  // loop and before the application object goes.
  void CloseWindows();

  COBFrameWnd* frame() const { return frame_.get(); }
  COBLoginWnd* login() const { return login_.get(); }
  OBWndTray* tray() const { return tray_.get(); }
  COBUpdateUserImageDlg* avatar_editor() const { return avatar_.get(); }

 private:
  void ShowLoginWindow();
  void PlaceLoginWindow(bool hidden);
  // The avatar editor over the profile editor, made on first use; the
  // upload address comes from the server configuration, so a window made
  // before it arrived is made again.
  void OpenAvatarEditor(OBApplication* app, const std::wstring& key, const uilib::RECT& at);

  ClientComposition& composition_;
  Pages pages_;
  ControlContext controls_;
  std::unique_ptr<WebFrameServices> frame_services_;
  std::unique_ptr<COBFrameWnd> frame_;
  std::unique_ptr<FrameWindowLink> frame_link_;
  std::unique_ptr<OBWndTray> tray_;
  std::unique_ptr<COBLoginWnd> login_;
  std::unique_ptr<AvatarEditorHost> avatar_host_;
  std::unique_ptr<COBUpdateUserImageDlg> avatar_;
};
