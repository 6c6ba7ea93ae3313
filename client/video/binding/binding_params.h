#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace brx::platform {
class TickClock;
}

namespace ice {

// What one binding task needs to know, copied into it on the main thread.
struct BindingParams {
  std::wstring id;          // the invitation
  std::wstring session_id;  // sent as sid
  std::wstring target;      // the peer's account
  int32_t port_type = 2;    // ICEPortType
  std::string local_ip;     // dotted; this host's address towards the server
  uint32_t start_tick = 0;  // set as the task starts
  uint32_t limit_ms = 10000;
};

// The time and chance a binding task runs on. The defaults are the
// product's; tests shorten them and fix the port choice.
struct BindingTiming {
  // How long one receive waits before the limit is checked again.
  int receive_timeout_ms = 500;
  // The pause after each BIND round, and after a RINGING.
  int pause_ms = 100;
  // First port tried for "even" (the others start one above), and how far
  // the search goes.
  uint16_t first_port = 14000;
  uint16_t port_span = 400;
  // Drives the time limit; null means the system clock.
  const brx::platform::TickClock* clock = nullptr;
  // The random draw of the port offset; empty means a per-task generator
  // seeded from the clock.
  std::function<uint32_t()> random;
};

}  // namespace ice
