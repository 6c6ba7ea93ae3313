#pragma once

#include <cstdint>
#include <string>

#include "client/core/event_parameter.h"

// What the friends and video blocks ask of the video chat. GUI thread only;
// the answers come back as events 44-50.
class IGameLinkVideoChat {
 public:
  virtual ~IGameLinkVideoChat() = default;
  virtual void GetOnlineFriend(int32_t page, int32_t page_size) = 0;
  virtual void InviteVideo(const std::wstring& id, const std::wstring& invited, bool send_own_video,
                           const FromHandle& origin) = 0;
  // `result`: 0 accept, 1 refuse.
  virtual void ReplyVideoInvite(const std::wstring& id, int32_t result,
                                const FromHandle& origin) = 0;
  virtual void CloseVideoSession(const std::wstring& id) = 0;
  virtual void StopVideoOfRequester(const FromHandle& origin) = 0;
  virtual void PushVideoFrame(const std::wstring& id, const uint8_t* bytes, uint32_t size,
                              uint16_t fps, uint16_t width, uint16_t height) = 0;
};
