#include "client/ui/tray/ob_wnd_tray.h"

#include <cwchar>

#include "client/core/event_ids.h"
#include "client/core/message_ids.h"
#include "client/core/system_config.h"
#include "client/core/ui_string_table.h"
#include "client/core/web_events.h"
#include "client/ui/tray/ob_prompt_dialog.h"
#include "uilib/winsys/notify_icon.h"
#include "uilib/winsys/popup_menu.h"
#include "uilib/winsys/ui_backend.h"
#include "uilib/winsys/win_api.h"

using namespace uilib;

namespace {

constexpr const wchar_t* kInlineSkin =
    L"<?xml version=\"1.0\" encoding=\"UTF-8\"?><Window size=\"5,5\"><Container "
    L"name=\"ContainerNormal\"/></Window>";

std::wstring String(const char* key, const wchar_t* fallback) {
  const wchar_t* text = UIStringTable::GetString(key);
  return text != nullptr ? text : fallback;
}

}  // namespace

OBWndTray::OBWndTray(Links links)
    : OBUIWindow(nullptr, true), links_(std::move(links)), tracker_(links_.hover_interval) {
  skin_source_ = kInlineSkin;
  if (EventChain* chain = links_.events) {
    auto refresh_on_success = [this](const EventParameter* p) {
      if (static_cast<const payload::SEVENT_RESPONSE_UserLogin*>(p)->ok) UpdateIconAndTip();
    };
    subscriptions_.push_back(chain->Subscribe(SEVENT_RESPONSE_UserLogin, refresh_on_success));
    subscriptions_.push_back(
        chain->Subscribe(SEVENT_RESPONSE_UserLoginByTicket, [this](const EventParameter* p) {
          if (static_cast<const payload::SEVENT_RESPONSE_UserLoginByTicket*>(p)->ok)
            UpdateIconAndTip();
        }));
    subscriptions_.push_back(chain->Subscribe(
        SEVENT_RESPONSE_UserLogout, [this](const EventParameter*) { UpdateIconAndTip(); }));
    subscriptions_.push_back(chain->Subscribe(
        SEVENT_RESPONSE_GetDataPrompt, [this](const EventParameter*) { CreatePromptDialog(); }));
    subscriptions_.push_back(chain->Subscribe(
        SEVENT_RESPONSE_UpdateUserInfo, [this](const EventParameter*) { UpdateIconAndTip(); }));
  }
}

OBWndTray::~OBWndTray() {
  for (EventChain::Handle handle : subscriptions_) links_.events->Unsubscribe(handle);
  prompt_.reset();
  if (icon_) icon_->Delete();
}

void OBWndTray::RegisterMenus() {
  PopupMenu hidden;
  hidden.Append(kCmdSettings, L"系统设置");
  hidden.AppendSeparator();
  hidden.Append(kCmdShow, L"显示翎岚");
  hidden.Append(kCmdQuit, L"退出翎岚");
  RegisterMenuResource(kMenuTargetHidden, hidden);
  PopupMenu visible;
  visible.Append(kCmdSettings, L"系统设置");
  visible.AppendSeparator();
  visible.Append(kCmdHide, L"隐藏翎岚");
  visible.Append(kCmdQuit, L"退出翎岚");
  RegisterMenuResource(kMenuTargetVisible, visible);
  PopupMenu none;
  none.Append(kCmdQuit, L"退出翎岚");
  RegisterMenuResource(kMenuNoTarget, none);
}

void OBWndTray::InitControls() {
  tracker_.SetTarget(GetHWND(), 0, ombrix::messages::kTrayIconCallback,
                     ombrix::messages::kTrayHoverCheck);
  icon_ = GetUiBackend().CreateNotifyIcon();
  if (icon_) icon_->Add(GetHWND(), ombrix::messages::kTrayIconCallback, kIconSignedOut, Tip());
  SetTimer(GetHWND(), kBlinkTimer, 500);
}

std::wstring OBWndTray::Tip() const {
  std::wstring state;
  if (links_.user != nullptr && links_.user->IsLoggedIn()) {
    state = links_.user->record().NickName;
    if (state.empty()) state = String(STRING_LOGIN_STATE_ONLINE, L"在线");
  } else {
    state = String(STRING_LOGIN_STATE_OFFLINE, L"离线");
  }
  std::wstring tip = String(STRING_OMBRIX, L"翎岚") + L"-" + state;
  if (tip.size() > kTipLimit) tip.resize(kTipLimit);
  return tip;
}

void OBWndTray::UpdateIconAndTip() {
  bool signed_in = links_.user != nullptr && links_.user->IsLoggedIn();
  if (icon_) icon_->Modify(signed_in ? kIconSignedIn : kIconSignedOut, Tip());
}

void OBWndTray::SetTrayIcon(int icon) {
  if (icon_) icon_->Modify(icon, icon_->GetTip());
}

bool OBWndTray::HasNewItems() const {
  const IWebUser* user = links_.user;
  if (user == nullptr) return false;
  if (user->new_about_user_count() != 0 || user->new_message_count() != 0 ||
      user->new_fans_count() != 0)
    return true;
  bool show_diary =
      links_.config == nullptr ||
      std::wcstol(links_.config->GetConfigValue(L"root.user.shownewmessage", L"1").c_str(), nullptr,
                  10) == 1;
  return show_diary && user->new_mirror_blog_count() != 0;
}

LRESULT OBWndTray::HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == WM_COMMAND) {
    OnMenuCommand(static_cast<UINT>(wparam));
    return 0;
  }
  if (msg == ombrix::messages::kTrayHoverCheck) {
    tracker_.CheckCursor();
    return 0;
  }
  if (msg == WM_TIMER && wparam == kBlinkTimer) {
    OnBlinkTimer();
    return 0;
  }
  if (msg == ombrix::messages::kTrayIconCallback) {
    if (lparam < 512 || lparam > 675) return 0;
    switch (static_cast<UINT>(lparam)) {
      case WM_MOUSEMOVE:
        tracker_.Track();
        break;
      case WM_LBUTTONDBLCLK:
        OnDoubleClick();
        break;
      case WM_RBUTTONUP:
        ShowContextMenu();
        break;
      case WM_MOUSEHOVER:
        ShowPrompt();
        break;
      case WM_MOUSELEAVE:
        if (prompt_ && !prompt_->inside()) prompt_->ShowWindow(false);
        break;
      default:
        break;
    }
    return 0;
  }
  return OBUIWindow::HandleMessage(msg, wparam, lparam);
}

void OBWndTray::OnMenuCommand(UINT id) {
  ITrayFrame* frame = links_.frame;
  switch (id) {
    case kCmdQuit:
      PostQuitMessage(0);
      break;
    case kCmdHide:
      if (IsWindow(target_)) ::uilib::ShowWindow(target_, SW_HIDE);
      break;
    case kCmdShow:
      if (IsWindow(target_)) {
        ::uilib::ShowWindow(target_, SW_SHOW);
        if (frame != nullptr && target_ == frame->GetFrameHwnd()) frame->StartDelayedCheck();
      }
      break;
    case kCmdSettings:
      if (frame != nullptr) frame->ShowSettings();
      break;
    default:
      break;
  }
}

void OBWndTray::OnBlinkTimer() {
  bool signed_in = links_.user != nullptr && links_.user->IsLoggedIn();
  if (HasNewItems() && links_.frame != nullptr &&
      links_.frame->GetSignInState() == SignInState::kAccount) {
    SetTrayIcon(blink_phase_ ? kIconSignedIn : kIconBlink);
    blink_phase_ = !blink_phase_;
    if (prompt_ && IsWindowVisible(prompt_->GetHWND())) prompt_->RefreshTexts();
    return;
  }
  if (blink_phase_) {
    SetTrayIcon(signed_in ? kIconSignedIn : kIconSignedOut);
    blink_phase_ = false;
  }
}

void OBWndTray::OnDoubleClick() {
  if (prompt_ && HasNewItems()) {
    prompt_->OpenFirstNew();
    return;
  }
  OpenTarget();
}

void OBWndTray::OpenTarget() {
  if (!IsWindow(target_)) return;
  if (IsIconic(target_)) {
    ::uilib::SendMessage(target_, WM_SYSCOMMAND, SC_RESTORE, 0);
    // A window whose handler left the command alone is restored here.
    if (IsIconic(target_)) ::uilib::ShowWindow(target_, SW_SHOWNORMAL);
  }
  ::uilib::ShowWindow(target_, SW_SHOW);
  ::uilib::SetFocus(target_);
  SetForegroundWindow(target_);
  if (links_.frame != nullptr && target_ == links_.frame->GetFrameHwnd())
    links_.frame->StartDelayedCheck();
}

void OBWndTray::ShowContextMenu() {
  int resource = !IsWindow(target_)         ? kMenuNoTarget
                 : IsWindowVisible(target_) ? kMenuTargetVisible
                                            : kMenuTargetHidden;
  PopupMenu menu = LoadMenu(resource);
  SetForegroundWindow(GetHWND());
  bool signed_in = links_.user != nullptr && links_.user->IsLoggedIn();
  menu.EnableMenuItem(kCmdSettings, signed_in ? MF_ENABLED : MF_GRAYED);
  POINT cursor{};
  GetCursorPos(&cursor);
  TrackPopupMenu(menu, cursor, GetHWND());
}

void OBWndTray::ShowPrompt() {
  if (!prompt_ || links_.user == nullptr) return;
  if (!HasNewItems() && links_.user->new_mirror_blog_count() == 0) return;
  prompt_->RefreshTexts();
  prompt_->PlaceAndShow();
}

void OBWndTray::CreatePromptDialog() {
  if (prompt_) return;
  HWND owner = links_.frame != nullptr ? links_.frame->GetFrameHwnd() : 0;
  prompt_ = std::make_unique<OBPromptDialog>(links_.skin_folder, links_.events, links_.user,
                                             links_.frame);
  prompt_->Create(owner, L"OBWndPromptDialog",
                  WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU,
                  WS_EX_TOOLWINDOW | WS_EX_DLGMODALFRAME, 0, 0, 0, 0);
  prompt_->ShowWindow(false);
}
