#include "client/ui/dialogs/quota_overflow_dialog.h"

#include "uilib/winsys/win_api.h"

using namespace uilib;

CQuotaOverflowDialog::CQuotaOverflowDialog(const std::wstring& skin_folder,
                                           IQuotaDialogOwner* owner)
    : OBSmallDialog(skin_folder, L"quota_overflow.xml"), owner_(owner) {}

void CQuotaOverflowDialog::Show(int megabytes) {
  // The label that is written is the one checked: a skin without it gets
  // no text rather than a crash.
  SetLabel(L"notifyMessage2", std::to_wstring(megabytes) + L"MB，需要清理翎岚文件夹吗?");
  ShowModal();
}

void CQuotaOverflowDialog::Notify(TNotifyUI& msg) {
  if (msg.sType != L"click" || msg.pSender == nullptr) return;
  const std::wstring& name = msg.pSender->GetName();
  if (name == L"CloseBtn") {
    Close();
  } else if (name == L"CancelBtn") {
    Close();
    if (owner_ != nullptr) owner_->CloseSettings();
  } else if (name == L"ChangeSetBtn") {
    Close();
    if (owner_ != nullptr) owner_->ShowScreenshotFolderPage();
  } else if (name == L"OpenFolderBtn") {
    Close();
    if (owner_ != nullptr) owner_->OpenScreenshotFolder();
  }
}
