#pragma once

#include <memory>

#include "client/app/logic_parts.h"
#include "client/core/event_chain.h"
#include "client/web/web_client_host.h"

class ConfigStore;
class ShotCatalogue;
class WebLogicManager;

// The web service client as a part of the logic holder: owns the web logic
// manager and answers its questions about the configuration and the
// screenshot store. Borrows the chain, the store and the catalogue, which
// outlive it (the application and the logic holder own them). GUI thread
// only.
class WebLogicAdapter : public WebLogicPart, public IWebClientHost {
 public:
  WebLogicAdapter(const std::wstring& program_folder, EventChain& events, ConfigStore& config,
                  ShotCatalogue& catalogue);
  ~WebLogicAdapter() override;

  WebLogicManager& manager() { return *manager_; }

  // WebLogicPart
  void Start(uint32_t gui_thread_id) override;
  void RunStartUpJobs() override;
  void OnTimer() override;
  uint32_t FinishedJobsMessage() const override;
  bool DispatchFinishedJobs() override;
  std::wstring GetUserFolder() const override;
  void Stop() override;

  // IWebClientHost
  void SetSystemConfigValue(const std::wstring& key, const std::wstring& value) override;
  std::wstring GetSystemConfigValue(const std::wstring& key) override;
  std::wstring GetSnapshotDirectory() override;
  void ClearAllShots() override;

 private:
  ConfigStore& config_;
  ShotCatalogue& catalogue_;
  std::unique_ptr<WebLogicManager> manager_;
};
