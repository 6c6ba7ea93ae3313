#pragma once

#include <string>

#include "client/ui/login/login_links.h"
#include "client/ui/tray/tray_links.h"

class COBFrameWnd;
class WebLogicManager;

// Where the windows meet the web logic and each other. The windows only
// know the small interfaces they declare; these classes answer them with
// the real main window and the real web logic. None owns what it borrows;
// the desktop user interface keeps them alive exactly as long as the
// windows. GUI thread only.

// The main window as the login window and the tray see it.
class FrameWindowLink : public ILoginFrame, public ITrayFrame {
 public:
  explicit FrameWindowLink(COBFrameWnd& frame) : frame_(frame) {}

  // ILoginFrame and ITrayFrame.
  uilib::HWND GetFrameHwnd() const override;
  SignInState GetSignInState() const override;
  void ShowAfterSignIn(SignInState state, uilib::HWND login, LoginStood login_stood) override;
  void StartDelayedCheck() override;
  void ShowSettings() override;
  void ShowRemind(const std::wstring& which) override;

 private:
  COBFrameWnd& frame_;
};

// The signed-in user and the sign-in requests, as the login window and the
// tray need them, on the web logic.
class WebUserLink : public ILoginWeb, public ITrayUser {
 public:
  explicit WebUserLink(WebLogicManager& web) : web_(web) {}

  // ILoginWeb
  void UserLogin(const std::wstring& account, const std::wstring& password, const FromHandle& origin, bool cipher,
                 bool remember) override;
  void UserLogout() override;
  void UpdateNickName(const std::wstring& nick_name) override;
  void GetWYGameUserFriend(const FromHandle& origin) override;
  const UserAccountRecord& record() const override;

  // ITrayUser
  bool IsSignedIn() const override;
  std::wstring NickName() const override;
  int NewDiaryCount() const override;
  int NewMentionCount() const override;
  int NewMessageCount() const override;
  int NewFansCount() const override;

 private:
  WebLogicManager& web_;
};
