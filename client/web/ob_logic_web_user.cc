#include "client/web/ob_logic_web_user.h"

#include <json/json.h>

#include <atomic>

#include "client/core/config_keys.h"
#include "client/core/web_events.h"
#include "client/web/jober_web.h"
#include "client/web/ob_logic_web_server_config.h"
#include "client/web/user_folders.h"
#include "client/web/web_client_host.h"
#include "client/web/web_command.h"
#include "client/web/web_logic_manager.h"
#include "runtime/base/message_loop.h"
#include "runtime/util/file_util.h"
#include "runtime/util/json_parse.h"
#include "runtime/util/key_path.h"
#include "runtime/util/text_convert.h"

namespace {

constexpr FromHandle kFromClient{FromHandle::kClient, 0};

// Numbers the head-image download rounds of the whole process.
std::atomic<int> g_head_image_round{0};

// The error text of a failed sign-in: the service's message, or the
// unknown-error text when the reply could not be understood.
std::wstring LoginFailureText(const JoberDescReturn_Web* result) {
  return result->ok ? result->job->request.unknown_error_text : result->text;
}

}  // namespace

OBLogicWeb_User::~OBLogicWeb_User() { Unsubscribe(); }

void OBLogicWeb_User::RegisterEvents(WebLogicManager* manager) {
  manager_ = manager;
  chain_ = manager_->chain();
  subscriptions_[0] =
      chain_->Subscribe(SEVENT_RESPONSE_UserLogin, this, &OBLogicWeb_User::OnUserLogin);
  subscriptions_[1] = chain_->Subscribe(SEVENT_RESPONSE_UserLoginByTicket, this,
                                        &OBLogicWeb_User::OnUserLoginByTicket);
  subscriptions_[2] = chain_->Subscribe(SEVENT_RESPONSE_BeforeUserLogout, this,
                                        &OBLogicWeb_User::OnBeforeUserLogout);
  subscriptions_[3] =
      chain_->Subscribe(SEVENT_RESPONSE_UserLogout, this, &OBLogicWeb_User::OnUserLogout);
}

void OBLogicWeb_User::Stop() {
  if (!manager_) return;
  if (IsLoggedIn()) SignOutLocally();
  Unsubscribe();
}

void OBLogicWeb_User::Unsubscribe() {
  for (auto& handle : subscriptions_) {
    if (handle) chain_->Unsubscribe(handle);
    handle = 0;
  }
}

std::wstring OBLogicWeb_User::GetUserFolder() const {
  return IsLoggedIn() ? L"Users/" + UserFolderName(record_.Account) : L"Users/All Users";
}

// ---- sending ---------------------------------------------------------------

std::unique_ptr<JoberDesc_Web> OBLogicWeb_User::NewCommand(const wchar_t* command,
                                                           const FromHandle& origin, Reply reply) {
  std::wstring server = manager_->ServerConfig().GetServerUrlForCommand(command);
  if (server.empty()) return nullptr;
  return NewInterfaceCommand(server, L"UserAccount", command, origin,
                             [this, reply](const JoberDescReturn_Web* r) {
                               if (reply) (this->*reply)(r);
                             });
}

void OBLogicWeb_User::Post(std::unique_ptr<JoberDesc_Web> job) {
  if (job)
    manager_->PostJob(WebLogicManager::kNormalWorker, std::make_unique<Jober_WebNormal>(),
                      std::move(job));
}

void OBLogicWeb_User::UserLogin(const std::wstring& account, const std::wstring& password,
                                const FromHandle& origin, LoginFlags flags) {
  std::wstring server = manager_->ServerConfig().GetServerUrlForCommand(L"UserLogin");
  if (server.empty()) return;
  auto job = NewInterfaceCommand(
      server, L"UserAccount", L"UserLogin", origin,
      [this, account](const JoberDescReturn_Web* r) { OnUserLoginReply(r, account); });
  job->request.timeout_ms = login_timeout_ms_;
  job->url.SetParam(L"Account", account);
  job->url.SetParam(L"Password", password);
  job->url.SetParam(L"PaswordType", HasFlag(flags, LoginFlags::kCipher) && !password.empty()
                                        ? L"cipher"
                                        : L"simple");
  job->url.SetParam(L"RequireCipher",
                    HasFlag(flags, LoginFlags::kRememberPassword) ? L"true" : L"false");
  Post(std::move(job));
}

void OBLogicWeb_User::UserLoginByTicket(const std::wstring& ticket, const FromHandle& origin) {
  auto job = NewCommand(L"UserLoginByTicket", origin, &OBLogicWeb_User::OnUserLoginByTicketReply);
  if (!job) return;
  job->request.timeout_ms = login_timeout_ms_;
  job->url.SetParam(L"Ticket", ticket);
  Post(std::move(job));
}

void OBLogicWeb_User::UserLogout() {
  if (!IsLoggedIn()) return;
  manager_->worker(WebLogicManager::kNormalWorker).CancelAllTasks();
  manager_->worker(WebLogicManager::kUploadWorker).CancelAllTasks();
  auto job = NewCommand(L"UserLogout", FromHandle{}, nullptr);
  if (!job) return;
  job->url.SetParam(L"SessionId", record_.SessionID);
  Post(std::move(job));
  SignOutLocally();
}

void OBLogicWeb_User::GetUserAccountByAccount() {
  if (!IsLoggedIn()) return;
  auto job =
      NewCommand(L"GetUserAccountByAccount", kFromClient, &OBLogicWeb_User::OnGetUserAccountReply);
  if (!job) return;
  job->url.SetParam(L"SessionId", record_.SessionID);
  job->url.SetParam(L"UserAccountId", record_.UserAccountId);
  Post(std::move(job));
}

void OBLogicWeb_User::SearchByNickAndProfile(const std::wstring& keyword, const std::wstring& page,
                                             const std::wstring& page_size) {
  if (!IsLoggedIn()) return;
  auto job = NewCommand(L"SearchByNickAndProfile", kFromClient, &OBLogicWeb_User::OnSearchReply);
  if (!job) return;
  job->url.SetParam(L"SessionId", record_.SessionID);
  job->url.SetParam(L"Keyword", keyword);
  job->url.SetParam(L"Page", page);
  job->url.SetParam(L"PageSize", page_size);
  Post(std::move(job));
}

void OBLogicWeb_User::UpdateNickName(const std::wstring& nick_name) {
  UpdateUserInfo({{L"NickName", nick_name}});
}

void OBLogicWeb_User::UpdateUserInfo(const std::map<std::wstring, std::wstring>& fields) {
  if (!IsLoggedIn()) return;
  auto job = NewCommand(L"UpdateUserInfo", kFromClient, &OBLogicWeb_User::OnUpdateUserInfoReply);
  if (!job) return;
  job->url.SetParam(L"SessionId", record_.SessionID);
  job->url.SetParam(L"UserAccountId", record_.UserAccountId);
  for (const auto& [name, value] : fields) job->url.SetParam(name, value);
  Post(std::move(job));
}

void OBLogicWeb_User::UpdateUserHeadImage(const std::wstring& image_url) {
  if (!IsLoggedIn()) return;
  auto job =
      NewCommand(L"UpdateUserHeadImage", kFromClient, &OBLogicWeb_User::OnUpdateUserHeadImageReply);
  if (!job) return;
  job->url.SetParam(L"SessionId", record_.SessionID);
  job->url.SetParam(L"UserAccountId", record_.UserAccountId);
  job->url.SetParam(L"HeadImageUrl", image_url);
  Post(std::move(job));
}

void OBLogicWeb_User::GetDataPrompt() {
  if (!IsLoggedIn()) return;
  std::wstring server = manager_->ServerConfig().GetServerUrlForCommand(L"GetDataPrompt");
  if (server.empty()) return;
  auto job = NewInterfaceCommand(server, L"UserAccount", L"GetDataPrompt", kFromClient,
                                 [this, sign_in = sign_in_](const JoberDescReturn_Web* r) {
                                   OnGetDataPromptReply(r, sign_in);
                                 });
  job->url.SetParam(L"SessionId", record_.SessionID);
  job->url.SetParam(L"UserAccountId", record_.UserAccountId);
  Post(std::move(job));
}

// ---- replies ---------------------------------------------------------------

bool OBLogicWeb_User::AcceptLogin(const JoberDescReturn_Web* result, uint8_t by_ticket) {
  UserAccountRecord fresh;
  if (!result->ok || !ParseLoginReply(result->text, &fresh)) return false;
  ClearUserState();
  // What a sign-out keeps (provider nick name, bound blogs, display role)
  // is replaced as a whole by the new user's record.
  record_ = fresh;
  record_.logged_in_by_ticket = by_ticket;
  DownloadHeadImages(kFromClient, record_.HeadImageUrl);
  record_.HeadImageUrl.clear();
  return true;
}

void OBLogicWeb_User::OnUserLoginReply(const JoberDescReturn_Web* result,
                                       const std::wstring& account) {
  IWebClientHost* host = manager_->host();
  // Only a refusal by the service forgets the credentials (a network
  // failure at auto-login must not erase them), and while a user is signed
  // in only a refusal of the remembered account itself: someone trying
  // another account must not cost the signed-in user his auto-login.
  if (result->rejected && host &&
      (!IsLoggedIn() || account == host->GetSystemConfigValue(config_keys::kAccount))) {
    host->SetSystemConfigValue(config_keys::kAccount, L"");
    host->SetSystemConfigValue(config_keys::kPassword, L"");
    host->SetSystemConfigValue(config_keys::kAutoLogin, L"0");
  }
  if (AcceptLogin(result, 0)) {
    payload::SEVENT_RESPONSE_UserLogin event(result->job->origin(), result->reply, true,
                                             record_.Account, false);
    manager_->chain()->FireEvent(&event);
  } else {
    payload::SEVENT_RESPONSE_UserLogin event(result->job->origin(), result->reply, false,
                                             LoginFailureText(result), result->rejected);
    manager_->chain()->FireEvent(&event);
  }
}

void OBLogicWeb_User::OnUserLoginByTicketReply(const JoberDescReturn_Web* result) {
  bool ok = AcceptLogin(result, 1);
  payload::SEVENT_RESPONSE_UserLoginByTicket event(result->job->origin(), result->reply, ok,
                                                   ok ? record_.Account : LoginFailureText(result),
                                                   !ok && result->rejected);
  manager_->chain()->FireEvent(&event);
}

void OBLogicWeb_User::OnGetUserAccountReply(const JoberDescReturn_Web* result) {
  payload::SEVENT_RESPONSE_GetUserAccountByAccount event(result->job->origin(), result->reply,
                                                         result->ok, result->text);
  UserAccountRecord got;
  if (result->ok && IsLoggedIn() && ParseUserAccount(result->text, &got) &&
      got.Account == record_.Account) {
    // The session, the cipher password, the provider fields and the head
    // image files stay; the account fields take the fresh values.
    UserAccountRecord& u = record_;
    u.Account = got.Account;
    u.UserAccountId = got.UserAccountId;
    u.NickName = got.NickName;
    u.DisplayRoleId = got.DisplayRoleId;
    u.DisplayRoleName = got.DisplayRoleName;
    u.BlogCount = got.BlogCount;
    u.FollowCount = got.FollowCount;
    u.FollowByOtherCount = got.FollowByOtherCount;
    u.Email = got.Email;
    u.Mood = got.Mood;
    u.IsCertificated = got.IsCertificated;
    u.RegisterTime = got.RegisterTime;
    u.RegisterIP = got.RegisterIP;
    u.LastLoginTime = got.LastLoginTime;
    u.LastLoginIP = got.LastLoginIP;
    u.Birthday = got.Birthday;
    u.Province = got.Province;
    u.City = got.City;
    u.Status = got.Status;
    u.RegFrom = got.RegFrom;
    u.IsSetRelevanceUser = got.IsSetRelevanceUser;
    u.OnlineTimeHours = got.OnlineTimeHours;
    u.LastOnlineTimeStatDate = got.LastOnlineTimeStatDate;
    u.PrivateDomain = got.PrivateDomain;
    DownloadHeadImages(result->job->origin(), got.HeadImageUrl);
  }
  manager_->chain()->FireEvent(&event);
}

void OBLogicWeb_User::OnSearchReply(const JoberDescReturn_Web* result) {
  payload::SEVENT_RESPONSE_SearchByNickAndProfile event(result->job->origin(), result->reply,
                                                        result->ok, result->text);
  manager_->chain()->FireEvent(&event);
}

void OBLogicWeb_User::OnUpdateUserInfoReply(const JoberDescReturn_Web* result) {
  if (result->ok) GetUserAccountByAccount();
  payload::SEVENT_RESPONSE_UpdateUserInfo event(result->job->origin(), result->reply, result->ok);
  manager_->chain()->FireEvent(&event);
}

void OBLogicWeb_User::OnUpdateUserHeadImageReply(const JoberDescReturn_Web* result) {
  if (result->ok) GetUserAccountByAccount();
  payload::SEVENT_RESPONSE_UpdateUserHeadImage event(result->job->origin(), result->reply,
                                                     result->ok);
  manager_->chain()->FireEvent(&event);
}

void OBLogicWeb_User::OnGetDataPromptReply(const JoberDescReturn_Web* result, uint64_t sign_in) {
  // The counters of a user who has signed out since are nobody's.
  if (!result->ok || sign_in != sign_in_) return;
  Json::Value root;
  if (!brx::util::ParseUntrustedJson(brx::util::WideToUtf8(result->text), &root)) return;
  auto count = [&root](const char* key) {
    std::string value;
    brx::util::JsonPathGet(key, &value, root, "0");
    return static_cast<int32_t>(atoi(value.c_str()));
  };
  new_about_user_count_ = count("NewAboutUserBlogCount");
  new_mirror_blog_count_ = count("NewMirrorBlogCount");
  new_message_count_ = count("NewMessageCount");
  new_fans_count_ = count("NewFansCount");
  payload::SEVENT_RESPONSE_GetDataPrompt event(result->job->origin(), result->reply);
  manager_->chain()->FireEvent(&event);
}

// ---- the user's own events -------------------------------------------------

void OBLogicWeb_User::OnUserLogin(const EventParameter* event) {
  const auto* login = static_cast<const payload::SEVENT_RESPONSE_UserLogin*>(event);
  IWebClientHost* host = manager_->host();
  if (login->ok) {
    if (host) {
      host->SetSystemConfigValue(config_keys::kAccount, record_.Account);
      host->SetSystemConfigValue(config_keys::kPassword, record_.CipherPassword);
    }
    CreateUserFolder();
    GetDataPrompt();
  }
}

void OBLogicWeb_User::OnUserLoginByTicket(const EventParameter* event) {
  if (!static_cast<const payload::SEVENT_RESPONSE_UserLoginByTicket*>(event)->ok) return;
  CreateUserFolder();
  GetDataPrompt();
}

void OBLogicWeb_User::OnBeforeUserLogout(const EventParameter*) {
  if (IWebClientHost* host = manager_->host()) host->ClearAllShots();
  MoveSharedShots();
}

void OBLogicWeb_User::CreateUserFolder() {
  brx::util::CreateDirectories(manager_->ProgramFile(GetUserFolder()));
}

// ---- head images, sign-out, counters ----------------------------------------

void OBLogicWeb_User::DownloadHeadImages(const FromHandle& origin, std::wstring list) {
  if (!IsLoggedIn() || list.empty()) return;
  head_image_round_ = g_head_image_round++;
  std::wstring round = std::to_wstring(head_image_round_);
  list += L',';
  // Only the latest round's images are kept on disk.
  std::wstring folder = manager_->ProgramFile(GetUserFolder() + L"/HeadImage");
  brx::util::DeleteDirectoryTree(folder);
  brx::util::CreateDirectories(folder);
  static const wchar_t* const kNames[] = {L"/head_small", L"/head_mid", L"/head_big"};
  static const wchar_t* const kCommands[] = {L"DownloadHeadImgSmall", L"DownloadHeadImgMid",
                                             L"DownloadHeadImgBig"};
  size_t pos = 0;
  for (int which = kSmall; which <= kBig; ++which) {
    size_t comma = list.find(L',', pos);
    if (comma == std::wstring::npos) break;
    std::wstring address = list.substr(pos, comma - pos);
    pos = comma + 1;
    if (address.empty()) continue;
    auto job = std::make_unique<JoberDesc_WebDownload>(
        [this, which, sign_in = sign_in_, round = head_image_round_](const JoberDescReturn_Web* r) {
          OnHeadImageDownloaded(r, static_cast<HeadImage>(which), sign_in, round);
        },
        origin);
    job->request.command_name = kCommands[which];
    job->url.use_raw_url = true;
    job->url.raw_url = address;
    job->file = folder + kNames[which] + round + L".jpg";
    manager_->PostJob(WebLogicManager::kUploadWorker, std::make_unique<Jober_WebDownload>(),
                      std::move(job));
  }
}

void OBLogicWeb_User::OnHeadImageDownloaded(const JoberDescReturn_Web* result, HeadImage which,
                                            uint64_t sign_in, int round) {
  // An image of an earlier sign-in, or of a round whose folder a newer
  // round has emptied, is nobody's now.
  if (sign_in != sign_in_ || round != head_image_round_) return;
  if (result->ok) {
    std::wstring* slot = which == kSmall ? &record_.small_head_image_path
                         : which == kMid ? &record_.mid_head_image_path
                                         : &record_.HeadImageUrl;
    *slot = result->text;
  }
  payload::SEVENT_RESPONSE_UpdateUserInfo event(FromHandle{}, result->reply, result->ok);
  manager_->chain()->FireEvent(&event);
}

void OBLogicWeb_User::SignOutLocally() {
  payload::SEVENT_RESPONSE_BeforeUserLogout before;
  manager_->chain()->FireEvent(&before);
  ClearUserState();
  payload::SEVENT_RESPONSE_UserLogout after;
  manager_->chain()->FireEvent(&after);
}

void OBLogicWeb_User::ClearUserState() {
  // The provider nick name, bound blogs and display role stay until the
  // next successful sign-in.
  UserAccountRecord kept;
  kept.BindBlogIds = record_.BindBlogIds;
  kept.TGNickName = record_.TGNickName;
  kept.DisplayRoleId = record_.DisplayRoleId;
  kept.DisplayRoleName = record_.DisplayRoleName;
  record_ = kept;
  ++sign_in_;
  head_image_round_ = -1;
  new_mirror_blog_count_ = 0;
  new_about_user_count_ = 0;
  new_message_count_ = 0;
  new_fans_count_ = 0;
}

void OBLogicWeb_User::MoveSharedShots() {
  IWebClientHost* host = manager_->host();
  if (!IsLoggedIn() || !host) return;
  std::wstring store = host->GetSnapshotDirectory();
  if (store.empty()) return;
  MoveFolderContents(store + L"/Users/All Users", store + L"/" + GetUserFolder());
}

int OBLogicWeb_User::ResetCounter(int32_t* counter, int32_t event_id) {
  if (*counter == 0) return 0;
  *counter = 0;
  EVENT_DATA event(event_id, FromHandle{});
  manager_->chain()->FireEvent(&event);
  return 0;
}

int OBLogicWeb_User::ResetMirrorBlogCount() {
  return ResetCounter(&new_mirror_blog_count_, SEVENT_RESPONSE_ResetMirrorBlogCount);
}
int OBLogicWeb_User::ResetAboutUserCount() {
  return ResetCounter(&new_about_user_count_, SEVENT_RESPONSE_ResetAboutUserCount);
}
int OBLogicWeb_User::ResetMessageCount() {
  return ResetCounter(&new_message_count_, SEVENT_RESPONSE_ResetMessageCount);
}
int OBLogicWeb_User::ResetFansCount() {
  return ResetCounter(&new_fans_count_, SEVENT_RESPONSE_ResetFansCount);
}
