#pragma once

#include <memory>

#include "client/app/logic_parts.h"
#include "client/core/event_chain.h"
#include "client/core/gamelink/game_link_web.h"

class ConfigStore;
class IGameLinkVideoChat;
class OBLogicGameCommand;
class WebLogicManager;

namespace brx::platform {
class Shell;
}

// The game link's web commands beyond the user's own, on the blog and the
// statistics of the web logic manager.
class GameLinkWebCommands : public IGameLinkWebCommands {
 public:
  explicit GameLinkWebCommands(WebLogicManager* manager) : manager_(manager) {}

  void Upload(const std::wstring& local_file, uint32_t timeout_ms,
              const FromHandle& origin) override;
  void AddBlog(const std::wstring& content, const std::wstring& post_from,
               const std::wstring& image_url, const std::wstring& game_id,
               const FromHandle& origin) override;
  void CommitShot(uint32_t shot_messages, uint32_t new_images) override;

 private:
  WebLogicManager* manager_;
};

// The game pipe server as a part of the logic holder. Borrows the chain,
// the configuration store, the web logic manager, the shell and the video
// chat (null: no friends or video commands), which outlive it.
class GameLinkAdapter : public GameLinkPart {
 public:
  GameLinkAdapter(EventChain& events, ConfigStore& config, WebLogicManager& web,
                  brx::platform::Shell& shell, IGameLinkVideoChat* video = nullptr);
  ~GameLinkAdapter() override;

  OBLogicGameCommand& server() { return *server_; }

  bool Start(uint32_t gui_thread_id) override;
  void DispatchMessages() override;
  void FlushShotStatistics() override;
  void Stop() override;

 private:
  std::unique_ptr<GameLinkWebCommands> web_commands_;
  std::unique_ptr<OBLogicGameCommand> server_;
};
