#pragma once

#include <udt/udt.h>

#include <atomic>
#include <map>
#include <mutex>

#include "runtime/io/io_write_service.h"
#include "runtime/io/socket_write.h"

namespace brx::net::udt {

// The UDT writer: finds the message's connection in its table and sends the
// whole buffer with UDT send. The sockets' send time-out is short, so a
// send waiting for room in a full buffer comes back often enough to see
// the service stop; a write that makes no progress for
// kWriteStallTimeoutMs, or fails half-way, closes the socket, so the peer
// never gets half a frame glued to the next one (the receive loop then
// reports the connection closed). A message for a connection no longer in
// the table is dropped.
class UDTIOWriteServiceImpl : public io::IOWriteService::IWriteServiceImpl {
 public:
  // The send time-out the services set on their sockets.
  static constexpr int kSendTimeoutMs = 100;

  // Any thread. The stall limit applies to writes that start afterwards.
  void set_stall_timeout_ms(int ms) { stall_timeout_ms_.store(ms, std::memory_order_relaxed); }
  void Attach(io::ConnectionId connection, UDTSOCKET socket);
  void Detach(io::ConnectionId connection);
  void DetachAll();

  // Returns the bytes of the last successful send or -(UDT error code).
  int Write(const io::QueuedMessage& message, int cancel_fd) override;

 private:
  std::atomic<int> stall_timeout_ms_{io::kWriteStallTimeoutMs};
  std::mutex mutex_;
  std::map<io::ConnectionId, UDTSOCKET> sockets_;
};

}  // namespace brx::net::udt
