#include "client/app/hook_daemon.h"

#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "runtime/logmaker/log.h"
#include "runtime/platform/process.h"
#include "runtime/util/process_util.h"
#include "runtime/util/text_convert.h"

namespace {

// Waits until the process has ended or `timeout_ms` has passed.
void WaitForExit(pid_t pid, int timeout_ms) {
  int fd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  if (fd < 0) {
    // Already gone, or no pidfds: either way the round's pause is all there is.
    if (errno != ESRCH) std::this_thread::sleep_for(std::chrono::milliseconds(timeout_ms));
    return;
  }
  pollfd p{fd, POLLIN, 0};
  while (poll(&p, 1, timeout_ms) < 0 && errno == EINTR) {
  }
  close(fd);
}

}  // namespace

std::wstring HookDaemonPath(const std::wstring& program_folder) {
  return program_folder + L"/OBDaemon.exe";
}

int StopStaleHookDaemons(const std::wstring& daemon_path, int max_rounds, int round_wait_ms) {
  int sent = 0;
  for (int round = 0; round < max_rounds; ++round) {
    pid_t pid = 0;
    pid_t thread = 0;
    if (!brx::util::FindProcessByPath(daemon_path, &pid) ||
        !brx::util::FindFirstThreadOfProcess(pid, &thread))
      break;
    // The image is checked against the daemon's path again through a pidfd,
    // so a pid that was reused in between is never hit.
    if (brx::util::SignalProcessByPath(pid, daemon_path, SIGTERM)) ++sent;
    WaitForExit(pid, round_wait_ms);
  }
  return sent;
}

std::unique_ptr<brx::platform::ChildProcess> SpawnHookDaemon(const std::wstring& daemon_path,
                                                             const std::wstring& program_folder) {
  brx::platform::SpawnOptions options;
  options.path = brx::util::WideToUtf8(daemon_path);
  options.working_directory = brx::util::WideToUtf8(program_folder);
  int error = 0;
  std::unique_ptr<brx::platform::ChildProcess> daemon =
      brx::platform::ChildProcess::Spawn(options, &error);
  if (!daemon) LogError(L"CreateProcessW %ls failed[%d]\n", daemon_path.c_str(), error);
  return daemon;
}
