#pragma once

#include "client/video/binding/stun_binding_task.h"

namespace ice {

// The inviter's binding: announces its socket with STUN INVITE and sends
// BINDs once the server passes on the invited side's RINGING.
class StunBindingTaskUac : public StunBindingTask {
 public:
  StunBindingTaskUac(BindingParams params, const sockaddr_in& stun_server, BindingTiming timing,
                     EventSink sink);

 protected:
  void SendFirst() override;
};

}  // namespace ice
