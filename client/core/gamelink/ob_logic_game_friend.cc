#include "client/core/gamelink/ob_logic_game_friend.h"

#include "client/core/event_ids.h"
#include "client/core/gamelink/c2s_messages.h"
#include "client/core/gamelink/game_link_video.h"
#include "client/core/gamelink/ob_logic_game_command.h"
#include "client/core/gamelink/s2c_messages.h"
#include "client/core/video_events.h"

using brx::io::ConnectionId;

OBLogicGameFriend::OBLogicGameFriend(OBLogicGameCommand& server, EventChain& chain,
                                     IGameLinkVideoChat& video)
    : GameCommandBlock(chain), server_(server), video_(video) {}

void OBLogicGameFriend::Start() {
  server_.Register(COBMSG_C2S_FRIEND_ONLINE::kId, this, &OBLogicGameFriend::OnFriendOnline);
  Subscribe(SEVENT_GETONLINEFRIEND, this, &OBLogicGameFriend::OnOnlineFriends);
  Subscribe(SEVENT_GETONLINEFRIENDHEADICON, this, &OBLogicGameFriend::OnHeadIcon);
}

void OBLogicGameFriend::OnFriendOnline(ConnectionId, const uint8_t* message, uint32_t length) {
  COBMSG_C2S_FRIEND_ONLINE request(message, length);
  video_.GetOnlineFriend(request.page, request.page_size);
}

void OBLogicGameFriend::OnOnlineFriends(const EventParameter* event) {
  const auto* online = static_cast<const payload::SEVENT_GETONLINEFRIEND*>(event);
  std::vector<FriendOnlineEntry> entries;
  if (online->friends) {
    entries.reserve(online->friends->size());
    for (const OnlineFriendInfo& info : *online->friends)
      entries.push_back(FriendOnlineEntry{info.user_account, info.user_name, info.head_icon});
  }
  server_.SendToAll(COBMSG_S2C_FRIEND_ONLINE(online->record_count, online->page, entries));
}

void OBLogicGameFriend::OnHeadIcon(const EventParameter* event) {
  const auto* icon = static_cast<const payload::SEVENT_GETONLINEFRIENDHEADICON*>(event);
  server_.SendToAll(COBMSG_S2C_FRIEND_ONLINE_HEADICON(icon->url, icon->path));
}
