#include "client/host/web_logic_adapter.h"

#include "client/core/config_store.h"
#include "client/core/message_ids.h"
#include "client/core/shot_catalogue.h"
#include "client/web/ob_logic_web_user.h"
#include "client/web/web_logic_manager.h"

WebLogicAdapter::WebLogicAdapter(const std::wstring& program_folder, EventChain& events,
                                 ConfigStore& config, ShotCatalogue& catalogue)
    : config_(config), catalogue_(catalogue) {
  WebLogicOptions options;
  options.program_folder = program_folder;
  options.host = this;
  manager_ = std::make_unique<WebLogicManager>(&events, options);
}

WebLogicAdapter::~WebLogicAdapter() = default;

void WebLogicAdapter::Start(uint32_t gui_thread_id) { manager_->Start(gui_thread_id); }
void WebLogicAdapter::RunStartUpJobs() { manager_->RunStartUpJobs(); }
void WebLogicAdapter::OnTimer() { manager_->OnTimer(); }
uint32_t WebLogicAdapter::FinishedJobsMessage() const { return ombrix::messages::kWebJobsFinished; }
bool WebLogicAdapter::DispatchFinishedJobs() { return manager_->DispatchFinishedJobs(); }
std::wstring WebLogicAdapter::GetUserFolder() const { return manager_->User().GetUserFolder(); }
void WebLogicAdapter::Stop() { manager_->Stop(); }

void WebLogicAdapter::SetSystemConfigValue(const std::wstring& key, const std::wstring& value) {
  config_.system().SetConfigValue(key, value);
}

std::wstring WebLogicAdapter::GetSystemConfigValue(const std::wstring& key) {
  return config_.system().GetConfigValue(key, L"");
}

std::wstring WebLogicAdapter::GetSnapshotDirectory() {
  return config_.system().GetSnapshotDirectory();
}

void WebLogicAdapter::ClearAllShots() { catalogue_.ClearAllShots(); }
