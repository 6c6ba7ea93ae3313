#include "client/host/web_frame_services.h"

#include "client/core/config_store.h"
#include "client/core/event_ids.h"
#include "client/web/ob_logic_web_blog.h"
#include "client/web/ob_logic_web_follow.h"
#include "client/web/ob_logic_web_game.h"
#include "client/web/ob_logic_web_other.h"
#include "client/web/ob_logic_web_server_config.h"
#include "client/web/ob_logic_web_user.h"
#include "client/web/web_logic_manager.h"
#include "runtime/platform/shell.h"
#include "runtime/util/text_convert.h"
#include "uilib/winsys/ui_backend.h"

WebFrameServices::WebFrameServices(WebLogicManager& web, ConfigStore& config,
                                   std::wstring program_dir, Links links)
    : web_(web), config_(config), program_dir_(std::move(program_dir)), links_(std::move(links)) {}

EventChain* WebFrameServices::Events() { return web_.chain(); }
std::wstring WebFrameServices::GameId() { return config_.games().GetCurrentGameId(); }
std::wstring WebFrameServices::GameName(const std::wstring& game_id) {
  return config_.games().GetGameName(game_id);
}

std::wstring WebFrameServices::ServerAddress(const std::wstring& server_name) {
  return web_.ServerConfig().GetServerUrlForCommand(server_name);
}

bool WebFrameServices::HasSession() { return web_.User().IsLoggedIn(); }
std::wstring WebFrameServices::UserId() { return web_.User().record().UserAccountId; }
std::wstring WebFrameServices::Account() { return web_.User().record().Account; }
std::wstring WebFrameServices::SessionId() { return web_.User().record().SessionID; }

std::wstring WebFrameServices::ConfigValue(const std::wstring& key, const std::wstring& fallback) {
  return config_.system().GetConfigValue(key, fallback);
}

void WebFrameServices::SetConfigValue(const std::wstring& key, const std::wstring& value) {
  config_.system().SetConfigValue(key, value);
}

bool WebFrameServices::AddBlog(const std::wstring& content, const std::wstring& image_url,
                               const std::wstring& game_id, const std::wstring& post_from,
                               const FromHandle& from) {
  web_.Blog().AddBlog(content, post_from, image_url, game_id, from);
  return true;
}

bool WebFrameServices::Upload(const std::wstring& file, int timeout_ms, const FromHandle& from) {
  web_.Blog().Upload(file, static_cast<uint32_t>(timeout_ms), from);
  return true;
}

bool WebFrameServices::GameDownloadFile(const std::wstring& url, const std::wstring& file,
                                        const FromHandle&) {
  return web_.Game().GameDownloadFile(url, file) >= 0;
}

bool WebFrameServices::SearchByNickAndProfile(const std::wstring& keyword, const std::wstring& page,
                                              const std::wstring& page_size) {
  web_.User().SearchByNickAndProfile(keyword, page, page_size);
  return true;
}

bool WebFrameServices::AddFollowList(const std::wstring& ids, const FromHandle&) {
  web_.Follow().AddFollowList(ids);
  return true;
}

void WebFrameServices::UserLogout() { web_.User().UserLogout(); }

void WebFrameServices::ResetCounter(int event_id) {
  switch (event_id) {
    case SEVENT_RESPONSE_ResetAboutUserCount:
      web_.User().ResetAboutUserCount();
      break;
    case SEVENT_RESPONSE_ResetMessageCount:
      web_.User().ResetMessageCount();
      break;
    case SEVENT_RESPONSE_ResetFansCount:
      web_.User().ResetFansCount();
      break;
    case SEVENT_RESPONSE_ResetMirrorBlogCount:
      web_.User().ResetMirrorBlogCount();
      break;
    default:
      break;
  }
}

void WebFrameServices::OpenWithShell(const std::wstring& path) {
  uilib::GetUiBackend().GetShell().OpenFile(brx::util::WideToUtf8(path));
}

void WebFrameServices::OpenInWebBrowser(const std::string& url) {
  if (links_.open_url) {
    links_.open_url(url);
  } else {
    uilib::GetUiBackend().GetShell().OpenUrl(url);
  }
}

bool WebFrameServices::LoginWindowFinished() {
  return links_.login_window_finished && links_.login_window_finished();
}

void WebFrameServices::ShowLoginWindow() {
  if (links_.show_login_window) links_.show_login_window();
}

void WebFrameServices::RequestSignIn(const std::wstring& text) {
  if (links_.request_sign_in) links_.request_sign_in(text);
}

std::vector<std::wstring> WebFrameServices::GameIds() {
  std::vector<std::wstring> ids;
  config_.games().GetGameIds(&ids);
  return ids;
}

ConfigurationDialogHost WebFrameServices::SettingsHost() {
  ConfigurationDialogHost host;
  host.config = &config_;
  host.events = web_.chain();
  host.edition_key = links_.edition_key;
  host.shell = &uilib::GetUiBackend().GetShell();
  host.login_password = links_.login_password;
  host.choose_folder = links_.choose_folder;
  host.account_site = links_.account_site;
  return host;
}

void WebFrameServices::OpenCommunitySite() {
  if (!links_.community_site.empty())
    uilib::GetUiBackend().GetShell().OpenUrl(links_.community_site);
}

void WebFrameServices::SendFeedback(const std::wstring& content, const std::wstring& title) {
  web_.Other().RecommendedAdd(content, title);
}

const UserAccountRecord* WebFrameServices::CurrentUser() {
  return web_.User().IsLoggedIn() ? &web_.User().record() : nullptr;
}

void WebFrameServices::RequestProfile(const FromHandle& from) {
  web_.User().GetUserAccountByAccount();
  web_.Game().GetGameUserProfileList(from);
}

void WebFrameServices::UpdateUserInfo(const std::map<std::wstring, std::wstring>& fields) {
  web_.User().UpdateUserInfo(fields);
}

void WebFrameServices::UpdateGameProfile(const std::wstring& json) {
  web_.Game().UpdateGameProfile(json, FromHandle{FromHandle::kClient, 0});
}

void WebFrameServices::RequestAvatarKey() { web_.Other().GetCurrentUserQtidByEncrypt(); }

void WebFrameServices::OpenAvatarEditor(const std::wstring& key, const uilib::RECT& at) {
  if (links_.open_avatar_editor) links_.open_avatar_editor(key, at);
}
