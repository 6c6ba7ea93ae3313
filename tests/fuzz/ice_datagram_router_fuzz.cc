// Received signalling datagrams, in every client state, through the router.
// What it reads from an invitation or an acceptance must survive the
// senders' escaping: the same values sent on again read back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "client/video/signalling/ice_datagram_router.h"
#include "client/video/signalling/ice_datagrams.h"

namespace {

ice::RouteResult Route(const std::string& document) {
  return ice::RouteDatagram(document.data(), document.size(), ice::ICE_STATE_LOGGED_IN, L"me");
}

void CheckInvite(const ice::ICEEvent_ice_invite& first) {
  std::string again = ice::IceInviteDatagram(L"s", first.from, L"me", first.id, first.data);
  // The server passes an invitation on with the inviter's name added.
  again.replace(again.find(" sid=\"s\""), 8,
                " from_name=\"" + ice::XmlAttributeText(first.from_name) + "\"");
  if (again.size() > ice::kMaxDatagramBytes) return;  // not sent
  ice::RouteResult back = Route(again);
  auto* read = dynamic_cast<const ice::ICEEvent_ice_invite*>(back.event.get());
  if (!read || read->id != first.id || read->from != first.from ||
      read->from_name != first.from_name || read->data != first.data) {
    abort();
  }
}

void CheckAcceptance(const ice::ICEEvent_ice_reply& first) {
  std::string again = ice::IceReplyDatagram(L"s", L"them", first.id, 0, first.data);
  if (again.size() > ice::kMaxDatagramBytes) return;
  ice::RouteResult back = Route(again);
  auto* read = dynamic_cast<const ice::ICEEvent_ice_reply*>(back.event.get());
  if (!read || read->result != ice::ICE_REPLY_ACCEPT || read->id != first.id ||
      read->data != first.data)
    abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  int32_t state = data[0] % 3;
  const char* text = reinterpret_cast<const char*>(data + 1);
  ice::RouteResult result = ice::RouteDatagram(text, size - 1, state, L"me");
  if (auto* invite = dynamic_cast<const ice::ICEEvent_ice_invite*>(result.event.get()))
    CheckInvite(*invite);
  auto* reply = dynamic_cast<const ice::ICEEvent_ice_reply*>(result.event.get());
  if (reply && reply->result == ice::ICE_REPLY_ACCEPT) CheckAcceptance(*reply);
  return 0;
}
