#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/installed_host.h"

namespace gamelink_it {

// OBHost.exe from a private install (see ombrix::test::InstalledHost). By
// default the copy's fallback game file keeps the client running when a
// game leaves (ExitWithGame off), because most tests make games come and
// go; kKeep leaves the install's own setting (on).
class HostUnderTest {
 public:
  enum class ExitWithGame { kOff, kKeep };
  explicit HostUnderTest(ExitWithGame exit_with_game = ExitWithGame::kOff);

  bool Start();
  // True once a game pipe accepts a connection within `timeout`.
  bool ServesGamePipes(std::chrono::milliseconds timeout);
  bool Signal(int signal) { return process_ && process_->Signal(signal); }
  // Exit code once it ended by itself within `timeout`; -1000 otherwise.
  int WaitForExit(std::chrono::milliseconds timeout) {
    return process_ ? process_->WaitForExit(timeout) : -1000;
  }
  bool HasExited() { return !process_ || process_->HasExited(); }
  std::string Stderr() const { return process_ ? process_->Stderr() : ""; }
  std::string Log() const { return installed_.Log(); }

  const std::string& program() const { return installed_.program(); }
  std::string PipeDir() const { return installed_.PipeDir(); }

 private:
  ombrix::test::InstalledHost installed_;
  std::vector<std::unique_ptr<ombrix::test::ScopedEnv>> env_;
  std::unique_ptr<ombrix::test::HostProcess> process_;
};

}  // namespace gamelink_it
