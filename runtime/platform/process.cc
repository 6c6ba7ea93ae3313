#include "runtime/platform/process.h"

#include <dirent.h>
#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "runtime/platform/tick_clock.h"

extern char** environ;

namespace brx::platform {

namespace {

// glibc 2.36 declares these without C linkage for C++; call the kernel directly.
int pidfd_open(pid_t pid, unsigned flags) {
  return static_cast<int>(syscall(SYS_pidfd_open, pid, flags));
}
int pidfd_send_signal(int pidfd, int sig, siginfo_t* info, unsigned flags) {
  return static_cast<int>(syscall(SYS_pidfd_send_signal, pidfd, sig, info, flags));
}

bool ParsePid(const char* name, pid_t* pid) {
  if (!*name) return false;
  char* end = nullptr;
  long v = strtol(name, &end, 10);
  if (*end || v <= 0) return false;
  *pid = static_cast<pid_t>(v);
  return true;
}

}  // namespace

std::unique_ptr<ChildProcess> ChildProcess::Spawn(const SpawnOptions& options, int* error) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(options.path.c_str()));
  for (const std::string& a : options.args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t empty, defaults;
  sigemptyset(&empty);
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  sigaddset(&defaults, SIGTERM);
  sigaddset(&defaults, SIGINT);
  posix_spawnattr_setsigmask(&attr, &empty);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!options.working_directory.empty())
    posix_spawn_file_actions_addchdir_np(&actions, options.working_directory.c_str());

  pid_t pid = 0;
  int rc = posix_spawn(&pid, options.path.c_str(), &actions, &attr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) {
    if (error) *error = rc;
    return nullptr;
  }
  int pidfd = pidfd_open(pid, 0);
  if (pidfd < 0) {
    // The pid is ours and unreaped, so it cannot have been reused; only a
    // kernel without pidfds lands here.
    if (error) *error = errno;
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return nullptr;
  }
  return std::unique_ptr<ChildProcess>(new ChildProcess(pid, pidfd));
}

ChildProcess::~ChildProcess() {
  if (!reaped_) Wait(0);
  close(pidfd_);
}

bool ChildProcess::Signal(int signal) {
  if (reaped_) return false;
  return pidfd_send_signal(pidfd_, signal, nullptr, 0) == 0;
}

bool ChildProcess::Wait(int timeout_ms, int* status) {
  if (!reaped_) {
    pollfd p{pidfd_, POLLIN, 0};
    uint32_t start = GetTickCount();
    while (true) {
      int left = timeout_ms;
      if (timeout_ms >= 0) {
        uint32_t spent = GetTickCount() - start;
        left =
            spent >= static_cast<uint32_t>(timeout_ms) ? 0 : timeout_ms - static_cast<int>(spent);
      }
      int n = poll(&p, 1, left);
      if (n > 0) break;
      if (n == 0) return false;
      if (errno != EINTR) return false;
    }
    int st = 0;
    pid_t r;
    do {
      r = waitpid(pid_, &st, 0);
    } while (r < 0 && errno == EINTR);
    reaped_ = true;
    status_ = r == pid_ ? st : 0;
  }
  if (status) *status = status_;
  return true;
}

std::string ReadProcessImagePath(pid_t pid) {
  std::string link = "/proc/" + std::to_string(pid) + "/exe";
  std::vector<char> buf(4096);
  ssize_t n = readlink(link.c_str(), buf.data(), buf.size());
  if (n <= 0) return "";
  std::string path(buf.data(), static_cast<size_t>(n));
  static const std::string kDeleted = " (deleted)";
  if (path.size() > kDeleted.size() &&
      path.compare(path.size() - kDeleted.size(), kDeleted.size(), kDeleted) == 0)
    path.resize(path.size() - kDeleted.size());
  return path;
}

std::vector<ProcessImage> ListProcessImages() {
  std::vector<ProcessImage> out;
  DIR* dir = opendir("/proc");
  if (!dir) return out;
  while (dirent* e = readdir(dir)) {
    pid_t pid;
    if (!ParsePid(e->d_name, &pid)) continue;
    std::string path = ReadProcessImagePath(pid);
    if (!path.empty()) out.push_back({pid, std::move(path)});
  }
  closedir(dir);
  return out;
}

pid_t FirstThreadOfProcess(pid_t pid) {
  std::string task = "/proc/" + std::to_string(pid) + "/task";
  DIR* dir = opendir(task.c_str());
  if (!dir) return 0;
  pid_t first = 0;
  while (dirent* e = readdir(dir)) {
    pid_t tid;
    if (ParsePid(e->d_name, &tid) && (first == 0 || tid < first)) first = tid;
  }
  closedir(dir);
  return first;
}

bool SignalProcessIf(pid_t pid, const std::function<bool(const std::string& image)>& matches,
                     int signal) {
  int fd = pidfd_open(pid, 0);
  if (fd < 0) return false;
  std::string image = ReadProcessImagePath(pid);
  bool ok = !image.empty() && matches(image) && pidfd_send_signal(fd, signal, nullptr, 0) == 0;
  close(fd);
  return ok;
}

bool SignalProcessIfImage(pid_t pid, const std::string& path, int signal) {
  return SignalProcessIf(
      pid, [&](const std::string& image) { return image == path; }, signal);
}

}  // namespace brx::platform
