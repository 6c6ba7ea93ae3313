// The launcher Ombrix.exe, the program the user starts: one at a time and
// never beside a running main client. It brings the installation up to the
// version the manifest names, records the installation, and starts the main
// client with its own arguments plus "--gui", and the update applier.
// It shows nothing but its tray icon and writes one log line per failure.

#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "launcher/install_record.h"
#include "launcher/launcher_config.h"
#include "launcher/ombrix_app.h"
#include "launcher/patch_installer.h"
#include "launcher/notify_icon_tray.h"
#include "launcher/tray_icon.h"
#include "runtime/base/quit_signal_watcher.h"
#include "runtime/base/thread_message_queue.h"
#include "runtime/logmaker/log.h"
#include "runtime/platform/process.h"
#include "runtime/platform/single_instance_lock.h"
#include "runtime/util/edition.h"
#include "runtime/util/module_path.h"
#include "runtime/util/text_convert.h"

namespace {

using brx::platform::SingleInstanceLock;

bool MainClientRuns() {
  std::unique_ptr<SingleInstanceLock> probe;
  return SingleInstanceLock::Acquire("Global\\OBHOST_MUTEX", &probe) ==
         SingleInstanceLock::Result::kAlreadyHeld;
}

void Start(const std::string& folder, const char* program, std::vector<std::string> args) {
  brx::platform::SpawnOptions options;
  options.path = folder + "/" + program;
  options.args = std::move(args);
  options.working_directory = folder;
  int error = 0;
  if (!brx::platform::ChildProcess::Spawn(options, &error))
    LogWarnA("Start %s failed[%d]\n", program, error);
}

}  // namespace

int main(int argc, char** argv) {
  std::unique_ptr<SingleInstanceLock> instance;
  if (SingleInstanceLock::Acquire("Global\\OMBRIX_MUTEX", &instance) !=
      SingleInstanceLock::Result::kAcquired)
    return 0;
  if (MainClientRuns()) return 0;

  // Every path below is absolute: the launcher may be started from any
  // folder (at log-on, from a desktop entry).
  std::string folder = brx::util::WideToUtf8(brx::util::GetModuleDirectory(nullptr));
  brx::util::LoadEditionLibrary();
  EditionIdentity edition{brx::util::WideToUtf8(brx::util::GetEditionKey()),
                          brx::util::WideToUtf8(brx::util::GetEditionVersion())};
  LauncherConfig config = LoadLauncherConfig(folder, brx::util::GetEditionGlobalConfig());
  PatchFolders folders{folder, config.ExtractFolder(), config.BackupFolder(),
                       brx::logmaker::AppLogPath(false)};
  if (!config.temp_folder.empty() && RecoverInterruptedInstall(folders))
    LogWarnA("An interrupted patch of %s was rolled back\n", folder.c_str());
  if (const char* kill_after = getenv("OMBRIX_KILL_INSTALL_AFTER_FOR_TESTING"))
    SetKillAfterCopiesForTesting(atoi(kill_after));

  brx::base::BlockQuitSignals();
  brx::base::ThreadMessageQueue queue;
  brx::base::QuitSignalWatcher quit_watcher(queue.thread_id());
  UpdateOutcome outcome;
  {
    // The icon in the notification area; OMBRIX_TRAY_RECORD keeps it in a
    // file instead, for another process to follow.
    const char* record = getenv("OMBRIX_TRAY_RECORD");
    std::unique_ptr<ITrayIcon> tray;
    if (record && *record)
      tray = std::make_unique<RecordingTrayIcon>(record);
    else
      tray = std::make_unique<NotifyIconTray>(folder);
    COmbrixApp app(config, edition, tray.get());
    app.Run();
    outcome = app.TakeOutcome();
  }
  quit_watcher.Stop();
  instance.reset();

  // Asked to quit (log-off, Ctrl-C): no client is started.
  if (quit_watcher.signals_seen() > 0) return 0;

  WriteInstallRecord(brx::util::Utf8ToWide(folder), config.website,
                     outcome.installed ? brx::util::Utf8ToWide(outcome.version) : L"");

  if (chdir(folder.c_str()) != 0) LogWarnA("chdir %s failed\n", folder.c_str());
  std::vector<std::string> args(argv + 1, argv + argc);
  args.push_back("--gui");
  Start(folder, "OBHost.exe", std::move(args));
  Start(folder, "OBUpdateAplldr.exe", {});
  return 0;
}
