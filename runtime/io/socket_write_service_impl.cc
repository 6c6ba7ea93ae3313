#include "runtime/io/socket_write_service_impl.h"

#include <errno.h>
#include <sys/socket.h>

#include "runtime/io/socket_write.h"

namespace brx::io {

SocketWriteServiceImpl::SocketWriteServiceImpl(int stall_timeout_ms) : stall_timeout_ms_(stall_timeout_ms) {}

SocketWriteServiceImpl::~SocketWriteServiceImpl() = default;

void SocketWriteServiceImpl::Attach(ConnectionId connection, SharedSocket socket) {
  std::lock_guard<std::mutex> lock(mutex_);
  sockets_[connection] = std::move(socket);
}

void SocketWriteServiceImpl::Detach(ConnectionId connection) {
  SharedSocket released;
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = sockets_.find(connection);
  if (it == sockets_.end()) return;
  released = std::move(it->second);
  sockets_.erase(it);
}

void SocketWriteServiceImpl::DetachAll() {
  std::map<ConnectionId, SharedSocket> released;
  std::lock_guard<std::mutex> lock(mutex_);
  released.swap(sockets_);
}

void SocketWriteServiceImpl::Shutdown(ConnectionId connection) {
  SharedSocket socket;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = sockets_.find(connection);
    if (it != sockets_.end()) socket = it->second;
  }
  if (socket && socket->valid()) shutdown(socket->get(), SHUT_WR);
}

int SocketWriteServiceImpl::Write(const QueuedMessage& message, int cancel_fd) {
  SharedSocket socket;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = sockets_.find(message.connection);
    if (it != sockets_.end()) socket = it->second;
  }
  if (!socket || !socket->valid()) return -ENOTCONN;
  size_t written = 0;
  int error = WriteAllToSocket(socket->get(), message.body.get(), message.length, cancel_fd, stall_timeout_ms_,
                               &written);
  if (error == 0) return static_cast<int>(written);
  if ((written > 0 && written < message.length) || error == ETIMEDOUT) shutdown(socket->get(), SHUT_RDWR);
  return -error;
}

}  // namespace brx::io
