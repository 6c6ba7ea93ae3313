#pragma once

#include "client/core/gamelink/game_command_block.h"
#include "runtime/io/queued_message.h"

class IGameLinkVideoChat;
class OBLogicGameCommand;

// The games' video calls: invitations, answers, hang-ups and frames from
// the games go to the video chat; its events go back to the game that
// asked (or, for an incoming invitation, to every game).
//
// GUI thread, except the frame handler (event 49), which runs on the
// session's codec thread and sends from there; it touches nothing but the
// server's client table, whose lock is never held while calling out.
class OBLogicGameInteract_VideoTransfer : public GameCommandBlock {
 public:
  OBLogicGameInteract_VideoTransfer(OBLogicGameCommand& server, EventChain& chain,
                                    IGameLinkVideoChat& video);

  void Start() override;

 private:
  void OnInvite(brx::io::ConnectionId sender, const uint8_t* message, uint32_t length);
  void OnReply(brx::io::ConnectionId sender, const uint8_t* message, uint32_t length);
  void OnStop(brx::io::ConnectionId sender, const uint8_t* message, uint32_t length);
  void OnStream(brx::io::ConnectionId sender, const uint8_t* message, uint32_t length);
  void OnGameDetach(const EventParameter* event);
  void OnVideoInvite(const EventParameter* event);
  void OnVideoReply(const EventParameter* event);
  void OnVideoStop(const EventParameter* event);
  void OnVideoStream(const EventParameter* event);
  void OnVideoReady(const EventParameter* event);

  OBLogicGameCommand& server_;
  IGameLinkVideoChat& video_;
};
