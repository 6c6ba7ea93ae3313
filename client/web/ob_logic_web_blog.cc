#include "client/web/ob_logic_web_blog.h"

#include "client/core/web_events.h"
#include "client/web/jober_web.h"
#include "client/web/ob_logic_web_server_config.h"
#include "client/web/ob_logic_web_user.h"
#include "client/web/web_command.h"
#include "client/web/web_logic_manager.h"

void OBLogicWeb_Blog::AddBlog(const std::wstring& content, const std::wstring& post_from,
                              const std::wstring& image_url, const std::wstring& game_id,
                              const FromHandle& origin) {
  const OBLogicWeb_User& user = manager_->User();
  std::wstring server = manager_->ServerConfig().GetServerUrlForCommand(L"AddBlog");
  auto job = NewInterfaceCommand(server, L"Blog", L"AddBlog", origin,
                                 [this](const JoberDescReturn_Web* r) { OnAddBlogReply(r); });
  job->report_when_cancelled = true;
  if (!user.IsLoggedIn() || server.empty()) {
    manager_->finished_jobs().OnResult(NewUnsentResult(std::move(job)));
    return;
  }
  job->url.SetParam(L"SessionId", user.record().SessionID);
  job->url.SetParam(L"UserAccountId", user.record().UserAccountId);
  job->url.SetParam(L"BlogType", L"1");
  job->url.SetParam(L"GameCharacterID", L"0");
  job->url.SetParam(L"GameMapID", L"0");
  job->url.SetParam(L"Status", L"1");
  job->url.SetParam(L"ContentImageUrl", image_url);
  job->url.SetParam(L"GameId", game_id);
  job->url.SetParam(L"PostFrom", post_from);
  job->url.SetParam(L"Content", content);
  job->url.SetParam(L"ShareOtherBlogIds", L"");
  job->url.SetParam(L"QuoteBlogID", L"0");
  job->url.SetParam(L"SourceBlogId", L"0");
  job->url.SetParam(L"TargetUserAccountID", L"0");
  manager_->PostJob(WebLogicManager::kNormalWorker, std::make_unique<Jober_WebNormal>(),
                    std::move(job));
}

void OBLogicWeb_Blog::Upload(const std::wstring& local_file, uint32_t timeout_ms,
                             const FromHandle& origin) {
  std::wstring server = manager_->ServerConfig().GetServerUrlForCommand(L"Upload");
  auto job = std::make_unique<JoberDesc_WebUpload>(
      [this](const JoberDescReturn_Web* r) { OnUploadReply(r); }, origin);
  job->request.command_name = L"Upload";
  job->report_when_cancelled = true;
  job->request.timeout_ms = timeout_ms;
  job->file = local_file;
  if (!manager_->User().IsLoggedIn() || server.empty()) {
    manager_->finished_jobs().OnResult(NewUnsentResult(std::move(job)));
    return;
  }
  job->url.base = server;
  job->url.path = L"UploadFile.axd";
  job->url.SetParam(L"CommandName", L"BlogImage");
  manager_->PostJob(WebLogicManager::kUploadWorker, std::make_unique<Jober_WebUpload>(),
                    std::move(job));
}

void OBLogicWeb_Blog::OnAddBlogReply(const JoberDescReturn_Web* result) {
  payload::SEVENT_RESPONSE_Addblog event(result->job->origin(), result->reply, result->ok);
  manager_->chain()->FireEvent(&event);
}

void OBLogicWeb_Blog::OnUploadReply(const JoberDescReturn_Web* result) {
  const auto* job = static_cast<const JoberDesc_WebUpload*>(result->job.get());
  payload::SEVENT_RESPONSE_Upload event(job->origin(), result->reply, result->ok, job->file,
                                        result->text);
  manager_->chain()->FireEvent(&event);
}
