#pragma once

#include "client/core/gamelink/game_command_block.h"
#include "runtime/io/queued_message.h"

class IGameLinkVideoChat;
class OBLogicGameCommand;

// The games' list of online friends: asks the video chat for a page and
// hands every answer, and every head image as it arrives, to all games.
// GUI thread only; the server and the video chat are borrowed.
class OBLogicGameFriend : public GameCommandBlock {
 public:
  OBLogicGameFriend(OBLogicGameCommand& server, EventChain& chain, IGameLinkVideoChat& video);

  void Start() override;

 private:
  void OnFriendOnline(brx::io::ConnectionId sender, const uint8_t* message, uint32_t length);
  void OnOnlineFriends(const EventParameter* event);
  void OnHeadIcon(const EventParameter* event);

  OBLogicGameCommand& server_;
  IGameLinkVideoChat& video_;
};
