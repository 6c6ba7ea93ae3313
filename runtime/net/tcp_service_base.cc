#include "runtime/net/tcp_service_base.h"

#include <errno.h>

#include <memory>

namespace brx::net {

namespace {

std::unique_ptr<TCPIOWriteServiceImpl> MakeWriter(TCPIOWriteServiceImpl** raw) {
  auto writer = std::make_unique<TCPIOWriteServiceImpl>();
  *raw = writer.get();
  return writer;
}

}  // namespace

TCPServiceBase::TCPServiceBase()
    : recv_service_("brx.net.TCPServiceBase:recv_service_", this),
      send_service_("brx.net.TCPServiceBase:send_service_", MakeWriter(&writer_)) {}

TCPServiceBase::~TCPServiceBase() { Stop(); }

bool TCPServiceBase::StartThreads() {
  bool started = recv_service_.Start() && send_service_.Start();
  running_.store(started, std::memory_order_release);
  return started;
}

void TCPServiceBase::Stop() {
  running_.store(false, std::memory_order_release);
  send_service_.Stop();
  recv_service_.Stop();
}

bool TCPServiceBase::Send(io::ConnectionId connection, const uint8_t* header, uint32_t header_length,
                          const uint8_t* body, uint32_t body_length) {
  if (!IsRunning()) return false;
  return send_service_.Write(connection, header, header_length, body, body_length);
}

bool TCPServiceBase::OnError(int error) { return error != EBADF && error != EINVAL && error != EFAULT; }

void TCPServiceBase::OnComplete(int error, io::IOOperation* operation, uint32_t bytes) {
  if (operation) OnIO(error, operation, bytes);
}

// Also when the thread ends by itself: nothing is received any more, so
// nothing is sent either.
void TCPServiceBase::OnStop(int) { running_.store(false, std::memory_order_release); }

}  // namespace brx::net
