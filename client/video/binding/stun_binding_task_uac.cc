#include "client/video/binding/stun_binding_task_uac.h"

#include "client/video/signalling/ice_datagrams.h"
#include "runtime/util/text_convert.h"

namespace ice {

StunBindingTaskUac::StunBindingTaskUac(BindingParams params, const sockaddr_in& stun_server,
                                       BindingTiming timing, EventSink sink)
    : StunBindingTask("ice.StunBindingTaskUac", std::move(params), stun_server, std::move(timing),
                      std::move(sink)) {}

void StunBindingTaskUac::SendFirst() {
  SendToStunServer(StunInviteDatagram(params().session_id, params().target, params().id,
                                      params().port_type, brx::util::Utf8ToWide(params().local_ip),
                                      bound_port()));
}

}  // namespace ice
