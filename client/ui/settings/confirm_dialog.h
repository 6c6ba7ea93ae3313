#pragma once

#include <cstdint>
#include <functional>

#include "client/ui/base/ob_ui_window.h"
#include "client/ui/controls/control_context.h"

// "Delete?" asked over an owner window that stays disabled while the
// question is open. The callbacks get the value the asker stored with
// SetUserValue. Created once by its owner, shown many times; GUI thread
// only.
class CConfirmDialog : public OBUIWindow {
 public:
  using Callback = std::function<void(uintptr_t user_value)>;

  explicit CConfirmDialog(const ControlContext* controls);

  uilib::LPCTSTR GetWindowClassName() const override { return L"OBConfirmDialog"; }
  void Notify(uilib::TNotifyUI& msg) override;
  // The window manager's close goes as the close button: nothing is deleted.
  uilib::LRESULT HandleMessage(uilib::UINT msg, uilib::WPARAM wparam,
                               uilib::LPARAM lparam) override;

  uilib::HWND CreateDialogWindow(uilib::HWND owner);
  void SetCallbacks(Callback confirm, Callback deny);
  void SetUserValue(uintptr_t value) { user_value_ = value; }
  void Show();
  void Close();

 protected:
  void InitControls() override;

 private:
  uilib::HWND owner_ = 0;
  Callback confirm_;
  Callback deny_;
  uintptr_t user_value_ = 0;
};
