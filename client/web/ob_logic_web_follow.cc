#include "client/web/ob_logic_web_follow.h"

#include "client/core/web_events.h"
#include "client/web/jober_web.h"
#include "client/web/ob_logic_web_server_config.h"
#include "client/web/ob_logic_web_user.h"
#include "client/web/web_command.h"
#include "client/web/web_logic_manager.h"

void OBLogicWeb_Follow::AddFollowList(const std::wstring& ids) {
  const OBLogicWeb_User& user = manager_->User();
  if (!user.IsLoggedIn()) return;
  std::wstring server = manager_->ServerConfig().GetServerUrlForCommand(L"AddFollowList");
  if (server.empty()) return;
  auto job = NewInterfaceCommand(server, L"UserAccount", L"AddFollowList", {FromHandle::kClient, 0},
                                 [this](const JoberDescReturn_Web* r) { OnAddFollowListReply(r); });
  job->url.SetParam(L"SessionID", user.record().SessionID);
  job->url.SetParam(L"UserAccountId", user.record().UserAccountId);
  job->url.SetParam(L"FollowUserAccountIds", ids);
  manager_->PostJob(WebLogicManager::kNormalWorker, std::make_unique<Jober_WebNormal>(),
                    std::move(job));
}

void OBLogicWeb_Follow::OnAddFollowListReply(const JoberDescReturn_Web* result) {
  payload::SEVENT_RESPONSE_AddFollowList event(result->job->origin(), result->reply, result->ok);
  manager_->chain()->FireEvent(&event);
}
