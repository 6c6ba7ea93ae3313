#include "client/web/ob_logic_web_game.h"

#include "client/core/web_events.h"
#include "client/web/jober_web.h"
#include "client/web/ob_logic_web_server_config.h"
#include "client/web/ob_logic_web_user.h"
#include "client/web/web_command.h"
#include "client/web/web_logic_manager.h"

std::unique_ptr<JoberDesc_Web> OBLogicWeb_Game::NewGameCommand(
    const wchar_t* command, const FromHandle& origin,
    void (OBLogicWeb_Game::*reply)(const JoberDescReturn_Web*)) {
  const OBLogicWeb_User& user = manager_->User();
  if (!user.IsLoggedIn()) return nullptr;
  std::wstring server = manager_->ServerConfig().GetServerUrlForCommand(command);
  if (server.empty()) return nullptr;
  auto job = NewInterfaceCommand(server, L"Game", command, origin,
                                 [this, reply](const JoberDescReturn_Web* r) {
                                   if (reply) (this->*reply)(r);
                                 });
  job->url.SetParam(L"SessionID", user.record().SessionID);
  job->url.SetParam(L"UserAccountId", user.record().UserAccountId);
  return job;
}

void OBLogicWeb_Game::GetWYGameUserFriend(const FromHandle& origin) {
  if (auto job = NewGameCommand(L"GetWYGameUserFriend", origin, &OBLogicWeb_Game::OnFriendsReply))
    manager_->PostJob(WebLogicManager::kNormalWorker, std::make_unique<Jober_WebNormal>(),
                      std::move(job));
}

void OBLogicWeb_Game::GetGameUserProfileList(const FromHandle& origin) {
  if (auto job =
          NewGameCommand(L"GetGameUserProfileList", origin, &OBLogicWeb_Game::OnProfilesReply))
    manager_->PostJob(WebLogicManager::kNormalWorker, std::make_unique<Jober_WebNormal>(),
                      std::move(job));
}

void OBLogicWeb_Game::UpdateGameProfile(const std::wstring& json, const FromHandle& origin) {
  auto job = NewGameCommand(L"UpdateGameProfile", origin, nullptr);
  if (!job) return;
  job->url.SetParam(L"json", json);
  manager_->PostJob(WebLogicManager::kNormalWorker, std::make_unique<Jober_WebNormal>(),
                    std::move(job));
}

int64_t OBLogicWeb_Game::GameDownloadFile(const std::wstring& url, const std::wstring& local_file) {
  auto job = std::make_unique<JoberDesc_WebDownload>(
      [this](const JoberDescReturn_Web* r) { OnDownloadReply(r); }, FromHandle{});
  job->request.command_name = L"GameDownloadFile";
  job->url.use_raw_url = true;
  job->url.raw_url = url;
  job->file = local_file;
  return manager_->PostJob(WebLogicManager::kUploadWorker, std::make_unique<Jober_WebDownload>(),
                           std::move(job));
}

void OBLogicWeb_Game::OnFriendsReply(const JoberDescReturn_Web* result) {
  payload::SEVENT_RESPONSE_GetWYGameUserFriend event(result->job->origin(), result->reply,
                                                     result->ok, result->text);
  manager_->chain()->FireEvent(&event);
}

void OBLogicWeb_Game::OnProfilesReply(const JoberDescReturn_Web* result) {
  payload::SEVENT_RESPONSE_GetGameUserProfileList event(result->job->origin(), result->reply,
                                                        result->ok, result->text);
  manager_->chain()->FireEvent(&event);
}

void OBLogicWeb_Game::OnDownloadReply(const JoberDescReturn_Web* result) {
  payload::SEVENT_RESPONSE_GameDownloadFile event(result->job->origin(), result->ok, result->reply,
                                                  result->text);
  manager_->chain()->FireEvent(&event);
}
