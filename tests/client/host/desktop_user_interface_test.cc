#include "client/host/desktop_user_interface.h"

#include <unistd.h>

#include <filesystem>
#include <set>

#include <gtest/gtest.h>

#include "client/app/ob_application.h"
#include "client/core/ui_string_table.h"
#include "client/host/client_composition.h"
#include "client/host/web_logic_adapter.h"
#include "client/web/ob_logic_web_server_config.h"
#include "client/web/web_logic_manager.h"
#include "client/ui/avatar/ob_update_user_image_dlg.h"
#include "client/ui/frame/frame_windows.h"
#include "client/ui/userinfo/user_info_dialog.h"
#include "client/ui/frame/ob_frame_wnd.h"
#include "client/ui/settings/configuration_dialog.h"
#include "client/ui/login/ob_login_wnd.h"
#include "client/ui/tray/ob_wnd_tray.h"
#include "runtime/base/thread_message_queue.h"
#include "runtime/http/download_to_file.h"
#include "runtime/util/edition.h"
#include "runtime/util/file_util.h"
#include "runtime/util/text_convert.h"
#include "tests/support/test_support.h"
#include "tests/support/web_standin.h"
#include "uilib/backend/headless/headless_backend.h"
#include "uilib/testing/ui_test_driver.h"
#include "uilib/winsys/notify_icon.h"
#include "uilib/controls/paint_manager_ui.h"
#include "uilib/winsys/win_api.h"

namespace {

namespace fs = std::filesystem;
using ombrix::test::DistDir;
using ombrix::test::ScopedEnv;
using ombrix::test::TempDir;

std::wstring W(const std::string& s) { return brx::util::Utf8ToWide(s); }

// The client started as OBHost.exe starts it, from a private program
// folder with the installed skins, on windows kept in memory.
class DesktopUserInterfaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    uilib::SetUiBackend(
        std::make_unique<uilib::HeadlessBackend>(uilib::HeadlessBackend::Options{}));
    backend_ = uilib::HeadlessBackend::Current();
    ASSERT_NE(backend_, nullptr);
    fs::copy(DistDir() + "/OBSkin", dir_.Sub("OBSkin"), fs::copy_options::recursive);
    fs::copy(DistDir() + "/games", dir_.Sub("games"), fs::copy_options::recursive);
    for (const char* icon : {"OBHost156.png", "OBHost157.png", "OBHost158.png"})
      if (fs::exists(DistDir() + "/" + icon)) fs::copy_file(DistDir() + "/" + icon, dir_.Sub(icon));
    ASSERT_TRUE(
        brx::util::CopyFileOver(W(DistDir() + "/OBVerCustom.dll"), W(dir_.Sub("OBVerCustom.dll"))));
    ombrix::test::WriteFile(dir_.Sub("OBVerCustom.ini"),
                            "GameId=other\nKey=OB-TEST\nInstallHook=0\n"
                            "GlobalConfig=http://127.0.0.1:9/\n");
    brx::util::SetEditionLibraryPathForTesting(dir_.Sub("OBVerCustom.dll"));
    brx::util::ResetEditionCacheForTesting();
    ASSERT_NE(getcwd(old_cwd_, sizeof old_cwd_), nullptr);
    ASSERT_EQ(chdir(dir_.path().c_str()), 0);  // the skins are found from the program folder
    UIStringTable::Build(1033);
  }
  void TearDown() override {
    ui_.reset();
    if (OBApplication::Get() != nullptr) {
      OBApplication::Get()->logic().Stop();
      OBApplication::Get()->ReleaseInstanceLock();
      OBApplication::DestroyApplication();
    }
    UIStringTable::Destroy();
    EXPECT_EQ(chdir(old_cwd_), 0);
    brx::util::SetEditionLibraryPathForTesting("");
    brx::util::ResetEditionCacheForTesting();
  }

  OBApplication* Start(const std::string& command_line) {
    ui_ = std::make_unique<DesktopUserInterface>(composition_);
    OBApplication::Options options;
    options.program_folder = W(dir_.path());
    options.compose_parts = composition_.Composer();
    if (!OBApplication::InitialApplication(ui_.get(), command_line, std::move(options)))
      return nullptr;
    return OBApplication::Get();
  }

  TempDir dir_;
  TempDir state_;
  ScopedEnv pipes_{"OMBRIX_PIPE_DIR", state_.Sub("pipes")};
  ScopedEnv locks_{"OMBRIX_LOCK_DIR", state_.Sub("locks")};
  ScopedEnv registry_{"OMBRIX_REGISTRY_DIR", state_.Sub("registry")};
  ScopedEnv config_{"XDG_CONFIG_HOME", state_.Sub("config")};
  ScopedEnv fonts_{"OMBRIX_FONT_CHECK", "present"};
  brx::base::ThreadMessageQueue queue_;
  char old_cwd_[4096] = {};
  uilib::HeadlessBackend* backend_ = nullptr;
  ClientComposition composition_;
  std::unique_ptr<DesktopUserInterface> ui_;
};

TEST_F(DesktopUserInterfaceTest,
       MakesTheThreeWindowsLinkedWithTheLoginWindowInFrontThenTakesThemDown) {
  OBApplication* app = Start("--gui");
  ASSERT_NE(app, nullptr);
  ui_->CreateMainWindows(app);
  COBFrameWnd* frame = ui_->frame();
  COBLoginWnd* login = ui_->login();
  OBWndTray* tray = ui_->tray();
  ASSERT_NE(frame, nullptr);
  ASSERT_NE(login, nullptr);
  ASSERT_NE(tray, nullptr);

  // The main window waits hidden with the product's name; the tray's
  // window is never shown; the login window is in front, centred in the
  // work area, with the signed-out icon and the keyboard in the account.
  EXPECT_FALSE(uilib::IsWindowVisible(frame->GetHWND()));
  EXPECT_EQ(uilib::GetWindowText(frame->GetHWND()), L"OmBrix");
  EXPECT_EQ(uilib::GetWindowText(tray->GetHWND()), L"OBTray");
  EXPECT_FALSE(uilib::IsWindowVisible(tray->GetHWND()));
  uilib::HWND hwnd = login->GetHWND();
  EXPECT_TRUE(uilib::IsWindowVisible(hwnd));
  EXPECT_EQ(uilib::GetWindowText(hwnd), L"OmBrix");
  EXPECT_EQ(uilib::GetForegroundWindow(), hwnd);
  EXPECT_FALSE(uilib::IsTopMost(hwnd)) << "pushed to the top, not kept there";
  uilib::RECT rc{}, work = uilib::GetWorkArea();
  uilib::GetWindowRect(hwnd, &rc);
  EXPECT_NEAR(rc.left + rc.Width() / 2, (work.left + work.right) / 2, 1);
  EXPECT_NEAR(rc.top + rc.Height() / 2, (work.top + work.bottom) / 2, 1);
  EXPECT_EQ(uilib::GetWindowIconId(hwnd, true), 156);
  ASSERT_NE(login->paint_manager().GetFocus(), nullptr);
  EXPECT_EQ(login->paint_manager().GetFocus()->GetName(), L"accountedit");
  EXPECT_EQ(login->state(), COBLoginWnd::State::kNormal);
  // The tray opens the login window; its icon shows the signed-out state.
  EXPECT_EQ(tray->target_window(), hwnd);
  ASSERT_NE(backend_->GetNotifyIconForTesting(), nullptr);
  EXPECT_EQ(backend_->GetNotifyIconForTesting()->GetIconId(), 156);
  // Each icon id has its own picture from the program folder.
  std::set<std::string> pictures;
  for (int id : {156, 157, 158}) {
    const std::string path = uilib::GetIconResourcePath(id);
    EXPECT_EQ(path, dir_.Sub("OBHost" + std::to_string(id) + ".png"));
    pictures.insert(ombrix::test::ReadFile(path));
  }
  EXPECT_EQ(pictures.size(), 3u);
  EXPECT_EQ(pictures.count(""), 0u);
  // The current game's tool tips.
  EXPECT_EQ(uilib::CPaintManagerUI::GetToolTipFor(L"closebtn"), L"关闭");

  // The loop's steps reach the windows: a message dispatched to the login
  // window is handled there.
  brx::base::Message msg{};
  msg.hwnd = hwnd;
  msg.message = uilib::WM_SETICON;
  msg.wParam = 1;
  msg.lParam = 157;
  EXPECT_FALSE(ui_->TranslateMessage(msg));
  ui_->DispatchMessage(msg);
  EXPECT_EQ(uilib::GetWindowIconId(hwnd, true), 157);

  // The tray's settings entry opens the main window's settings dialog.
  EXPECT_EQ(frame->windows().settings(), nullptr);
  uilib::SendMessage(tray->GetHWND(), uilib::WM_COMMAND, OBWndTray::kCmdSettings, 0);
  ASSERT_NE(frame->windows().settings(), nullptr);
  EXPECT_TRUE(uilib::IsWindowVisible(frame->windows().settings()->GetHWND()));
  frame->windows().CloseSettings();

  // Message boxes are the skin library's.
  backend_->ClearActions();
  ui_->ShowMessageBox(L"Ombrix is running", L"Tip");
  ui_->ShowMessageBox(nullptr, nullptr);
  auto boxes = backend_->ActionsOf("message_box");
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].detail, L"Tip: Ombrix is running");
  EXPECT_EQ(boxes[1].detail, L": ");

  // After the loop: the tray goes, then the other two before the
  // application object.
  uilib::HWND tray_hwnd = tray->GetHWND();
  uilib::HWND frame_hwnd = frame->GetHWND();
  ui_->DestroyTrayWindow();
  EXPECT_EQ(ui_->tray(), nullptr);
  EXPECT_FALSE(uilib::IsWindow(tray_hwnd));
  EXPECT_TRUE(uilib::IsWindow(hwnd));
  ui_->CloseWindows();
  EXPECT_FALSE(uilib::IsWindow(hwnd));
  EXPECT_FALSE(uilib::IsWindow(frame_hwnd));
}

TEST_F(DesktopUserInterfaceTest,
       TheSettingsDialogsBrowseButtonAsksTheLibrarysFolderChooserOverTheDialog) {
  OBApplication* app = Start("--gui");
  ASSERT_NE(app, nullptr);
  ui_->CreateMainWindows(app);
  ASSERT_NE(ui_->frame(), nullptr);
  ASSERT_NE(ui_->tray(), nullptr);
  uilib::SendMessage(ui_->tray()->GetHWND(), uilib::WM_COMMAND, OBWndTray::kCmdSettings, 0);
  CConfigurationDialog* settings = ui_->frame()->windows().settings();
  ASSERT_NE(settings, nullptr);
  const uilib::HWND dialog = settings->GetHWND();
  uilib::CPaintManagerUI& pm = settings->paint_manager();
  ASSERT_TRUE(uilib::test_driver::Click(pm, L"folderSetBtn"));
  ASSERT_TRUE(uilib::test_driver::Click(pm, L"saveToMySet"));
  uilib::CControlUI* edit = pm.FindControlQuiet(L"navigateEdit");
  ASSERT_NE(edit, nullptr);
  ASSERT_TRUE(pm.FindControlQuiet(L"navigateFolder")->IsEnabled());
  edit->SetText(L"");
  ASSERT_TRUE(uilib::test_driver::Click(pm, L"SetBtn"));  // a clean start: nothing to apply
  ASSERT_FALSE(pm.FindControlQuiet(L"SetBtn")->IsEnabled());

  // The user picks a folder: it lands in the field and the change can be
  // applied. The chooser was modal to the dialog, which works again after.
  const std::string chosen = dir_.Sub("my shots");
  backend_->ClearActions();
  backend_->QueueFolderChoice(W(chosen));
  ASSERT_TRUE(uilib::test_driver::Click(pm, L"navigateFolder"));
  // Whether the quota check could measure it is found off the GUI thread.
  ASSERT_TRUE(ombrix::test::WaitUntil([&] {
    uilib::test_driver::Pump();
    return !settings->measuring();
  }));
  auto asked = backend_->ActionsOf("folder_chooser");
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].hwnd, dialog);
  EXPECT_EQ(asked[0].detail, L"选择翎岚文件夹的保存位置: ");
  EXPECT_EQ(edit->GetText(), W(chosen));
  EXPECT_TRUE(pm.FindControlQuiet(L"SetBtn")->IsEnabled());
  EXPECT_TRUE(uilib::IsWindowEnabled(dialog));
  bool dialog_disabled = false;
  for (const auto& a : backend_->ActionsOf("disable")) dialog_disabled |= a.hwnd == dialog;
  EXPECT_TRUE(dialog_disabled) << "the dialog takes no input while the chooser is up";

  // Browsing again opens at that folder; cancelling keeps the field.
  ASSERT_TRUE(uilib::test_driver::Click(pm, L"SetBtn"));
  backend_->QueueFolderChoice(std::nullopt);
  ASSERT_TRUE(uilib::test_driver::Click(pm, L"navigateFolder"));
  asked = backend_->ActionsOf("folder_chooser");
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[1].detail, L"选择翎岚文件夹的保存位置: " + W(chosen));
  EXPECT_EQ(edit->GetText(), W(chosen));
  EXPECT_FALSE(pm.FindControlQuiet(L"SetBtn")->IsEnabled()) << "a cancelled choice changes nothing";
  EXPECT_TRUE(uilib::IsWindowEnabled(dialog));
  // With nothing queued the chooser counts as cancelled too.
  ASSERT_TRUE(uilib::test_driver::Click(pm, L"navigateFolder"));
  EXPECT_EQ(backend_->ActionsOf("folder_chooser").size(), 3u);
  EXPECT_EQ(edit->GetText(), W(chosen));
  ui_->frame()->windows().CloseSettings();
}

TEST_F(DesktopUserInterfaceTest,
       OverAGameInFullScreenTheLoginWindowAppearsWithoutTakingTheForeground) {
  OBApplication* app = Start("--gui");
  ASSERT_NE(app, nullptr);
  backend_->SetOtherProgramFullScreenForTesting(true);
  ui_->CreateMainWindows(app);
  ASSERT_NE(ui_->login(), nullptr);
  uilib::HWND hwnd = ui_->login()->GetHWND();
  EXPECT_TRUE(uilib::IsWindowVisible(hwnd));
  EXPECT_NE(uilib::GetForegroundWindow(), hwnd);
  EXPECT_FALSE(uilib::IsTopMost(hwnd));
  EXPECT_EQ(uilib::GetWindowIconId(hwnd, true), 156);
}

TEST_F(DesktopUserInterfaceTest, AGameThatAsksForAHiddenLoginGetsNoWindowInFront) {
  OBApplication* app = Start("--gui --TW");
  ASSERT_NE(app, nullptr);
  ASSERT_TRUE(app->hidden_login());
  ui_->CreateMainWindows(app);
  ASSERT_NE(ui_->login(), nullptr);
  uilib::HWND hwnd = ui_->login()->GetHWND();
  EXPECT_FALSE(uilib::IsWindowVisible(hwnd));
  EXPECT_FALSE(uilib::IsWindowVisible(ui_->frame()->GetHWND()));
  EXPECT_NE(uilib::GetForegroundWindow(), hwnd);
  // Still made ready: centred, with its icon, for when it is asked for.
  uilib::RECT rc{}, work = uilib::GetWorkArea();
  uilib::GetWindowRect(hwnd, &rc);
  EXPECT_NEAR(rc.left + rc.Width() / 2, (work.left + work.right) / 2, 1);
  EXPECT_EQ(uilib::GetWindowIconId(hwnd, true), 156);
  EXPECT_EQ(ui_->tray()->target_window(), hwnd);
}

}  // namespace

TEST_F(DesktopUserInterfaceTest,
       TheProfileEditorOpensTheAvatarEditorOverItselfWithTheKeyOfEachOpen) {
  // The upload address is the service's, so the editor waits for the
  // server configuration.
  OBApplication* app = Start("--gui");
  ASSERT_NE(app, nullptr);
  ui_->CreateMainWindows(app);
  FrameWindows& windows = ui_->frame()->windows();
  CUserInfoDialog* profile = windows.EnsureUserInfo();
  ASSERT_NE(profile, nullptr);
  windows.OpenAvatarEditor(L"key-1", uilib::RECT{10, 10, 530, 450});
  EXPECT_EQ(ui_->avatar_editor(), nullptr);

  // The web stand-in's own configuration, fetched from it: its servers
  // are a host and a port, and the page posts beside its commands.
  ombrix::test::WebStandin standin;
  ASSERT_TRUE(standin.running());
  ASSERT_TRUE(brx::http::DownloadToFile(standin.base_url() + "/gsc", dir_.Sub("gsc.test"), {}));
  composition_.web_logic()->manager().ServerConfig().LoadLocalConfig(L"gsc");
  windows.OpenAvatarEditor(L"key-1", uilib::RECT{10, 10, 530, 450});
  ASSERT_NE(ui_->avatar_editor(), nullptr);
  COBUpdateUserImageDlg* editor = ui_->avatar_editor();
  std::string host = standin.host();
  host.replace(host.find(':'), 1, "%3A");
  EXPECT_NE(editor->PageUrl().find("?upload=http%3A%2F%2F" + host + "%2FUploadHeadImage.axd"),
            std::string::npos)
      << editor->PageUrl();
  EXPECT_EQ(editor->owner(), profile->GetHWND());
  EXPECT_EQ(editor->key(), L"key-1");
  EXPECT_NE(editor->GetHWND(), 0u);
  // The next open brings the key of the user signed in then, in the same
  // window.
  uilib::HWND hwnd = editor->GetHWND();
  windows.OpenAvatarEditor(L"key-2", uilib::RECT{10, 10, 530, 450});
  EXPECT_EQ(ui_->avatar_editor(), editor);
  EXPECT_EQ(editor->GetHWND(), hwnd);
  EXPECT_EQ(editor->key(), L"key-2");
  ui_->CloseWindows();
  EXPECT_FALSE(uilib::IsWindow(hwnd));
}
