#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>

namespace ombrix::test {

class TempDir;

// The stand-in rendezvous server (standin/rendezvous/rendezvous.py) on free
// loopback ports (or those of another address, in a network namespace),
// for one test. Started by the constructor, which waits up
// to 10 s for the server to report its ports; stopped (SIGTERM, then
// reaped) by the destructor. Check ok() before use.
class RendezvousStandin {
 public:
  struct Options {
    std::string netns;               // run inside this network namespace
    std::string host = "127.0.0.1";  // every port listens here
  };
  RendezvousStandin();
  explicit RendezvousStandin(Options options);
  ~RendezvousStandin();
  RendezvousStandin(const RendezvousStandin&) = delete;
  RendezvousStandin& operator=(const RendezvousStandin&) = delete;

  bool ok() const { return ice_port_ != 0; }
  const std::string& host() const { return options_.host; }
  uint16_t ice_port() const { return ice_port_; }
  uint16_t stun_port() const { return stun_port_; }

  // Sends one control command (see the server's usage text) and returns
  // its one-line JSON answer; empty when the control link failed or the
  // answer did not come within the control time-out (the link is then
  // dropped, and the next command opens a new one).
  std::string Control(const std::string& command);
  void set_control_timeout_ms(int ms) { control_timeout_ms_ = ms; }
  // The server's process, for tests that make it misbehave.
  pid_t pid() const { return pid_; }

 private:
  Options options_;
  std::unique_ptr<TempDir> dir_;
  pid_t pid_ = -1;
  uint16_t ice_port_ = 0;
  uint16_t stun_port_ = 0;
  uint16_t control_port_ = 0;
  int control_ = -1;
  int control_timeout_ms_ = 10000;
};

}  // namespace ombrix::test
