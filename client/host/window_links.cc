#include "client/host/window_links.h"

#include "client/ui/frame/frame_windows.h"
#include "client/ui/frame/ob_frame_wnd.h"
#include "client/web/ob_logic_web_game.h"
#include "client/web/ob_logic_web_user.h"
#include "client/web/web_logic_manager.h"
#include "runtime/logmaker/log.h"

uilib::HWND FrameWindowLink::GetFrameHwnd() const { return frame_.GetHWND(); }

SignInState FrameWindowLink::GetSignInState() const { return frame_.sign_in_state(); }

void FrameWindowLink::ShowAfterSignIn(SignInState state, uilib::HWND, LoginStood login_stood) {
  LogWarn(L"UI: signed in (%ls), the main window takes over\n", state == SignInState::kGuest ? L"guest" : L"account");
  frame_.ShowAfterSignIn(state, login_stood);
}

void FrameWindowLink::StartDelayedCheck() { frame_.StartDelayedCheck(); }

void FrameWindowLink::ShowSettings() { frame_.windows().ShowSettings(1); }

void FrameWindowLink::ShowRemind(const std::wstring& which) { frame_.ShowRemind(which); }

void WebUserLink::UserLogin(const std::wstring& account, const std::wstring& password, const FromHandle& origin,
                            bool cipher, bool remember) {
  web_.User().UserLogin(account, password, origin, cipher, remember);
}

void WebUserLink::UserLogout() { web_.User().UserLogout(); }

void WebUserLink::UpdateNickName(const std::wstring& nick_name) { web_.User().UpdateNickName(nick_name); }

void WebUserLink::GetWYGameUserFriend(const FromHandle& origin) { web_.Game().GetWYGameUserFriend(origin); }

const UserAccountRecord& WebUserLink::record() const { return web_.User().record(); }

bool WebUserLink::IsSignedIn() const { return web_.User().IsLoggedIn(); }

std::wstring WebUserLink::NickName() const { return web_.User().record().NickName; }

int WebUserLink::NewDiaryCount() const { return web_.User().new_mirror_blog_count(); }

int WebUserLink::NewMentionCount() const { return web_.User().new_about_user_count(); }

int WebUserLink::NewMessageCount() const { return web_.User().new_message_count(); }

int WebUserLink::NewFansCount() const { return web_.User().new_fans_count(); }
