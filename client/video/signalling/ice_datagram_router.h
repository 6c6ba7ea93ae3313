#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "client/video/signalling/ice_events.h"

namespace ice {

enum IceState : int32_t {
  ICE_STATE_OFFLINE = 0,
  ICE_STATE_LOGGING_IN = 1,
  ICE_STATE_LOGGED_IN = 2,
};

// What one document received from the rendezvous server means to the
// signalling client: at most one event, perhaps a new state, and from a
// login reply the server's STUN port and the public address it saw.
struct RouteResult {
  std::unique_ptr<ICEEvent> event;
  int32_t new_state = -1;  // -1: unchanged
  bool has_login_info = false;
  int32_t stun_port = 0;
  std::wstring public_ip;
  int32_t public_port = 0;
};

// Reads a received datagram (at most kMaxDatagramBytes; parsing stops at a
// NUL) in the client's `state`. STUN and RELAY documents, and ICE
// documents other than LOGIN and LOGOUT, count only while logged in; a
// LOGIN reply counts only while logging in, so a late reply cannot log a
// client back in after its logout. An INVITE, and a REPLY that accepts,
// need a data child with text. Documents that are not XML, come in
// the wrong state or name something unknown are dropped silently; those
// missing a required element or attribute, and invitations addressed to
// another account, are dropped with a warning in the log.
//
// Pure: no I/O but the log; safe on any thread.
RouteResult RouteDatagram(const char* data, size_t length, int32_t state,
                          const std::wstring& own_account);

}  // namespace ice
