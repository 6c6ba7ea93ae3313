#pragma once

#include <memory>

#include "client/app/logic_parts.h"
#include "client/core/event_chain.h"
#include "client/core/gamelink/game_link_web_state.h"

class ConfigStore;
class OBLogicGameCommand;
class OBLogicWeb_User;

// What the game link reads of the signed-in user, from the web user logic.
class UserWebState : public IGameLinkWebState {
 public:
  explicit UserWebState(const OBLogicWeb_User* user) : user_(user) {}

  bool IsSignedIn() const override;
  uint8_t GetLoginKind() const override;
  bool HasNickName() const override;
  std::wstring GetUserFolder() const override;
  std::array<int32_t, 4> GetDataPromptCounters() const override;
  bool ReadServerTimeReply(const EventParameter& reply, std::wstring* text) const override;

 private:
  const OBLogicWeb_User* user_;
};

// The game pipe server as a part of the logic holder. Borrows the chain,
// the configuration store and the web user, which outlive it.
class GameLinkAdapter : public GameLinkPart {
 public:
  GameLinkAdapter(EventChain& events, ConfigStore& config, const OBLogicWeb_User& user);
  ~GameLinkAdapter() override;

  OBLogicGameCommand& server() { return *server_; }

  bool Start(uint32_t gui_thread_id) override;
  void DispatchMessages() override;
  void FlushShotStatistics() override;
  void Stop() override;

 private:
  std::unique_ptr<UserWebState> web_state_;
  std::unique_ptr<OBLogicGameCommand> server_;
};
