#include "client/core/gamelink/ob_logic_game_web.h"

#include <algorithm>

#include "client/core/config_store.h"
#include "client/core/core_events.h"
#include "client/core/gamelink/c2s_messages.h"
#include "client/core/gamelink/game_link_web.h"
#include "client/core/gamelink/ob_logic_game_command.h"
#include "client/core/gamelink/s2c_messages.h"
#include "client/core/ui_string_table.h"
#include "client/core/web_events.h"
#include "client/core/web_user.h"
#include "runtime/logmaker/log.h"

using brx::io::ConnectionId;

namespace {

FromHandle FromGame(ConnectionId connection) {
  return {FromHandle::kGameClient, static_cast<int32_t>(connection)};
}

// The connection a reply is for, or 0 when no game asked for it.
ConnectionId GameOf(const FromHandle& origin) {
  return origin.kind == FromHandle::kGameClient ? static_cast<ConnectionId>(origin.handle) : 0;
}

}  // namespace

OBLogicGameWeb::OBLogicGameWeb(OBLogicGameCommand& server, EventChain& chain, ConfigStore& config,
                               IWebUser& user, IGameLinkWebCommands& web)
    : GameCommandBlock(chain), server_(server), config_(config), user_(user), web_(web) {}

void OBLogicGameWeb::Start() {
  server_.Register(COBMSG_C2S_LOGIN::kId, this, &OBLogicGameWeb::OnLogin);
  server_.Register(COBMSG_C2S_QTLLOGIN::kId, this, &OBLogicGameWeb::OnTicketLogin);
  server_.Register(COBMSG_C2S_REQUESTLOGIN::kId, this, &OBLogicGameWeb::OnRequestLogin);
  server_.Register(COBMSG_C2S_LOGOUT::kId, this, &OBLogicGameWeb::OnLogout);
  server_.Register(COBMSG_C2S_SETNICKNAME::kId, this, &OBLogicGameWeb::OnSetNickName);
  server_.Register(COBMSG_C2S_POSTBLOG::kId, this, &OBLogicGameWeb::OnPostBlog);
  Subscribe(SEVENT_RESPONSE_UserLogin, this, &OBLogicGameWeb::OnUserLogin);
  Subscribe(SEVENT_RESPONSE_UserLoginByTicket, this, &OBLogicGameWeb::OnUserLoginByTicket);
  Subscribe(SEVENT_RESPONSE_UserLogout, this, &OBLogicGameWeb::OnUserLogout);
  Subscribe(SEVENT_RESPONSE_Upload, this, &OBLogicGameWeb::OnUploaded);
  Subscribe(SEVENT_RESPONSE_Addblog, this, &OBLogicGameWeb::OnBlogAdded);
  Subscribe(SEVENT_RESPONSE_GetDataPrompt, this, &OBLogicGameWeb::OnDataPrompt);
  Subscribe(SEVENT_RESPONSE_GetUserAccountByAccount, this, &OBLogicGameWeb::OnUserAccount);
  Subscribe(SEVENT_RESPONSE_ResetMirrorBlogCount, this, &OBLogicGameWeb::OnDataPrompt);
  Subscribe(SEVENT_RESPONSE_ResetAboutUserCount, this, &OBLogicGameWeb::OnDataPrompt);
  Subscribe(SEVENT_RESPONSE_ResetMessageCount, this, &OBLogicGameWeb::OnDataPrompt);
  Subscribe(SEVENT_RESPONSE_ResetFansCount, this, &OBLogicGameWeb::OnDataPrompt);
  Subscribe(SEVENT_RESPONSE_GetServerDateTime, this, &OBLogicGameWeb::OnServerTime);
  Subscribe(SEVENT_GAME_DETACH, this, &OBLogicGameWeb::OnGameDetach);
}

void OBLogicGameWeb::Stop() {
  GameCommandBlock::Stop();
  pending_.clear();
}

// ---- pipe messages ----------------------------------------------------------

void OBLogicGameWeb::OnLogin(ConnectionId sender, const uint8_t* message, uint32_t length) {
  COBMSG_C2S_LOGIN login(message, length);
  user_.UserLogin(login.account, login.password, FromGame(sender),
                  login.remember_password != 0 ? LoginFlags::kRememberPassword : LoginFlags::kNone);
  bool auto_login = login.auto_login != 0;
  if (auto_login == config_.system().IsAutoLogin()) return;
  config_.system().SetAutoLogin(auto_login);
  payload::SEVENT_CONFIG_CHANGE_SYSTEM event(payload::kConfigFromPipeClient,
                                             static_cast<int32_t>(sender));
  chain().FireEvent(&event);
}

void OBLogicGameWeb::OnTicketLogin(ConnectionId sender, const uint8_t* message, uint32_t length) {
  if (user_.IsLoggedIn()) return;
  COBMSG_C2S_QTLLOGIN login(message, length);
  user_.UserLoginByTicket(login.ticket, FromGame(sender));
}

void OBLogicGameWeb::OnRequestLogin(ConnectionId, const uint8_t*, uint32_t) {
  payload::SEVENT_USERINFO_REQUESTLOGIN event;
  chain().FireEvent(&event);
}

void OBLogicGameWeb::OnLogout(ConnectionId, const uint8_t*, uint32_t) { user_.UserLogout(); }

void OBLogicGameWeb::OnSetNickName(ConnectionId sender, const uint8_t*, uint32_t) {
  std::wstring game = server_.GetClientGameName(sender);
  LogWarn(L"%ls:%d:game %ls asks for the nick name step\n", L"OBLogicGameWeb::OnSetNickName",
          __LINE__, game.c_str());
  payload::SEVENT_USERINFO_SETNICKNAME event(game);
  chain().FireEvent(&event);
}

std::wstring OBLogicGameWeb::DefaultPostText(const std::wstring& display_name) {
  const wchar_t* me = UIStringTable::GetString(STRING_POSTBLOG_ME);
  const wchar_t* share = UIStringTable::GetString(STRING_POSTBLOG_SHOTANDSHARE);
  return std::wstring(me ? me : L"") + display_name + (share ? share : L"");
}

void OBLogicGameWeb::OnPostBlog(ConnectionId sender, const uint8_t* message, uint32_t length) {
  if (!user_.IsLoggedIn()) return;
  COBMSG_C2S_POSTBLOG post(message, length);
  std::wstring game = server_.GetClientGameName(sender);
  std::wstring display_name = config_.games().GetGameName(game);
  std::wstring text = post.text.empty() ? DefaultPostText(display_name) : post.text;
  if (post.image_path.empty()) {
    web_.AddBlog(text, display_name, L"", game, FromGame(sender));
    return;
  }
  // Pending before the upload starts, so that even a reply given at once
  // finds it.
  pending_.push_back(PendingPost{sender, std::move(text), post.image_path});
  web_.Upload(post.image_path, kUploadTimeoutMs, FromGame(sender));
}

// ---- web replies ------------------------------------------------------------

void OBLogicGameWeb::AnnounceSignIn(uint8_t login_kind, const std::wstring& account) {
  server_.SendToAll(COBMSG_S2C_LOGIN(login_kind, true, account));
  server_.SendToAll(COBMSG_S2C_USERINFO(!user_.record().NickName.empty()));
  server_.SendToAll(COBMSG_S2C_SYSTEMCONFIG(server_.PrepareSystemConfig()));
}

void OBLogicGameWeb::OnUserLogin(const EventParameter* event) {
  const auto& reply = static_cast<const payload::SEVENT_RESPONSE_UserLogin&>(*event);
  if (reply.ok) {
    AnnounceSignIn(COBMSG_S2C_LOGIN::kAccount, reply.text);
  } else if (ConnectionId game = GameOf(reply)) {
    server_.SendToClient(game, COBMSG_S2C_LOGIN(COBMSG_S2C_LOGIN::kAccount, false, reply.text));
  }
}

void OBLogicGameWeb::OnUserLoginByTicket(const EventParameter* event) {
  const auto& reply = static_cast<const payload::SEVENT_RESPONSE_UserLoginByTicket&>(*event);
  if (reply.ok) {
    AnnounceSignIn(COBMSG_S2C_LOGIN::kTicket, reply.text);
  } else if (ConnectionId game = GameOf(reply)) {
    server_.SendToClient(game, COBMSG_S2C_LOGIN(COBMSG_S2C_LOGIN::kTicket, false, L""));
  }
}

void OBLogicGameWeb::OnUserLogout(const EventParameter*) {
  server_.SendToAll(COBMSG_S2C_LOGOUT());
  server_.SendToAll(COBMSG_S2C_SYSTEMCONFIG(server_.PrepareSystemConfig()));
}

void OBLogicGameWeb::OnUploaded(const EventParameter* event) {
  const auto& reply = static_cast<const payload::SEVENT_RESPONSE_Upload&>(*event);
  ConnectionId game = GameOf(reply);
  if (!game) return;
  auto it = std::find_if(pending_.begin(), pending_.end(), [&](const PendingPost& post) {
    return post.connection == game && post.image_path == reply.local_file;
  });
  if (it == pending_.end()) return;
  PendingPost post = std::move(*it);
  pending_.erase(it);
  if (reply.ok) {
    std::wstring game_id = server_.GetClientGameName(game);
    web_.AddBlog(post.text, config_.games().GetGameName(game_id), reply.text, game_id,
                 FromGame(game));
  } else {
    server_.SendToClient(game, COBMSG_S2C_POSTBLOG(false, post.image_path));
  }
}

void OBLogicGameWeb::OnBlogAdded(const EventParameter* event) {
  const auto& reply = static_cast<const payload::SEVENT_RESPONSE_Addblog&>(*event);
  if (ConnectionId game = GameOf(reply))
    server_.SendToClient(game, COBMSG_S2C_POSTBLOG(reply.ok != 0, L""));
}

void OBLogicGameWeb::OnDataPrompt(const EventParameter*) {
  server_.SendToAll(COBMSG_S2C_USERINFO_GetDataPrompt(user_));
}

void OBLogicGameWeb::OnUserAccount(const EventParameter* event) {
  if (static_cast<const payload::SEVENT_RESPONSE_GetUserAccountByAccount&>(*event).ok)
    server_.SendToAll(COBMSG_S2C_USERINFO(!user_.record().NickName.empty()));
}

void OBLogicGameWeb::OnServerTime(const EventParameter* event) {
  const auto& reply = static_cast<const payload::SEVENT_RESPONSE_GetServerDateTime&>(*event);
  if (!reply.ok) return;
  // The client asks for the time on its own at start-up, when games may
  // already be waiting: those answers go to every game.
  if (ConnectionId game = GameOf(reply))
    server_.SendToClient(game, COBMSG_S2C_SERVERTIME(reply.text));
  else
    server_.SendToAll(COBMSG_S2C_SERVERTIME(reply.text));
}

void OBLogicGameWeb::OnGameDetach(const EventParameter* event) {
  ConnectionId gone =
      static_cast<ConnectionId>(static_cast<const payload::SEVENT_GAME_DETACH*>(event)->connection);
  pending_.remove_if([gone](const PendingPost& post) { return post.connection == gone; });
}
