#include "runtime/net/udt/udt_service_client.h"

#include <poll.h>

#include <chrono>

#include "runtime/logmaker/log.h"
#include "runtime/net/net_address.h"

namespace brx::net::udt {

namespace {

// Waits up to `ms` for the thread's stop event; true when stopping.
bool WaitStop(base::ThreadBase& thread, int ms) {
  if (thread.IsStopping()) return true;
  pollfd stop{thread.stop_event().fd(), POLLIN, 0};
  poll(&stop, 1, ms);
  return thread.IsStopping();
}

}  // namespace

UDTServiceClient::UDTServiceClient()
    : buffer_(kReceiveSize, kMaxFrameLength),
      connecter_service_("brx.net.udt.UDTServiceClient:connecter_service_") {
  connecter_service_.BindThreadMethod(this, &UDTServiceClient::ConnectRoutine);
}

UDTServiceClient::~UDTServiceClient() { Stop(); }

bool UDTServiceClient::Initial(uint16_t port) {
  if (socket_.load() != UDT::INVALID_SOCK || connection_ != 0) return false;
  if (!CreateEpoll()) return false;
  UDTSOCKET socket = NewSocket();
  if (socket == UDT::INVALID_SOCK) return false;
  // Non-blocking receives also make connect asynchronous, so an attempt
  // can be given up the moment the client stops.
  PrepareStreamSocket(socket);
  if (!BindSocket(socket, port, kFirstPort)) {
    LogWarnA("%s:%d:cannot bind %u (%d)\n", "brx::net::udt::UDTServiceClient::Initial", __LINE__,
             port, UDT::getlasterror_code());
    UDT::close(socket);
    return false;
  }
  socket_.store(socket);
  connection_ = io::NewConnectionId();
  bool started = StartServiceThreads();
  set_running(started);
  return started;
}

void UDTServiceClient::Connect(const std::string& ip, uint16_t port) {
  if (!IsRunning()) return;
  if (connecting_.load() || connected_.load() ||
      connecter_service_.GetThreadId() == base::CurrentThreadId()) {
    LogWarnA("%s:%d:connect ignored: already connecting or connected\n",
             "brx::net::udt::UDTServiceClient::Connect", __LINE__);
    return;
  }
  connecter_service_.Stop();  // the last attempt's thread has ended; join it
  if (!MakeIPv4Address(ip, port, &peer_address_) || ip.empty())
    peer_address_.sin_family = AF_UNSPEC;
  connect_delay_ms_ = next_connect_delay_ms_;
  connecting_.store(true);
  if (!connecter_service_.Start()) connecting_.store(false);
}

void UDTServiceClient::ConnectRoutine() {
  if (WaitStop(connecter_service_, connect_delay_ms_)) {
    connecting_.store(false);
    return;
  }
  UDTSOCKET socket = socket_.load();
  if (socket == UDT::INVALID_SOCK) return OnConnectResult(CUDTException::EINVSOCK);
  if (peer_address_.sin_family != AF_INET) return OnConnectResult(CUDTException::EINVPARAM);
  if (UDT::connect(socket, reinterpret_cast<sockaddr*>(&peer_address_), sizeof(peer_address_)) ==
      UDT::ERROR) {
    return OnConnectResult(UDT::getlasterror_code());
  }
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(connect_timeout_ms_);
  for (;;) {
    UDTSTATUS state = UDT::getsockstate(socket);
    if (state == CONNECTED) return OnConnectResult(0);
    if (state != CONNECTING) return OnConnectResult(CUDTException::ECONNREJ);
    if (std::chrono::steady_clock::now() >= deadline)
      return OnConnectResult(CUDTException::ENOSERVER);
    if (WaitStop(connecter_service_, 5)) {
      connecting_.store(false);
      return;
    }
  }
}

void UDTServiceClient::OnConnectResult(int error) {
  if (error == 0) {
    Watch(connection_, socket_.load());
    connected_.store(true);
  } else {
    LogWarnA("%s:%d:connect failed (%d)\n", "brx::net::udt::UDTServiceClient::ConnectRoutine",
             __LINE__, error);
    CloseSocket();
  }
  connecting_.store(false);
  OnConnect(error);
}

void UDTServiceClient::Stop() {
  set_running(false);
  connecter_service_.Stop();
  StopServiceThreads();
  CloseSocket();
  CloseAll();
  connected_.store(false);
  connecting_.store(false);
}

io::ReassemblyBuffer* UDTServiceClient::GetReassemblyBuffer(io::ConnectionId connection) {
  return connection == connection_ ? &buffer_ : nullptr;
}

void UDTServiceClient::OnSocketError(io::ConnectionId, int error) {
  // The base has closed the watched socket already.
  socket_.store(UDT::INVALID_SOCK);
  connected_.store(false);
  buffer_.Clear();
  OnClose(error);
}

void UDTServiceClient::CloseSocket() {
  UDTSOCKET socket = socket_.exchange(UDT::INVALID_SOCK);
  if (socket == UDT::INVALID_SOCK) return;
  Unwatch(connection_);
  UDT::close(socket);
  buffer_.Clear();
  Clear();
}

}  // namespace brx::net::udt
