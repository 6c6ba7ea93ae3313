#include "client/video/signalling/ice_events.h"

#include <unistd.h>

namespace ice {

ICEEvent_stun_ready::~ICEEvent_stun_ready() {
  if (socket >= 0) close(socket);
}

int ICEEvent_stun_ready::TakeSocket() const {
  int fd = socket;
  socket = -1;
  return fd;
}

void DeliverEvent(IceClientObersver* observer, const ICEEvent& event) {
  switch (event.type) {
    case ICE_EVENT_ERROR:
      observer->OnIceError(static_cast<const ICEEvent_error*>(&event));
      break;
    case ICE_EVENT_LOGIN:
      observer->OnIceLogin(static_cast<const ICEEvent_ice_login*>(&event));
      break;
    case ICE_EVENT_KICKOUT:
      observer->OnIceKickout(static_cast<const ICEEvent_ice_kickout*>(&event));
      break;
    case ICE_EVENT_LOGOUT:
      observer->OnIceLogout(static_cast<const ICEEvent_ice_logout*>(&event));
      break;
    case ICE_EVENT_INVITE:
      observer->OnIceInvite(static_cast<const ICEEvent_ice_invite*>(&event));
      break;
    case ICE_EVENT_REPLY:
      observer->OnIceReply(static_cast<const ICEEvent_ice_reply*>(&event));
      break;
    case ICE_EVENT_HANGUP:
      observer->OnIceHangup(static_cast<const ICEEvent_ice_hangup*>(&event));
      break;
    case ICE_EVENT_STUN_INVITE:
      observer->OnStunInvite(static_cast<const ICEEvent_stun_invite*>(&event));
      break;
    case ICE_EVENT_STUN_REPLY:
      observer->OnStunReply(static_cast<const ICEEvent_stun_reply*>(&event));
      break;
    case ICE_EVENT_STUN_READY:
      observer->OnStunReady(static_cast<const ICEEvent_stun_ready*>(&event));
      break;
    case ICE_EVENT_RELAY_REPLY:
      observer->OnRelayReply(static_cast<const ICEEvent_relay_reply*>(&event));
      break;
    case ICE_EVENT_GETONLINEFRIEND:
      observer->OnIceGetOnlineFriend(static_cast<const ICEEvent_ice_getonlinefriend*>(&event));
      break;
    default:
      break;
  }
}

}  // namespace ice
