#include "client/host/web_logic_adapter.h"

#include "client/app/ob_application.h"
#include "client/core/message_ids.h"
#include "client/web/ob_logic_web_user.h"
#include "client/web/web_logic_manager.h"

WebLogicAdapter::WebLogicAdapter(OBApplication* app) : app_(app) {
  WebLogicOptions options;
  options.program_folder = app->program_folder();
  options.host = this;
  manager_ = std::make_unique<WebLogicManager>(&app->event_chain(), options);
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
  app_->logic().config().system().SetConfigValue(key, value);
}

std::wstring WebLogicAdapter::GetSnapshotDirectory() { return app_->logic().config().system().GetSnapshotDirectory(); }

void WebLogicAdapter::ClearAllShots() { app_->logic().catalogue().ClearAllShots(); }
