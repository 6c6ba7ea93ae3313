#pragma once

#include <cstdio>

#include "client/app/user_interface_host.h"

// The user interface of the client without windows: message boxes go to
// the log and to stderr, window messages have no window to go to. GUI
// thread only.
class HeadlessUserInterface : public UserInterfaceHost {
 public:
  // `err` receives the message boxes (stderr by default).
  explicit HeadlessUserInterface(FILE* err = stderr) : err_(err) {}

  void ShowMessageBox(const wchar_t* text, const wchar_t* caption) override;
  void CreateMainWindows(OBApplication* app) override;
  bool TranslateMessage(const brx::base::Message& msg) override;
  void DispatchMessage(const brx::base::Message& msg) override;
  void DestroyTrayWindow() override;

 private:
  FILE* err_;
};
