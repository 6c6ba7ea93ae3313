#pragma once

#include <cstdint>

class OBApplication;
class UserInterfaceHost;

// The main client's life after a successful start-up, on the GUI thread.

// The id and period of the thread timer that drives the logic's tick.
inline constexpr uintptr_t kLogicTimerId = 1;
inline constexpr uint32_t kLogicTimerPeriodMs = 1000;

// Creates the main windows, starts the web client's start-up work and the
// 1-second timer, runs the main loop until it ends, then kills the timer
// and destroys the tray window.
void CreateUserInterface(UserInterfaceHost* ui);

// Takes the calling thread's messages until WM_QUIT (or a close command no
// window took) and hands each out in this order: the tick (WM_TIMER, which
// goes on to the later steps), the daemon pipe input, the game pipe input,
// the video chat, the finished web jobs, the UI library's translate step,
// the window-message chain; anything left is dispatched. `app` may be null.
void RunMessageLoop(OBApplication* app, UserInterfaceHost* ui);

// Shut-down after the loop: stops the logic (saving the configuration),
// the daemon link, releases the single-instance lock and destroys the
// application object, which tells the hook daemon to quit.
void ExitApplication();
