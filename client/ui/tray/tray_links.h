#pragma once

#include <string>

#include "client/ui/base/sign_in_state.h"
#include "uilib/winsys/ui_defs.h"

// What the tray and its prompt ask of the main window, which implements it.
class ITrayFrame {
 public:
  virtual ~ITrayFrame() = default;
  virtual uilib::HWND GetFrameHwnd() const = 0;
  virtual SignInState GetSignInState() const = 0;
  // The settings dialog's one-shot start-up check.
  virtual void StartDelayedCheck() = 0;
  // The settings dialog on its first page.
  virtual void ShowSettings() = 0;
  // The reminder page: "1" diary, "2" mentions, "3" messages, "4" fans.
  virtual void ShowRemind(const std::wstring& which) = 0;
};
