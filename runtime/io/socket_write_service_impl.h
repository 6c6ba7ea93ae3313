#pragma once

#include <map>
#include <memory>
#include <mutex>

#include "runtime/io/io_write_service.h"
#include "runtime/io/scoped_fd.h"

namespace brx::io {

// A descriptor shared by a connection's reader and the write thread: it is
// closed only when both have let go, so the write thread can never write
// into a descriptor number the kernel already gave to a newer connection.
using SharedSocket = std::shared_ptr<ScopedFd>;

// Writer for stream sockets (Unix domain or TCP): finds the message's
// connection in its table and writes the whole buffer with
// WriteAllToSocket. A write that stops half-way (error, or a peer that has
// not read for kWriteStallTimeoutMs) shuts the socket down, so the reader
// sees the connection end and closes it the normal way: the peer never
// gets the rest of a frame glued to the next one. A message for a
// connection no longer in the table is dropped.
class SocketWriteServiceImpl : public IOWriteService::IWriteServiceImpl {
 public:
  explicit SocketWriteServiceImpl(int stall_timeout_ms);
  ~SocketWriteServiceImpl() override;

  // Any thread.
  void Attach(ConnectionId connection, SharedSocket socket);
  void Detach(ConnectionId connection);
  void DetachAll();

  int Write(const QueuedMessage& message, int cancel_fd) override;
  int TryWrite(ConnectionId connection, const uint8_t* header, uint32_t header_length, const uint8_t* body,
               uint32_t body_length, size_t* written) override;
  // Half-closes the socket: the peer reads what was written, then the end.
  void Shutdown(ConnectionId connection) override;

 private:
  // Messages up to this size are joined before TryWrite sends them.
  static constexpr size_t kJoinedWriteBytes = 1024;
  // Sends data[*written..length) without blocking; TryWrite's results.
  static int SendNow(int fd, const uint8_t* data, size_t length, size_t* written);

  const int stall_timeout_ms_;
  std::mutex mutex_;
  std::map<ConnectionId, SharedSocket> sockets_;
};

}  // namespace brx::io
