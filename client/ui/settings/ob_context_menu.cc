#include "client/ui/settings/ob_context_menu.h"

#include <utility>

#include "client/ui/controls/dialog_builder_callback_ex.h"
#include "uilib/winsys/win_api.h"

using namespace uilib;

namespace {
constexpr DWORD kPopupStyle = 0x86C80000 & ~WS_VISIBLE;
constexpr DWORD kPopupExStyle = 129;
constexpr wchar_t kSwitchFirst[] = L"您确定要退出，更换其他帐号";
constexpr wchar_t kSwitchSecond[] = L"登录吗？";
}  // namespace

COBContextMenu::COBContextMenu(ContextMenuHost* host, ConfigurationDialogHost settings)
    : OBUIWindow(std::make_unique<CDialogBuilderCallbackEx>(settings.controls), true), host_(host) {
  skin_source_ = (settings.controls != nullptr ? settings.controls->skin_folder : std::wstring()) +
                 L"/context_menu.xml";
  settings_ = std::make_unique<CConfigurationDialog>(std::move(settings));
}

COBContextMenu::~COBContextMenu() = default;

bool COBContextMenu::Create() {
  HWND main = host_->MainWindow();
  if (OBUIWindow::Create(main, L"OBContextMenu", kPopupStyle, kPopupExStyle) == 0) return false;
  settings_->CreateDialogWindow(main);
  return true;
}

void COBContextMenu::InitControls() {
  paint_manager_.AddNotifier(this);
  if (CControlUI* change = Find(L"changeUserBtn")) change->SetText(L"登录翎岚");
}

LRESULT COBContextMenu::HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == WM_NCACTIVATE) {
    if (wparam != 0) return 0;
    HideAndShowMain();
    return 1;
  }
  if (msg == WM_CLOSE) {  // the window manager's close: as on losing the focus
    HideAndShowMain();
    return 0;
  }
  return OBUIWindow::HandleMessage(msg, wparam, lparam);
}

void COBContextMenu::ShowAt() {
  RECT main{};
  RECT menu{};
  uilib::GetWindowRect(host_->MainWindow(), &main);
  uilib::GetWindowRect(GetHWND(), &menu);
  int height = menu.bottom - menu.top;
  uilib::SetWindowPos(GetHWND(), 0, main.left + 38, main.bottom - 35 - height, 0, 0,
                      SWP_NOSIZE | SWP_NOZORDER);
  uilib::ShowWindow(GetHWND(), SW_SHOW);
}

void COBContextMenu::Toggle() {
  if (uilib::IsWindowVisible(GetHWND())) {
    HideAndShowMain();
  } else {
    ShowAt();
  }
}

void COBContextMenu::HideAndShowMain() {
  uilib::ShowWindow(GetHWND(), SW_HIDE);
  uilib::ShowWindow(host_->MainWindow(), SW_SHOW);
}

void COBContextMenu::SetSignedOut(bool signed_out) {
  if (CControlUI* configure = Find(L"configureBtn")) configure->SetEnabled(!signed_out);
  if (CControlUI* change = Find(L"changeUserBtn"))
    change->SetText(signed_out ? L"   登录翎岚" : L"   更改用户");
}

void COBContextMenu::RequestLogin(bool ask) {
  if (host_->IsSignedOutState()) {
    if (!ask) {
      host_->ChangeUser();
    } else {
      host_->AskYesNo(1, L"登录后继续刚才的操作!", L"");
    }
    return;
  }
  host_->AskYesNo(1, kSwitchFirst, kSwitchSecond);
}

void COBContextMenu::Notify(TNotifyUI& msg) {
  if (msg.sType != L"click" || msg.pSender == nullptr) return;
  const std::wstring name = msg.pSender->GetName();
  HideAndShowMain();
  if (name == L"aboutBtn") {
    host_->ShowAbout();
  } else if (name == L"communityBtn") {
    host_->OpenCommunitySite();
  } else if (name == L"configureBtn") {
    settings_->Show(1);
  } else if (name == L"changeUserBtn") {
    if (host_->IsSignedOutState()) {
      host_->ChangeUser();
    } else {
      host_->AskYesNo(1, kSwitchFirst, kSwitchSecond);
    }
  } else if (name == L"exitBtn") {
    host_->AskYesNo(2, L"确定要退出翎岚吗？", L"");
  }
}
