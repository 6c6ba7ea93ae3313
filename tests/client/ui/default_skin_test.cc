#include <gtest/gtest.h>

#include <filesystem>

#include "client/ui/controls/control_context.h"
#include "client/ui/controls/dialog_builder_callback_ex.h"
#include "runtime/util/text_convert.h"
#include "tests/client/ui/default_skin_layouts.h"
#include "tests/client/ui/test_window.h"
#include "tests/support/test_support.h"
#include "uilib/backend/headless/headless_backend.h"
#include "uilib/controls/container_ui.h"
#include "uilib/builder/dialog_builder.h"
#include "uilib/controls/paint_manager_ui.h"
#include "uilib/winsys/win_api.h"

using namespace uilib;

namespace ombrix::test {
namespace {

TEST(DefaultSkinTest, EveryLayoutBuildsWithEveryNamedControl) {
  UseHeadlessBackend();
  ControlContext context;
  context.skin_folder = DefaultSkin();
  std::string out = BinaryDir() + "/test-output/skin";
  std::filesystem::create_directories(out);
  ASSERT_TRUE(CPaintManagerUI::InitToolTips(DefaultSkin() + L"/tooltips.xml"));

  for (const Layout& layout : kDefaultSkinWindows) {
    SCOPED_TRACE(brx::util::WideToUtf8(layout.file));
    TestWindow window(DefaultSkin() + L"/" + layout.file, true, &context);
    HWND hwnd = window.CreateDefault();
    ASSERT_NE(hwnd, 0u);
    for (const wchar_t* name : layout.names)
      EXPECT_NE(window.paint_manager().FindControlQuiet(name), nullptr)
          << brx::util::WideToUtf8(name);
    ShowWindow(hwnd, SW_SHOWNORMAL);
    std::wstring png = layout.file;
    png.replace(png.rfind(L".xml"), 4, L".png");
    EXPECT_TRUE(HeadlessBackend::Current()->RenderWindowToPng(
        hwnd, out + "/" + brx::util::WideToUtf8(png)));
  }
  for (const Layout& layout : kDefaultSkinParts) {
    SCOPED_TRACE(brx::util::WideToUtf8(layout.file));
    CDialogBuilder builder;
    std::unique_ptr<CControlUI> root(builder.Create(DefaultSkin() + L"/" + layout.file));
    ASSERT_NE(root, nullptr) << builder.GetLastErrorMessage();
    auto* box = static_cast<CContainerUI*>(root->GetInterface(kInterfaceContainer));
    ASSERT_NE(box, nullptr);
    for (const wchar_t* name : layout.names)
      EXPECT_NE(box->FindSubControl(name), nullptr) << brx::util::WideToUtf8(name);
  }
  EXPECT_FALSE(CPaintManagerUI::GetToolTipFor(L"userbtn").empty());
}

}  // namespace
}  // namespace ombrix::test
