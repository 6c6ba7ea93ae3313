#include "client/web/web_logic_manager.h"

#include "client/web/jober.h"
#include "client/web/ob_logic_web_blog.h"
#include "client/web/ob_logic_web_data_collect.h"
#include "client/web/ob_logic_web_follow.h"
#include "client/web/ob_logic_web_game.h"
#include "client/web/ob_logic_web_other.h"
#include "client/web/ob_logic_web_server_config.h"
#include "client/web/ob_logic_web_user.h"
#include "runtime/base/message_loop.h"
#include "runtime/platform/tick_clock.h"
#include "runtime/util/module_path.h"

WebLogicManager::WebLogicManager(EventChain* chain, WebLogicOptions options)
    : chain_(chain),
      options_(std::move(options)),
      clock_(options_.clock ? options_.clock : &brx::platform::SystemTickClock()),
      user_(std::make_unique<OBLogicWeb_User>()),
      follow_(std::make_unique<OBLogicWeb_Follow>()),
      blog_(std::make_unique<OBLogicWeb_Blog>()),
      game_(std::make_unique<OBLogicWeb_Game>()),
      other_(std::make_unique<OBLogicWeb_Other>()),
      data_collect_(std::make_unique<OBLogicWeb_DataCollect>()),
      server_config_(std::make_unique<OBLogicWeb_ServerConfig>()) {
  if (options_.program_folder.empty())
    options_.program_folder = brx::util::GetModuleDirectory(nullptr);
  workers_[kNormalWorker] = std::make_unique<JobWorker>("OBLogicWeb_Normal");
  workers_[kUploadWorker] = std::make_unique<JobWorker>("OBLogicWeb_Upload");
  workers_[kDownloadWorker] = std::make_unique<JobWorker>("OBLogicWeb_Download");
}

WebLogicManager::~WebLogicManager() {
  StopWorkers();
  for (auto& worker : workers_) worker.reset();
  // The logic objects die after this body; the user object unsubscribes
  // from the chain as it goes.
}

bool WebLogicManager::Start(uint32_t main_thread_id) {
  if (started_) return true;
  started_ = true;
  finished_.SetTargetThread(main_thread_id);
  server_config_->SetManager(this);
  server_config_->RemoveLeftoverDownloads();
  server_config_->LoadLocalConfig(ProgramFile(L"gsc"));
  user_->RegisterEvents(this);
  follow_->SetManager(this);
  blog_->SetManager(this);
  game_->SetManager(this);
  other_->SetManager(this);
  data_collect_->SetManager(this);
  return true;
}

void WebLogicManager::Stop() {
  if (stopped_) return;
  stopped_ = true;
  if (started_) user_->Stop();
  StopWorkers();
}

void WebLogicManager::RunStartUpJobs() {
  server_config_->DownloadServerConfig();
  other_->GetServerDateTime();
  data_collect_->WhenStart();
}

void WebLogicManager::StopWorkers() {
  // The queue closes first, so nothing that finishes, is cancelled or is
  // aborted from here on calls back (also not the rest of a drain that a
  // callback stopped us from). Stopping a worker aborts its transfer in
  // flight.
  finished_.SetTargetThread(0);
  finished_.Close();
  for (auto& worker : workers_) {
    if (!worker) continue;
    worker->CancelAllTasks();
    worker->Stop();
    worker->CancelAllTasks();
  }
}

void WebLogicManager::Tick() {
  if (!started_ || stopped_) return;
  uint32_t now = clock_->Now();
  if (!ticked_) {
    ticked_ = true;
    last_refresh_ = now;
    last_prompt_ = now;
  }
  if (static_cast<int32_t>(now - last_refresh_) >= static_cast<int32_t>(kServerConfigRefreshMs)) {
    last_refresh_ = now;
    server_config_->DownloadServerConfig();
  }
  if (static_cast<int32_t>(now - last_prompt_) >= static_cast<int32_t>(kDataPromptIntervalMs)) {
    last_prompt_ = now;
    if (user_->IsLoggedIn()) user_->GetDataPrompt();
  }
}

std::wstring WebLogicManager::ProgramFile(const std::wstring& name) const {
  return options_.program_folder + L"/" + name;
}

JobWorker& WebLogicManager::worker(Worker which) { return *workers_[which]; }

int64_t WebLogicManager::PostJob(Worker which, std::unique_ptr<Jober> jober,
                                 std::unique_ptr<JoberDesc_Web> job) {
  if (stopped_) return -1;
  return PostWebJob(workers_[which].get(), std::move(jober), std::move(job), &finished_);
}
