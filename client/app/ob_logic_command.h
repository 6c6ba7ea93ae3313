#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "client/app/logic_parts.h"
#include "client/core/config_store.h"
#include "client/core/event_chain.h"
#include "client/core/shot_catalogue.h"

namespace brx::platform {
class TickClock;
}

// The logic holder: owns the screenshot catalogue, the configuration store
// and the logic parts (web client, video chat, game link), starts them in
// order, ticks them once a second and stops them in order.
//
// GUI thread only. Start() once; then either Stop() (normal shut-down, which
// saves the configuration) or Abandon() (a start-up that failed: stops what
// started and saves nothing). Parts whose Start fails are stopped too, so
// nothing keeps running after a failed start.
class OBLogicCommand : public IShotFolderSource {
 public:
  explicit OBLogicCommand(std::wstring program_folder);
  OBLogicCommand(std::wstring program_folder, std::wstring current_game_id);
  ~OBLogicCommand() override;
  OBLogicCommand(const OBLogicCommand&) = delete;
  OBLogicCommand& operator=(const OBLogicCommand&) = delete;

  // Installed before Start; a part left out is skipped.
  void SetWebLogic(std::unique_ptr<WebLogicPart> web) { web_ = std::move(web); }
  void SetVideoChat(std::unique_ptr<VideoChatPart> video) { video_ = std::move(video); }
  void SetGameLink(std::unique_ptr<GameLinkPart> game) { game_ = std::move(game); }

  // Configuration, skin check and game configurations, web client,
  // catalogue, video chat, game link, then the subscriptions to the two
  // configuration-change events on `events`. False at the first failure.
  bool Start(uint32_t gui_thread_id, EventChain* events);
  // Unsubscribes, stops the game link and the web client, saves the
  // configuration (first run over), stops the video chat.
  void Stop();
  void Abandon();
  // Every WM_TIMER of the main loop.
  void OnTimer();

  void OnSystemConfigChanged(const EventParameter* payload);
  void OnGameConfigChanged(const EventParameter* payload);

  // Main-loop steps; each is true when it consumed the message.
  bool DispatchGamePipeInput();
  bool OnVideoChatMessage(const brx::base::Message& msg);
  bool DispatchFinishedWebJobs(const brx::base::Message& msg);
  // The web client's start-up work, once the windows exist.
  void RunWebStartUpJobs();

  // IShotFolderSource.
  std::wstring GetSnapshotDirectory() const override;
  std::wstring GetUserFolder() const override;

  ShotCatalogue& catalogue() { return catalogue_; }
  ConfigStore& config() { return config_; }
  WebLogicPart* web() { return web_.get(); }
  VideoChatPart* video() { return video_.get(); }
  GameLinkPart* game_link() { return game_.get(); }
  bool started() const { return started_; }

  void SetTickClockForTesting(const brx::platform::TickClock* clock) { clock_ = clock; }

 private:
  void Unsubscribe();
  void StopParts();

  ShotCatalogue catalogue_;
  ConfigStore config_;
  std::unique_ptr<WebLogicPart> web_;
  std::unique_ptr<VideoChatPart> video_;
  std::unique_ptr<GameLinkPart> game_;
  EventChain* events_ = nullptr;
  EventChain::Handle system_changed_ = 0;
  EventChain::Handle game_changed_ = 0;

  bool started_ = false;
  bool web_started_ = false;
  bool video_started_ = false;
  bool game_started_ = false;

  const brx::platform::TickClock* clock_;
  bool keep_alive_armed_ = false;
  uint32_t last_keep_alive_ = 0;
};
