#pragma once

#include <memory>

#include "client/app/logic_parts.h"
#include "client/web/web_client_host.h"

class OBApplication;
class WebLogicManager;

// The web service client as a part of the logic holder: the web logic
// manager, and the configuration and screenshot store it needs, reached
// through the application's logic holder. GUI thread only.
class WebLogicAdapter : public WebLogicPart, public IWebClientHost {
 public:
  explicit WebLogicAdapter(OBApplication* app);
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
  OBApplication* app_;
  std::unique_ptr<WebLogicManager> manager_;
};
