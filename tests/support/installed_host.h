#pragma once

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace ombrix::test {

// The main client OBHost.exe run as a separate process from a private copy
// of the install folder (program, edition library and values, skins, the
// default game file), with private pipe, lock, registry and autostart
// folders set in this process's environment for the object's life, so the
// client and every program it starts use them. Stderr goes to a file.
// A process still running at destruction is killed.
class InstalledHost {
 public:
  InstalledHost();
  ~InstalledHost();
  InstalledHost(const InstalledHost&) = delete;
  InstalledHost& operator=(const InstalledHost&) = delete;

  // The copy of the install folder, and a path inside it.
  const std::string& program() const { return program_; }
  std::string Path(const std::string& name) const { return program_ + "/" + name; }
  // Folders of the private state.
  std::string PipeDir() const { return dir_.Sub("state/pipes"); }
  std::string LockDir() const { return dir_.Sub("state/locks"); }
  std::string RegistryDir() const { return dir_.Sub("state/registry"); }
  std::string Scratch(const std::string& name) const { return dir_.Sub(name); }

  // Copies one more file of the install folder into the copy.
  void CopyFromDist(const std::string& name);
  // Replaces the edition values ("Name=value" lines).
  void WriteEditionValues(const std::string& ini);

  // Starts OBHost.exe with `args`; false when it could not be started.
  bool Start(const std::vector<std::string>& args = {"--gui"});
  pid_t pid() const { return pid_; }
  bool Signal(int signal);
  bool HasExited();
  // The exit code once it ended by itself within `timeout`; -1000 when it
  // did not end in time, -2000 - signal when a signal ended it.
  int WaitForExit(std::chrono::milliseconds timeout = std::chrono::seconds(30));

  std::string Stderr() const;
  // The client's log for the given edition version.
  std::string Log(const std::string& version = "2.3.109.05") const;
  bool LogHas(const std::string& text, const std::string& version = "2.3.109.05") const {
    return Log(version).find(text) != std::string::npos;
  }

 private:
  TempDir dir_;
  std::string program_;
  std::vector<std::unique_ptr<ScopedEnv>> env_;
  pid_t pid_ = -1;
  bool exited_ = false;
  int status_ = 0;
  int runs_ = 0;
};

}  // namespace ombrix::test
