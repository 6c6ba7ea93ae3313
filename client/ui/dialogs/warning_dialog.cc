#include "client/ui/dialogs/warning_dialog.h"

using namespace uilib;

CWarningDialog::CWarningDialog(const std::wstring& skin_folder)
    : OBSmallDialog(skin_folder, L"warning_dialog.xml") {
  close_shows_hidden_owner_ = false;
}

void CWarningDialog::Show(const std::wstring& title, const std::wstring& text) {
  Place();
  SetLabel(L"headerlabel", title);
  SetLabel(L"messagelabel", text);
  ShowModal();
}

LRESULT CWarningDialog::HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == WM_CLOSE) return 0;  // only the buttons and the keys close it
  if (msg == WM_KEYUP) {
    const wchar_t* button = wparam == VK_ESCAPE   ? L"closebtn"
                            : wparam == VK_RETURN ? L"confirmbtn"
                                                  : nullptr;
    if (button != nullptr) {
      if (CControlUI* control = Find(button)) control->Activate();
    }
  }
  return OBSmallDialog::HandleMessage(msg, wparam, lparam);
}

void CWarningDialog::Notify(TNotifyUI& msg) {
  if (msg.sType != L"click" || msg.pSender == nullptr) return;
  const std::wstring& name = msg.pSender->GetName();
  if (name == L"closebtn" || name == L"confirmbtn") Close();
}
