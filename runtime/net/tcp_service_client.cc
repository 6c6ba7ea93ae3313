#include "runtime/net/tcp_service_client.h"

#include <errno.h>
#include <sys/socket.h>

#include <algorithm>
#include <limits>

#include "runtime/io/stream_framing.h"
#include "runtime/logmaker/log.h"
#include "runtime/net/net_address.h"

namespace brx::net {

TCPServiceClient::TCPServiceClient() : buffer_(kReceiveSize, kMaxFrameLength) {}

TCPServiceClient::~TCPServiceClient() {
  Stop();
  CloseSocket();
}

bool TCPServiceClient::Initial() {
  if (phase_ != Phase::kNone) return false;
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd < 0) {
    LogWarnA("%s:%d:socket failed (%d)\n", "brx::net::TCPServiceClient::Initial", __LINE__, errno);
    return false;
  }
  socket_ = std::make_shared<io::ScopedFd>(fd);
  int off = 0;
  if (setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &off, sizeof(off)) != 0) return false;
  if (!MakeIPv4Address(bind_address_, 0, &local_address_)) {
    LogWarnA("%s:%d:bad bind address %s\n", "brx::net::TCPServiceClient::Initial", __LINE__,
             bind_address_.c_str());
    return false;
  }
  bool bound = false;
  for (uint32_t port = first_port_; port <= kLastPort && !bound; ++port) {
    local_address_.sin_port = htons(static_cast<uint16_t>(port));
    bound = bind(fd, reinterpret_cast<sockaddr*>(&local_address_), sizeof(local_address_)) == 0;
  }
  if (!bound) {
    LogWarnA("%s:%d:no free port\n", "brx::net::TCPServiceClient::Initial", __LINE__);
    return false;
  }
  connection_ = io::NewConnectionId();
  connect_requested_.store(false);
  operation_.fd = fd;
  writer().Attach(connection_, socket_);
  phase_ = Phase::kBound;
  return StartThreads();
}

void TCPServiceClient::Connect(const std::string& ip, uint16_t port) {
  // Marked before the running check, so a receive thread that ends by
  // itself in between either sees the mark or is seen not running.
  connect_requested_.store(true);
  if (!IsRunning()) return;
  recv_service().PostTask([this, ip, port] { StartConnect(ip, port); });
}

void TCPServiceClient::Close() {
  // The same pairing with OnStop: either the receive thread takes this
  // task, or its end sees the request, or this sees its end.
  close_requested_.store(true);
  if (reactor_ended_.load()) {
    Clear();  // OnStop closed and reported already
    return;
  }
  recv_service().RunOnIoThread([this] {
    Shut(ECONNABORTED, 0);
    // The owner asked: what was received and not yet taken is dropped.
    Clear();
  });
}

void TCPServiceClient::OnStop(int error) {
  TCPServiceBase::OnStop(error);
  if (recv_service().IsStopping()) return;  // the owner stopped it: no reports
  // The thread ends by itself, and tasks posted from now on never run:
  // close here, and tell the owner as if the connection had failed.
  int reason = error != 0 ? error : EBADF;
  bool connect_waiting = phase_ == Phase::kBound && connect_requested_.load();
  Shut(reason, reason);
  if (connect_waiting) OnConnect(reason);
  if (close_requested_.load()) Clear();
  reactor_ended_.store(true);
}

io::ReassemblyBuffer* TCPServiceClient::GetReassemblyBuffer(io::ConnectionId connection) {
  return connection == connection_ ? &buffer_ : nullptr;
}

void TCPServiceClient::StartConnect(const std::string& ip, uint16_t port) {
  if (phase_ != Phase::kBound) {
    LogWarnA("%s:%d:connect ignored: already used\n", "brx::net::TCPServiceClient::Connect",
             __LINE__);
    return;
  }
  sockaddr_in peer;
  if (!MakeIPv4Address(ip, port, &peer) || ip.empty()) return OnConnectDone(EINVAL);
  phase_ = Phase::kConnecting;
  if (connect(socket_->get(), reinterpret_cast<sockaddr*>(&peer), sizeof(peer)) == 0)
    return OnConnectDone(0);
  if (errno != EINPROGRESS) return OnConnectDone(errno);
  operation_.kind = io::IOOperation::Kind::kConnect;
  if (!recv_service().Post(&operation_)) OnConnectDone(errno ? errno : EBADF);
}

void TCPServiceClient::OnConnectDone(int error) {
  if (error == 0) {
    phase_ = Phase::kConnected;
    connected_.store(true, std::memory_order_release);
    if (!PostRead()) {
      error = errno ? errno : EBADF;
      connected_.store(false, std::memory_order_release);
    }
  }
  if (error != 0) {
    // A connection never made is not reported closed.
    CloseSocket();
    phase_ = Phase::kClosed;
  }
  OnConnect(error);
}

bool TCPServiceClient::PostRead() {
  operation_.kind = io::IOOperation::Kind::kRead;
  operation_.buffer = buffer_.Reserve(buffer_.WantedReadSpace(kReceiveSize));
  operation_.size = static_cast<uint32_t>(
      std::min<size_t>(buffer_.ReadLimit(), std::numeric_limits<int32_t>::max()));
  return recv_service().Post(&operation_);
}

void TCPServiceClient::OnIO(int error, io::IOOperation* operation, uint32_t bytes) {
  if (operation != &operation_) return;
  if (operation->kind == io::IOOperation::Kind::kConnect) {
    if (phase_ == Phase::kConnecting) OnConnectDone(error);
    return;
  }
  if (phase_ != Phase::kConnected) return;
  if (bytes == 0) {
    // A peer that closes its end is an orderly close, not an error.
    CloseConnection(error == io::kErrorBrokenPipe ? 0 : error);
    return;
  }
  buffer_.Commit(bytes);
  if (!io::ParseBufferedFrames(*this, connection_, buffer_)) {
    CloseConnection(io::kErrorBadFrame);
    return;
  }
  // A handler may have closed the connection meanwhile.
  if (phase_ == Phase::kConnected && !PostRead()) CloseConnection(errno ? errno : EBADF);
}

void TCPServiceClient::CloseConnection(int error) {
  bool report = phase_ == Phase::kConnected;
  CloseSocket();
  phase_ = Phase::kClosed;
  if (report) OnClose(error);
}

void TCPServiceClient::Shut(int connect_error, int close_error) {
  switch (phase_) {
    case Phase::kConnecting:
      OnConnectDone(connect_error);
      return;
    case Phase::kConnected:
      CloseConnection(close_error);
      return;
    case Phase::kBound:
      // No connect was made: nothing to report.
      CloseSocket();
      phase_ = Phase::kClosed;
      return;
    case Phase::kNone:
    case Phase::kClosed:
      return;
  }
}

void TCPServiceClient::CloseSocket() {
  connected_.store(false, std::memory_order_release);
  if (!socket_) return;
  recv_service().Remove(&operation_);
  writer().Detach(connection_);
  ForgetConnection(connection_);
  shutdown(socket_->get(), SHUT_RDWR);
  // The descriptor closes once the send thread has let go of it too.
  socket_.reset();
  operation_.fd = -1;
  buffer_.Clear();
}

}  // namespace brx::net
