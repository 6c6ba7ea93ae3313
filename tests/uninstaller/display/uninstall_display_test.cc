// The uninstaller's dialog as a real toolkit window: each page (and the
// confirmation) is written as PNG to <build>/test-output/uninstaller for
// review.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "runtime/util/edition_registry.h"
#include "runtime/util/text_convert.h"
#include "tests/support/test_support.h"
#include "uilib/testing/gtk_testing.h"
#include "uilib/testing/ui_test_driver.h"
#include "uilib/winsys/ui_backend.h"
#include "uilib/winsys/win_api.h"
#include "uilib/winsys/window_snapshot.h"
#include "uninstaller/ui/uninstall_dialog.h"

namespace {

namespace td = uilib::test_driver;
using ombrix::test::ScopedEnv;

std::string OutputDir() {
  std::string out = ombrix::test::BinaryDir() + "/test-output";
  mkdir(out.c_str(), 0755);
  out += "/uninstaller";
  mkdir(out.c_str(), 0755);
  return out;
}

bool Settle(const std::function<bool()>& done) {
  return ombrix::test::WaitUntil(
      [&] {
        uilib::gtk_testing::Iterate(5);
        td::Pump();
        return done();
      },
      std::chrono::milliseconds(10000));
}

TEST(UninstallDisplayTest, BothPagesAndTheConfirmationAreDrawn) {
  auto gtk = uilib::CreateGtkUiBackend();
  ASSERT_NE(gtk, nullptr) << "no display although one was promised";
  auto previous = uilib::SetUiBackend(std::move(gtk));

  ombrix::test::TempDir dir;
  std::filesystem::create_directories(dir.Sub("program/OBSnapshot"));
  for (const char* name : {"Ombrix.exe", "OBVerCustom.dll", "OBHost.exe", "OBSnapshot/shot.png"})
    ombrix::test::WriteFile(dir.Sub("program/") + name, name);
  for (int i = 0; i < 40; ++i)
    ombrix::test::WriteFile(dir.Sub("program/OBSnapshot/" + std::to_string(i) + ".png"), "");
  ScopedEnv locks("OMBRIX_LOCK_DIR", dir.Sub("locks"));
  ScopedEnv registry("OMBRIX_REGISTRY_DIR", dir.Sub("registry"));
  ScopedEnv config("XDG_CONFIG_HOME", dir.Sub("config"));
  for (const wchar_t* root : {brx::util::kLocalMachineRoot, brx::util::kCurrentUserRoot})
    brx::util::WriteEditionValues(brx::util::EditionRegistryPath(root, L"OB-DEMO"),
                                  brx::util::Utf8ToWide(dir.Sub("program")), L"OB-DEMO");
  {
    UninstallDialog dialog(brx::util::Utf8ToWide(ombrix::test::DistDir() + "/OBUninstall.xml"),
                           "OB-DEMO", dir.Sub("program"), L"2.3.109.05", "http://127.0.0.1:9", "");
    ASSERT_TRUE(dialog.Open());
    uilib::HWND hwnd = dialog.GetHWND();
    ASSERT_TRUE(Settle([&] { return uilib::gtk_testing::IsMapped(hwnd); }));
    EXPECT_TRUE(uilib::SaveWindowSnapshot(hwnd, OutputDir() + "/page1.png"));
    ASSERT_TRUE(td::Click(dialog.paint_manager(), L"1004"));
    EXPECT_TRUE(uilib::SaveWindowSnapshot(hwnd, OutputDir() + "/confirm.png"));
    ASSERT_TRUE(td::Click(dialog.paint_manager(), L"msgok"));
    ASSERT_TRUE(Settle([&] { return dialog.removal_finished(); }));
    EXPECT_TRUE(uilib::SaveWindowSnapshot(hwnd, OutputDir() + "/page2.png"));
    ASSERT_TRUE(td::Click(dialog.paint_manager(), L"1007"));
    EXPECT_FALSE(uilib::IsWindow(hwnd));
    dialog.WaitForReport();
  }
  uilib::SetUiBackend(std::move(previous));
}

}  // namespace
