#include "runtime/net/udt/udt_io_write_service_impl.h"

#include <errno.h>

#include <algorithm>

namespace brx::net::udt {

void UDTIOWriteServiceImpl::Attach(io::ConnectionId connection, UDTSOCKET socket) {
  std::lock_guard<std::mutex> lock(mutex_);
  sockets_[connection] = Entry{socket};
}

void UDTIOWriteServiceImpl::Detach(io::ConnectionId connection) {
  std::lock_guard<std::mutex> lock(mutex_);
  sockets_.erase(connection);
}

void UDTIOWriteServiceImpl::DetachAll() {
  std::lock_guard<std::mutex> lock(mutex_);
  sockets_.clear();
}

int UDTIOWriteServiceImpl::WriteSome(io::ConnectionId connection, const iovec* parts, int count,
                                     size_t* written) {
  *written = 0;
  UDTSOCKET socket = UDT::INVALID_SOCK;
  Clock::time_point stalled_since;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = sockets_.find(connection);
    if (it != sockets_.end()) {
      socket = it->second.socket;
      stalled_since = it->second.stalled_since;
    }
  }
  if (socket == UDT::INVALID_SOCK) return ENOTCONN;
  int result = 0;
  for (int i = 0; i < count && result == 0; ++i) {
    const char* data = static_cast<const char*>(parts[i].iov_base);
    size_t done = 0;
    while (done < parts[i].iov_len) {
      size_t piece = std::min(parts[i].iov_len - done, kSendPieceBytes);
      int n = UDT::send(socket, data + done, static_cast<int>(piece), 0);
      if (n > 0) {
        done += static_cast<size_t>(n);
        *written += static_cast<size_t>(n);
        continue;
      }
      int code = n == 0 ? CUDTException::ETIMEOUT : UDT::getlasterror_code();
      result = code == CUDTException::ETIMEOUT || code == CUDTException::EASYNCSND ? EAGAIN : EPIPE;
      break;
    }
  }
  auto now = Clock::now();
  bool stuck = false;
  if (result == EAGAIN && *written == 0) {
    if (stalled_since == Clock::time_point{}) stalled_since = now;
    stuck = now - stalled_since >
            std::chrono::milliseconds(stall_timeout_ms_.load(std::memory_order_relaxed));
  } else {
    stalled_since = {};
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = sockets_.find(connection);
    if (it != sockets_.end()) it->second.stalled_since = stalled_since;
  }
  if (result == EPIPE || stuck) {
    // Half a frame may be out: the peer must not read on from there.
    UDT::close(socket);
    return stuck ? ETIMEDOUT : EPIPE;
  }
  return result;
}

}  // namespace brx::net::udt
