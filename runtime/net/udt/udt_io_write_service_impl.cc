#include "runtime/net/udt/udt_io_write_service_impl.h"

#include <poll.h>

#include <chrono>


namespace brx::net::udt {

namespace {

bool Cancelled(int cancel_fd) {
  pollfd p{cancel_fd, POLLIN, 0};
  return poll(&p, 1, 0) > 0;
}

}  // namespace

void UDTIOWriteServiceImpl::Attach(io::ConnectionId connection, UDTSOCKET socket) {
  std::lock_guard<std::mutex> lock(mutex_);
  sockets_[connection] = socket;
}

void UDTIOWriteServiceImpl::Detach(io::ConnectionId connection) {
  std::lock_guard<std::mutex> lock(mutex_);
  sockets_.erase(connection);
}

void UDTIOWriteServiceImpl::DetachAll() {
  std::lock_guard<std::mutex> lock(mutex_);
  sockets_.clear();
}

int UDTIOWriteServiceImpl::Write(const io::QueuedMessage& message, int cancel_fd) {
  UDTSOCKET socket = UDT::INVALID_SOCK;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = sockets_.find(message.connection);
    if (it != sockets_.end()) socket = it->second;
  }
  if (socket == UDT::INVALID_SOCK) return -CUDTException::EINVSOCK;
  const char* data = reinterpret_cast<const char*>(message.body.get());
  uint32_t written = 0;
  int last = 0;
  const auto stall_limit = std::chrono::milliseconds(stall_timeout_ms_.load(std::memory_order_relaxed));
  auto stalled_since = std::chrono::steady_clock::now();
  while (written < message.length) {
    int n = UDT::send(socket, data + written, static_cast<int>(message.length - written), 0);
    if (n > 0) {
      written += static_cast<uint32_t>(n);
      last = n;
      stalled_since = std::chrono::steady_clock::now();
      continue;
    }
    int code = n == 0 ? CUDTException::ETIMEOUT : UDT::getlasterror_code();
    bool full = code == CUDTException::ETIMEOUT || code == CUDTException::EASYNCSND;
    bool stuck = std::chrono::steady_clock::now() - stalled_since > stall_limit;
    if (full && !stuck && !Cancelled(cancel_fd)) continue;
    if (written > 0 || stuck) UDT::close(socket);
    return -code;
  }
  return last;
}

}  // namespace brx::net::udt
