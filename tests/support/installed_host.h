#pragma once

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace ombrix::test {

// One run of a program: its stderr goes to a file. A process still running
// when the object dies is killed.
class HostProcess {
 public:
  HostProcess(const std::string& exe, const std::vector<std::string>& args,
              std::string stderr_path);
  ~HostProcess();
  HostProcess(const HostProcess&) = delete;
  HostProcess& operator=(const HostProcess&) = delete;

  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }
  bool Signal(int signal);
  bool HasExited();
  // The exit code once it ended by itself within `timeout`; -1000 when it
  // did not end in time, -2000 - signal when a signal ended it.
  int WaitForExit(std::chrono::milliseconds timeout = std::chrono::seconds(30));
  std::string Stderr() const;
  // Voluntary context switches of its main thread: one per wake-up.
  long MainThreadWakeUps() const;

 private:
  std::string stderr_path_;
  pid_t pid_ = -1;
  bool exited_ = false;
  int status_ = 0;
};

// The main client's install folder copied privately (program, edition
// library and values, skins, the default game file), with private pipe,
// lock, registry and autostart folders set in this process's environment
// for the object's life, so OBHost.exe and every program it starts use
// them. The client runs without windows (OMBRIX_UI=none), the Chinese font
// check is forced to pass, and the static content
// host points where nothing answers (a test that wants a stand-in sets
// OMBRIX_STATIC_HOST itself, after this object).
class InstalledHost {
 public:
  InstalledHost();
  ~InstalledHost();
  InstalledHost(const InstalledHost&) = delete;
  InstalledHost& operator=(const InstalledHost&) = delete;

  // The copy of the install folder, and a path inside it.
  const std::string& program() const { return program_; }
  std::string Path(const std::string& name) const { return program_ + "/" + name; }
  // Folders of the private state, and scratch space beside them.
  std::string PipeDir() const { return dir_.Sub("state/pipes"); }
  std::string LockDir() const { return dir_.Sub("state/locks"); }
  std::string RegistryDir() const { return dir_.Sub("state/registry"); }
  std::string Scratch(const std::string& name) const { return dir_.Sub(name); }

  // Copies one more file of the install folder into the copy.
  void CopyFromDist(const std::string& name);
  // Replaces the edition values ("Name=value" lines).
  void WriteEditionValues(const std::string& ini);

  // Starts OBHost.exe of the copy with `args`, inside the named network
  // namespace when `netns` is not empty.
  std::unique_ptr<HostProcess> Run(const std::vector<std::string>& args = {"--gui"},
                                   const std::string& netns = "");

  // The client's log for the given edition version.
  std::string Log(const std::string& version = "2.3.109.05") const;
  bool LogHas(const std::string& text, const std::string& version = "2.3.109.05") const {
    return Log(version).find(text) != std::string::npos;
  }

 private:
  TempDir dir_;
  std::string program_;
  std::vector<std::unique_ptr<ScopedEnv>> env_;
  int runs_ = 0;
};

}  // namespace ombrix::test
