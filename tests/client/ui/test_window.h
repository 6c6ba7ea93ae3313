#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "client/ui/base/ob_ui_window.h"
#include "client/ui/controls/control_context.h"

namespace ombrix::test {

// A skinned window for tests: any layout, every notification recorded as
// "type:sender name" and offered to `on_notify`.
class TestWindow : public OBUIWindow {
 public:
  TestWindow(const std::wstring& layout, bool color_key, const ControlContext* context,
             bool* destroyed = nullptr);
  // With a callback of the test's choosing.
  TestWindow(const std::wstring& layout, std::unique_ptr<uilib::IDialogBuilderCallback> callback,
             bool* destroyed = nullptr);
  ~TestWindow() override;

  uilib::LPCTSTR GetWindowClassName() const override { return L"OBTestWindow"; }
  void InitControls() override { ++init_calls; }
  void Notify(uilib::TNotifyUI& msg) override;

  // Created at (100, 100) with size 400 x 300; the handle or 0.
  uilib::HWND CreateDefault();

  using OBUIWindow::Find;

  int init_calls = 0;
  std::vector<std::wstring> notes;
  std::function<void(uilib::TNotifyUI&)> on_notify;

 private:
  bool* destroyed_;
};

// The test's fixture skin folder (absolute) and a file in it.
std::wstring FixtureSkin();
std::wstring FixtureLayout(const std::wstring& file);

// Installs a fresh headless backend for the test's windows.
void UseHeadlessBackend();

}  // namespace ombrix::test
