#include "runtime/net/udt/udt_service_server.h"

#include "runtime/logmaker/log.h"

namespace brx::net::udt {

UDTServiceThreadAccept::UDTServiceThreadAccept(UDTServiceServer* server)
    : ThreadRun("brx.net.udt.UDTServiceThreadAccept"), server_(server) {}

UDTServiceThreadAccept::~UDTServiceThreadAccept() { Stop(); }

int UDTServiceThreadAccept::Run() {
  server_->AcceptLoop(this);
  return 0;
}

UDTServiceServer::UDTServiceServer()
    : accept_thread_(std::make_unique<UDTServiceThreadAccept>(this)) {}

UDTServiceServer::~UDTServiceServer() { Stop(); }

bool UDTServiceServer::Initial(uint16_t port) {
  if (listener_.load() != UDT::INVALID_SOCK) return false;
  if (!CreateEpoll()) return false;
  UDTSOCKET listener = NewSocket();
  if (listener == UDT::INVALID_SOCK) return false;
  if (!BindSocket(listener, port, first_port_) || UDT::listen(listener, 1) == UDT::ERROR) {
    LogWarnA("%s:%d:cannot listen on %u (%d)\n", "brx::net::udt::UDTServiceServer::Initial",
             __LINE__, port, UDT::getlasterror_code());
    UDT::close(listener);
    return false;
  }
  listener_.store(listener);
  stopping_.store(false, std::memory_order_release);
  bool started = StartServiceThreads() && accept_thread_->Start();
  set_running(started);
  return started;
}

void UDTServiceServer::Stop() {
  set_running(false);
  stopping_.store(true, std::memory_order_release);
  // Closing the listening socket is what wakes a blocked accept.
  UDTSOCKET listener = listener_.exchange(UDT::INVALID_SOCK);
  if (listener != UDT::INVALID_SOCK) UDT::close(listener);
  accept_thread_->Stop();
  StopServiceThreads();
  CloseAll();
  cache_.Clear();
}

io::ReassemblyBuffer* UDTServiceServer::GetReassemblyBuffer(io::ConnectionId connection) {
  return cache_.Get(connection);
}

void UDTServiceServer::AcceptLoop(base::ThreadBase* thread) {
  int error = 0;
  auto stopping = [&] { return thread->IsStopping() || stopping_.load(std::memory_order_acquire); };
  while (!stopping()) {
    sockaddr_in address{};
    int length = sizeof(address);
    UDTSOCKET socket =
        UDT::accept(listener_.load(), reinterpret_cast<sockaddr*>(&address), &length);
    if (stopping()) {
      if (socket != UDT::INVALID_SOCK) UDT::close(socket);
      break;
    }
    if (socket == UDT::INVALID_SOCK) {
      error = UDT::getlasterror_code();
      LogWarnA("%s:%d:accept failed (%d)\n", "brx::net::udt::UDTServiceServer::AcceptLoop",
               __LINE__, error);
      break;
    }
    OnAccepted(socket, reinterpret_cast<sockaddr*>(&address), length);
  }
  OnStop(error);
}

void UDTServiceServer::OnAccepted(UDTSOCKET socket, const sockaddr* address, int address_length) {
  PrepareStreamSocket(socket);
  io::ConnectionId connection = io::NewConnectionId();
  cache_.Create(connection, kReceiveSize, kMaxFrameLength);
  writer().Attach(connection, socket);
  // The owner hears of the peer before any of its messages.
  OnAccept(connection, address, address_length);
  Watch(connection, socket);
}

void UDTServiceServer::OnSocketError(io::ConnectionId connection, int error) {
  cache_.Remove(connection);
  OnClose(connection, error);
}

}  // namespace brx::net::udt
