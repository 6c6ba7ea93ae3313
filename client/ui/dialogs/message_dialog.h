#pragma once

#include "client/ui/dialogs/ob_small_dialog.h"

// The thank-you note after a feedback was taken; it closes itself one
// second after it is shown.
class CMessageDialog : public OBSmallDialog {
 public:
  explicit CMessageDialog(const std::wstring& skin_folder);

  uilib::LPCTSTR GetWindowClassName() const override { return L"OBMessageDialog"; }
  uilib::LRESULT HandleMessage(uilib::UINT msg, uilib::WPARAM wparam,
                               uilib::LPARAM lparam) override;
  void Notify(uilib::TNotifyUI&) override {}

  void Show();

 protected:
  void InitControls() override {}

 private:
  static constexpr uintptr_t kCloseTimer = 1;
  static constexpr uilib::UINT kCloseAfterMs = 1000;
};
