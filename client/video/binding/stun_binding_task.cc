#include "client/video/binding/stun_binding_task.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "client/video/binding/binding_datagram.h"
#include "client/video/signalling/ice_datagrams.h"
#include "client/video/signalling/ice_events.h"
#include "runtime/base/message_loop.h"
#include "runtime/http/reply_redact.h"
#include "runtime/logmaker/log.h"
#include "runtime/platform/tick_clock.h"
#include "runtime/util/text_convert.h"

namespace ice {
namespace {

constexpr char kRunTask[] = "ice::StunBindingTask::RunTask";

bool MakeAddress(const std::wstring& ip, int32_t port, sockaddr_in* out) {
  *out = sockaddr_in{};
  out->sin_family = AF_INET;
  out->sin_port = htons(static_cast<uint16_t>(port));
  return inet_pton(AF_INET, brx::util::WideToUtf8(ip).c_str(), &out->sin_addr) == 1;
}

std::wstring IpText(const sockaddr_in& address) {
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &address.sin_addr, text, sizeof(text));
  return brx::util::Utf8ToWide(text);
}

}  // namespace

StunBindingTask::StunBindingTask(std::string name, BindingParams params,
                                 const sockaddr_in& stun_server, BindingTiming timing,
                                 EventSink sink)
    : Task(std::move(name)),
      params_(std::move(params)),
      stun_server_(stun_server),
      timing_(std::move(timing)),
      sink_(std::move(sink)) {}

StunBindingTask::~StunBindingTask() {
  if (socket_ >= 0 && !handed_over_) close(socket_);
}

void StunBindingTask::Run(brx::base::MessageLoop* loop, int64_t task_id) {
  (void)task_id;
  RunTask(loop);
}

uint32_t StunBindingTask::Now() const {
  return timing_.clock ? timing_.clock->Now() : brx::platform::GetTickCount();
}

bool StunBindingTask::Stopping() const { return loop_ != nullptr && loop_->IsStopping(); }

void StunBindingTask::PostStunReply(int32_t code) {
  auto event = std::make_unique<ICEEvent_stun_reply>();
  event->id = params_.id;
  event->code = code;
  sink_(std::move(event));
}

bool StunBindingTask::OpenAndBind() {
  socket_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
  if (socket_ < 0) return false;
  uint32_t draw;
  if (timing_.random) {
    draw = timing_.random();
  } else {
    std::minstd_rand generator(Now() | 1);
    draw = static_cast<uint32_t>(generator());
  }
  const uint32_t offset = (draw % 100) & ~1u;
  const uint16_t base =
      params_.port_type == ICE_PORT_EVEN ? timing_.first_port : timing_.first_port + 1;
  const uint32_t step = params_.port_type == ICE_PORT_ANY ? 1 : 2;
  sockaddr_in local{};
  local.sin_family = AF_INET;
  if (params_.local_ip.empty() ||
      inet_pton(AF_INET, params_.local_ip.c_str(), &local.sin_addr) != 1) {
    local.sin_addr.s_addr = htonl(INADDR_ANY);
  }
  for (uint32_t at = offset; at < timing_.port_span; at += step) {
    local.sin_port = htons(static_cast<uint16_t>(base + at));
    if (bind(socket_, reinterpret_cast<const sockaddr*>(&local), sizeof(local)) == 0) {
      bound_port_ = static_cast<uint16_t>(base + at);
      return true;
    }
  }
  return false;
}

void StunBindingTask::RunTask(brx::base::MessageLoop* loop) {
  loop_ = loop;
  if (!OpenAndBind()) {
    const int error = errno;
    LogWarnA("%s:%d:no binding socket (%d)\n", kRunTask, __LINE__, error);
    PostStunReply(0);
    return;
  }
  params_.start_tick = Now();
  SendFirst();

  char buffer[kMaxDatagramBytes + 1];
  for (;;) {
    if (Stopping()) return;
    pollfd fds[2] = {{socket_, POLLIN, 0}, {loop_ ? loop_->stop_event().fd() : -1, POLLIN, 0}};
    const int ready = poll(fds, loop_ ? 2 : 1, timing_.receive_timeout_ms);
    if (ready < 0 && errno != EINTR) {
      PostStunReply(0);
      return;
    }
    if (Stopping()) return;
    if (ready > 0 && (fds[0].revents & (POLLIN | POLLERR))) {
      sockaddr_in from{};
      socklen_t from_length = sizeof(from);
      const ssize_t got = recvfrom(socket_, buffer, kMaxDatagramBytes, MSG_DONTWAIT,
                                   reinterpret_cast<sockaddr*>(&from), &from_length);
      if (got >= 0) {
        buffer[got] = '\0';
        if (OnDatagram(buffer, static_cast<size_t>(got), from) == Next::kEnd) return;
      } else {
        const int error = errno;
        // A reset (an ICMP answer to an earlier BIND) or nothing after all:
        // keep listening. Anything else ends the binding.
        if (error != ECONNREFUSED && error != EAGAIN && error != EINTR && error != EHOSTUNREACH &&
            error != ENETUNREACH) {
          LogWarnA("%s:%d:recvfrom failed (%d)\n", kRunTask, __LINE__, error);
          PostStunReply(0);
          return;
        }
      }
    }
    // Checked after every wake, so traffic that keeps coming cannot hold
    // the task past its limit.
    if (Now() - params_.start_tick >= params_.limit_ms) {
      PostStunReply(1);
      return;
    }
  }
}

StunBindingTask::Next StunBindingTask::OnDatagram(const char* data, size_t length,
                                                  const sockaddr_in& from) {
  const BindingDatagram datagram = ParseBindingDatagram(data, length, params_.id);
  switch (datagram.kind) {
    case BindingDatagram::kIgnored:
      return Next::kReceive;
    case BindingDatagram::kIgnoredWithWarning:
      LogWarnA("%s:%d:%s\n", kRunTask, __LINE__,
               brx::http::ReplyTextForLog(std::string(data, length)).c_str());
      return Next::kReceive;
    case BindingDatagram::kOffline: {
      auto event = std::make_unique<ICEEvent_ice_reply>();
      event->id = params_.id;
      event->result = ICE_REPLY_OFFLINE;
      sink_(std::move(event));
      return Next::kEnd;
    }
    case BindingDatagram::kTrying:
      PostStunReply(2);
      return Next::kReceive;
    case BindingDatagram::kRinging:
      BindRounds(datagram.remote_private_ip, datagram.remote_private_port,
                 datagram.remote_public_ip, datagram.remote_public_port);
      PostStunReply(3);
      return Next::kReceive;
    case BindingDatagram::kBind:
      if (!answered_bind_) {
        answered_bind_ = true;
        SendTo(StunBindDatagram(params_.id), from);
        SendTo(StunConfirmDatagram(params_.id, IpText(from), ntohs(from.sin_port)), from);
        PostStunReply(4);
      }
      return Next::kReceive;
    case BindingDatagram::kMalformedRinging:
    case BindingDatagram::kMalformedConfirm:
      // The binding cannot finish; saying so lets the session try the relay.
      LogWarnA("%s:%d:%s\n", kRunTask, __LINE__,
               brx::http::ReplyTextForLog(std::string(data, length)).c_str());
      PostStunReply(0);
      return Next::kEnd;
    case BindingDatagram::kConfirm: {
      auto result = std::make_unique<BindingResult>();
      result->id = params_.id;
      result->session_id = params_.session_id;
      result->target = params_.target;
      result->port_type = params_.port_type;
      result->bind_ip = datagram.bind_ip;
      result->bind_port = datagram.bind_port;
      result->peer_ip = IpText(from);
      result->peer_port = ntohs(from.sin_port);
      result->local_port = bound_port_;
      auto event = std::make_unique<ICEEvent_stun_ready>();
      event->id = params_.id;
      event->socket = socket_;
      event->result = std::move(result);
      handed_over_ = true;
      sink_(std::move(event));
      return Next::kEnd;
    }
  }
  return Next::kReceive;
}

void StunBindingTask::SendTo(const std::string& document, const sockaddr_in& to) {
  // Send failures are not reported: a lost BIND is what the rounds and the
  // time limit are for.
  sendto(socket_, document.data(), document.size(), MSG_NOSIGNAL,
         reinterpret_cast<const sockaddr*>(&to), sizeof(to));
}

void StunBindingTask::SendToStunServer(const std::string& document) {
  SendTo(document, stun_server_);
}

void StunBindingTask::BindRounds(const std::wstring& private_ip, int32_t private_port,
                                 const std::wstring& public_ip, int32_t public_port) {
  const std::string bind = StunBindDatagram(params_.id);
  sockaddr_in private_address, public_address;
  const bool have_private = MakeAddress(private_ip, private_port, &private_address);
  const bool have_public =
      private_ip != public_ip && MakeAddress(public_ip, public_port, &public_address);
  for (int round = 0; round < 2 && !Stopping(); ++round) {
    if (have_private) SendTo(bind, private_address);
    if (have_public) SendTo(bind, public_address);
    Pause(timing_.pause_ms);
  }
}

void StunBindingTask::Pause(int ms) {
  if (loop_ == nullptr) {
    poll(nullptr, 0, ms);
    return;
  }
  pollfd stop{loop_->stop_event().fd(), POLLIN, 0};
  poll(&stop, 1, ms);
}

}  // namespace ice
