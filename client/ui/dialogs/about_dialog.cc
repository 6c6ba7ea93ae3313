#include "client/ui/dialogs/about_dialog.h"

#include "runtime/platform/shell.h"
#include "uilib/winsys/ui_backend.h"

using namespace uilib;

CAboutDialog::CAboutDialog(const std::wstring& skin_folder, Info info)
    : OBSmallDialog(skin_folder, L"about_dialog.xml"), info_(std::move(info)) {}

LRESULT CAboutDialog::HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == WM_CLOSE) return 0;  // only the buttons close it
  return OBSmallDialog::HandleMessage(msg, wparam, lparam);
}

void CAboutDialog::InitControls() {
  if (CControlUI* version = Find(L"text_version"))
    version->SetText(version->GetText() + L"(" + info_.version + L")" + info_.edition_desc);
}

void CAboutDialog::Show() {
  Place();
  ShowModal();
}

void CAboutDialog::Notify(TNotifyUI& msg) {
  if (msg.sType != L"click" || msg.pSender == nullptr) return;
  const std::wstring& name = msg.pSender->GetName();
  if (name == L"closebtn" || name == L"confirmbtn") {
    Close();
  } else if (name == L"ombrixbtn") {
    GetUiBackend().GetShell().OpenUrl(info_.home_page);
  }
}
