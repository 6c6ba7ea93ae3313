#pragma once

#include <netinet/in.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "client/core/message_ids.h"
#include "client/video/binding/binding_params.h"
#include "client/video/signalling/ice_datagram_router.h"
#include "client/video/signalling/ice_events.h"
#include "client/video/signalling/ice_signalling.h"
#include "runtime/base/thread.h"
#include "runtime/platform/tick_clock.h"

namespace ice {

class IceStun;

// The client end of the UDP signalling protocol with the rendezvous server:
// login, keep-alive, friends online, invitations, replies, hang-ups and
// relay requests.
//
// Threads: the senders, Login, KeepAliveTick and DispatchEvents belong to
// the main thread (the one that constructs the client, unless told
// otherwise). The receive thread "ice.IceClient" reads the socket and turns
// what it reads into events; the binding tasks on "ice.IceStun" add theirs
// through PostEvent. Every event waits in one locked queue; each queued
// event posts the message id to the main thread, which calls DispatchEvents
// to hand them, in order, to the observer. The observer is only ever called
// on the main thread. A datagram is read against the state of the moment;
// if the main thread logs in or out before the receive thread acts on it,
// what it meant (event and state change alike) is dropped.
//
// Ownership and shutdown: the destructor stops the binding loop (tasks not
// run are deleted), sends LOGOUT when logged in, wakes and joins the
// receive thread, then closes the socket. Events still queued are freed.
class IceClient : public brx::base::ThreadRun, public IceSignalling {
 public:
  static constexpr uint16_t kFirstPort = 15000;
  static constexpr int kPortCount = 20;
  static constexpr int32_t kKeepAliveIntervalMs = 5000;

  // `observer` is borrowed and must outlive the client. `clock` drives the
  // keep-alive schedule.
  explicit IceClient(IceClientObersver* observer,
                     const brx::platform::TickClock& clock = brx::platform::SystemTickClock());
  ~IceClient() override;

  // Where events are announced: thread id and message id (kSignallingEvent).
  void set_main_thread_id(uint32_t thread_id) override { main_thread_id_ = thread_id; }
  void set_message_id(uint32_t message_id) override { message_id_ = message_id; }
  // The local IPv4 address to bind (dotted text); empty for any address.
  // Call before Initial.
  void SetBindAddress(const std::string& address) { bind_address_ = address; }
  // Ports tried by Initial in place of 15000-15019.
  void SetPortRangeForTesting(uint16_t first, int count) {
    first_port_ = first;
    port_count_ = count;
  }
  // Runs on the receive thread after each datagram has been read against
  // the state and before what it means is acted on. Set before Initial.
  void SetRouteHookForTesting(std::function<void()> hook) { route_hook_ = std::move(hook); }
  // Replaces the lookup of the address that routes to the server (the
  // local_ip() when no bind address is set).
  using RouteLookup = std::function<std::string(const sockaddr_in& server)>;
  void SetRouteLookupForTesting(RouteLookup lookup) { route_lookup_ = std::move(lookup); }

  // Opens the UDP socket on the first free port of 15000-15019 and starts
  // the receive thread. False when no port is free or anything fails.
  bool Initial() override;

  // Sends one document to the server's signalling port; the sendto result
  // (-1 on failure with errno set, EMSGSIZE for a document over 4096 bytes).
  int SendData(const std::string& document);

  // Logs in to the server at `host` (dotted IPv4 text) and `port`. Nothing
  // when logged in or when `name` is empty; otherwise the state becomes
  // logging in, and LOGIN goes out unless the session id or the account is
  // empty. A failed send queues a failed login event.
  void Login(const std::wstring& host, int port, const std::wstring& session_id,
             const std::wstring& account, const std::wstring& name) override;
  // Sends LOGOUT whatever the state; the state becomes offline.
  int Logout() override;
  // While logged in, a new display name is stored and sent; a failed send
  // queues a failed login event.
  void Rename(const std::wstring& name) override;
  // While logged in; a failed send queues an error event.
  void KeepAlive();
  // The logic tick's entry point (about once a second): sends a keep-alive
  // once keep_alive_interval() has passed since the last one. The first
  // call only starts the count.
  void KeepAliveTick() override;

  // These send only while logged in and ignore send failures.
  void GetOnlineFriend(int page, int page_size) override;
  void Invite(const std::wstring& payload, const std::wstring& id,
              const std::wstring& account) override;
  // `result`: 0 ACCEPT, 1 REJECT, 2 BUSY, anything else OPTIMEOUT.
  void Reply(const std::wstring& id, const std::wstring& target, int result,
             const std::wstring& payload) override;
  void Hangup(const std::wstring& target, const std::wstring& id) override;
  void RelayInvite(const std::wstring& id, const std::wstring& target) override;

  // Start a binding for invitation `id` on "ice.IceStun" (one at a time;
  // the outcome arrives as events). Only while logged in. The inviter's
  // side: not towards the own account.
  void StartStunUac(const std::wstring& target, const std::wstring& id) override;
  // The invited side, aiming at the inviter's binding socket.
  void StartStunUas(const std::wstring& id, const std::wstring& peer_private_ip,
                    const std::wstring& target, int32_t port_type, int32_t peer_private_port,
                    const std::wstring& peer_public_ip, int32_t peer_public_port) override;
  // Waits, port range and draw of the bindings started from now on; the
  // client's clock drives their limit unless the timing names another.
  void SetBindingTimingForTesting(BindingTiming timing) { binding_timing_ = std::move(timing); }
  void SetBindingLimitForTesting(uint32_t limit_ms) { binding_limit_ms_ = limit_ms; }

  // Any thread: queues the event and wakes the main thread.
  void PostEvent(std::unique_ptr<ICEEvent> event);
  // Main thread, on the wake-up message: hands every queued event to the
  // observer in arrival order. Always true.
  bool DispatchEvents() override;

  int32_t state() const override { return state_.load(std::memory_order_acquire); }
  int32_t keep_alive_interval() const { return kKeepAliveIntervalMs; }
  uint16_t local_port() const { return local_port_; }
  // The address peers on the local network reach this host at (dotted
  // text): the bind address, else the one that routes to the server.
  std::string local_ip() const;
  // The server's STUN address, known once a login reply has come.
  sockaddr_in stun_server_address() const;
  std::wstring public_ip() const;
  int32_t public_port() const;
  std::wstring session_id() const;
  std::wstring account() const;
  std::wstring display_name() const;
  IceStun* ice_stun() const { return ice_stun_.get(); }

 protected:
  // The receive loop.
  int Run() override;

 private:
  // Sends while logged in; the send result.
  int SendIfLoggedIn(const std::string& document);
  // Main thread's state changes (login, logout).
  void SetState(int32_t state);
  void OnRecvData(const char* data, size_t length);
  // An error an ICMP answer reported for an earlier send.
  void OnNetworkError(int error);
  void DrainErrorQueue();

  IceClientObersver* const observer_;
  const brx::platform::TickClock& clock_;
  std::unique_ptr<IceStun> ice_stun_;

  uint32_t main_thread_id_;
  uint32_t message_id_ = ombrix::messages::kSignallingEvent;
  std::string bind_address_;
  std::function<void()> route_hook_;
  RouteLookup route_lookup_;
  uint16_t first_port_ = kFirstPort;
  int port_count_ = kPortCount;

  int socket_ = -1;
  uint16_t local_port_ = 0;
  std::atomic<int32_t> state_{ICE_STATE_OFFLINE};

  // Written by the main thread (Login, Rename) and by the receive thread (a
  // login reply); read by both and by binding tasks' makers.
  mutable std::mutex mutex_;
  sockaddr_in server_address_{};
  sockaddr_in stun_server_address_{};
  std::string local_ip_;
  std::wstring public_ip_;
  int32_t public_port_ = 0;
  std::wstring session_id_;
  std::wstring account_;
  std::wstring display_name_;

  // Guards the queue, and every change of state_ but those the receive
  // thread makes while it holds it (lock order: queue_mutex_, then mutex_).
  std::mutex queue_mutex_;
  std::deque<std::unique_ptr<ICEEvent>> queue_;

  // Main thread only.
  BindingTiming binding_timing_;
  uint32_t binding_limit_ms_ = 10000;
  bool keep_alive_started_ = false;
  uint32_t last_keep_alive_ = 0;
};

}  // namespace ice
