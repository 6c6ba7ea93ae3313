#include "client/app/ob_logic_command.h"

#include "client/core/config_keys.h"
#include "client/core/event_ids.h"
#include "runtime/base/thread_message_queue.h"
#include "runtime/platform/tick_clock.h"

OBLogicCommand::OBLogicCommand(std::wstring program_folder)
    : config_(std::move(program_folder)), clock_(&brx::platform::SystemTickClock()) {}

OBLogicCommand::OBLogicCommand(std::wstring program_folder, std::wstring current_game_id)
    : config_(std::move(program_folder), std::move(current_game_id)),
      clock_(&brx::platform::SystemTickClock()) {}

OBLogicCommand::~OBLogicCommand() {
  // The owner stops the logic; this only makes sure no part outlives its
  // holder while still running.
  if (started_ || web_started_ || video_started_ || game_started_) Abandon();
}

bool OBLogicCommand::Start(uint32_t gui_thread_id, EventChain* events) {
  config_.SetOwner(this);
  config_.LoadSystemConfig();
  if (!config_.CheckSkinAndLoadGameConfigs()) return false;
  if (web_) {
    web_->Start(gui_thread_id);
    web_started_ = true;
  }
  catalogue_.SetOwner(this);
  if (video_) {
    video_started_ = true;
    if (!video_->Start(gui_thread_id)) {
      Abandon();
      return false;
    }
  }
  if (game_) {
    game_started_ = true;
    if (!game_->Start(gui_thread_id)) {
      Abandon();
      return false;
    }
  }
  events_ = events;
  system_changed_ =
      events_->Subscribe(SEVENT_CONFIG_CHANGE_SYSTEM, this, &OBLogicCommand::OnSystemConfigChanged);
  game_changed_ =
      events_->Subscribe(SEVENT_CONFIG_CHANGE_GAME, this, &OBLogicCommand::OnGameConfigChanged);
  started_ = true;
  return true;
}

void OBLogicCommand::Unsubscribe() {
  if (!events_) return;
  events_->Unsubscribe(system_changed_);
  events_->Unsubscribe(game_changed_);
  system_changed_ = game_changed_ = 0;
  events_ = nullptr;
}

void OBLogicCommand::Stop() {
  // Saving a configuration that was never loaded would overwrite the
  // user's files with the built-in one.
  if (!started_) return;
  Unsubscribe();
  if (game_started_) game_->Stop();
  game_started_ = false;
  if (web_started_) web_->Stop();
  web_started_ = false;
  config_.system().SetConfigValue(config_keys::kFirstRun, L"0");
  config_.SaveSystemConfig();
  config_.SaveGameConfigs();
  if (video_started_) video_->Stop();
  video_started_ = false;
  started_ = false;
}

void OBLogicCommand::Abandon() {
  Unsubscribe();
  StopParts();
  started_ = false;
}

void OBLogicCommand::StopParts() {
  if (game_started_) game_->Stop();
  if (web_started_) web_->Stop();
  if (video_started_) video_->Stop();
  game_started_ = web_started_ = video_started_ = false;
}

void OBLogicCommand::OnTimer() {
  if (web_started_) web_->OnTimer();
  if (video_started_) {
    uint32_t now = clock_->Now();
    if (!keep_alive_armed_) {
      keep_alive_armed_ = true;
      last_keep_alive_ = now;
    } else if (now - last_keep_alive_ >=
               video_->KeepAliveInterval()) {  // unsigned: the wrap is harmless
      last_keep_alive_ = now;
      video_->SendKeepAlive();
    }
  }
  if (game_started_) game_->FlushShotStatistics();
}

void OBLogicCommand::OnSystemConfigChanged(const EventParameter*) { config_.SaveSystemConfig(); }

void OBLogicCommand::OnGameConfigChanged(const EventParameter*) { config_.SaveGameConfigs(); }

bool OBLogicCommand::DispatchGamePipeInput() {
  if (!game_started_) return false;
  game_->DispatchMessages();
  return true;
}

bool OBLogicCommand::OnVideoChatMessage(const brx::base::Message& msg) {
  return video_started_ && video_->OnThreadMessage(msg);
}

bool OBLogicCommand::DispatchFinishedWebJobs(const brx::base::Message& msg) {
  return web_started_ && msg.message == web_->FinishedJobsMessage() && web_->DispatchFinishedJobs();
}

void OBLogicCommand::RunWebStartUpJobs() {
  if (web_started_) web_->RunStartUpJobs();
}

std::wstring OBLogicCommand::GetSnapshotDirectory() const {
  return config_.system().GetSnapshotDirectory();
}

std::wstring OBLogicCommand::GetUserFolder() const {
  // Nobody can be signed in without the web client.
  return web_ ? web_->GetUserFolder() : L"Users/All Users";
}
