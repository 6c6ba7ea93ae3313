#pragma once

#include <memory>

#include "client/app/logic_parts.h"
#include "client/core/event_chain.h"
#include "client/core/gamelink/game_link_web.h"
#include "client/core/gamelink/game_link_web_state.h"

class ConfigStore;
class IGameLinkVideoChat;
class OBLogicGameCommand;
class WebLogicManager;

namespace brx::platform {
class Shell;
}

// What the game link reads of the signed-in user, and the web commands it
// starts, from the web logic manager.
class UserWebState : public IGameLinkWebState, public IGameLinkWebCommands {
 public:
  explicit UserWebState(WebLogicManager* manager) : manager_(manager) {}

  bool IsSignedIn() const override;
  uint8_t GetLoginKind() const override;
  bool HasNickName() const override;
  std::wstring GetUserFolder() const override;
  std::array<int32_t, 4> GetDataPromptCounters() const override;

  void UserLogin(const std::wstring& account, const std::wstring& password, const FromHandle& origin, bool cipher,
                 bool require_cipher) override;
  void UserLoginByTicket(const std::wstring& ticket, const FromHandle& origin) override;
  void UserLogout() override;
  void Upload(const std::wstring& local_file, uint32_t timeout_ms, const FromHandle& origin) override;
  void AddBlog(const std::wstring& content, const std::wstring& post_from, const std::wstring& image_url,
               const std::wstring& game_id, const FromHandle& origin) override;
  void CommitShot(uint32_t shot_messages, uint32_t new_images) override;

 private:
  WebLogicManager* manager_;
};

// The game pipe server as a part of the logic holder. Borrows the chain,
// the configuration store, the web logic manager, the shell and the video
// chat (null: no friends or video commands), which outlive it.
class GameLinkAdapter : public GameLinkPart {
 public:
  GameLinkAdapter(EventChain& events, ConfigStore& config, WebLogicManager& web, brx::platform::Shell& shell,
                  IGameLinkVideoChat* video = nullptr);
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
