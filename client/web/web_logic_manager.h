#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "client/core/event_chain.h"
#include "client/core/message_ids.h"
#include "client/web/finished_job_queue.h"
#include "client/web/jober.h"

namespace brx::platform {
class TickClock;
}

class IWebClientHost;
class OBLogicWeb_Blog;
class OBLogicWeb_DataCollect;
class OBLogicWeb_Follow;
class OBLogicWeb_Game;
class OBLogicWeb_Other;
class OBLogicWeb_ServerConfig;
class OBLogicWeb_User;

struct WebLogicOptions {
  // Where "gsc", "gsc.test" and the per-user folders live; empty: the
  // program's own folder.
  std::wstring program_folder;
  // The clock of the periodic work; null: the system clock.
  const brx::platform::TickClock* clock = nullptr;
  // The configuration and the screenshot store; null leaves credentials
  // unremembered and shots unmoved (tests of the web logic alone).
  IWebClientHost* host = nullptr;
};

// The web service client's root object, owned by the host's web adapter
// (itself a part of the logic holder). It owns
// the seven web logic objects, the three job workers ("OBLogicWeb_Normal"
// for every command and report, "OBLogicWeb_Upload" for the image upload
// and the head-image and game downloads, "OBLogicWeb_Download" for the
// server configuration) and the queue of finished jobs.
//
// Main thread only, except that workers append to the queue. The main
// loop calls Tick() on its 1-second timer and DispatchFinishedJobs() on
// message ombrix::messages::kWebJobsFinished. The event chain is used from Start()
// on, so it may be constructed after the manager; it must outlive Stop().
//
// Shut-down: Stop() signs the user out locally (events 3 and 4, no
// request), unsubscribes, aborts running transfers at once and drops every
// queued job and result. The destructor does the same without firing
// events; without a Stop() before it, the chain must still exist then,
// since the user object unsubscribes from it. No callback runs after
// either, also when a callback itself calls Stop() or destroys the manager.
class WebLogicManager {
 public:
  static constexpr uint32_t kServerConfigRefreshMs = 900000;
  static constexpr uint32_t kDataPromptIntervalMs = 30000;

  enum Worker { kNormalWorker, kUploadWorker, kDownloadWorker };

  WebLogicManager(EventChain* chain, WebLogicOptions options = {});
  ~WebLogicManager();
  WebLogicManager(const WebLogicManager&) = delete;
  WebLogicManager& operator=(const WebLogicManager&) = delete;

  // Remembers the main thread (woken with kWebJobsFinished), reads the local "gsc" and
  // subscribes the user logic. True.
  bool Start(uint32_t main_thread_id);
  void Stop();
  // The start-up work once the windows exist, in this order: the server
  // configuration download, the server time query and the start report.
  void RunStartUpJobs();
  // The 1-second tick: the configuration refresh every 900000 ms and, while
  // signed in, "GetDataPrompt" every 30000 ms.
  void Tick();
  void OnTimer() { Tick(); }
  // Runs the callbacks of the finished jobs. True.
  bool DispatchFinishedJobs() { return finished_.DispatchFinishedJobs(); }
  uint32_t FinishedJobsMessageId() const { return ombrix::messages::kWebJobsFinished; }

  OBLogicWeb_User& User() { return *user_; }
  const OBLogicWeb_User& User() const { return *user_; }
  OBLogicWeb_Follow& Follow() { return *follow_; }
  OBLogicWeb_Blog& Blog() { return *blog_; }
  OBLogicWeb_Game& Game() { return *game_; }
  OBLogicWeb_Other& Other() { return *other_; }
  OBLogicWeb_DataCollect& DataCollect() { return *data_collect_; }
  OBLogicWeb_ServerConfig& ServerConfig() { return *server_config_; }

  // For the logic objects.
  EventChain* chain() const { return chain_; }
  const brx::platform::TickClock& clock() const { return *clock_; }
  IWebClientHost* host() const { return options_.host; }
  const std::wstring& program_folder() const { return options_.program_folder; }
  // program folder + "/" + name.
  std::wstring ProgramFile(const std::wstring& name) const;
  JobWorker& worker(Worker which);
  FinishedJobQueue& finished_jobs() { return finished_; }
  // Posts a job whose result comes back through this manager's queue; the
  // task id, or -1 after Stop.
  int64_t PostJob(Worker which, std::unique_ptr<Jober> jober, std::unique_ptr<JoberDesc_Web> job);

 private:
  void StopWorkers();

  EventChain* chain_;
  WebLogicOptions options_;
  const brx::platform::TickClock* clock_;
  std::unique_ptr<OBLogicWeb_User> user_;
  std::unique_ptr<OBLogicWeb_Follow> follow_;
  std::unique_ptr<OBLogicWeb_Blog> blog_;
  std::unique_ptr<OBLogicWeb_Game> game_;
  std::unique_ptr<OBLogicWeb_Other> other_;
  std::unique_ptr<OBLogicWeb_DataCollect> data_collect_;
  std::unique_ptr<OBLogicWeb_ServerConfig> server_config_;
  FinishedJobQueue finished_{ombrix::messages::kWebJobsFinished};
  std::unique_ptr<JobWorker> workers_[3];
  bool started_ = false;
  bool stopped_ = false;
  bool ticked_ = false;
  uint32_t last_refresh_ = 0;
  uint32_t last_prompt_ = 0;
};
