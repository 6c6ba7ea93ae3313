#pragma once

// Where the user stands with the service, as the main window keeps it and
// the login window, the tray and the menu read it.
enum class SignInState {
  kNotYet = 0,     // before the first sign-in or sign-out
  kSignedOut = 1,  // signed out (the login window is up)
  kAccount = 2,    // signed in with an account
  kGuest = 3,      // browsing as a guest
};

// How the login window stood when it handed over to the main window, which
// then shows itself the same way.
enum class LoginStood {
  kVisible = 1,
  kMinimized = 2,
  kHidden = 3,
};
