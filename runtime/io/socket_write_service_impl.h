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

// Writer for stream sockets (Unix domain or TCP): finds the connection in
// its table and sends without ever waiting (MSG_DONTWAIT, and MSG_NOSIGNAL
// so a gone peer never raises SIGPIPE). A connection that fails is shut
// down, so its reader sees the end and closes it the normal way and the
// peer never reads a cut frame followed by another one. A connection no
// longer in the table fails with ENOTCONN.
class SocketWriteServiceImpl : public IOWriteService::IWriteServiceImpl {
 public:
  SocketWriteServiceImpl();
  ~SocketWriteServiceImpl() override;

  // Any thread.
  void Attach(ConnectionId connection, SharedSocket socket);
  void Detach(ConnectionId connection);
  void DetachAll();

  int WriteSome(ConnectionId connection, const iovec* parts, int count, size_t* written) override;
  int RoomDescriptor(ConnectionId connection) override;
  bool NeverBlocks() const override { return true; }
  // Half-closes the socket: the peer reads what was written, then the end.
  void Shutdown(ConnectionId connection) override;

  // Header then body, as WriteSome.
  int TryWrite(ConnectionId connection, const uint8_t* header, uint32_t header_length,
               const uint8_t* body, uint32_t body_length, size_t* written);

 private:
  // Messages up to this size are joined before they are sent.
  static constexpr size_t kJoinedWriteBytes = 1024;

  SharedSocket Find(ConnectionId connection);

  std::mutex mutex_;
  std::map<ConnectionId, SharedSocket> sockets_;
};

}  // namespace brx::io
