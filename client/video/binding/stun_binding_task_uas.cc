#include "client/video/binding/stun_binding_task_uas.h"

#include "client/video/signalling/ice_datagrams.h"
#include "runtime/util/text_convert.h"

namespace ice {

StunBindingTaskUas::StunBindingTaskUas(BindingParams params, PeerBindingAddress peer,
                                       const sockaddr_in& stun_server, BindingTiming timing,
                                       EventSink sink)
    : StunBindingTask("ice.StunBindingTaskUas", std::move(params), stun_server, std::move(timing),
                      std::move(sink)),
      peer_(std::move(peer)) {}

void StunBindingTaskUas::SendFirst() {
  SendToStunServer(StunRingingDatagram(params().session_id, params().target, params().id,
                                       brx::util::Utf8ToWide(params().local_ip), bound_port(),
                                       peer_.public_ip, peer_.public_port));
  Pause(timing().pause_ms);
  BindRounds(peer_.private_ip, peer_.private_port, peer_.public_ip, peer_.public_port);
}

}  // namespace ice
