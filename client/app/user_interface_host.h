#pragma once

namespace brx::base {
struct Message;
}

class OBApplication;

// What start-up and the main loop need from the user interface: message
// boxes, the three main windows and the UI library's message steps. The
// headless client implements it without windows; the windowed client with
// its skin library. GUI thread only.
class UserInterfaceHost {
 public:
  virtual ~UserInterfaceHost() = default;

  // A message box without owner and with one OK button. Either text may be
  // null (a string-table entry that is missing).
  virtual void ShowMessageBox(const wchar_t* text, const wchar_t* caption) = 0;
  // The skin's tool tips, the main frame, tray and login windows, linked to
  // each other; the login window shown unless the application asks for a
  // hidden login.
  virtual void CreateMainWindows(OBApplication* app) = 0;
  // The UI library's translate step; true when it consumed the message.
  virtual bool TranslateMessage(const brx::base::Message& msg) = 0;
  // Translates and dispatches a message to its window.
  virtual void DispatchMessage(const brx::base::Message& msg) = 0;
  // Destroys the tray window after the main loop.
  virtual void DestroyTrayWindow() = 0;
};
