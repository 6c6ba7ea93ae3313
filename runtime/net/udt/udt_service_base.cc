#include "runtime/net/udt/udt_service_base.h"

#include <poll.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <set>
#include <vector>

#include "runtime/io/io_monitor_service.h"
#include "runtime/io/reassembly_buffer.h"
#include "runtime/io/stream_framing.h"
#include "runtime/logmaker/log.h"
#include "runtime/net/net_address.h"

namespace brx::net::udt {

namespace {

constexpr char kThreadName[] = "brx.net.udt.UDTServiceBase:recv_service_";
constexpr uint32_t kLastPort = 65534;

bool IsGone(UDTSTATUS state) {
  return state == BROKEN || state == CLOSING || state == CLOSED || state == NONEXIST;
}

}  // namespace

UDTServiceBase::UDTServiceBase()
    : StreamServiceBase(kThreadName, std::make_unique<UDTIOWriteServiceImpl>()),
      recv_service_(kThreadName) {
  UDT::startup();
  recv_service_.BindThreadMethod(this, &UDTServiceBase::ReceiveLoop);
}

UDTServiceBase::~UDTServiceBase() {
  StopServiceThreads();
  CloseAll();
  UDT::cleanup();
}

UDTSOCKET UDTServiceBase::NewSocket() {
  UDTSOCKET socket = UDT::socket(AF_INET, SOCK_STREAM, 0);
  if (socket == UDT::INVALID_SOCK) return socket;
  // UDT would otherwise share a UDP port with the process's other UDT
  // sockets, and a port search would never move past a taken port.
  bool reuse = false;
  UDT::setsockopt(socket, 0, UDT_REUSEADDR, &reuse, sizeof(reuse));
  // UDT's default linger makes a close with unsent data wait up to 180 s
  // for a peer that may never read it; every close here (stop, a failed
  // peer, a stalled write) means the data is no longer wanted. Accepted
  // sockets inherit it from the listener.
  linger no_linger{0, 0};
  UDT::setsockopt(socket, 0, UDT_LINGER, &no_linger, sizeof(no_linger));
  return socket;
}

bool UDTServiceBase::BindSocket(UDTSOCKET socket, uint16_t port, uint16_t first_port) {
  if (!MakeIPv4Address(bind_address_, port, &local_address_)) {
    LogWarnA("%s:%d:bad bind address %s\n", "brx::net::udt::UDTServiceBase::BindSocket", __LINE__,
             bind_address_.c_str());
    return false;
  }
  auto try_bind = [&](uint32_t p) {
    local_address_.sin_port = htons(static_cast<uint16_t>(p));
    return UDT::bind(socket, reinterpret_cast<sockaddr*>(&local_address_),
                     sizeof(local_address_)) != UDT::ERROR;
  };
  if (port != 0) return try_bind(port);
  // A failed bind leaves the UDT socket unbound, so the same socket tries on.
  for (uint32_t p = first_port; p <= kLastPort; ++p) {
    if (try_bind(p)) return true;
  }
  return false;
}

void UDTServiceBase::PrepareStreamSocket(UDTSOCKET socket) {
  bool blocking = false;
  UDT::setsockopt(socket, 0, UDT_RCVSYN, &blocking, sizeof(blocking));
  int timeout = UDTIOWriteServiceImpl::kSendTimeoutMs;
  UDT::setsockopt(socket, 0, UDT_SNDTIMEO, &timeout, sizeof(timeout));
}

bool UDTServiceBase::CreateEpoll() {
  if (epoll_id_ == UDT::ERROR) epoll_id_ = UDT::epoll_create();
  return epoll_id_ != UDT::ERROR;
}

void UDTServiceBase::Watch(io::ConnectionId connection, UDTSOCKET socket) {
  writer().Attach(connection, socket);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    watched_[socket] = connection;
  }
  int events = UDT_EPOLL_IN;
  UDT::epoll_add_usock(epoll_id_, socket, &events);
}

UDTSOCKET UDTServiceBase::Unwatch(io::ConnectionId connection) {
  UDTSOCKET socket = UDT::INVALID_SOCK;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = watched_.begin(); it != watched_.end(); ++it) {
      if (it->second == connection) {
        socket = it->first;
        watched_.erase(it);
        break;
      }
    }
  }
  if (socket == UDT::INVALID_SOCK) return socket;
  writer().Detach(connection);
  ForgetConnection(connection);
  UDT::epoll_remove_usock(epoll_id_, socket);
  return socket;
}

void UDTServiceBase::CloseAll() {
  std::map<UDTSOCKET, io::ConnectionId> sockets;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    sockets.swap(watched_);
  }
  writer().DetachAll();
  for (auto& [socket, connection] : sockets) {
    UDT::epoll_remove_usock(epoll_id_, socket);
    UDT::close(socket);
  }
  if (epoll_id_ != UDT::ERROR) {
    UDT::epoll_release(epoll_id_);
    epoll_id_ = UDT::ERROR;
  }
}

bool UDTServiceBase::StartServiceThreads() { return recv_service_.Start() && StartWriter(); }

void UDTServiceBase::StopServiceThreads() {
  StopWriter();
  recv_service_.Stop();
}

void UDTServiceBase::Fail(io::ConnectionId connection, int error) {
  UDTSOCKET socket = Unwatch(connection);
  if (socket == UDT::INVALID_SOCK) return;
  UDT::close(socket);
  OnSocketError(connection, error);
}

bool UDTServiceBase::ReadSocket(io::ConnectionId connection, UDTSOCKET socket) {
  io::ReassemblyBuffer* buffer = GetReassemblyBuffer(connection);
  if (!buffer) {
    Fail(connection, io::kErrorBadFrame);
    return false;
  }
  // The owner hears of a burst of small messages once per kNotifyEvery,
  // not once per read, so it costs few wakes; it still starts on a long
  // burst early, long before the receive queue's bound.
  constexpr size_t kNotifyEvery = 64;
  size_t pushed = 0;
  auto tell = [&] {
    if (pushed) NotifyBatch();
    pushed = 0;
  };
  while (!recv_service_.IsStopping()) {
    char* room = reinterpret_cast<char*>(buffer->Reserve(buffer->WantedReadSpace(kReceiveSize)));
    int space = static_cast<int>(
        std::min<size_t>(buffer->ReadLimit(), std::numeric_limits<int32_t>::max()));
    int n = UDT::recv(socket, room, space, 0);
    if (n == UDT::ERROR || n == 0) {
      int code = n == 0 ? CUDTException::ECONNLOST : UDT::getlasterror_code();
      tell();
      if (code == CUDTException::EASYNCRCV) return true;  // all read
      Fail(connection, code);
      return false;
    }
    buffer->Commit(static_cast<size_t>(n));
    if (!io::ParseBufferedFrames(*this, connection, *buffer, &pushed)) {
      tell();
      Fail(connection, io::kErrorBadFrame);
      return false;
    }
    if (pushed >= kNotifyEvery) tell();
  }
  tell();
  return true;
}

void UDTServiceBase::ReceiveLoop() {
  int error = 0;
  while (!recv_service_.IsStopping()) {
    std::set<UDTSOCKET> readable;
    int n = UDT::epoll_wait(epoll_id_, &readable, nullptr, kWaitMs);
    if (recv_service_.IsStopping()) break;
    if (n < 0) {
      int code = UDT::getlasterror_code();
      if (code == CUDTException::EINVPARAM) {
        // Nothing to watch yet: idle for one wait, awake to a stop.
        pollfd stop{recv_service_.stop_event().fd(), POLLIN, 0};
        poll(&stop, 1, kWaitMs);
      } else if (code != CUDTException::ETIMEOUT) {
        error = code;
        LogWarnA("%s:%d:epoll_wait failed (%d)\n", "brx::net::udt::UDTServiceBase::ReceiveLoop",
                 __LINE__, code);
        break;
      }
    }
    std::vector<std::pair<UDTSOCKET, io::ConnectionId>> sockets;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      sockets.assign(watched_.begin(), watched_.end());
    }
    for (auto& [socket, connection] : sockets) {
      if (recv_service_.IsStopping()) break;
      bool ready = readable.count(socket) != 0;
      // UDT's epoll never reports a peer that went away; its state does.
      bool gone = IsGone(UDT::getsockstate(socket));
      if (!ready && !gone) continue;
      if (ReadSocket(connection, socket) && gone) Fail(connection, CUDTException::ECONNLOST);
    }
  }
  OnStop(error);
}

}  // namespace brx::net::udt
