// The uninstaller's dialog on the headless backend, driven by clicks and
// keys through the real message path, over a real removal of a private
// installation.

#include <filesystem>

#include <gtest/gtest.h>

#include "runtime/platform/registry_store.h"
#include "runtime/platform/single_instance_lock.h"
#include "runtime/util/edition_registry.h"
#include "runtime/util/registry.h"
#include "runtime/util/text_convert.h"
#include "tests/support/test_support.h"
#include "tests/support/web_standin.h"
#include "uilib/backend/headless/headless_backend.h"
#include "uilib/testing/ui_test_driver.h"
#include "uilib/controls/container_ui.h"
#include "uilib/winsys/win_api.h"
#include "uninstaller/ui/uninstall_dialog.h"

namespace {

namespace fs = std::filesystem;
namespace driver = uilib::test_driver;
using brx::platform::Hive;
using ombrix::test::PathExists;
using ombrix::test::ScopedEnv;
using ombrix::test::WaitUntil;
using ombrix::test::WriteFile;
using uilib::HWND;

constexpr char kEditionKey[] = "SOFTWARE\\Dorsk\\Ombrix\\OB-DEMO";
constexpr int kManyFiles = 300;

class UninstallDialogTest : public ::testing::Test {
 protected:
  UninstallDialogTest() : web_(WebOptions()) {
    for (const char* sub : {"program/OBSnapshot/other", "program/Log", "state"})
      fs::create_directories(dir_.Sub(sub));
    for (const char* name :
         {"Ombrix.exe", "OBVerCustom.dll", "Log/old.log", "OBSnapshot/other/shot.png"})
      WriteFile(Program(name), name);
    for (int i = 0; i < kManyFiles; ++i)
      WriteFile(Program("Log/" + std::to_string(1000 + i) + ".log"), "log");
    for (auto [name, value] : std::initializer_list<std::pair<const char*, std::string>>{
             {"OMBRIX_LOCK_DIR", dir_.Sub("state/locks")},
             {"OMBRIX_REGISTRY_DIR", dir_.Sub("state/registry")},
             {"XDG_CONFIG_HOME", dir_.Sub("state/config")}})
      env_.push_back(std::make_unique<ScopedEnv>(name, value));
    for (const wchar_t* root : {brx::util::kLocalMachineRoot, brx::util::kCurrentUserRoot})
      brx::util::WriteEditionValues(brx::util::EditionRegistryPath(root, L"OB-DEMO"),
                                    brx::util::Utf8ToWide(dir_.Sub("program")), L"OB-DEMO");
    previous_ = uilib::SetUiBackend(std::make_unique<uilib::HeadlessBackend>());
  }
  ~UninstallDialogTest() override { uilib::SetUiBackend(std::move(previous_)); }

  static ombrix::test::WebStandin::Options WebOptions() {
    ombrix::test::WebStandin::Options options;
    options.demo_user = false;
    return options;
  }

  std::string Program(const std::string& name) const { return dir_.Sub("program/" + name); }

  std::unique_ptr<UninstallDialog> OpenDialog() {
    auto dialog = std::make_unique<UninstallDialog>(
        brx::util::Utf8ToWide(ombrix::test::DistDir() + "/OBUninstall.xml"), "OB-DEMO",
        dir_.Sub("program"), L"2.3.109.05", web_.base_url(), "http://127.0.0.1:9/site");
    EXPECT_TRUE(dialog->Open());
    driver::Pump();
    return dialog;
  }

  uilib::CControlUI* Find(UninstallDialog& dialog, const wchar_t* name) {
    return dialog.paint_manager().FindControl(name);
  }

  bool Visible(UninstallDialog& dialog, const wchar_t* name) {
    return Find(dialog, name)->IsVisible();
  }

  ombrix::test::TempDir dir_;
  ombrix::test::WebStandin web_;
  std::vector<std::unique_ptr<ScopedEnv>> env_;
  std::unique_ptr<uilib::UiBackend> previous_;
};

TEST_F(UninstallDialogTest, RemovesLineByLineAndCannotBeClosedBeforeTheEnd) {
  auto dialog = OpenDialog();
  HWND hwnd = dialog->GetHWND();
  EXPECT_EQ(uilib::GetWindowText(hwnd), L"卸载翎岚");
  EXPECT_TRUE(Visible(*dialog, L"201"));
  EXPECT_FALSE(Visible(*dialog, L"202"));
  EXPECT_EQ(Find(*dialog, L"1003")->GetText(), L"http://127.0.0.1:9/site");

  // The link opens the web site.
  ASSERT_TRUE(driver::Click(dialog->paint_manager(), L"1003"));
  auto opened = uilib::HeadlessBackend::Current()->recording_shell().requests();
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0].target, "http://127.0.0.1:9/site");

  // A running client, then a running game, keep the user on page 1.
  struct Running {
    const char* lock;
    const wchar_t* says;
  } running[] = {{"Global\\OBHOST_MUTEX", L"卸载程序检测到翎岚正在运行,请退出翎岚后重试"},
                 {"OB-DEMO", L"卸载程序检测到游戏正在运行,请退出游戏后重试"}};
  for (const Running& r : running) {
    std::unique_ptr<brx::platform::SingleInstanceLock> lock;
    ASSERT_EQ(brx::platform::SingleInstanceLock::Acquire(r.lock, &lock),
              brx::platform::SingleInstanceLock::Result::kAcquired);
    ASSERT_TRUE(driver::Click(dialog->paint_manager(), L"1004"));
    EXPECT_TRUE(Visible(*dialog, L"msgbox"));
    EXPECT_EQ(Find(*dialog, L"msgcaption")->GetText(), L"提示");
    EXPECT_EQ(Find(*dialog, L"msgtext")->GetText(), r.says);
    EXPECT_FALSE(Visible(*dialog, L"msgcancel"));
    // The page behind takes no clicks while the question is open.
    EXPECT_FALSE(Find(*dialog, L"1005")->IsEnabled());
    ASSERT_TRUE(driver::Click(dialog->paint_manager(), L"msgok"));
    EXPECT_FALSE(Visible(*dialog, L"msgbox"));
    EXPECT_TRUE(Visible(*dialog, L"201"));
    EXPECT_FALSE(dialog->removal_started());
  }
  EXPECT_TRUE(PathExists(Program("Ombrix.exe")));

  // Confirmed with Enter: page 2 lists the removal as it goes.
  ASSERT_TRUE(driver::Click(dialog->paint_manager(), L"1004"));
  EXPECT_EQ(Find(*dialog, L"msgcaption")->GetText(), L"警告");
  EXPECT_EQ(Find(*dialog, L"msgtext")->GetText(), L"卸载翎岚,将会删除游戏截图,确认删除?");
  driver::PressKey(hwnd, uilib::VK_RETURN);
  ASSERT_TRUE(dialog->removal_started());
  EXPECT_FALSE(Visible(*dialog, L"201"));
  EXPECT_TRUE(Visible(*dialog, L"202"));
  EXPECT_EQ(Find(*dialog, L"1011")->GetText(), L"翎岚卸载...");

  // Escape, a close request and "完成" do nothing until the removal is done.
  auto* list = static_cast<uilib::CContainerUI*>(Find(*dialog, L"1009"));
  size_t lines_seen_before_end = 0;
  while (!dialog->removal_finished()) {
    // Sent, not posted: nothing queued (such as the end of the removal,
    // after which closing is allowed) is delivered between the attempts.
    uilib::SendMessage(hwnd, uilib::WM_KEYDOWN, uilib::VK_ESCAPE, 1);
    uilib::SendMessage(hwnd, uilib::WM_CHAR, uilib::VK_ESCAPE, 1);
    uilib::SendMessage(hwnd, uilib::WM_KEYUP, uilib::VK_ESCAPE, 1);
    uilib::SendMessage(hwnd, uilib::WM_CLOSE, 0, 0);
    EXPECT_FALSE(Find(*dialog, L"1007")->Activate());
    ASSERT_TRUE(uilib::IsWindow(hwnd)) << "closed during the removal";
    lines_seen_before_end = std::max(lines_seen_before_end, static_cast<size_t>(list->GetCount()));
    driver::Pump();
  }
  ASSERT_TRUE(uilib::IsWindow(hwnd));
  EXPECT_TRUE(Find(*dialog, L"1007")->IsEnabled());
  EXPECT_GT(lines_seen_before_end, 0u);

  // Every file once, relative to the folder, the last line in view.
  const int files = kManyFiles + 4;
  ASSERT_EQ(list->GetCount(), files);
  std::vector<std::wstring> lines;
  for (int i = 0; i < list->GetCount(); ++i) lines.push_back(list->GetItemAt(i)->GetText());
  for (const wchar_t* line : {L"/Ombrix.exe", L"/OBVerCustom.dll", L"/Log/old.log",
                              L"/Log/1000.log", L"/OBSnapshot/other/shot.png"})
    EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end())
        << brx::util::WideToUtf8(line);
  EXPECT_TRUE(list->GetItemAt(files - 1)->IsVisible());
  EXPECT_FALSE(list->GetItemAt(0)->IsVisible());
  EXPECT_FALSE(PathExists(dir_.Sub("program")));
  std::string value;
  EXPECT_FALSE(
      brx::platform::registry::ReadString(Hive::kCurrentUser, kEditionKey, "Directory", &value));

  // "完成" ends the program, which then waits for its report.
  ASSERT_TRUE(driver::Click(dialog->paint_manager(), L"1007"));
  EXPECT_FALSE(uilib::IsWindow(hwnd));
  uilib::MSG msg;
  EXPECT_TRUE(uilib::PeekMessage(&msg, true) && msg.message == brx::base::WM_QUIT);
  dialog->WaitForReport();
  ASSERT_EQ(web_.RequestsTo("/news.ashx").size(), 1u);
  EXPECT_EQ(web_.RequestsTo("/news.ashx")[0].Param("d"), "R7|0");
}

TEST_F(UninstallDialogTest, AFolderThatIsNoInstallationIsToldInAWindow) {
  ShowNotAnInstallation(dir_.Sub("elsewhere"));
  auto boxes = uilib::HeadlessBackend::Current()->ActionsOf("message_box");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].detail, L"提示: " + brx::util::Utf8ToWide(dir_.Sub("elsewhere")) +
                                 L" 不是翎岚的安装文件夹,未删除任何文件");
}

TEST_F(UninstallDialogTest, EveryWayOutOfPageOneRemovesNothing) {
  enum Way { kCancelButton, kEscape, kDeclined, kEscapeAtQuestion };
  for (Way way : {kCancelButton, kEscape, kDeclined, kEscapeAtQuestion}) {
    SCOPED_TRACE(way);
    auto dialog = OpenDialog();
    HWND hwnd = dialog->GetHWND();
    if (way == kDeclined || way == kEscapeAtQuestion) {
      ASSERT_TRUE(driver::Click(dialog->paint_manager(), L"1004"));
    }
    switch (way) {
      case kCancelButton:
        ASSERT_TRUE(driver::Click(dialog->paint_manager(), L"1005"));
        break;
      case kDeclined:
        ASSERT_TRUE(driver::Click(dialog->paint_manager(), L"msgcancel"));
        break;
      case kEscape:
      case kEscapeAtQuestion:
        driver::PressKey(hwnd, uilib::VK_ESCAPE);
        break;
    }
    EXPECT_FALSE(uilib::IsWindow(hwnd));
    EXPECT_FALSE(dialog->removal_started());
    uilib::MSG msg;
    EXPECT_TRUE(uilib::PeekMessage(&msg, true) && msg.message == brx::base::WM_QUIT);
  }
  EXPECT_TRUE(PathExists(Program("OBSnapshot/other/shot.png")));
  EXPECT_TRUE(web_.Requests().empty());
}

}  // namespace
