#include "client/host/obhost_main.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "client/app/main_loop.h"
#include "client/app/ob_application.h"
#include "client/core/ui_string_table.h"
#include "client/host/client_composition.h"
#include "client/host/desktop_user_interface.h"
#include "client/host/edition_update.h"
#include "client/host/headless_user_interface.h"
#include "runtime/base/quit_signal_watcher.h"
#include "runtime/base/thread_message_queue.h"
#include "runtime/logmaker/log.h"
#include "runtime/util/crash_handler.h"
#include "runtime/util/edition.h"
#include "runtime/util/module_path.h"
#include "runtime/util/text_convert.h"

namespace {

// The arguments after the program name, joined by blanks.
std::string CommandLineOf(int argc, char** argv) {
  std::string line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) line += ' ';
    line += argv[i];
  }
  return line;
}

}  // namespace

int OBHostMain(int argc, char** argv) {
  // SIGTERM and SIGINT become WM_QUIT on this (the GUI) thread's queue, so
  // that being asked to quit shuts the client down in its normal order.
  // The program blocks them from load on (see program/main.cc), so one
  // that came before the watcher waits for it; the queue exists before the
  // watcher. Blocking again keeps the promise for a caller without that.
  brx::base::BlockQuitSignals();
  brx::base::ThreadMessageQueue gui_queue;
  brx::base::QuitSignalWatcher quit_watcher(gui_queue.thread_id());

  std::wstring folder = brx::util::GetModuleDirectory(nullptr);
  if (chdir(brx::util::WideToUtf8(folder).c_str()) != 0) {
    // Every relative file name below would miss; the logic finds its files
    // by the full folder anyway.
  }
  if (ApplyEditionUpdate(folder)) {
    // The crash handler was installed before main with the old version;
    // a crash from now on belongs to the new one (its report name, its log).
    brx::util::PrepareCrashReportUpload(brx::util::CrashUploaderPath(),
                                        brx::logmaker::AppLogPath(false), "OBHost.exe",
                                        brx::util::GetEditionVersion());
  }
  UIStringTable::Build();

  ClientComposition composition;
  // OMBRIX_UI=none: no windows at all (message boxes on stderr), for the
  // process tests that drive the client only through its pipes and the
  // web; otherwise the windows, on a display when one opens.
  const char* ui_kind = std::getenv("OMBRIX_UI");
  std::unique_ptr<DesktopUserInterface> desktop;
  std::unique_ptr<UserInterfaceHost> ui;
  if (ui_kind != nullptr && std::strcmp(ui_kind, "none") == 0) {
    ui = std::make_unique<HeadlessUserInterface>();
  } else {
    desktop = std::make_unique<DesktopUserInterface>(composition);
  }
  UserInterfaceHost* host = desktop ? static_cast<UserInterfaceHost*>(desktop.get()) : ui.get();
  OBApplication::Options options;
  options.program_folder = folder;
  options.compose_parts = composition.Composer();
  if (!OBApplication::InitialApplication(host, CommandLineOf(argc, argv), std::move(options))) {
    UIStringTable::Destroy();
    return -1;
  }
  LogWarn(L"[%ls]%ls start\n", L"OBHost.exe", brx::util::GetEditionVersion().c_str());

  CreateUserInterface(host);
  // The windows subscribe to the application's chains: they go first.
  if (desktop) desktop->CloseWindows();
  ExitApplication();

  LogWarn(L"[%ls]%ls exit\n", L"OBHost.exe", brx::util::GetEditionVersion().c_str());
  UIStringTable::Destroy();
  return 0;
}
