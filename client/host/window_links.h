#pragma once

#include <string>

#include "client/ui/login/login_links.h"
#include "client/ui/tray/tray_links.h"

class COBFrameWnd;

// Where the windows meet each other. The windows only know the small
// interfaces they declare; this class answers them with the real main
// window (the web user they are given as it is). None owns what it borrows;
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
