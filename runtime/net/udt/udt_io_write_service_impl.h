#pragma once

#include <udt/udt.h>

#include <map>
#include <mutex>

#include "runtime/io/io_write_service.h"

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

  // Any thread.
  void Attach(io::ConnectionId connection, UDTSOCKET socket);
  void Detach(io::ConnectionId connection);
  void DetachAll();

  // Returns the bytes of the last successful send or -(UDT error code).
  int Write(const io::QueuedMessage& message, int cancel_fd) override;

 private:
  std::mutex mutex_;
  std::map<io::ConnectionId, UDTSOCKET> sockets_;
};

}  // namespace brx::net::udt
