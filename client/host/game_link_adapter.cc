#include "client/host/game_link_adapter.h"

#include "client/core/gamelink/ob_logic_game_command.h"
#include "client/web/ob_logic_web_user.h"
#include "client/web/web_events.h"

bool UserWebState::IsSignedIn() const { return !user_->record().SessionID.empty(); }

uint8_t UserWebState::GetLoginKind() const { return user_->record().logged_in_by_ticket; }

bool UserWebState::HasNickName() const { return !user_->record().NickName.empty(); }

std::wstring UserWebState::GetUserFolder() const { return user_->GetUserFolder(); }

std::array<int32_t, 4> UserWebState::GetDataPromptCounters() const {
  return {user_->new_mirror_blog_count(), user_->new_about_user_count(), user_->new_message_count(),
          user_->new_fans_count()};
}

bool UserWebState::ReadServerTimeReply(const EventParameter& reply, std::wstring* text) const {
  if (reply.event_id != ::SEVENT_RESPONSE_GetServerDateTime) return false;
  const auto& time = static_cast<const payload::SEVENT_RESPONSE_GetServerDateTime&>(reply);
  if (!time.ok) return false;
  *text = time.text;
  return true;
}

GameLinkAdapter::GameLinkAdapter(EventChain& events, ConfigStore& config, const OBLogicWeb_User& user)
    : web_state_(std::make_unique<UserWebState>(&user)),
      server_(std::make_unique<OBLogicGameCommand>(events, config, web_state_.get())) {}

GameLinkAdapter::~GameLinkAdapter() = default;

bool GameLinkAdapter::Start(uint32_t gui_thread_id) { return server_->Start(gui_thread_id); }

void GameLinkAdapter::DispatchMessages() { server_->DispatchMessages(); }

// The screenshot statistics come with the game command handlers; until
// then there is nothing to report.
void GameLinkAdapter::FlushShotStatistics() {}

void GameLinkAdapter::Stop() { server_->Stop(); }
