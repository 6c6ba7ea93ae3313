#include "client/app/main_loop.h"

#include "client/app/ob_application.h"
#include "client/app/user_interface_host.h"
#include "client/core/core_events.h"
#include "client/core/message_ids.h"
#include "runtime/base/thread_message_queue.h"

using brx::base::Message;

namespace {

// The logic's share of a message; true when it consumed it.
bool DispatchToLogic(OBApplication* app, const Message& msg) {
  OBLogicCommand& logic = app->logic();
  switch (msg.message) {
    case brx::base::WM_TIMER:
      logic.OnTimer();
      return false;  // the windows see the timer too
    case ombrix::messages::kDaemonPipeInput:
      if (!app->daemon_ipc()) break;
      app->daemon_ipc()->DispatchMessages();
      return true;
    case ombrix::messages::kGamePipeInput:
      if (!logic.DispatchGamePipeInput()) break;
      return true;
    default:
      break;
  }
  return logic.OnVideoChatMessage(msg) || logic.DispatchFinishedWebJobs(msg);
}

}  // namespace

void RunMessageLoop(OBApplication* app, UserInterfaceHost* ui) {
  Message msg;
  while (brx::base::GetMessage(&msg)) {
    if (app && DispatchToLogic(app, msg)) continue;
    if (ui->TranslateMessage(msg)) continue;
    payload::SEVENTCHAIN_MESSAGE event(&msg);
    if (app && app->message_chain().FireEventUntilHandled(&event)) continue;
    // A close command for the whole thread that nothing took ends the
    // client. One addressed to a window (the window manager's close) is
    // that window's: it closes, hides or ignores it as it sees fit.
    if (msg.message == brx::base::WM_SYSCOMMAND && msg.wParam == brx::base::SC_CLOSE &&
        msg.hwnd == 0)
      break;
    ui->DispatchMessage(msg);
  }
}

void CreateUserInterface(UserInterfaceHost* ui) {
  OBApplication* app = OBApplication::Get();
  ui->CreateMainWindows(app);
  if (app) app->logic().RunWebStartUpJobs();
  uintptr_t timer = brx::base::SetTimer(0, kLogicTimerId, kLogicTimerPeriodMs);
  if (app) app->set_timer_id(timer);
  RunMessageLoop(app, ui);
  if (timer != 0) brx::base::KillTimer(0, timer);
  ui->DestroyTrayWindow();
}

void ExitApplication() {
  OBApplication* app = OBApplication::Get();
  if (!app) return;
  app->logic().Stop();
  app->StopDaemonLink();
  app->ReleaseInstanceLock();
  OBApplication::DestroyApplication();
}
