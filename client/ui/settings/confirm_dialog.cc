#include "client/ui/settings/confirm_dialog.h"

#include <utility>

#include "client/ui/controls/dialog_builder_callback_ex.h"
#include "uilib/winsys/win_api.h"

using namespace uilib;

CConfirmDialog::CConfirmDialog(const ControlContext* controls)
    : OBUIWindow(std::make_unique<CDialogBuilderCallbackEx>(controls), true) {
  skin_source_ =
      (controls != nullptr ? controls->skin_folder : std::wstring()) + L"/yesno_dialog.xml";
}

HWND CConfirmDialog::CreateDialogWindow(HWND owner) {
  owner_ = owner;
  return Create(owner, L"OBConfirmDialog", 0x86C80000 & ~WS_VISIBLE, 129);
}

void CConfirmDialog::InitControls() { paint_manager_.AddNotifier(this); }

void CConfirmDialog::SetCallbacks(Callback confirm, Callback deny) {
  confirm_ = std::move(confirm);
  deny_ = std::move(deny);
}

void CConfirmDialog::Show() {
  if (GetHWND() == 0) return;  // never made: the owner stays usable
  if (owner_ != 0 && uilib::IsIconic(owner_)) {
    uilib::ShowWindow(owner_, SW_SHOWNORMAL);
    uilib::SetForegroundWindow(owner_);
  }
  CenterWindow();
  if (CControlUI* header = Find(L"headerlabel")) header->SetText(L"提示");
  if (CControlUI* single = Find(L"single_line_container")) single->SetVisible(true);
  if (CControlUI* twice = Find(L"double_line_container")) twice->SetVisible(false);
  if (CControlUI* message = Find(L"messagelabel")) message->SetText(L"确定删除?");
  uilib::ShowWindow(GetHWND(), SW_SHOW);
  if (owner_ != 0) uilib::EnableWindow(owner_, false);
}

void CConfirmDialog::Close() {
  if (owner_ != 0) {
    uilib::EnableWindow(owner_, true);
    uilib::SetForegroundWindow(owner_);
    uilib::ShowWindow(owner_, SW_SHOW);
  }
  uilib::ShowWindow(GetHWND(), SW_HIDE);
}

LRESULT CConfirmDialog::HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == WM_CLOSE) {
    Close();
    return 0;
  }
  return OBUIWindow::HandleMessage(msg, wparam, lparam);
}

void CConfirmDialog::Notify(TNotifyUI& msg) {
  if (msg.sType != L"click" || msg.pSender == nullptr) return;
  const std::wstring name = msg.pSender->GetName();
  if (name == L"closebtn") {
    Close();
  } else if (name == L"confirmbtn") {
    Close();
    if (confirm_) confirm_(user_value_);
  } else if (name == L"denybtn") {
    Close();
    if (deny_) deny_(user_value_);
  }
}
