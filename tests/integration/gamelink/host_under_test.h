#pragma once

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace gamelink_it {

// OBHost.exe from the install folder, run headless as a separate process
// in a private copy of the install folder, with private registry, lock and
// pipe folders. The copy's fallback game file keeps the client running
// when a game leaves (ExitWithGame off), because these tests make games
// come and go.
class HostUnderTest {
 public:
  HostUnderTest();
  ~HostUnderTest();  // SIGKILL when still running

  bool Start();
  // True once a game pipe accepts a connection within `timeout`.
  bool ServesGamePipes(std::chrono::milliseconds timeout);
  bool Signal(int signal);
  // Exit code once it ended by itself within `timeout`; -1000 otherwise.
  int WaitForExit(std::chrono::milliseconds timeout);
  std::string Stderr() const;
  std::string Log() const;

  const std::string& program() const { return program_; }
  std::string PipeDir() const { return dir_.Sub("state/pipes"); }

 private:
  ombrix::test::TempDir dir_;
  std::string program_;
  std::vector<std::unique_ptr<ombrix::test::ScopedEnv>> env_;
  pid_t pid_ = -1;
  bool exited_ = false;
  int status_ = 0;
};

}  // namespace gamelink_it
