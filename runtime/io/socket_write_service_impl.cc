#include "runtime/io/socket_write_service_impl.h"

#include <errno.h>
#include <sys/socket.h>
#include <sys/uio.h>

#include <cstring>

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

int SocketWriteServiceImpl::SendNow(int fd, const uint8_t* data, size_t length, size_t* written) {
  while (*written < length) {
    ssize_t n = send(fd, data + *written, length - *written, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      *written += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return EAGAIN;
    int error = n < 0 ? errno : EPIPE;
    if (*written > 0) shutdown(fd, SHUT_RDWR);  // never leave half a frame
    return error;
  }
  return 0;
}

int SocketWriteServiceImpl::TryWrite(ConnectionId connection, const uint8_t* header, uint32_t header_length,
                                     const uint8_t* body, uint32_t body_length, size_t* written) {
  *written = 0;
  SharedSocket socket;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = sockets_.find(connection);
    if (it != sockets_.end()) socket = it->second;
  }
  if (!socket || !socket->valid()) return ENOTCONN;
  size_t total = size_t{header_length} + body_length;
  if (total <= kJoinedWriteBytes) {
    // A small message costs less joined and sent from one buffer than
    // described to the kernel in two pieces.
    uint8_t joined[kJoinedWriteBytes];
    memcpy(joined, header, header_length);
    if (body_length) memcpy(joined + header_length, body, body_length);
    return SendNow(socket->get(), joined, total, written);
  }
  while (*written < total) {
    iovec parts[2];
    int count = 0;
    if (*written < header_length) {
      parts[count++] = {const_cast<uint8_t*>(header) + *written, header_length - *written};
      if (body_length) parts[count++] = {const_cast<uint8_t*>(body), body_length};
    } else {
      parts[count++] = {const_cast<uint8_t*>(body) + (*written - header_length), total - *written};
    }
    msghdr message{};
    message.msg_iov = parts;
    message.msg_iovlen = static_cast<size_t>(count);
    ssize_t n = sendmsg(socket->get(), &message, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      *written += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return EAGAIN;
    int error = n < 0 ? errno : EPIPE;
    if (*written > 0) shutdown(socket->get(), SHUT_RDWR);  // never leave half a frame
    return error;
  }
  return 0;
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
