#include "client/ui/login/ob_login_wnd.h"

#include <json/json.h>

#include <algorithm>
#include <cstdlib>

#include "client/core/core_events.h"
#include "client/core/event_ids.h"
#include "client/core/message_ids.h"
#include "client/core/system_config.h"
#include "client/core/user_account_record.h"
#include "client/core/web_events.h"
#include "client/ui/controls/dialog_builder_callback_ex.h"
#include "client/ui/dialogs/warning_dialog.h"
#include "runtime/platform/shell.h"
#include "runtime/util/json_parse.h"
#include "runtime/util/text_convert.h"
#include "uilib/controls/label_ui.h"
#include "uilib/controls/option_ui.h"
#include "uilib/controls/rich_edit_ui.h"
#include "uilib/winsys/ui_backend.h"
#include "uilib/winsys/win_api.h"

using namespace uilib;

namespace {

constexpr int kIconSignedOut = 156;
constexpr int kIconSignedIn = 157;
constexpr FromHandle kFromWindow{FromHandle::kClient, 0};

const wchar_t* const kContainers[] = {
    L"ContainerNormal",           L"ContainerLoggingIn",         L"ContainerQuickLogin",
    L"ContainerQuickLoginFailed", L"ContainerSignInWithAccount", L"ContainerSignInWithoutAccount"};

// Nicknames are limited in bytes of the system's code page, where a
// Chinese character takes two.
size_t AnsiLength(const std::wstring& text) {
  return std::min<size_t>(brx::util::WideToAnsi(text).size(), 259);
}

// The "Status" of a reply text as a number; false when the text is no
// JSON object or has none.
bool ReadStatus(const std::wstring& text, bool* is_json, int* status) {
  Json::Value root;
  *is_json = brx::util::ParseUntrustedJson(brx::util::WideToUtf8(text), &root) && root.isObject();
  if (!*is_json || !root.isMember("Status")) return false;
  const Json::Value& value = root["Status"];
  if (value.isIntegral())
    *status = value.asInt();
  else if (value.isString())
    *status = std::atoi(value.asString().c_str());
  else
    return false;
  return true;
}

}  // namespace

COBLoginWnd::COBLoginWnd(const std::wstring& skin_folder, Links links)
    : OBUIWindow(std::make_unique<CDialogBuilderCallbackEx>(nullptr), true),
      skin_folder_(skin_folder),
      links_(std::move(links)),
      warning_(std::make_unique<CWarningDialog>(skin_folder)) {
  skin_source_ = skin_folder + L"/login_layout.xml";
  Require(L"accountedit", &account_edit_);
  Require(L"pwdedit", &password_edit_);
  Require(L"checkRemPassword", &remember_);
  Require(L"checkAutoLogin", &auto_login_);
  Require(L"sugerSideName", &suggested_name_);
  Require(L"newSideName", &new_name_);
  Require(L"couldEdit", &could_edit_);
  Require(L"nicknameEdit", &nickname_edit_);
  if (EventChain* chain = links_.events) {
    subscriptions_.push_back(
        chain->Subscribe(SEVENT_RESPONSE_UserLogin, this, &COBLoginWnd::OnUserLogin));
    subscriptions_.push_back(chain->Subscribe(SEVENT_RESPONSE_UserLoginByTicket, this,
                                              &COBLoginWnd::OnUserLoginByTicket));
    subscriptions_.push_back(
        chain->Subscribe(SEVENT_USERINFO_SETNICKNAME, this, &COBLoginWnd::OnSetNickName));
    subscriptions_.push_back(
        chain->Subscribe(SEVENT_USERINFO_REQUESTLOGIN, this, &COBLoginWnd::OnRequestLogin));
    subscriptions_.push_back(
        chain->Subscribe(SEVENT_RESPONSE_UpdateUserInfo, this, &COBLoginWnd::OnUpdateUserInfo));
    subscriptions_.push_back(
        chain->Subscribe(SEVENT_GAME_DETACH, this, &COBLoginWnd::OnGameDetach));
  }
}

COBLoginWnd::~COBLoginWnd() {
  for (EventChain::Handle handle : subscriptions_) links_.events->Unsubscribe(handle);
  StopAnimation();
  warning_.reset();
}

void COBLoginWnd::InitControls() {
  account_edit_->SetLimitText(50);
  account_edit_->SetTipText(L"请输入霁川通行证");
  password_edit_->SetLimitText(30);
  could_edit_->SetLimitText(14);
  nickname_edit_->SetLimitText(14);
  if (auto* label = Find<CLabelUI>(L"userAccount")) label->SetMaxLength(20);
  remember_->Selected(false, false);
  auto_login_->Selected(false, false);

  frames_.clear();
  for (int i = 0;; ++i) {
    CControlUI* frame = paint_manager_.FindControl((L"LoggingPic" + std::to_wstring(i)).c_str());
    if (frame == nullptr) break;
    frames_.push_back(frame);
  }
  if (CControlUI* container = Find(L"ContainerLoggingIn"))
    cycle_ms_ = static_cast<unsigned>(std::wcstoul(container->GetUserData().c_str(), nullptr, 10));

  warning_->CreateOwned(GetHWND(), L"OBWarningDialog");
  SetState(State::kNormal);
  CheckAutoLogin();
}

void COBLoginWnd::SetState(State state) {
  if (state == state_) return;
  for (const wchar_t* name : kContainers) SetVisible(name, false);
  StopAnimation();
  state_ = state;
  // The states a window rests in show their container; the others are
  // steps that act and move on to a resting state.
  switch (state) {
    case State::kNormal:
      // A ticket sign-in never shows the account entry: it goes on as a
      // quick sign-in.
      if (ticket_login_)
        StartQuickLogin();
      else
        ShowAccountEntry();
      return;
    case State::kLoggingIn:
      ShowProgress();
      return;
    case State::kQuickLogin:
      StartQuickLogin();
      return;
    case State::kLoggedIn:
      AfterSignIn();
      return;
    case State::kQuickLoginFailed:
      SetVisible(L"ContainerQuickLoginFailed", true);
      return;
    case State::kGuest:
      guest_ = true;
      SetState(State::kLoggingIn);
      SetTimer(GetHWND(), kGuestTimer, 1000);
      return;
    case State::kGuestDone:
      FinishLogin(true);
      return;
    case State::kSignInWithAccount:
      ShowNickNameWithAccount();
      return;
    case State::kSignInWithoutAccount:
      ShowNickNameWithoutAccount();
      return;
    case State::kNone:
    case State::kFinished:
      // Only the hand-over itself marks the window finished; asked for
      // directly, either means the account entry.
      SetState(State::kNormal);
      return;
  }
}

void COBLoginWnd::ShowAccountEntry() {
  SystemConfig* config = links_.config;
  Enable(L"loginBtn", true);
  SetVisible(L"ContainerNormal", true);
  std::wstring account = config->GetAccount();
  std::wstring password = config->GetPassword();
  password_edit_->SetText(L"");
  if (!account.empty()) {
    account_edit_->SetText(account);
    if (!password.empty()) {
      remember_->Selected(true);
      password_edit_->SetText(password.substr(0, 6));
    }
  }
  password_edited_ = false;
  bool auto_login = config->IsAutoLogin();
  if (auto_login) remember_->Selected(true);
  auto_login_->Selected(auto_login);
}

void COBLoginWnd::ShowProgress() {
  paint_manager_.SetFocus(nullptr);
  SetVisible(L"ContainerLoggingIn", true);
  SetVisible(L"loggingText", !guest_);
  SetVisible(L"userAccount", !guest_);
  if (!guest_) {
    if (CControlUI* label = Find(L"userAccount")) label->SetText(account_edit_->GetText());
  }
  StartAnimation();
  HideNickNameLabels();
}

void COBLoginWnd::AfterSignIn() {
  SystemConfig* config = links_.config;
  SetIcon(kIconSignedIn);
  password_copy_ = config->GetPassword();
  if (!remember_->IsSelected()) config->SetConfigValue(L"root.user.password", L"");
  // A user without a nickname chooses one first: the suggested one of the
  // game account, or a new one.
  const UserAccountRecord& record = links_.user->record();
  if (!record.NickName.empty() || !record.DisplayRoleId.empty()) {
    FinishLogin(false);
  } else if (!record.TGNickName.empty()) {
    suggested_name_->SetText(record.TGNickName);
    SetState(State::kSignInWithAccount);
  } else {
    SetState(State::kSignInWithoutAccount);
  }
}

void COBLoginWnd::ShowNickNameWithAccount() {
  RequestGameFriends();
  could_edit_->SetText(L"");
  could_edit_->SetEnabled(true);
  Enable(L"signInRightNow1", true);
  SelectNameOption(true);
  SetVisible(L"ContainerSignInWithAccount", true);
  could_edit_->SetTipText(L"社区昵称");
}

void COBLoginWnd::ShowNickNameWithoutAccount() {
  RequestGameFriends();
  nickname_edit_->SetEnabled(true);
  nickname_edit_->SetText(L"");
  Enable(L"signInRightNow2", false);
  SetVisible(L"ContainerSignInWithoutAccount", true);
  nickname_edit_->SetFocus();
}

void COBLoginWnd::StartQuickLogin() {
  quick_login_ = true;
  guest_ = false;
  SetState(State::kLoggingIn);
}

void COBLoginWnd::FinishLogin(bool guest) {
  HWND hwnd = GetHWND();
  LoginStood stood = IsIconic(hwnd)          ? LoginStood::kMinimized
                     : IsWindowVisible(hwnd) ? LoginStood::kVisible
                                             : LoginStood::kHidden;
  ::uilib::ShowWindow(hwnd, SW_HIDE);
  SetIcon(kIconSignedOut);
  // A finished ticket sign-in must not send the hidden window through the
  // quick-login progress (and its animation) again.
  ticket_login_ = false;
  SetState(State::kNormal);
  HWND frame = links_.frame != nullptr ? links_.frame->GetFrameHwnd() : 0;
  if (frame != 0) {
    RECT frame_rc{};
    GetWindowRect(frame, &frame_rc);
    int x = 0;
    int y = 0;
    if (stood == LoginStood::kVisible) {
      RECT rc{};
      GetWindowRect(hwnd, &rc);
      x = rc.left;
      y = rc.top;
    } else {
      x = (GetSystemMetrics(SM_CXSCREEN) - frame_rc.Width()) / 2;
      y = (GetSystemMetrics(SM_CYSCREEN) - frame_rc.Height()) / 2;
    }
    // The main window is taller than the login window: where the login
    // window's corner would push it past the screen's edge, it moves back
    // in, so its editor and buttons stay within reach.
    RECT work = GetWorkArea();
    x = std::max<int>(work.left, std::min<int>(x, work.right - frame_rc.Width()));
    y = std::max<int>(work.top, std::min<int>(y, work.bottom - frame_rc.Height()));
    SetWindowPos(frame, 0, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  }
  if (links_.tray != nullptr) links_.tray->SetTargetWindow(frame);
  state_ = State::kFinished;
  if (links_.frame != nullptr)
    links_.frame->ShowAfterSignIn(guest ? SignInState::kGuest : SignInState::kAccount, hwnd, stood);
}

void COBLoginWnd::Show() {
  HWND hwnd = GetHWND();
  HWND frame = links_.frame != nullptr ? links_.frame->GetFrameHwnd() : 0;
  if (!IsWindowVisible(hwnd) && frame != 0) {
    RECT frame_rc{};
    GetWindowRect(frame, &frame_rc);
    SetWindowPos(hwnd, 0, frame_rc.left, frame_rc.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  }
  ticket_login_ = false;
  SetState(State::kNormal);
  if (frame != 0) ::uilib::ShowWindow(frame, SW_HIDE);
  ::uilib::ShowWindow(hwnd, SW_SHOWNORMAL);
  if (links_.tray != nullptr) links_.tray->SetTargetWindow(hwnd);
  FocusInput();
  if (!IsFullScreenWindowShown()) SetForegroundWindow(hwnd);
}

void COBLoginWnd::FocusInput() {
  // The edits never report their hint as text, so empty covers both.
  if (account_edit_->GetText().empty()) {
    account_edit_->SetFocus();
  } else if (password_edit_->GetText().empty()) {
    password_edit_->SetFocus();
  } else if (CControlUI* button = Find(L"loginBtn")) {
    button->SetFocus();
  }
}

bool COBLoginWnd::IsFullScreenWindowShown() {
  // A game is another program: its window is found through the desktop.
  if (IsOtherProgramFullScreen()) return true;
  int w = GetSystemMetrics(SM_CXSCREEN);
  int h = GetSystemMetrics(SM_CYSCREEN);
  HWND first = WindowFromPoint({1, 1});
  if (first == 0) return false;
  return WindowFromPoint({1, h - 1}) == first && WindowFromPoint({w - 1, 1}) == first &&
         WindowFromPoint({w - 1, h - 1}) == first;
}

void COBLoginWnd::OnLoginClick() {
  std::wstring account = account_edit_->GetText();
  std::wstring password = password_edit_->GetText();
  if (account.empty()) {
    ShowWarning(L"请输入帐号！");
    account_edit_->SetFocus();
    return;
  }
  if (password.empty()) {
    ShowWarning(L"请输入密码！");
    password_edit_->SetFocus();
    return;
  }
  bool auto_login = auto_login_->IsSelected();
  links_.config->SetConfigValue(L"root.base.normal.autologin", auto_login ? L"1" : L"0");
  SendLogin(account, password);
  guest_ = false;
  SetState(State::kLoggingIn);
}

void COBLoginWnd::SendLogin(const std::wstring& account, const std::wstring& password) {
  std::wstring stored_account = links_.config->GetAccount();
  std::wstring stored_password = links_.config->GetPassword();
  bool cipher = !stored_account.empty() && !stored_password.empty() && account == stored_account &&
                !password_edited_;
  LoginFlags flags = (cipher ? LoginFlags::kCipher : LoginFlags::kNone) |
                     (remember_->IsSelected() ? LoginFlags::kRememberPassword : LoginFlags::kNone);
  quick_login_ = false;
  links_.user->UserLogin(account, cipher ? stored_password : password, kFromWindow, flags);
}

void COBLoginWnd::CheckAutoLogin() {
  std::wstring value = links_.config->GetConfigValue(L"root.base.normal.autologin", L"0");
  if (std::wcstol(value.c_str(), nullptr, 10) != 1) return;
  auto_login_->Selected(true);
  remember_->Selected(true);
  if (!links_.config->GetPassword().empty()) {
    Enable(L"loginBtn", false);
    SetTimer(GetHWND(), kAutoLoginTimer, 1000);
  }
}

void COBLoginWnd::OnTimer(uintptr_t id) {
  switch (id) {
    case kAnimationTimer:
      if (animating_ && !frames_.empty()) ShowFrame((frame_index_ + 1) % frames_.size());
      return;
    case kAutoLoginTimer:
      KillTimer(GetHWND(), id);
      if (state_ != State::kNormal) return;
      guest_ = false;
      SetState(State::kLoggingIn);
      SetTimer(GetHWND(), kAutoLoginSendTimer, 2000);
      return;
    case kAutoLoginSendTimer:
      KillTimer(GetHWND(), id);
      if (state_ == State::kLoggingIn)
        SendLogin(links_.config->GetAccount(), links_.config->GetPassword());
      return;
    case kGuestTimer:
      KillTimer(GetHWND(), id);
      PostMessage(ombrix::messages::kLoginGuestTimer, 0, 0);
      return;
    default:
      return;
  }
}

void COBLoginWnd::SelectNameOption(bool suggested) {
  suggested_name_->Selected(suggested, false);
  new_name_->Selected(!suggested, false);
  could_edit_->SetReadOnly(suggested);
  if (suggested) {
    Enable(L"signInRightNow1", true);
  } else {
    could_edit_->SetFocus();
    size_t length = AnsiLength(could_edit_->GetText());
    Enable(L"signInRightNow1", length >= 1 && length <= 16);
  }
}

void COBLoginWnd::Notify(TNotifyUI& msg) {
  if (msg.pSender == nullptr) return;
  const std::wstring& name = msg.pSender->GetName();
  if (msg.sType == L"click") {
    if (name == L"closebtn") {
      if (state_ != State::kLoggingIn) ::uilib::ShowWindow(GetHWND(), SW_HIDE);
    } else if (name == L"loginBtn") {
      OnLoginClick();
    } else if (name == L"registerBtn") {
      OpenUrl(links_.register_url);
    } else if (name == L"forgetPasswordBtn") {
      OpenUrl(links_.recover_url);
    } else if (name == L"ombriBtn") {
      OpenUrl(links_.home_page);
    } else if (name == L"guestBtn") {
      SetState(State::kGuest);
    } else if (name == L"cancelLoginBtn") {
      ticket_login_ = false;
      SetState(State::kNormal);
    } else if (name == L"quickLoginBtn") {
      StartQuickLogin();
    } else if (name == L"usingOtherAccountBtn") {
      SetState(State::kNormal);
    } else if (name == L"failedUsingOtherAccountBtn") {
      SetState(State::kNormal);
      FocusInput();
    } else if (name == L"signInRightNow1") {
      std::wstring nick;
      bool send = false;
      if (suggested_name_->IsSelected()) {
        nick = suggested_name_->GetText();
        send = true;
      } else if (new_name_->IsSelected()) {
        could_edit_->SetEnabled(false);
        nick = could_edit_->GetText();
        send = true;
      }
      Enable(L"signInRightNow1", false);
      if (send) links_.user->UpdateNickName(nick);
    } else if (name == L"signInRightNow2") {
      nickname_edit_->SetEnabled(false);
      Enable(L"signInRightNow2", false);
      links_.user->UpdateNickName(nickname_edit_->GetText());
    }
  } else if (msg.sType == L"selectchanged") {
    if (name == L"checkAutoLogin") {
      if (auto_login_->IsSelected() && !remember_->IsSelected()) remember_->Selected(true);
    } else if (name == L"checkRemPassword") {
      if (!remember_->IsSelected() && auto_login_->IsSelected()) auto_login_->Selected(false);
    } else if (name == L"sugerSideName") {
      SelectNameOption(true);
    } else if (name == L"newSideName") {
      SelectNameOption(false);
    }
  } else if (msg.sType == L"textchanged") {
    if (name == L"pwdedit") {
      password_edited_ = true;
    } else if (name == L"couldEdit") {
      size_t length = AnsiLength(could_edit_->GetText());
      Enable(L"signInRightNow1", length >= 4 && length <= 14);
      HideNickNameLabels();
    } else if (name == L"nicknameEdit") {
      size_t length = AnsiLength(nickname_edit_->GetText());
      Enable(L"signInRightNow2", length >= 1 && length <= 16);
      HideNickNameLabels();
    }
  }
}

LRESULT COBLoginWnd::HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == WM_CLOSE) {
    ::uilib::ShowWindow(GetHWND(), SW_HIDE);
    return 0;
  }
  if (msg == WM_TIMER && wparam >= kAnimationTimer && wparam <= kGuestTimer) {
    OnTimer(wparam);
    return 0;
  }
  if (msg == WM_SHOWWINDOW && wparam != 0 && state_ == State::kNormal) {
    // However it comes back (the tray, a game's request, a sign-out), the
    // keyboard goes to the field to fill: a cancelled sign-in leaves the
    // focus nowhere, and the first keys would be lost.
    LRESULT result = OBUIWindow::HandleMessage(msg, wparam, lparam);
    FocusInput();
    return result;
  }
  if (msg == WM_IME_STARTCOMPOSITION || msg == WM_IME_ENDCOMPOSITION) {
    composing_ = msg == WM_IME_STARTCOMPOSITION;
    return 0;
  }
  if (msg == ombrix::messages::kLoginGuestTimer) {
    if (state_ == State::kLoggingIn) SetState(State::kGuestDone);
    return 0;
  }
  if (msg == WM_KEYUP && wparam == VK_RETURN && !composing_) {
    const wchar_t* button = state_ == State::kNormal                 ? L"loginBtn"
                            : state_ == State::kSignInWithAccount    ? L"signInRightNow1"
                            : state_ == State::kSignInWithoutAccount ? L"signInRightNow2"
                                                                     : nullptr;
    if (button != nullptr) {
      if (CControlUI* control = Find(button)) control->Activate();
    }
  }
  return OBUIWindow::HandleMessage(msg, wparam, lparam);
}

void COBLoginWnd::OnUserLogin(const EventParameter* p) {
  auto* reply = static_cast<const payload::SEVENT_RESPONSE_UserLogin*>(p);
  if (reply->ok) {
    if (state_ == State::kLoggingIn) {
      SetState(State::kLoggedIn);
    } else if (reply->kind == FromHandle::kClient) {
      // The window's own request, answered after the user cancelled it.
      links_.user->UserLogout();
    } else if (reply->kind == FromHandle::kGameClient && state_ == State::kNormal) {
      // A sign-in made in a game's panel counts as the user's own.
      SetState(State::kLoggedIn);
    }
    return;
  }
  if (state_ != State::kLoggingIn) return;
  StopAnimation();
  if (quick_login_) {
    SetState(State::kQuickLoginFailed);
    return;
  }
  SetState(State::kNormal);
  ShowWarning(reply->text.empty() ? L"帐号或密码错误！" : reply->text);
  FocusInput();
}

void COBLoginWnd::OnUserLoginByTicket(const EventParameter* p) {
  auto* reply = static_cast<const payload::SEVENT_RESPONSE_UserLoginByTicket*>(p);
  bool is_json = false;
  int status = -1;
  if (!reply->ok || !ReadStatus(reply->param, &is_json, &status) || status != 0) return;
  ticket_login_ = true;
  if (state_ == State::kNormal) SetState(State::kLoggedIn);
}

void COBLoginWnd::OnSetNickName(const EventParameter*) {
  if (state_ != State::kSignInWithAccount && state_ != State::kSignInWithoutAccount) return;
  if (FrameWaitsForLogin()) BringToFront();
}

void COBLoginWnd::OnRequestLogin(const EventParameter*) {
  if (IsFullScreenWindowShown()) return;
  if (FrameWaitsForLogin() && state_ != State::kFinished) BringToFront();
}

void COBLoginWnd::OnUpdateUserInfo(const EventParameter* p) {
  auto* reply = static_cast<const payload::SEVENT_RESPONSE_UpdateUserInfo*>(p);
  // Head-image and profile updates of other windows share the event; only
  // requests of the client itself can be the nickname's answer.
  if (reply->kind == FromHandle::kNone) return;
  if (state_ != State::kSignInWithAccount && state_ != State::kSignInWithoutAccount) return;
  bool is_json = false;
  int status = 0;
  bool has_status = reply->ok && ReadStatus(reply->param, &is_json, &status);
  if (reply->ok && !is_json) {
    // Unreadable answer: let the user try again.
    nickname_edit_->SetEnabled(true);
    if (new_name_->IsSelected()) could_edit_->SetEnabled(true);
    Enable(L"signInRightNow1", true);
    Enable(L"signInRightNow2", true);
    return;
  }
  if (!has_status || (status != -9 && status != -10)) {
    FinishLogin(false);
    return;
  }
  SetVisible(status == -9 ? L"LabelNickNameInvalid" : L"LabelNickNameNotAvailable", true);
  CRichEditUI* edit = state_ == State::kSignInWithAccount ? could_edit_ : nickname_edit_;
  edit->SetEnabled(true);
  edit->SetFocus();
  edit->SetSelAll();
  nickname_edit_->SetEnabled(true);
  Enable(L"signInRightNow2", true);
  Enable(L"signInRightNow1", true);
}

void COBLoginWnd::OnGameDetach(const EventParameter* p) {
  auto* detach = static_cast<const payload::SEVENT_GAME_DETACH*>(p);
  // Only a game that attached can leave; a connection that never did is
  // no reason to end the client.
  if (detach->game_name.empty()) return;
  if (links_.exit_with_game && links_.exit_with_game()) PostQuitMessage(0);
}

bool COBLoginWnd::FrameWaitsForLogin() const {
  if (links_.frame == nullptr) return false;
  HWND frame = links_.frame->GetFrameHwnd();
  return !(frame != 0 && IsWindowVisible(frame)) &&
         links_.frame->GetSignInState() == SignInState::kSignedOut;
}

void COBLoginWnd::BringToFront() {
  ::uilib::ShowWindow(GetHWND(), SW_SHOW);
  SetForegroundWindow(GetHWND());
}

void COBLoginWnd::ShowWarning(const std::wstring& text) {
  if (warning_->GetHWND() != 0) warning_->Show(L"登录提示", text);
}

void COBLoginWnd::HideNickNameLabels() {
  SetVisible(L"LabelNickNameInvalid", false);
  SetVisible(L"LabelNickNameNotAvailable", false);
}

void COBLoginWnd::StartAnimation() {
  if (cycle_ms_ == 0 || frames_.empty()) return;
  ShowFrame(0);
  // At least a millisecond: a short cycle with many frames still ticks.
  UINT period = std::max<UINT>(1, cycle_ms_ / static_cast<unsigned>(frames_.size()));
  animating_ = SetTimer(GetHWND(), kAnimationTimer, period) != 0;
}

void COBLoginWnd::StopAnimation() {
  if (animating_ && GetHWND() != 0) KillTimer(GetHWND(), kAnimationTimer);
  animating_ = false;
  frame_index_ = 0;
}

void COBLoginWnd::ShowFrame(size_t index) {
  frame_index_ = index;
  for (size_t i = 0; i < frames_.size(); ++i) frames_[i]->SetVisible(i == index);
  InvalidateRect(GetHWND(), nullptr, true);
}

void COBLoginWnd::Enable(const wchar_t* name, bool enable) {
  if (CControlUI* control = Find(name)) control->SetEnabled(enable);
}

void COBLoginWnd::SetVisible(const wchar_t* name, bool visible) {
  if (CControlUI* control = Find(name)) control->SetVisible(visible);
}

void COBLoginWnd::RequestGameFriends() {
  if (links_.request_game_friends) links_.request_game_friends(kFromWindow);
}

void COBLoginWnd::OpenUrl(const std::string& url) {
  if (!url.empty()) GetUiBackend().GetShell().OpenUrl(url);
}
