#include "client/ui/dialogs/ob_small_dialog.h"

#include "client/ui/controls/dialog_builder_callback_ex.h"
#include "uilib/winsys/win_api.h"

using namespace uilib;

OBSmallDialog::OBSmallDialog(const std::wstring& skin_folder, const wchar_t* layout)
    : OBUIWindow(std::make_unique<CDialogBuilderCallbackEx>(nullptr), true) {
  skin_source_ = skin_folder + L"/" + layout;
}

OBSmallDialog::~OBSmallDialog() {
  // Going away while shown must not leave the owner disabled for good.
  if (GetHWND() != 0 && IsWindowVisible(GetHWND()) && owner_ != 0 && IsWindow(owner_))
    EnableWindow(owner_, true);
}

HWND OBSmallDialog::CreateOwned(HWND owner, const wchar_t* name) {
  owner_ = owner;
  return Create(owner, name, WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU,
                WS_EX_TOOLWINDOW | WS_EX_DLGMODALFRAME, 0, 0, 0, 0);
}

void OBSmallDialog::Close() {
  if (owner_ != 0 && IsWindow(owner_)) {
    EnableWindow(owner_, true);
    if (close_shows_hidden_owner_) {
      SetForegroundWindow(owner_);
      ::uilib::ShowWindow(owner_, SW_SHOW);
    } else if (IsWindowVisible(owner_)) {
      SetForegroundWindow(owner_);
      ::uilib::ShowWindow(owner_, SW_SHOWNORMAL);
    }
  }
  if (GetHWND() != 0) ::uilib::ShowWindow(GetHWND(), SW_HIDE);
}

LRESULT OBSmallDialog::HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == WM_CLOSE) {
    Close();
    return 0;
  }
  return OBUIWindow::HandleMessage(msg, wparam, lparam);
}

void OBSmallDialog::Place() {
  if (owner_ != 0 && IsWindow(owner_)) {
    if (IsIconic(owner_)) {
      ::uilib::ShowWindow(owner_, SW_SHOWNORMAL);
      SetForegroundWindow(owner_);
    }
    RECT owner_rc{};
    RECT rc{};
    GetWindowRect(owner_, &owner_rc);
    GetWindowRect(GetHWND(), &rc);
    int x = owner_rc.left + (owner_rc.Width() - rc.Width()) / 2;
    int y = owner_rc.top + (owner_rc.Height() - rc.Height()) / 2;
    SetWindowPos(GetHWND(), 0, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  } else {
    CenterWindow();
  }
}

void OBSmallDialog::ShowModal() {
  // A dialog whose window could not be made (its creation logged why) is
  // no dialog: its owner must stay usable.
  if (GetHWND() == 0) return;
  CenterWindow();
  ::uilib::ShowWindow(GetHWND(), SW_SHOW);
  if (owner_ != 0 && IsWindow(owner_)) EnableWindow(owner_, false);
}

void OBSmallDialog::SetLabel(const wchar_t* name, const std::wstring& text) {
  if (CControlUI* label = Find(name)) label->SetText(text);
}
