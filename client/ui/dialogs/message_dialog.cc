#include "client/ui/dialogs/message_dialog.h"

#include "uilib/winsys/win_api.h"

using namespace uilib;

CMessageDialog::CMessageDialog(const std::wstring& skin_folder)
    : OBSmallDialog(skin_folder, L"message_dialog.xml") {
  close_shows_hidden_owner_ = false;
}

void CMessageDialog::Show() {
  Place();
  SetLabel(L"messagelabel", L"谢谢，提交反馈成功！");
  ShowModal();
  SetTimer(GetHWND(), kCloseTimer, kCloseAfterMs);
}

LRESULT CMessageDialog::HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam) {
  if ((msg == WM_TIMER && wparam == kCloseTimer) || msg == WM_CLOSE) {
    KillTimer(GetHWND(), kCloseTimer);
    Close();
    return 0;
  }
  return OBSmallDialog::HandleMessage(msg, wparam, lparam);
}
