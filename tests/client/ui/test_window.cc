#include "tests/client/ui/test_window.h"

#include "client/ui/controls/dialog_builder_callback_ex.h"
#include "runtime/util/text_convert.h"
#include "tests/support/test_support.h"
#include "uilib/backend/headless/headless_backend.h"
#include "uilib/winsys/ui_backend.h"

namespace ombrix::test {

TestWindow::TestWindow(const std::wstring& layout, bool color_key, const ControlContext* context,
                       bool* destroyed)
    : OBUIWindow(std::make_unique<CDialogBuilderCallbackEx>(context), color_key),
      destroyed_(destroyed) {
  skin_source_ = layout;
}

TestWindow::TestWindow(const std::wstring& layout,
                       std::unique_ptr<uilib::IDialogBuilderCallback> callback, bool* destroyed)
    : OBUIWindow(std::move(callback), true), destroyed_(destroyed) {
  skin_source_ = layout;
}

TestWindow::~TestWindow() {
  if (destroyed_ != nullptr) *destroyed_ = true;
}

void TestWindow::Notify(uilib::TNotifyUI& msg) {
  notes.push_back(msg.sType + L":" + (msg.pSender != nullptr ? msg.pSender->GetName() : L""));
  if (on_notify) on_notify(msg);
}

uilib::HWND TestWindow::CreateDefault() {
  return Create(0, L"test",
                uilib::WS_POPUP | uilib::WS_CAPTION | uilib::WS_THICKFRAME | uilib::WS_MAXIMIZEBOX,
                0, 100, 100, 400, 300);
}

std::wstring FixtureSkin() {
  return brx::util::Utf8ToWide(SourceDir() + "/tests/client/ui/fixtures/OBSkin/test");
}

std::wstring FixtureLayout(const std::wstring& file) { return FixtureSkin() + L"/" + file; }

void UseHeadlessBackend() {
  uilib::HeadlessBackend::Options options;
  options.manual_clock = true;
  uilib::SetUiBackend(std::make_unique<uilib::HeadlessBackend>(options));
}

}  // namespace ombrix::test
