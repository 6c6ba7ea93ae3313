#include "client/video/signalling/ice_client.h"

#include <arpa/inet.h>
#include <linux/errqueue.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "client/video/binding/stun_binding_task_uac.h"
#include "client/video/binding/stun_binding_task_uas.h"
#include "client/video/signalling/ice_datagrams.h"
#include "client/video/signalling/ice_stun.h"
#include "runtime/base/thread_message_queue.h"
#include "runtime/logmaker/log.h"
#include "runtime/util/text_convert.h"

namespace ice {
namespace {

// The address a datagram to `server` leaves from, as dotted text; empty
// when there is no route.
std::string RouteSourceAddress(const sockaddr_in& server) {
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return {};
  std::string address;
  sockaddr_in local{};
  socklen_t length = sizeof(local);
  if (connect(fd, reinterpret_cast<const sockaddr*>(&server), sizeof(server)) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) == 0) {
    char text[INET_ADDRSTRLEN] = {};
    if (inet_ntop(AF_INET, &local.sin_addr, text, sizeof(text))) address = text;
  }
  close(fd);
  return address;
}

}  // namespace

IceClient::IceClient(IceClientObersver* observer, const brx::platform::TickClock& clock)
    : ThreadRun("ice.IceClient"),
      observer_(observer),
      clock_(clock),
      ice_stun_(std::make_unique<IceStun>(this)),
      main_thread_id_(brx::base::CurrentThreadId()) {
  observer_->ice_client_ = this;
}

IceClient::~IceClient() {
  ice_stun_.reset();
  if (state() == ICE_STATE_LOGGED_IN) Logout();
  Stop();
  if (socket_ >= 0) close(socket_);
}

bool IceClient::Initial() {
  // Only a bound socket is ever kept, so this is a second call after one
  // that succeeded.
  if (socket_ >= 0) return Start();
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  if (!bind_address_.empty() && inet_pton(AF_INET, bind_address_.c_str(), &local.sin_addr) != 1) {
    LogWarnA("%s:%d:bad bind address %s\n", "ice::IceClient::Initial", __LINE__,
             bind_address_.c_str());
    return false;
  }
  socket_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
  if (socket_ < 0) {
    LogWarnA("%s:%d:socket failed (%d)\n", "ice::IceClient::Initial", __LINE__, errno);
    return false;
  }
  // Without it Linux keeps quiet about ICMP answers to an unconnected UDP
  // socket, and a login to a port where nothing listens would go unheard.
  int on = 1;
  if (setsockopt(socket_, IPPROTO_IP, IP_RECVERR, &on, sizeof(on)) != 0) {
    LogWarnA("%s:%d:IP_RECVERR failed (%d)\n", "ice::IceClient::Initial", __LINE__, errno);
  }
  bool bound = false;
  for (int i = 0; i < port_count_ && !bound; ++i) {
    local.sin_port = htons(static_cast<uint16_t>(first_port_ + i));
    bound = bind(socket_, reinterpret_cast<sockaddr*>(&local), sizeof(local)) == 0;
  }
  if (!bound) {
    LogWarnA("%s:%d:no free port in %u-%u\n", "ice::IceClient::Initial", __LINE__, first_port_,
             first_port_ + port_count_ - 1);
    close(socket_);
    socket_ = -1;
    return false;
  }
  local_port_ = ntohs(local.sin_port);
  return Start();
}

int IceClient::SendData(const std::string& document) {
  if (document.size() > kMaxDatagramBytes) {
    LogWarnA("%s:%d:document of %zu bytes not sent\n", "ice::IceClient::SendData", __LINE__,
             document.size());
    errno = EMSGSIZE;
    return -1;
  }
  sockaddr_in server;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    server = server_address_;
  }
  return static_cast<int>(sendto(socket_, document.data(), document.size(), MSG_NOSIGNAL,
                                 reinterpret_cast<const sockaddr*>(&server), sizeof(server)));
}

int IceClient::SendIfLoggedIn(const std::string& document) {
  if (state() != ICE_STATE_LOGGED_IN) return -1;
  return SendData(document);
}

void IceClient::Login(const std::wstring& host, int port, const std::wstring& session_id,
                      const std::wstring& account, const std::wstring& name) {
  if (state() == ICE_STATE_LOGGED_IN || name.empty()) return;
  SetState(ICE_STATE_LOGGING_IN);
  sockaddr_in server{};
  server.sin_family = AF_INET;
  server.sin_port = htons(static_cast<uint16_t>(port));
  // Dotted IPv4 only; anything else is an address nothing answers at.
  if (inet_pton(AF_INET, brx::util::WideToAnsi(host).c_str(), &server.sin_addr) != 1) {
    server.sin_addr.s_addr = htonl(INADDR_NONE);
  }
  // Looked up before the lock is taken: it makes system calls.
  std::string local_ip = bind_address_;
  if (local_ip.empty())
    local_ip = route_lookup_ ? route_lookup_(server) : RouteSourceAddress(server);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    session_id_ = session_id;
    account_ = account;
    display_name_ = name;
    server_address_ = server;
    stun_server_address_.sin_family = AF_INET;
    stun_server_address_.sin_addr = server.sin_addr;
    local_ip_ = std::move(local_ip);
  }
  if (session_id.empty() || account.empty()) return;
  if (SendData(IceLoginDatagram(session_id, account, name)) < 0) {
    const int error = errno;  // before the allocation below can change it
    auto event = std::make_unique<ICEEvent_ice_login>();
    event->error_code = error;
    PostEvent(std::move(event));
  }
}

int IceClient::Logout() {
  SetState(ICE_STATE_OFFLINE);
  return SendData(IceLogoutDatagram(session_id()));
}

void IceClient::SetState(int32_t state) {
  // Under the queue lock: see OnRecvData.
  std::lock_guard<std::mutex> lock(queue_mutex_);
  state_.store(state, std::memory_order_release);
}

void IceClient::Rename(const std::wstring& name) {
  if (state() != ICE_STATE_LOGGED_IN) return;
  std::string document;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (name == display_name_) return;
    display_name_ = name;
    document = IceRenameDatagram(session_id_, account_, name);
  }
  if (SendData(document) < 0) {
    const int error = errno;  // before the allocation below can change it
    auto event = std::make_unique<ICEEvent_ice_login>();
    event->error_code = error;
    PostEvent(std::move(event));
  }
}

void IceClient::KeepAlive() {
  if (state() != ICE_STATE_LOGGED_IN) return;
  if (SendData(IceKeepAliveDatagram(session_id())) < 0) {
    // A copy: make_unique would read errno by reference after allocating.
    const int error = errno;
    PostEvent(std::make_unique<ICEEvent_error>(error));
  }
}

void IceClient::KeepAliveTick() {
  uint32_t now = clock_.Now();
  if (!keep_alive_started_) {
    keep_alive_started_ = true;
    last_keep_alive_ = now;
  }
  if (now - last_keep_alive_ >= static_cast<uint32_t>(keep_alive_interval())) {
    last_keep_alive_ = now;
    KeepAlive();
  }
}

void IceClient::GetOnlineFriend(int page, int page_size) {
  SendIfLoggedIn(IceGetOnlineFriendDatagram(session_id(), account(), page, page_size));
}

void IceClient::Invite(const std::wstring& payload, const std::wstring& id,
                       const std::wstring& account) {
  SendIfLoggedIn(IceInviteDatagram(session_id(), this->account(), account, id, payload));
}

void IceClient::Reply(const std::wstring& id, const std::wstring& target, int result,
                      const std::wstring& payload) {
  SendIfLoggedIn(IceReplyDatagram(session_id(), target, id, result, payload));
}

void IceClient::Hangup(const std::wstring& target, const std::wstring& id) {
  SendIfLoggedIn(IceHangupDatagram(session_id(), id, target));
}

void IceClient::RelayInvite(const std::wstring& id, const std::wstring& target) {
  SendIfLoggedIn(RelayInviteDatagram(session_id(), target, id));
}

void IceClient::StartStunUac(const std::wstring& target, const std::wstring& id) {
  if (state() != ICE_STATE_LOGGED_IN || target == account()) return;
  BindingParams params{id, session_id(), target, ICE_PORT_ANY, local_ip(), 0, binding_limit_ms_};
  BindingTiming timing = binding_timing_;
  if (!timing.clock) timing.clock = &clock_;
  ice_stun_->PostTask(std::make_unique<StunBindingTaskUac>(
      std::move(params), stun_server_address(), std::move(timing),
      [this](std::unique_ptr<ICEEvent> event) { PostEvent(std::move(event)); }));
}

void IceClient::StartStunUas(const std::wstring& id, const std::wstring& peer_private_ip,
                             const std::wstring& target, int32_t port_type,
                             int32_t peer_private_port, const std::wstring& peer_public_ip,
                             int32_t peer_public_port) {
  if (state() != ICE_STATE_LOGGED_IN) return;
  BindingParams params{id, session_id(), target, port_type, local_ip(), 0, binding_limit_ms_};
  BindingTiming timing = binding_timing_;
  if (!timing.clock) timing.clock = &clock_;
  ice_stun_->PostTask(std::make_unique<StunBindingTaskUas>(
      std::move(params),
      PeerBindingAddress{peer_private_ip, peer_private_port, peer_public_ip, peer_public_port},
      stun_server_address(), std::move(timing),
      [this](std::unique_ptr<ICEEvent> event) { PostEvent(std::move(event)); }));
}

void IceClient::PostEvent(std::unique_ptr<ICEEvent> event) {
  {
    std::lock_guard<std::mutex> lock(queue_mutex_);
    queue_.push_back(std::move(event));
  }
  brx::base::PostThreadMessage(main_thread_id_, message_id_, 0, 0);
}

bool IceClient::DispatchEvents() {
  std::deque<std::unique_ptr<ICEEvent>> events;
  {
    std::lock_guard<std::mutex> lock(queue_mutex_);
    events.swap(queue_);
  }
  for (auto& event : events) DeliverEvent(observer_, *event);
  return true;
}

std::string IceClient::local_ip() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return local_ip_;
}

sockaddr_in IceClient::stun_server_address() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return stun_server_address_;
}

std::wstring IceClient::public_ip() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return public_ip_;
}

int32_t IceClient::public_port() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return public_port_;
}

std::wstring IceClient::session_id() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return session_id_;
}

std::wstring IceClient::account() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return account_;
}

std::wstring IceClient::display_name() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return display_name_;
}

int IceClient::Run() {
  char buffer[kMaxDatagramBytes + 1];
  while (!IsStopping()) {
    pollfd fds[2] = {{socket_, POLLIN, 0}, {stop_event().fd(), POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      const int error = errno;
      if (error == EINTR) continue;
      PostEvent(std::make_unique<ICEEvent_error>(error));
      break;
    }
    if (IsStopping()) break;
    if (fds[0].revents & POLLERR) DrainErrorQueue();
    if (!(fds[0].revents & POLLIN)) continue;
    sockaddr_in from{};
    socklen_t from_length = sizeof(from);
    ssize_t got = recvfrom(socket_, buffer, kMaxDatagramBytes, MSG_DONTWAIT,
                           reinterpret_cast<sockaddr*>(&from), &from_length);
    if (got < 0) {
      const int error = errno;
      switch (error) {
        case EAGAIN:
        case EINTR:
        // What an ICMP answer reports; the error queue has it and
        // DrainErrorQueue reports it once.
        case ECONNREFUSED:
        case EHOSTUNREACH:
        case ENETUNREACH:
        case EHOSTDOWN:
        case EMSGSIZE:
          continue;
        default:
          LogWarnA("%s:%d:recvfrom failed (%d)\n", "ice::IceClient::Run", __LINE__, error);
          PostEvent(std::make_unique<ICEEvent_error>(error));
          return 0;
      }
    }
    if (IsStopping()) break;
    buffer[got] = '\0';
    OnRecvData(buffer, static_cast<size_t>(got));
  }
  return 0;
}

void IceClient::DrainErrorQueue() {
  for (;;) {
    char data[64];
    char control[512];
    sockaddr_in offender{};
    iovec iov{data, sizeof(data)};
    msghdr msg{};
    msg.msg_name = &offender;
    msg.msg_namelen = sizeof(offender);
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof(control);
    if (recvmsg(socket_, &msg, MSG_ERRQUEUE | MSG_DONTWAIT) < 0) return;
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
      if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_RECVERR) {
        sock_extended_err error;
        memcpy(&error, CMSG_DATA(c), sizeof(error));
        OnNetworkError(static_cast<int>(error.ee_errno));
      }
    }
  }
}

void IceClient::OnNetworkError(int error) {
  // A refused datagram while logging in means nothing listens at the
  // server's address: the login failed.
  if (error == ECONNREFUSED && state() == ICE_STATE_LOGGING_IN) {
    auto event = std::make_unique<ICEEvent_ice_login>();
    event->error_code = error;
    PostEvent(std::move(event));
    return;
  }
  PostEvent(std::make_unique<ICEEvent_error>(error));
}

void IceClient::OnRecvData(const char* data, size_t length) {
  int32_t seen = state();
  RouteResult route = RouteDatagram(data, length, seen, account());
  if (route_hook_) route_hook_();
  if (!route.event && route.new_state < 0) return;
  {
    // The main thread may have logged in or out meanwhile: what was read
    // against the old state is void, whether it changes the state or only
    // brings an event. The main thread changes the state under this lock,
    // so the check, the new state and the queued event are one step.
    std::lock_guard<std::mutex> lock(queue_mutex_);
    if (state_.load(std::memory_order_acquire) != seen) return;
    if (route.new_state >= 0) state_.store(route.new_state, std::memory_order_release);
    if (route.has_login_info) {
      std::lock_guard<std::mutex> info_lock(mutex_);
      stun_server_address_.sin_port = htons(static_cast<uint16_t>(route.stun_port));
      public_ip_ = route.public_ip;
      public_port_ = route.public_port;
    }
    if (!route.event) return;
    queue_.push_back(std::move(route.event));
  }
  brx::base::PostThreadMessage(main_thread_id_, message_id_, 0, 0);
}

}  // namespace ice
