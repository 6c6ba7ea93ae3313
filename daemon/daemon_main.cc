// The hook daemon: installs the hook library's system-wide hook and holds
// it exactly as long as the main client lives, tied to it by the daemon
// pipe. It quits when that pipe closes or when asked to (SIGTERM, the main
// client's quit), and removes the hook on the way out.

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

#include "daemon/hook_library.h"
#include "daemon/ob_daemon_exe_ipc.h"
#include "runtime/base/block_quit_signals_at_load.h"
#include "runtime/base/quit_signal_watcher.h"
#include "runtime/base/thread.h"
#include "runtime/base/thread_message_queue.h"
#include "runtime/logmaker/log.h"
#include "runtime/platform/single_instance_lock.h"
#include "runtime/util/crash_handler.h"
#include "runtime/util/edition.h"
#include "runtime/util/module_path.h"
#include "runtime/util/text_convert.h"

BRX_BLOCK_QUIT_SIGNALS_AT_LOAD();

namespace {

constexpr char kHookLibrary[] = "OBDaemon.dll";
// Time for hooked processes to let go of the library before it is freed.
constexpr auto kUnhookGrace = std::chrono::milliseconds(4000);
// Process tests shorten the grace through this variable; it can never
// lengthen it, and anything but a plain number of milliseconds is ignored.
constexpr char kUnhookGraceVariable[] = "OMBRIX_UNHOOK_GRACE_MS_FOR_TESTING";
// The main client's finished-web-jobs thread message
// (ombrix::messages::kWebJobsFinished); the daemon may not include the
// client, so the number is repeated here and nowhere else.
constexpr uint32_t kWebJobsMessage = 2024;

// Installed before main, so a crash during start-up is reported too.
const bool g_crash_handler =
    brx::util::InstallProgramCrashHandler("OBDaemon.exe", brx::logmaker::AppLogPath(false));

std::chrono::milliseconds UnhookGrace() {
  const char* text = std::getenv(kUnhookGraceVariable);
  if (!text || !*text) return kUnhookGrace;
  char* end = nullptr;
  errno = 0;
  long long ms = std::strtoll(text, &end, 10);
  if (errno != 0 || *end != '\0' || ms < 0 || ms > kUnhookGrace.count()) return kUnhookGrace;
  return std::chrono::milliseconds(ms);
}

// Once the hook is gone the instance lock goes too: a daemon that a new
// client starts while this one waits out its grace period must be able to
// take over at once, or that client's start fails.
void RemoveHook(HookLibrary* hook, std::unique_ptr<brx::platform::SingleInstanceLock>* instance) {
  bool found = false;
  hook->UninstallGlobalHook(&found);
  if (!found) LogWarnA("GetProcAddress(UninstallGlobalHook) failed!\n");
  instance->reset();
  std::this_thread::sleep_for(UnhookGrace());
  hook->Unload();
}

}  // namespace

int main() {
  (void)g_crash_handler;
  std::string folder = brx::util::WideToUtf8(brx::util::GetModuleDirectory(nullptr));
  if (chdir(folder.c_str()) != 0) return 0;

  // The queue and the signal watcher come first: a quit that arrives at
  // any later point (blocked since load) must reach the loop, or the hook
  // would outlive its client.
  brx::base::ThreadMessageQueue queue;
  uint32_t main_thread_id = queue.thread_id();
  brx::base::QuitSignalWatcher quit_watcher(main_thread_id);

  std::unique_ptr<brx::platform::SingleInstanceLock> instance;
  if (brx::platform::SingleInstanceLock::Acquire("Global\\OBDAEMONEXE_MUTEX", &instance) !=
      brx::platform::SingleInstanceLock::Result::kAcquired)
    return 0;

  HookLibrary hook;
  if (!hook.Load(folder + "/" + kHookLibrary)) {
    LogWarnA("Load %s failed!\n", kHookLibrary);
    return 0;
  }
  int first = 0, second = 0;
  bool found = false;
  if (!hook.CalcDX9FuncRVA(&first, &second, &found)) {
    hook.Unload();
    if (!found)
      LogWarnA("GetProcAddress(CalcDX9FuncRVA) failed!\n");
    else
      LogWarnA("CalcDX9FuncRVA(%d,%d) failed!\n", first, second);
    return 0;
  }
  if (!brx::util::GetEditionInstallHook()) return 0;
  if (!hook.InstallGlobalHook(&found)) {
    hook.Unload();
    LogWarnA(found ? "InstallGlobalHook failed!\n" : "GetProcAddress(InstallGlobalHook) failed!\n");
    return 0;
  }

  auto pipe = std::make_unique<OBDaemonExeIPC>(main_thread_id);
  const char* failure = nullptr;
  if (!pipe->StartService())
    failure = "StartService failed!\n";
  else if (!pipe->BlockConnect(OBDaemonExeIPC::kPipeName))
    failure = "BlockConnect failed!\n";
  if (failure) {
    RemoveHook(&hook, &instance);
    LogWarnA("%s", failure);
    return 0;
  }

  brx::base::Message msg;
  while (queue.Get(&msg)) {
    // The daemon owns no window: nothing is dispatched. Finished-job
    // notices are not even translated.
    if (msg.message == kWebJobsMessage) continue;
  }

  RemoveHook(&hook, &instance);
  pipe->Stop();
  pipe.reset();
  return static_cast<int>(msg.wParam);
}
