#pragma once

#include <string>

#include "client/ui/dialogs/ob_small_dialog.h"

// What the yes/no confirmation needs of the main window.
class IYesNoFrame {
 public:
  virtual ~IYesNoFrame() = default;
  virtual void HideAndSignOut() = 0;
  // Back to the default page when it is elsewhere.
  virtual void ShowDefaultPage() = 0;
};

// A yes/no confirmation: switching the user (kind 1) or leaving the
// program (kind 2).
class CYesNoDialog : public OBSmallDialog {
 public:
  static constexpr int kSwitchUser = 1;
  static constexpr int kExit = 2;

  // `frame` may be null; it outlives the dialog.
  CYesNoDialog(const std::wstring& skin_folder, IYesNoFrame* frame);

  uilib::LPCTSTR GetWindowClassName() const override { return L"OBYesNoDialog"; }
  uilib::LRESULT HandleMessage(uilib::UINT msg, uilib::WPARAM wparam,
                               uilib::LPARAM lparam) override;
  void Notify(uilib::TNotifyUI& msg) override;

  // `second` non-empty: the text takes two lines.
  void Show(int kind, const std::wstring& text, const std::wstring& second = L"");
  void CloseAndReturn();

 protected:
  void InitControls() override {}

 private:
  IYesNoFrame* frame_;
  int kind_ = 0;
};
