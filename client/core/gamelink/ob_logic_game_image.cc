#include "client/core/gamelink/ob_logic_game_image.h"

#include "client/core/event_ids.h"
#include "client/core/gamelink/c2s_messages.h"
#include "client/core/gamelink/game_link_web.h"
#include "client/core/gamelink/ob_logic_game_command.h"
#include "client/core/gamelink/s2c_messages.h"
#include "runtime/platform/tick_clock.h"

using brx::io::ConnectionId;

OBLogicGameImage::OBLogicGameImage(OBLogicGameCommand& server, EventChain& chain,
                                   IGameLinkWebCommands& web, const brx::platform::TickClock& clock)
    : GameCommandBlock(chain), server_(server), web_(web), clock_(clock) {}

void OBLogicGameImage::Start() {
  server_.Register(COBMSG_C2S_NEWIMAGE::kId, this, &OBLogicGameImage::OnNewImage);
  server_.Register(kMsgC2SShotCounter, this, &OBLogicGameImage::OnShotCounter);
  Subscribe(SEVENT_RESPONSE_UserLogin, this, &OBLogicGameImage::OnUserChanged);
  Subscribe(SEVENT_RESPONSE_UserLogout, this, &OBLogicGameImage::OnUserChanged);
}

void OBLogicGameImage::OnNewImage(ConnectionId sender, const uint8_t* message, uint32_t length) {
  COBMSG_C2S_NEWIMAGE image(message, length);
  ++new_images_;
  if (image.kind >= 0 && image.kind < 3) ++kind_counts_[image.kind];
  server_.SendToClient(sender, COBMSG_S2C_IMAGESYN(static_cast<int32_t>(kind_counts_[0]),
                                                   static_cast<int32_t>(kind_counts_[1]),
                                                   static_cast<int32_t>(kind_counts_[2])));
}

void OBLogicGameImage::OnShotCounter(ConnectionId, const uint8_t*, uint32_t) { ++shot_messages_; }

void OBLogicGameImage::OnUserChanged(const EventParameter*) {
  // Every sign-in reply starts the counts again, a failed one too: the
  // games take the reply as the start of a new player's session.
  kind_counts_[0] = kind_counts_[1] = kind_counts_[2] = 0;
}

void OBLogicGameImage::FlushShotStatistics() {
  uint32_t now = clock_.Now();
  if (!period_started_) {
    period_started_ = true;
    last_report_ = now;
    return;
  }
  if (now - last_report_ <= kReportIntervalMs) return;
  last_report_ = now;
  uint32_t shot_messages = shot_messages_, new_images = new_images_;
  shot_messages_ = new_images_ = 0;
  web_.CommitShot(shot_messages, new_images);
}
