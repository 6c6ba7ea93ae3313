#include "runtime/io/socket_write_service_impl.h"

#include <errno.h>
#include <sys/socket.h>
#include <sys/uio.h>

#include <cstring>

namespace brx::io {

SocketWriteServiceImpl::SocketWriteServiceImpl() = default;

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

SharedSocket SocketWriteServiceImpl::Find(ConnectionId connection) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = sockets_.find(connection);
  return it == sockets_.end() ? nullptr : it->second;
}

void SocketWriteServiceImpl::Shutdown(ConnectionId connection) {
  SharedSocket socket = Find(connection);
  if (socket && socket->valid()) shutdown(socket->get(), SHUT_WR);
}

int SocketWriteServiceImpl::RoomDescriptor(ConnectionId connection) {
  SharedSocket socket = Find(connection);
  return socket && socket->valid() ? socket->get() : -1;
}

int SocketWriteServiceImpl::WriteSome(ConnectionId connection, const iovec* parts, int count,
                                      size_t* written) {
  *written = 0;
  SharedSocket socket = Find(connection);
  if (!socket || !socket->valid()) return ENOTCONN;
  size_t total = 0;
  for (int i = 0; i < count; ++i) total += parts[i].iov_len;
  // A small message costs less joined and sent from one buffer than
  // described to the kernel in pieces.
  uint8_t joined[kJoinedWriteBytes];
  iovec single;
  if (count > 1 && total <= kJoinedWriteBytes) {
    size_t at = 0;
    for (int i = 0; i < count; ++i) {
      if (parts[i].iov_len) memcpy(joined + at, parts[i].iov_base, parts[i].iov_len);
      at += parts[i].iov_len;
    }
    single = {joined, total};
    parts = &single;
    count = 1;
  }
  int first = 0;
  size_t offset = 0;  // into parts[first]
  while (*written < total) {
    iovec rest[64];
    int n_rest = 0;
    for (int i = first; i < count && n_rest < 64; ++i) {
      size_t skip = i == first ? offset : 0;
      if (parts[i].iov_len - skip == 0) continue;
      rest[n_rest++] = {static_cast<uint8_t*>(parts[i].iov_base) + skip, parts[i].iov_len - skip};
    }
    msghdr message{};
    message.msg_iov = rest;
    message.msg_iovlen = static_cast<size_t>(n_rest);
    ssize_t n = sendmsg(socket->get(), &message, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return EAGAIN;
    if (n <= 0) {
      int error = n < 0 ? errno : EPIPE;
      shutdown(socket->get(), SHUT_RDWR);  // never a cut frame followed by another
      return error;
    }
    *written += static_cast<size_t>(n);
    size_t advance = static_cast<size_t>(n);
    while (first < count && advance >= parts[first].iov_len - offset) {
      advance -= parts[first].iov_len - offset;
      offset = 0;
      ++first;
    }
    offset += advance;
  }
  return 0;
}

int SocketWriteServiceImpl::TryWrite(ConnectionId connection, const uint8_t* header,
                                     uint32_t header_length, const uint8_t* body,
                                     uint32_t body_length, size_t* written) {
  iovec parts[2] = {{const_cast<uint8_t*>(header), header_length},
                    {const_cast<uint8_t*>(body), body_length}};
  return WriteSome(connection, parts, body_length ? 2 : 1, written);
}

}  // namespace brx::io
