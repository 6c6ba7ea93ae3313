#include "client/core/gamelink/ob_logic_game_interact_video_transfer.h"

#include "client/core/core_events.h"
#include "client/core/event_ids.h"
#include "client/core/gamelink/c2s_messages.h"
#include "client/core/gamelink/game_link_video.h"
#include "client/core/gamelink/ob_logic_game_command.h"
#include "client/core/gamelink/s2c_messages.h"
#include "client/core/video_events.h"

using brx::io::ConnectionId;

namespace {

FromHandle GameOrigin(ConnectionId connection) {
  return FromHandle{FromHandle::kGameClient, static_cast<int32_t>(connection)};
}

// The game's error code for a reply that is neither an accept nor a refusal.
int32_t ErrorCode(int32_t result) {
  switch (result) {
    case payload::kVideoNoLink:
      return 0;
    case payload::kVideoOffline:
      return 1;
    case 2:
      return 4;
    case payload::kVideoNoUser:
      return 2;
    case payload::kVideoBusy:
      return 3;
    case payload::kVideoTimeout:
      return 5;
    case payload::kVideoSessionExists:
      return 6;
    default:
      return 0;
  }
}

// The connection an event answers, or 0 when it answers no game.
ConnectionId TargetOf(const FromHandle& origin) {
  return origin.kind == FromHandle::kGameClient ? static_cast<ConnectionId>(origin.handle) : 0;
}

}  // namespace

OBLogicGameInteract_VideoTransfer::OBLogicGameInteract_VideoTransfer(OBLogicGameCommand& server,
                                                                     EventChain& chain,
                                                                     IGameLinkVideoChat& video)
    : GameCommandBlock(chain), server_(server), video_(video) {}

void OBLogicGameInteract_VideoTransfer::Start() {
  server_.Register(COBMSG_C2S_VIDEO_INVITE::kId, this,
                   &OBLogicGameInteract_VideoTransfer::OnInvite);
  server_.Register(COBMSG_C2S_VIDEO_REPLY::kId, this, &OBLogicGameInteract_VideoTransfer::OnReply);
  server_.Register(COBMSG_C2S_VIDEO_STOP::kId, this, &OBLogicGameInteract_VideoTransfer::OnStop);
  server_.Register(COBMSG_C2S_VEDIO_STREAM::kId, this,
                   &OBLogicGameInteract_VideoTransfer::OnStream);
  Subscribe(SEVENT_VIDEO_INVITE, this, &OBLogicGameInteract_VideoTransfer::OnVideoInvite);
  Subscribe(SEVENT_VIDEO_REPLY, this, &OBLogicGameInteract_VideoTransfer::OnVideoReply);
  Subscribe(SEVENT_VIDEO_STOP, this, &OBLogicGameInteract_VideoTransfer::OnVideoStop);
  Subscribe(SEVENT_VIDEO_STREAM, this, &OBLogicGameInteract_VideoTransfer::OnVideoStream);
  Subscribe(SEVENT_GAME_DETACH, this, &OBLogicGameInteract_VideoTransfer::OnGameDetach);
  Subscribe(SEVENT_VIDEO_READY, this, &OBLogicGameInteract_VideoTransfer::OnVideoReady);
}

void OBLogicGameInteract_VideoTransfer::OnInvite(ConnectionId sender, const uint8_t* message,
                                                 uint32_t length) {
  COBMSG_C2S_VIDEO_INVITE invite(message, length);
  if (invite.invitation_id.empty() || invite.invited_account.empty()) {
    // Nothing can come of it, and the game waits for an answer: it fails.
    server_.SendToClient(
        sender, COBMSG_S2C_VEDIO_ERROR(ErrorCode(payload::kVideoNoLink), invite.invitation_id));
    return;
  }
  video_.InviteVideo(invite.invitation_id, invite.invited_account, invite.send_own_video != 0,
                     GameOrigin(sender));
}

void OBLogicGameInteract_VideoTransfer::OnReply(ConnectionId sender, const uint8_t* message,
                                                uint32_t length) {
  COBMSG_C2S_VIDEO_REPLY reply(message, length);
  // The other games close their copy of the invitation.
  server_.SendToAll(COBMSG_S2C_VIDEO_INVITE_REPLYED(reply.invitation_id), sender);
  video_.ReplyVideoInvite(reply.invitation_id, reply.answer != 0 ? 1 : 0, GameOrigin(sender));
}

void OBLogicGameInteract_VideoTransfer::OnStop(ConnectionId sender, const uint8_t* message,
                                               uint32_t length) {
  COBMSG_C2S_VIDEO_STOP stop(message, length);
  video_.CloseVideoSession(stop.invitation_id);
  video_.StopVideoOfRequester(GameOrigin(sender));
}

void OBLogicGameInteract_VideoTransfer::OnStream(ConnectionId, const uint8_t* message,
                                                 uint32_t length) {
  COBMSG_C2S_VEDIO_STREAM stream(message, length);
  if (!stream.HasFrame()) return;
  video_.PushVideoFrame(stream.invitation_id, stream.frame, stream.frame_size, stream.frame_rate,
                        stream.width, stream.height);
}

void OBLogicGameInteract_VideoTransfer::OnGameDetach(const EventParameter* event) {
  const auto* detach = static_cast<const payload::SEVENT_GAME_DETACH*>(event);
  video_.StopVideoOfRequester(GameOrigin(static_cast<ConnectionId>(detach->connection)));
}

void OBLogicGameInteract_VideoTransfer::OnVideoInvite(const EventParameter* event) {
  const auto* invite = static_cast<const payload::SEVENT_VIDEO_INVITE*>(event);
  if (server_.GetClientCount() == 0) {
    // Nobody could answer it.
    video_.ReplyVideoInvite(invite->id, 1, FromHandle{});
    return;
  }
  server_.SendToAll(COBMSG_S2C_VIDEO_INVITE(invite->sends_video, invite->id,
                                            invite->invited_account, invite->inviter_name));
}

void OBLogicGameInteract_VideoTransfer::OnVideoReply(const EventParameter* event) {
  const auto* reply = static_cast<const payload::SEVENT_VIDEO_REPLY*>(event);
  const ConnectionId target = TargetOf(reply->origin);
  if (target == 0) {
    // An invitation no game answered in time: every game showing it
    // closes it, as when another game answers.
    if (reply->origin.kind == FromHandle::kNone && reply->result == payload::kVideoTimeout) {
      server_.SendToAll(COBMSG_S2C_VIDEO_INVITE_REPLYED(reply->id));
    }
    return;
  }
  if (reply->result == payload::kVideoAccept || reply->result == payload::kVideoReject) {
    server_.SendToClient(target,
                         COBMSG_S2C_VIDEO_REPLY(reply->result == payload::kVideoAccept, reply->id));
  } else {
    server_.SendToClient(target, COBMSG_S2C_VEDIO_ERROR(ErrorCode(reply->result), reply->id));
  }
}

void OBLogicGameInteract_VideoTransfer::OnVideoStop(const EventParameter* event) {
  const auto* stop = static_cast<const payload::SEVENT_VIDEO_STOP*>(event);
  if (stop->origin.kind == FromHandle::kNone) {
    // An invitation no game took up ended before it was answered (the
    // inviter hung up, or the user signed out): the games showing it close
    // it, or its answer would wait for a call that is gone.
    server_.SendToAll(COBMSG_S2C_VIDEO_INVITE_REPLYED(stop->id));
    return;
  }
  if (const ConnectionId target = TargetOf(stop->origin))
    server_.SendToClient(target, COBMSG_S2C_VIDEO_STOP(stop->id));
}

void OBLogicGameInteract_VideoTransfer::OnVideoStream(const EventParameter* event) {
  const auto* stream = static_cast<const payload::SEVENT_VIDEO_STREAM*>(event);
  const ConnectionId target = TargetOf(stream->origin);
  if (target == 0 || !stream->bytes || stream->size <= 0) return;
  server_.SendToClient(target, COBMSG_S2C_VEDIO_STREAM(
                                   stream->reinit != 0, stream->fps, stream->width, stream->height,
                                   stream->bytes, static_cast<uint32_t>(stream->size), stream->id));
}

void OBLogicGameInteract_VideoTransfer::OnVideoReady(const EventParameter* event) {
  const auto* ready = static_cast<const payload::SEVENT_VIDEO_READY*>(event);
  if (const ConnectionId target = TargetOf(ready->origin))
    server_.SendToClient(target, COBMSG_S2C_VIDEO_READY(ready->id));
}
