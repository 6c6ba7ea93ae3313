#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>

namespace ombrix::test {

class TempDir;

// The stand-in rendezvous server (standin/rendezvous/rendezvous.py) on free
// loopback ports, for one test. Started by the constructor, which waits up
// to 10 s for the server to report its ports; stopped (SIGTERM, then
// reaped) by the destructor. Check ok() before use.
class RendezvousStandin {
 public:
  RendezvousStandin();
  ~RendezvousStandin();
  RendezvousStandin(const RendezvousStandin&) = delete;
  RendezvousStandin& operator=(const RendezvousStandin&) = delete;

  bool ok() const { return ice_port_ != 0; }
  uint16_t ice_port() const { return ice_port_; }
  uint16_t stun_port() const { return stun_port_; }

  // Sends one control command (see the server's usage text) and returns
  // its one-line JSON answer; empty when the control link failed.
  std::string Control(const std::string& command);

 private:
  std::unique_ptr<TempDir> dir_;
  pid_t pid_ = -1;
  uint16_t ice_port_ = 0;
  uint16_t stun_port_ = 0;
  uint16_t control_port_ = 0;
  int control_ = -1;
};

}  // namespace ombrix::test
