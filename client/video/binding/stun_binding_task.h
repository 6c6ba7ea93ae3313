#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <string>

#include "client/video/binding/binding_params.h"
#include "runtime/base/task.h"

namespace ice {

struct ICEEvent;

// Hole punching for one side of one invitation: opens a UDP socket on a
// port near 14000, announces it through the rendezvous server (SendFirst),
// answers the peer's first BIND with BIND and CONFIRM, and ends when a
// CONFIRM says how the peer sees this socket. The socket then travels,
// open, with the ready event. Progress and the outcome are events handed
// to the sink (the signalling client's queue): a reply code (0 failure,
// 1 time limit passed, 2 trying, 3 BINDs sent after RINGING, 4 a BIND
// answered), "ready", or the peer being offline. Every way the task ends,
// but its loop stopping, posts exactly one final event, so the session
// can always fall back to the relay.
//
// Thread: runs on the "ice.IceStun" loop, which deletes it afterwards;
// waits wake when the loop stops. Touches nothing of the client but the
// sink and what was copied in.
class StunBindingTask : public brx::base::Task {
 public:
  using EventSink = std::function<void(std::unique_ptr<ICEEvent>)>;

  StunBindingTask(std::string name, BindingParams params, const sockaddr_in& stun_server,
                  BindingTiming timing, EventSink sink);
  ~StunBindingTask() override;

  void Run(brx::base::MessageLoop* loop, int64_t task_id) final;
  virtual void RunTask(brx::base::MessageLoop* loop);

  // The port the socket was bound to, 0 before.
  uint16_t bound_port() const { return bound_port_; }

 protected:
  virtual void SendFirst() = 0;

  void SendToStunServer(const std::string& document);
  // Two rounds of BIND to the peer's private address, and to its public
  // one when the texts differ, each followed by the pause.
  void BindRounds(const std::wstring& private_ip, int32_t private_port,
                  const std::wstring& public_ip, int32_t public_port);
  // Waits `ms`, or less when the loop stops.
  void Pause(int ms);

  const BindingParams& params() const { return params_; }
  const BindingTiming& timing() const { return timing_; }

 private:
  enum class Next { kReceive, kEnd };

  bool OpenAndBind();
  Next OnDatagram(const char* data, size_t length, const sockaddr_in& from);
  void SendTo(const std::string& document, const sockaddr_in& to);
  void PostStunReply(int32_t code);
  uint32_t Now() const;
  bool Stopping() const;

  BindingParams params_;
  const sockaddr_in stun_server_;
  BindingTiming timing_;
  EventSink sink_;
  brx::base::MessageLoop* loop_ = nullptr;
  int socket_ = -1;
  uint16_t bound_port_ = 0;
  bool handed_over_ = false;
  bool answered_bind_ = false;
};

}  // namespace ice
