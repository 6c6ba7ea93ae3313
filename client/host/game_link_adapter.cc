#include "client/host/game_link_adapter.h"

#include "client/core/gamelink/ob_logic_game_command.h"
#include "client/core/gamelink/ob_logic_game_friend.h"
#include "client/core/gamelink/ob_logic_game_interact_video_transfer.h"
#include "client/host/game_page_hosts.h"
#include "client/web/ob_logic_web_blog.h"
#include "client/web/ob_logic_web_data_collect.h"
#include "client/web/ob_logic_web_user.h"
#include "client/web/web_logic_manager.h"

void GameLinkWebCommands::Upload(const std::wstring& local_file, uint32_t timeout_ms,
                                 const FromHandle& origin) {
  manager_->Blog().Upload(local_file, timeout_ms, origin);
}

void GameLinkWebCommands::AddBlog(const std::wstring& content, const std::wstring& post_from,
                                  const std::wstring& image_url, const std::wstring& game_id,
                                  const FromHandle& origin) {
  manager_->Blog().AddBlog(content, post_from, image_url, game_id, origin);
}

void GameLinkWebCommands::CommitShot(uint32_t shot_messages, uint32_t new_images) {
  manager_->DataCollect().CommitShot(shot_messages, new_images);
}

GameLinkAdapter::GameLinkAdapter(EventChain& events, ConfigStore& config, WebLogicManager& web,
                                 brx::platform::Shell& shell, IGameLinkVideoChat* video)
    : web_commands_(std::make_unique<GameLinkWebCommands>(&web)) {
  GameLinkServices services;
  services.web = web_commands_.get();
  services.shell = &shell;
  services.pages = HostGamePageHosts();
  server_ = std::make_unique<OBLogicGameCommand>(events, config, &web.User(), std::move(services));
  if (video) {
    // Started after the built-in blocks and stopped before them, the video
    // block right after the friends block.
    server_->AddBlock(std::make_unique<OBLogicGameFriend>(*server_, events, *video));
    server_->AddBlock(
        std::make_unique<OBLogicGameInteract_VideoTransfer>(*server_, events, *video));
  }
}

GameLinkAdapter::~GameLinkAdapter() = default;

bool GameLinkAdapter::Start(uint32_t gui_thread_id) { return server_->Start(gui_thread_id); }

void GameLinkAdapter::DispatchMessages() { server_->DispatchMessages(); }

void GameLinkAdapter::FlushShotStatistics() { server_->FlushShotStatistics(); }

void GameLinkAdapter::Stop() { server_->Stop(); }
