#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "client/core/event_ids.h"
#include "client/core/event_parameter.h"
#include "client/core/online_friend_info.h"

// Payloads of the video chat's events (see core_events.h for why they sit
// in their own namespace). Each lives on the firer's stack; handlers copy
// what they keep. All but SEVENT_VIDEO_STREAM are fired on the GUI thread;
// that one comes from the session's codec thread.
namespace payload {

// Results of SEVENT_VIDEO_REPLY.
enum VideoReplyResult : int32_t {
  kVideoNoLink = 0,  // no link could be made, or signalling is not logged in
  kVideoOffline = 1,
  kVideoNoUser = 3,  // nobody is signed in
  kVideoAccept = 4,
  kVideoReject = 5,
  kVideoBusy = 6,
  kVideoTimeout = 7,
  kVideoSessionExists = 8,
};

// Another login of the same account took over the signalling login.
struct SEVENT_KICKOUT : EventParameter {
  SEVENT_KICKOUT(std::wstring ip, int32_t port)
      : EventParameter(::SEVENT_KICKOUT), new_public_ip(std::move(ip)), new_public_port(port) {}
  std::wstring new_public_ip;
  int32_t new_public_port;
};

struct SEVENT_GETONLINEFRIEND : EventParameter {
  SEVENT_GETONLINEFRIEND(int32_t count, int32_t page_number,
                         const std::vector<OnlineFriendInfo>* list)
      : EventParameter(::SEVENT_GETONLINEFRIEND),
        record_count(count),
        page(page_number),
        friends(list) {}
  int32_t record_count;
  int32_t page;
  const std::vector<OnlineFriendInfo>* friends;  // head_icon: a local file, empty while unknown
};

// A friend's head image arrived.
struct SEVENT_GETONLINEFRIENDHEADICON : EventParameter {
  SEVENT_GETONLINEFRIENDHEADICON(std::wstring image_url, std::wstring file)
      : EventParameter(::SEVENT_GETONLINEFRIENDHEADICON),
        url(std::move(image_url)),
        path(std::move(file)) {}
  std::wstring url;
  std::wstring path;
};

struct SEVENT_VIDEO_INVITE : EventParameter {
  SEVENT_VIDEO_INVITE(std::wstring invitation, std::wstring name, std::wstring invited, bool sends)
      : EventParameter(::SEVENT_VIDEO_INVITE),
        id(std::move(invitation)),
        inviter_name(std::move(name)),
        invited_account(std::move(invited)),
        sends_video(sends) {}
  std::wstring id;
  std::wstring inviter_name;
  std::wstring invited_account;
  bool sends_video;  // this side sends its video
};

struct SEVENT_VIDEO_REPLY : EventParameter {
  SEVENT_VIDEO_REPLY(const FromHandle& from, std::wstring invitation, int32_t reply_result)
      : EventParameter(::SEVENT_VIDEO_REPLY),
        origin(from),
        id(std::move(invitation)),
        result(reply_result) {}
  FromHandle origin;
  std::wstring id;
  int32_t result;  // VideoReplyResult
};

struct SEVENT_VIDEO_STOP : EventParameter {
  SEVENT_VIDEO_STOP(const FromHandle& from, std::wstring invitation)
      : EventParameter(::SEVENT_VIDEO_STOP), origin(from), id(std::move(invitation)) {}
  FromHandle origin;
  std::wstring id;
};

// One decoded frame: width x height x 3 bytes, B, G, R, rows bottom-up.
struct SEVENT_VIDEO_STREAM : EventParameter {
  SEVENT_VIDEO_STREAM(const FromHandle& from, std::wstring invitation)
      : EventParameter(::SEVENT_VIDEO_STREAM), origin(from), id(std::move(invitation)) {}
  FromHandle origin;
  std::wstring id;
  const uint8_t* bytes = nullptr;
  int32_t size = 0;
  uint8_t reinit = 0;
  uint16_t fps = 0;
  uint16_t width = 0;
  uint16_t height = 0;
};

// The link is up: the sending side's game may start sending frames.
struct SEVENT_VIDEO_READY : EventParameter {
  SEVENT_VIDEO_READY(const FromHandle& from, std::wstring invitation)
      : EventParameter(::SEVENT_VIDEO_READY), origin(from), id(std::move(invitation)) {}
  FromHandle origin;
  std::wstring id;
};

}  // namespace payload
