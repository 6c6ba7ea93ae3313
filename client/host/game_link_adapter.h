#pragma once

#include <memory>

#include "client/app/logic_parts.h"
#include "client/core/gamelink/game_link_web_state.h"

class OBApplication;
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

// The game pipe server as a part of the logic holder.
class GameLinkAdapter : public GameLinkPart {
 public:
  explicit GameLinkAdapter(OBApplication* app);
  ~GameLinkAdapter() override;

  OBLogicGameCommand& server() { return *server_; }

  bool Start(uint32_t gui_thread_id) override;
  void DispatchMessages() override;
  void FlushShotStatistics() override;
  void Stop() override;

 private:
  std::unique_ptr<UserWebState> web_state_;  // null without the web logic: nobody signs in
  std::unique_ptr<OBLogicGameCommand> server_;
};
