#pragma once

#include <udt/udt.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>

#include "runtime/io/io_write_service.h"

namespace brx::net::udt {

// The UDT writer: finds the connection in its table and hands it the
// queued bytes, joined, in as few UDT sends as they fit. The sockets' send
// time-out is short, so a send waiting for room in a full buffer comes
// back often enough for the service to serve its other connections and to
// see a stop. A connection that makes no progress for the stall limit, or
// fails half-way, is closed, so the peer never gets half a frame glued to
// the next one (the receive loop then reports the connection closed). A
// connection no longer in the table fails.
class UDTIOWriteServiceImpl : public io::IOWriteService::IWriteServiceImpl {
 public:
  // The send time-out the services set on their sockets.
  static constexpr int kSendTimeoutMs = 100;
  // The most bytes handed to libudt in one send. The packets of a send
  // reach libudt's sending thread only once the whole send is copied in,
  // so a long send leaves the wire idle meanwhile: on loopback 256 KiB
  // sends run at about two thirds of the rate of 16 KiB ones. Joined
  // messages are therefore handed over in pieces.
  static constexpr size_t kSendPieceBytes = 16 * 1024;
  // How long a connection may take nothing before it counts as dead.
  static constexpr int kStallTimeoutMs = 15000;

  // Any thread. The stall limit applies to stalls that start afterwards.
  void set_stall_timeout_ms(int ms) { stall_timeout_ms_.store(ms, std::memory_order_relaxed); }
  void Attach(io::ConnectionId connection, UDTSOCKET socket);
  void Detach(io::ConnectionId connection);
  void DetachAll();

  int WriteSome(io::ConnectionId connection, const iovec* parts, int count,
                size_t* written) override;

 private:
  using Clock = std::chrono::steady_clock;
  struct Entry {
    UDTSOCKET socket;
    Clock::time_point stalled_since{};  // zero while it takes bytes
  };

  std::atomic<int> stall_timeout_ms_{kStallTimeoutMs};
  std::mutex mutex_;
  std::map<io::ConnectionId, Entry> sockets_;
};

}  // namespace brx::net::udt
