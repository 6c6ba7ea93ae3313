#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace brx::platform {

struct SpawnOptions {
  std::string path;               // program to run
  std::vector<std::string> args;  // argv[1..]; argv[0] is `path`
  std::string working_directory;  // empty: inherit
};

// A child process started by this one, named by a pidfd so that a signal
// can never reach another process that reused the pid. Destroying the
// object neither kills nor waits for the child; it reaps it when it has
// already ended.
class ChildProcess {
 public:
  // Starts the program with default signal dispositions and an empty
  // signal mask (ours blocks SIGTERM/SIGINT for the quit watcher). Returns
  // null and sets `*error` (errno) when it cannot be started.
  static std::unique_ptr<ChildProcess> Spawn(const SpawnOptions& options, int* error = nullptr);

  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return pid_; }
  // Sends `signal` to this child only; false when it has ended and been reaped.
  bool Signal(int signal);
  // Waits up to `timeout_ms` (-1: forever) for the child to end. True when
  // it has ended; `*status` then holds the waitpid status.
  bool Wait(int timeout_ms, int* status = nullptr);
  bool HasExited() { return Wait(0); }

 private:
  ChildProcess(pid_t pid, int pidfd) : pid_(pid), pidfd_(pidfd) {}
  pid_t pid_;
  int pidfd_;
  bool reaped_ = false;
  int status_ = 0;
};

struct ProcessImage {
  pid_t pid;
  std::string path;  // the image's full path, " (deleted)" removed
};

// Every process whose image path can be read. Processes of other users or
// ones that vanish while listed are left out, never reported with an empty path.
std::vector<ProcessImage> ListProcessImages();

// The image path of one process; empty when it cannot be read.
std::string ReadProcessImagePath(pid_t pid);

// The lowest thread id of a process (its main thread); 0 when it has none.
pid_t FirstThreadOfProcess(pid_t pid);

// Sends `signal` to the process `pid` only when `matches` accepts its
// image path, through a pidfd opened before the check, so that a pid
// reused between the check and the signal is never hit.
bool SignalProcessIf(pid_t pid, const std::function<bool(const std::string& image)>& matches,
                     int signal);
// The same for an exact image path.
bool SignalProcessIfImage(pid_t pid, const std::string& path, int signal);

}  // namespace brx::platform
