#pragma once

#include <string>

#include "client/ui/dialogs/ob_small_dialog.h"

// A general warning box: a title and a text. Esc acts as its close button,
// Enter as its confirm button.
class CWarningDialog : public OBSmallDialog {
 public:
  explicit CWarningDialog(const std::wstring& skin_folder);

  uilib::LPCTSTR GetWindowClassName() const override { return L"OBWarningDialog"; }
  uilib::LRESULT HandleMessage(uilib::UINT msg, uilib::WPARAM wparam,
                               uilib::LPARAM lparam) override;
  void Notify(uilib::TNotifyUI& msg) override;

  void Show(const std::wstring& title, const std::wstring& text);

 protected:
  void InitControls() override {}
};
