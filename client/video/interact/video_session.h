#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "client/core/event_parameter.h"
#include "client/video/codec/video_en_decoder.h"
#include "client/video/transport/relay_link.h"
#include "client/video/transport/udt_link.h"

// One video session: the invitation, who sends, how far the link got, and
// what the session owns (its links and its codec worker).
struct VideoSession {
  enum State : int32_t { kInvited = 0, kNegotiating = 1, kRelay = 2, kReady = 3 };

  std::wstring id;
  FromHandle origin;                  // the game connection that asked; {0, 0} until known
  std::wstring inviter;               // account that sent the invitation
  std::wstring sender;                // account whose video is sent
  std::vector<std::wstring> invited;  // one entry, the invited account
  bool answered = false;              // the invited side answered
  uint32_t invited_at = 0;            // tick of the invitation's sending or arrival
  std::wstring peer_ip;               // the relay, or the peer from the binding
  int32_t peer_port = 0;
  int32_t state = kInvited;
  // Stopped, with its close still to come (closes wait while links are
  // drained): it takes no more frames and is stopped only once.
  bool stopping = false;
  int32_t codec_type = kCodecTypeWebM;
  std::unique_ptr<RelayLink> relay_link;
  std::unique_ptr<UdtLink> udt_link;
  std::unique_ptr<VideoEnDecoder> codec;

  // The other party's account, on either side.
  const std::wstring& Peer(const std::wstring& own_account) const {
    return inviter == own_account && !invited.empty() ? invited.front() : inviter;
  }
  bool IsSender(const std::wstring& own_account) const { return sender == own_account; }
};
