#include "client/web/ob_logic_web_other.h"

#include "client/core/web_events.h"
#include "client/web/jober_web.h"
#include "client/web/ob_logic_web_server_config.h"
#include "client/web/ob_logic_web_user.h"
#include "client/web/web_command.h"
#include "client/web/web_logic_manager.h"

namespace {
constexpr FromHandle kFromClient{FromHandle::kClient, 0};
}

void OBLogicWeb_Other::GetServerDateTime() {
  std::wstring server = manager_->ServerConfig().GetServerUrlForCommand(L"GetServerDateTime");
  if (server.empty()) return;
  auto job =
      NewInterfaceCommand(server, L"Other", L"GetServerDateTime", kFromClient,
                          [this](const JoberDescReturn_Web* r) { OnServerDateTimeReply(r); });
  manager_->PostJob(WebLogicManager::kNormalWorker, std::make_unique<Jober_WebNormal>(),
                    std::move(job));
}

void OBLogicWeb_Other::GetCurrentUserQtidByEncrypt() {
  std::wstring server =
      manager_->ServerConfig().GetServerUrlForCommand(L"GetCurrentUserQtidByEncrypt");
  if (server.empty()) return;
  auto job = NewInterfaceCommand(server, L"Other", L"GetCurrentUserQtidByEncrypt", kFromClient,
                                 [this](const JoberDescReturn_Web* r) { OnQtidReply(r); });
  job->url.SetParam(L"SessionId", manager_->User().record().SessionID);
  manager_->PostJob(WebLogicManager::kNormalWorker, std::make_unique<Jober_WebNormal>(),
                    std::move(job));
}

void OBLogicWeb_Other::RecommendedAdd(const std::wstring& content, const std::wstring& title) {
  std::wstring server = manager_->ServerConfig().GetServerUrlForCommand(L"RecommendedAdd");
  if (server.empty()) return;
  auto job =
      NewInterfaceCommand(server, L"Other", L"RecommendedAdd", kFromClient,
                          [this](const JoberDescReturn_Web* r) { OnRecommendedAddReply(r); });
  job->url.SetParam(L"SessionId", manager_->User().record().SessionID);
  job->url.SetParam(L"Title", title);
  job->url.SetParam(L"Content", content);
  manager_->PostJob(WebLogicManager::kNormalWorker, std::make_unique<Jober_WebNormal>(),
                    std::move(job));
}

void OBLogicWeb_Other::OnServerDateTimeReply(const JoberDescReturn_Web* result) {
  payload::SEVENT_RESPONSE_GetServerDateTime event(FromHandle{}, result->reply, result->ok,
                                                   result->text);
  manager_->chain()->FireEvent(&event);
}

void OBLogicWeb_Other::OnQtidReply(const JoberDescReturn_Web* result) {
  payload::SEVENT_RESPONSE_GetCurrentUserQtidByEncrypt event(FromHandle{}, result->reply,
                                                             result->ok, result->text);
  manager_->chain()->FireEvent(&event);
}

void OBLogicWeb_Other::OnRecommendedAddReply(const JoberDescReturn_Web* result) {
  payload::SEVENT_RESPONSE_RecommendedAdd event(FromHandle{}, result->reply, result->ok);
  manager_->chain()->FireEvent(&event);
}
