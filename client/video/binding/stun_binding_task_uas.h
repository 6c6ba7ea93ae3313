#pragma once

#include "client/video/binding/stun_binding_task.h"

namespace ice {

// Where the inviter's binding socket can be reached, from the STUN INVITE.
struct PeerBindingAddress {
  std::wstring private_ip;
  int32_t private_port = 0;
  std::wstring public_ip;
  int32_t public_port = 0;
};

// The invited side's binding: announces its socket with RINGING, then
// sends BINDs straight to the inviter's socket.
class StunBindingTaskUas : public StunBindingTask {
 public:
  StunBindingTaskUas(BindingParams params, PeerBindingAddress peer, const sockaddr_in& stun_server,
                     BindingTiming timing, EventSink sink);

 protected:
  void SendFirst() override;

 private:
  const PeerBindingAddress peer_;
};

}  // namespace ice
