// Received signalling datagrams, in every client state, through the router.
#include <cstddef>
#include <cstdint>

#include "client/video/ice_datagram_router.h"
#include "client/video/ice_datagrams.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  int32_t state = data[0] % 3;
  const char* text = reinterpret_cast<const char*>(data + 1);
  ice::RouteResult result = ice::RouteDatagram(text, size - 1, state, L"me");
  // Whatever it read must survive a trip through the senders' escaping.
  if (auto* invite = dynamic_cast<ice::ICEEvent_ice_invite*>(result.event.get())) {
    std::string again = ice::IceInviteDatagram(L"s", invite->from, L"me", invite->id, invite->data);
    ice::RouteDatagram(again.data(), again.size(), ice::ICE_STATE_LOGGED_IN, L"me");
  }
  return 0;
}
