#pragma once

#include <string>

#include "client/core/event_parameter.h"
#include "client/ui/base/sign_in_state.h"
#include "uilib/winsys/ui_defs.h"

// What the login window asks of the main window. The main window
// implements it; the login window never owns it.
class ILoginFrame {
 public:
  virtual ~ILoginFrame() = default;
  virtual uilib::HWND GetFrameHwnd() const = 0;
  virtual SignInState GetSignInState() const = 0;
  // Takes over after a sign-in: `state` kAccount or kGuest.
  virtual void ShowAfterSignIn(SignInState state, uilib::HWND login, LoginStood login_stood) = 0;
};

// The tray icon's target window: the one its menu shows and hides.
class ITrayTarget {
 public:
  virtual ~ITrayTarget() = default;
  virtual void SetTargetWindow(uilib::HWND hwnd) = 0;
};
