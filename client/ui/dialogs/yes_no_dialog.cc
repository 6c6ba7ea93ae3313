#include "client/ui/dialogs/yes_no_dialog.h"

#include "uilib/winsys/win_api.h"

using namespace uilib;

CYesNoDialog::CYesNoDialog(const std::wstring& skin_folder, IYesNoFrame* frame)
    : OBSmallDialog(skin_folder, L"yesno_dialog.xml"), frame_(frame) {}

LRESULT CYesNoDialog::HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == WM_CLOSE) return 0;  // only the buttons close it
  return OBSmallDialog::HandleMessage(msg, wparam, lparam);
}

void CYesNoDialog::Show(int kind, const std::wstring& text, const std::wstring& second) {
  kind_ = kind;
  Place();
  SetLabel(L"headerlabel", L"提示");
  CControlUI* single = Find(L"single_line_container");
  CControlUI* twice = Find(L"double_line_container");
  if (!second.empty()) {
    if (single != nullptr) single->SetVisible(false);
    if (twice != nullptr) twice->SetVisible(true);
    SetLabel(L"messagelabel1", text);
    SetLabel(L"messagelabel2", second);
  } else {
    if (single != nullptr) single->SetVisible(true);
    if (twice != nullptr) twice->SetVisible(false);
    SetLabel(L"messagelabel", text);
  }
  ShowModal();
}

void CYesNoDialog::CloseAndReturn() {
  Close();
  if (frame_ != nullptr) frame_->ShowDefaultPage();
}

void CYesNoDialog::Notify(TNotifyUI& msg) {
  if (msg.sType != L"click" || msg.pSender == nullptr) return;
  const std::wstring& name = msg.pSender->GetName();
  if (name == L"closebtn") {
    CloseAndReturn();
  } else if (name == L"confirmbtn") {
    if (kind_ == kSwitchUser) {
      CloseAndReturn();
      if (frame_ != nullptr) frame_->HideAndSignOut();
    } else if (kind_ == kExit) {
      PostQuitMessage(0);  // the program ends; nothing to close first
    }
  } else if (name == L"denybtn") {
    if (kind_ == kSwitchUser || kind_ == kExit) CloseAndReturn();
  }
}
