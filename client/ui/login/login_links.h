#pragma once

#include <string>

#include "client/core/event_parameter.h"
#include "uilib/winsys/ui_defs.h"

struct UserAccountRecord;

// What the login window asks of the main window. The main window
// implements it; the login window never owns it.
class ILoginFrame {
 public:
  // The sign-in state the main window keeps: 0 before the first sign-in
  // or sign-out, 1 signed out, 2 signed in with an account, 3 as a guest.
  static constexpr int kSignedOut = 1;
  static constexpr int kAccount = 2;
  static constexpr int kGuest = 3;
  // How the login window stood when it handed over: minimised, visible or
  // hidden.
  static constexpr int kLoginMinimized = 2;
  static constexpr int kLoginVisible = 1;
  static constexpr int kLoginHidden = 3;

  virtual ~ILoginFrame() = default;
  virtual uilib::HWND GetFrameHwnd() const = 0;
  virtual int GetSignInState() const = 0;
  // Takes over after a sign-in: `sign_in_state` kAccount or kGuest.
  virtual void ShowAfterSignIn(int sign_in_state, uilib::HWND login, int login_stood) = 0;
};

// The tray icon's target window: the one its menu shows and hides.
class ITrayTarget {
 public:
  virtual ~ITrayTarget() = default;
  virtual void SetTargetWindow(uilib::HWND hwnd) = 0;
};

// The web requests the login window makes; their replies come as events.
class ILoginWeb {
 public:
  virtual ~ILoginWeb() = default;
  virtual void UserLogin(const std::wstring& account, const std::wstring& password, const FromHandle& origin,
                         bool cipher, bool remember) = 0;
  virtual void UserLogout() = 0;
  virtual void UpdateNickName(const std::wstring& nick_name) = 0;
  virtual void GetWYGameUserFriend(const FromHandle& origin) = 0;
  // The signed-in user's record.
  virtual const UserAccountRecord& record() const = 0;
};
