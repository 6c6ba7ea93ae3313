#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "client/core/online_friend_info.h"

namespace ice {

class IceClient;

// What the signalling client learns, as records queued by worker threads
// and handed to the observer on the main thread. Error codes are errno
// values (ECONNREFUSED where the peer's port is closed).
enum ICEEventType : int32_t {
  ICE_EVENT_ERROR = 0,
  ICE_EVENT_LOGIN = 1,
  ICE_EVENT_KICKOUT = 2,
  ICE_EVENT_LOGOUT = 3,
  ICE_EVENT_INVITE = 4,
  ICE_EVENT_REPLY = 5,
  ICE_EVENT_HANGUP = 6,
  ICE_EVENT_STUN_INVITE = 7,
  ICE_EVENT_STUN_REPLY = 8,
  ICE_EVENT_STUN_READY = 9,
  ICE_EVENT_RELAY_REPLY = 10,
  ICE_EVENT_GETONLINEFRIEND = 11,
};

// Results of ICEEvent_ice_reply, passed on unchanged to the video events.
enum ICEReplyResult : int32_t {
  ICE_REPLY_OFFLINE = 1,
  ICE_REPLY_ACCEPT = 4,
  ICE_REPLY_REJECT = 5,
  ICE_REPLY_BUSY = 6,
  ICE_REPLY_OPTIMEOUT = 7,
};

// Port type of a binding: which local ports a binding socket may take.
enum ICEPortType : int32_t { ICE_PORT_EVEN = 0, ICE_PORT_ODD = 1, ICE_PORT_ANY = 2 };

struct ICEEvent {
  explicit ICEEvent(int32_t t) : type(t) {}
  virtual ~ICEEvent() = default;
  ICEEvent(const ICEEvent&) = delete;
  ICEEvent& operator=(const ICEEvent&) = delete;
  int32_t type;
};

struct ICEEvent_error : ICEEvent {
  explicit ICEEvent_error(int32_t error) : ICEEvent(ICE_EVENT_ERROR), error_code(error) {}
  int32_t error_code;
};

struct ICEEvent_ice_login : ICEEvent {
  ICEEvent_ice_login() : ICEEvent(ICE_EVENT_LOGIN) {}
  int32_t error_code = 0;
  int32_t result = 0;  // 1 logged in, 0 failed
  std::wstring public_ip;
  int32_t public_port = 0;
};

struct ICEEvent_ice_kickout : ICEEvent {
  ICEEvent_ice_kickout() : ICEEvent(ICE_EVENT_KICKOUT) {}
  std::wstring new_public_ip;
  int32_t new_public_port = 0;
};

struct ICEEvent_ice_logout : ICEEvent {
  ICEEvent_ice_logout() : ICEEvent(ICE_EVENT_LOGOUT) {}
};

struct ICEEvent_ice_invite : ICEEvent {
  ICEEvent_ice_invite() : ICEEvent(ICE_EVENT_INVITE) {}
  std::wstring id;
  std::wstring from;
  std::wstring inviter;               // the from text again
  std::vector<std::wstring> invited;  // always empty
  std::wstring from_name;
  std::wstring data;
};

struct ICEEvent_ice_reply : ICEEvent {
  ICEEvent_ice_reply() : ICEEvent(ICE_EVENT_REPLY) {}
  std::wstring id;
  int32_t result = 0;  // ICEReplyResult
  std::wstring data;
};

struct ICEEvent_ice_hangup : ICEEvent {
  ICEEvent_ice_hangup() : ICEEvent(ICE_EVENT_HANGUP) {}
  std::wstring id;
};

struct ICEEvent_stun_invite : ICEEvent {
  ICEEvent_stun_invite() : ICEEvent(ICE_EVENT_STUN_INVITE) {}
  std::wstring id;
  int32_t port_type = ICE_PORT_ANY;
  std::wstring remote_private_ip;
  int32_t remote_private_port = 0;
  std::wstring remote_public_ip;
  int32_t remote_public_port = 0;
};

struct ICEEvent_stun_reply : ICEEvent {
  ICEEvent_stun_reply() : ICEEvent(ICE_EVENT_STUN_REPLY) {}
  std::wstring id;
  int32_t code = 0;
};

// The outcome of a finished binding: who we are to the peer and where the
// peer is.
struct BindingResult {
  std::wstring id;
  std::wstring session_id;
  std::wstring target;
  int32_t port_type = ICE_PORT_ANY;
  std::wstring bind_ip;  // own address as the peer saw it
  int32_t bind_port = 0;
  std::wstring peer_ip;  // where the peer's confirmation came from
  int32_t peer_port = 0;
  // The binding socket's own port. Behind a NAT that changes ports it
  // differs from bind_port, and it is the one a link on this host must
  // bind to reuse the punched hole.
  int32_t local_port = 0;
};

// Owns the bound binding socket and the result until a handler takes them;
// whatever is not taken is closed and freed with the event.
struct ICEEvent_stun_ready : ICEEvent {
  ICEEvent_stun_ready() : ICEEvent(ICE_EVENT_STUN_READY) {}
  ~ICEEvent_stun_ready() override;
  // The handler's way to keep them (it sees the event as const).
  int TakeSocket() const;
  std::unique_ptr<BindingResult> TakeResult() const { return std::move(result); }

  std::wstring id;
  mutable int socket = -1;
  mutable std::unique_ptr<BindingResult> result;
};

struct ICEEvent_relay_reply : ICEEvent {
  ICEEvent_relay_reply() : ICEEvent(ICE_EVENT_RELAY_REPLY) {}
  std::wstring id;
  std::wstring relay_ip;
  int32_t relay_port = 0;
};

struct ICEEvent_ice_getonlinefriend : ICEEvent {
  ICEEvent_ice_getonlinefriend() : ICEEvent(ICE_EVENT_GETONLINEFRIEND) {}
  int32_t record_count = 0;
  int32_t page = 0;
  std::vector<OnlineFriendInfo> friends;  // in document order
};

// The receiver of the signalling client's events. Every handler runs on
// the client's main thread, from IceClient::DispatchEvents; the event is
// freed after the call. The base does nothing with any of them.
class IceClientObersver {
 public:
  virtual ~IceClientObersver() = default;

  virtual void OnIceError(const ICEEvent_error*) {}
  virtual void OnIceLogin(const ICEEvent_ice_login*) {}
  virtual void OnIceKickout(const ICEEvent_ice_kickout*) {}
  virtual void OnIceLogout(const ICEEvent_ice_logout*) {}
  virtual void OnIceInvite(const ICEEvent_ice_invite*) {}
  virtual void OnIceReply(const ICEEvent_ice_reply*) {}
  virtual void OnIceHangup(const ICEEvent_ice_hangup*) {}
  virtual void OnStunInvite(const ICEEvent_stun_invite*) {}
  virtual void OnStunReply(const ICEEvent_stun_reply*) {}
  virtual void OnStunReady(const ICEEvent_stun_ready*) {}
  virtual void OnRelayReply(const ICEEvent_relay_reply*) {}
  virtual void OnIceGetOnlineFriend(const ICEEvent_ice_getonlinefriend*) {}

  // The client that reports here; set by the client's constructor.
  IceClient* ice_client() const { return ice_client_; }

 private:
  friend class IceClient;
  IceClient* ice_client_ = nullptr;
};

// Calls the observer's handler for the event's type; an unknown type is
// ignored.
void DeliverEvent(IceClientObersver* observer, const ICEEvent& event);

}  // namespace ice
