#include "client/ui/settings/configuration_dialog.h"
#include "client/ui/settings/confirm_dialog.h"
#include "client/ui/settings/ob_context_menu.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "client/core/config_keys.h"
#include "client/core/config_store.h"
#include "client/core/core_events.h"
#include "runtime/util/edition_registry.h"
#include "runtime/util/registry.h"
#include "runtime/util/text_convert.h"
#include "tests/client/ui/default_skin_layouts.h"
#include "tests/client/ui/test_window.h"
#include "tests/support/test_support.h"
#include "uilib/backend/headless/headless_backend.h"
#include "uilib/backend/headless/ui_test_driver.h"
#include "uilib/container_ui.h"
#include "uilib/option_ui.h"
#include "uilib/win_api.h"

using namespace uilib;
namespace driver = uilib::test_driver;

namespace ombrix::test {
namespace {

constexpr wchar_t kEdition[] = L"E100";

class ConfigurationDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UseHeadlessBackend();
    std::filesystem::create_directories(dir.Sub("Ombrix/OBSkin/other"));
    store = std::make_unique<ConfigStore>(brx::util::Utf8ToWide(dir.Sub("Ombrix")), L"other");
    store->LoadSystemConfig();
    ASSERT_TRUE(store->CheckSkinAndLoadGameConfigs());
    context.skin_folder = DefaultSkin();
    events.Subscribe(SEVENT_CONFIG_CHANGE_SYSTEM, [this](const EventParameter* p) {
      auto* e = static_cast<const payload::SEVENT_CONFIG_CHANGE_SYSTEM*>(p);
      fired.push_back(L"34:" + std::to_wstring(e->origin_kind) + L"," + std::to_wstring(e->origin_handle) +
                      L":" + store->system().GetConfigValue(config_keys::kOneShotSound, L""));
    });
    events.Subscribe(SEVENT_CONFIG_CHANGE_GAME, [this](const EventParameter* p) {
      auto* e = static_cast<const payload::SEVENT_CONFIG_CHANGE_GAME*>(p);
      fired.push_back(L"35:" + e->game_id + L":" + std::to_wstring(e->origin_kind) + L"," +
                      std::to_wstring(e->origin_handle));
    });
    owner = std::make_unique<TestWindow>(DefaultSkin() + L"/about_dialog.xml", false, &context);
    ASSERT_NE(owner->CreateDefault(), 0u);
    ConfigurationDialogHost host;
    host.config = store.get();
    host.events = &events;
    host.edition_key = kEdition;
    host.controls = &context;
    host.login_password = [] { return std::wstring(L"cipher-text"); };
    host.show_quota_overflow = [this](int mb) { quota_warnings.push_back(mb); };
    host.choose_folder = [this](HWND chooser_owner, const std::wstring& title, std::wstring* folder) {
      chooser_calls.push_back({chooser_owner, title, *folder});
      if (folder_answers.empty() || !folder_answers.front()) {
        if (!folder_answers.empty()) folder_answers.erase(folder_answers.begin());
        *folder = L"must be ignored";  // a cancelled choice leaves nothing behind
        return false;
      }
      *folder = *folder_answers.front();
      folder_answers.erase(folder_answers.begin());
      return true;
    };
    dialog = std::make_unique<CConfigurationDialog>(std::move(host));
    ASSERT_NE(dialog->CreateDialogWindow(owner->GetHWND()), 0u);
  }

  CControlUI* C(const wchar_t* name) { return dialog->paint_manager().FindControlQuiet(name); }
  // Clicks where the user sees `text`: exactly one control may show it.
  bool ClickWhatReads(const std::wstring& text) {
    std::vector<CControlUI*> shown;
    CollectShowing(dialog->paint_manager().GetRoot(), text, &shown);
    EXPECT_EQ(shown.size(), 1u) << brx::util::WideToUtf8(text);
    if (shown.size() != 1) return false;
    const RECT& rc = shown[0]->GetPos();
    driver::ClickAt(dialog->GetHWND(), POINT{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2});
    return true;
  }
  static void CollectShowing(CControlUI* control, const std::wstring& text, std::vector<CControlUI*>* out) {
    if (control == nullptr || !control->IsVisible()) return;
    if (control->GetText() == text) out->push_back(control);
    auto* box = static_cast<CContainerUI*>(control->GetInterface(kInterfaceContainer));
    for (int i = 0; box != nullptr && i < box->GetCount(); ++i) CollectShowing(box->GetItemAt(i), text, out);
  }
  bool Checked(const wchar_t* name) { return static_cast<COptionUI*>(C(name))->IsSelected(); }
  bool Click(const wchar_t* name) { return driver::Click(dialog->paint_manager(), name); }
  void Type(const wchar_t* name, const std::wstring& text) {
    C(name)->SetText(L"");
    ASSERT_TRUE(driver::TypeInto(dialog->paint_manager(), name, text));
  }
  std::wstring Game(const wchar_t* key) { return store->games().GetGameConfigValue(L"other", key, L"?"); }
  std::wstring Sys(const wchar_t* key) { return store->system().GetConfigValue(key, L"?"); }
  std::wstring Hive(const wchar_t* root) {
    uint32_t v = 0;
    return brx::util::ReadLaunchingWithGame(brx::util::EditionRegistryPath(root, kEdition), &v) ? std::to_wstring(v)
                                                                                                 : L"none";
  }
  void Snapshot(const std::string& name) {
    std::string out = BinaryDir() + "/test-output/settings";
    std::filesystem::create_directories(out);
    EXPECT_TRUE(HeadlessBackend::Current()->RenderWindowToPng(dialog->GetHWND(), out + "/" + name));
  }

  TempDir dir;
  ScopedEnv registry{"OMBRIX_REGISTRY_DIR", dir.Sub("registry")};
  ScopedEnv xdg{"XDG_CONFIG_HOME", dir.Sub("config")};
  ScopedEnv home{"HOME", dir.Sub("home")};
  std::unique_ptr<ConfigStore> store;
  ControlContext context;
  EventChain events;
  std::vector<std::wstring> fired;
  std::vector<int> quota_warnings;
  struct ChooserCall {
    HWND owner;
    std::wstring title;
    std::wstring start;
  };
  std::vector<ChooserCall> chooser_calls;
  std::vector<std::optional<std::wstring>> folder_answers;
  std::unique_ptr<TestWindow> owner;
  std::unique_ptr<CConfigurationDialog> dialog;
};

TEST_F(ConfigurationDialogTest, LoadsCancelsAndSavesEveryTab) {
  // No value in either hive: not checked. Then the user's hive wins over
  // the machine's.
  dialog->Show(1);
  EXPECT_FALSE(Checked(L"checkLaunchingWithGame"));
  dialog->Close();
  brx::util::WriteRegistryDword(0, brx::util::EditionRegistryPath(brx::util::kCurrentUserRoot, kEdition),
                                L"LaunchingWithGame");
  brx::util::WriteRegistryDword(1, brx::util::EditionRegistryPath(brx::util::kLocalMachineRoot, kEdition),
                                L"LaunchingWithGame");
  SystemConfig& sys = store->system();
  sys.SetOneShotSound(true);
  sys.SetManyShotSound(false);
  sys.SetStoreType(L"mydocument");
  sys.SetConfigValue(config_keys::kQuotaEnable, L"0");
  store->games().SetTimeShotInterval(L"other", 0);

  dialog->Show(1);
  EXPECT_FALSE(IsWindowEnabled(owner->GetHWND()));
  EXPECT_TRUE(IsWindowVisible(dialog->GetHWND()));
  EXPECT_TRUE(Checked(L"checkLaunchingWithGame"));
  EXPECT_TRUE(C(L"checkLaunchingWithGameTipContainer")->IsVisible());
  EXPECT_FALSE(C(L"SetBtn")->IsEnabled());
  Snapshot("settings_normal.png");

  // The security page, then Escape: the owner is usable again, and the
  // next Show(3) lands on the folder tab of the first page, not on a blank
  // second page.
  ASSERT_TRUE(Click(L"Container2Btn1"));
  EXPECT_EQ(dialog->current_page(), 2u);
  EXPECT_TRUE(C(L"pwdsecSetContainer")->IsVisible());
  EXPECT_EQ(C(L"textAutoLoginMessage")->GetText(), L"您没有设置自动登录");
  Snapshot("settings_security.png");
  driver::PressKey(dialog->GetHWND(), VK_ESCAPE);
  EXPECT_TRUE(IsWindowEnabled(owner->GetHWND()));
  EXPECT_FALSE(IsWindowVisible(dialog->GetHWND()));
  dialog->Show(3);
  EXPECT_EQ(dialog->current_page(), 1u);
  EXPECT_TRUE(C(L"Container1")->IsVisible());
  EXPECT_TRUE(C(L"folderSetContainer")->IsVisible());
  EXPECT_TRUE(Checked(L"saveTomyDocument"));
  EXPECT_FALSE(C(L"navigateEdit")->IsEnabled());
  EXPECT_FALSE(Checked(L"remindQuota"));
  EXPECT_FALSE(C(L"quotaEdit")->IsEnabled());
  Snapshot("settings_folder.png");

  // Sound: muting clears and disables both boxes; Cancel keeps the store
  // and the next Show brings the stored state back in full.
  ASSERT_TRUE(Click(L"soundsetBtn"));
  EXPECT_TRUE(Checked(L"OTShot"));
  EXPECT_FALSE(Checked(L"CTShot"));
  ASSERT_TRUE(Click(L"CTShot"));
  ASSERT_TRUE(Click(L"muteSound"));
  EXPECT_FALSE(Checked(L"OTShot"));
  EXPECT_FALSE(C(L"CTShot")->IsEnabled());
  EXPECT_TRUE(C(L"SetBtn")->IsEnabled());
  ASSERT_TRUE(Click(L"CancelBtn"));
  EXPECT_TRUE(IsWindowEnabled(owner->GetHWND()));
  EXPECT_EQ(Sys(config_keys::kOneShotSound), L"1");
  dialog->Show(1);
  ASSERT_TRUE(Click(L"soundsetBtn"));
  EXPECT_FALSE(Checked(L"muteSound"));
  EXPECT_TRUE(Checked(L"OTShot"));
  EXPECT_FALSE(Checked(L"CTShot"));
  EXPECT_TRUE(C(L"CTShot")->IsEnabled());
  EXPECT_TRUE(fired.empty());

  // Change something on every tab, then Apply.
  ASSERT_TRUE(Click(L"normalSetBtn"));
  ASSERT_TRUE(Click(L"checkLaunchingWithGame"));
  ASSERT_TRUE(Click(L"checkAutoLogin"));
  ASSERT_TRUE(Click(L"accelSetBtn"));
  EXPECT_FALSE(Checked(L"TimeShot"));
  EXPECT_FALSE(C(L"timerShotEdit")->IsEnabled());
  Snapshot("settings_accel.png");
  Type(L"OneShotAccel", L"F9");
  Type(L"durationEdit", L"3");
  Type(L"intervalEdit", L"7.5");
  ASSERT_TRUE(Click(L"TimeShot"));
  Type(L"timerShotEdit", L"12");
  ASSERT_TRUE(Click(L"soundsetBtn"));
  ASSERT_TRUE(Click(L"CTShot"));
  ASSERT_TRUE(Click(L"folderSetBtn"));
  ASSERT_TRUE(Click(L"saveToMySet"));  // with an empty path: the type stays
  EXPECT_TRUE(C(L"navigateEdit")->IsEnabled());
  ASSERT_TRUE(Click(L"remindQuota"));
  Type(L"quotaEdit", L"250");
  EXPECT_TRUE(C(L"SetBtn")->IsEnabled());
  ASSERT_TRUE(Click(L"SetBtn"));

  EXPECT_FALSE(C(L"SetBtn")->IsEnabled());
  EXPECT_TRUE(IsWindowVisible(dialog->GetHWND()));
  // System first (already holding the new values), then the current game.
  EXPECT_EQ(fired, (std::vector<std::wstring>{L"34:2,0:1", L"35:other:2,0"}));
  EXPECT_EQ(Hive(brx::util::kCurrentUserRoot), L"1");
  EXPECT_EQ(Hive(brx::util::kLocalMachineRoot), L"1");
  EXPECT_EQ(Sys(config_keys::kAutoLogin), L"1");
  EXPECT_EQ(sys.GetPassword(), L"cipher-text");
  EXPECT_EQ(Game(config_keys::kOneShotKey), L"F9");
  EXPECT_EQ(Game(config_keys::kManyShotDuration), L"3");
  EXPECT_EQ(Game(config_keys::kManyShotInterval), L"3.0");
  EXPECT_EQ(Game(config_keys::kTimeShotInterval), L"12");
  EXPECT_EQ(Sys(config_keys::kManyShotSound), L"1");
  EXPECT_EQ(Sys(config_keys::kStoreType), L"mydocument");
  EXPECT_EQ(Sys(config_keys::kQuotaEnable), L"1");
  EXPECT_EQ(Sys(config_keys::kQuotaSize), L"250");

  // A custom folder with a path, and the timed shot off again; OK closes.
  ASSERT_TRUE(Click(L"folderSetBtn"));
  Type(L"navigateEdit", L"/tmp/shots");
  ASSERT_TRUE(Click(L"accelSetBtn"));
  ASSERT_TRUE(Click(L"TimeShot"));
  ASSERT_TRUE(Click(L"OKBtn"));
  EXPECT_FALSE(IsWindowVisible(dialog->GetHWND()));
  EXPECT_TRUE(IsWindowEnabled(owner->GetHWND()));
  EXPECT_EQ(Sys(config_keys::kStoreType), L"custom");
  EXPECT_EQ(sys.GetStorePath().empty(), false);
  EXPECT_EQ(Game(config_keys::kTimeShotInterval), L"0");
  EXPECT_EQ(fired.size(), 4u);
}

// The two page tabs at the top read "常规设置" and "安全设置" on either
// page, and clicking where the user sees them goes back and forth.
TEST_F(ConfigurationDialogTest, ThePageTabsTakeTheUserToEitherPageAndBack) {
  dialog->Show(1);
  for (int round = 0; round < 2; ++round) {
    ASSERT_TRUE(ClickWhatReads(L"安全设置"));
    EXPECT_EQ(dialog->current_page(), 2u);
    EXPECT_TRUE(C(L"pwdsecSetContainer")->IsVisible());
    EXPECT_FALSE(C(L"regularSetContainer")->IsVisible());
    if (round == 0) Snapshot("settings_security_page.png");
    ASSERT_TRUE(ClickWhatReads(L"常规设置"));
    EXPECT_EQ(dialog->current_page(), 1u);
    EXPECT_EQ(dialog->current_tab(), static_cast<uint32_t>(CConfigurationDialog::kNormal));
    EXPECT_TRUE(C(L"regularSetContainer")->IsVisible());
    EXPECT_FALSE(C(L"pwdsecSetContainer")->IsVisible());
    if (round == 0) Snapshot("settings_normal_page.png");
  }
}

TEST_F(ConfigurationDialogTest, BrowsingPutsTheChosenFolderInTheFieldAndACancelKeepsIt) {
  SystemConfig& sys = store->system();
  const std::wstring stored = brx::util::Utf8ToWide(dir.Sub("old shots"));
  sys.SetStoreType(L"custom");
  sys.SetStorePath(stored);
  dialog->Show(3);
  const std::wstring loaded = C(L"navigateEdit")->GetText();
  ASSERT_FALSE(loaded.empty());
  ASSERT_TRUE(C(L"navigateFolder")->IsEnabled());
  ASSERT_FALSE(C(L"SetBtn")->IsEnabled());

  // Cancelled: the field, the dirty state and the stored path stay.
  folder_answers.push_back(std::nullopt);
  ASSERT_TRUE(Click(L"navigateFolder"));
  ASSERT_EQ(chooser_calls.size(), 1u);
  EXPECT_EQ(chooser_calls[0].owner, dialog->GetHWND());
  EXPECT_EQ(chooser_calls[0].title, L"选择翎岚文件夹的保存位置");
  EXPECT_EQ(chooser_calls[0].start, loaded) << "opens where the field points";
  EXPECT_EQ(C(L"navigateEdit")->GetText(), loaded);
  EXPECT_FALSE(dialog->dirty());
  EXPECT_FALSE(C(L"SetBtn")->IsEnabled());

  // Chosen: into the field, dirty; OK stores it as the custom folder.
  const std::wstring chosen = brx::util::Utf8ToWide(dir.Sub("new shots"));
  folder_answers.push_back(chosen);
  ASSERT_TRUE(Click(L"navigateFolder"));
  ASSERT_EQ(chooser_calls.size(), 2u);
  EXPECT_EQ(C(L"navigateEdit")->GetText(), chosen);
  EXPECT_TRUE(dialog->dirty());
  EXPECT_TRUE(C(L"SetBtn")->IsEnabled());
  EXPECT_EQ(sys.GetStorePath(), loaded) << "nothing is stored before OK or Apply";
  ASSERT_TRUE(Click(L"OKBtn"));
  EXPECT_EQ(Sys(config_keys::kStoreType), L"custom");
  EXPECT_NE(sys.GetStorePath(), loaded);
  EXPECT_EQ(sys.GetStorePath().rfind(chosen, 0), 0u) << "the chosen folder, as the store keeps it";

  // A default folder: the browse button cannot be used.
  dialog->Show(3);
  ASSERT_TRUE(Click(L"saveToDefaultFolder"));
  EXPECT_FALSE(C(L"navigateFolder")->IsEnabled());
  Click(L"navigateFolder");
  EXPECT_EQ(chooser_calls.size(), 2u);
  dialog->Close();
}

TEST_F(ConfigurationDialogTest, QuotaWarnsOnlyAboveTheQuotaAndWhenAskedTo) {
  SystemConfig& sys = store->system();
  std::string shots = dir.Sub("shots/OBSnapshot");
  std::filesystem::create_directories(shots + "/2026/12");
  WriteFile(shots + "/a.jpg", std::string(700 * 1024, 'a'));
  WriteFile(shots + "/2026/12/b.jpg", std::string(1048576 - 700 * 1024, 'b'));
  sys.SetStoreType(L"custom");
  sys.SetStorePath(brx::util::Utf8ToWide(dir.Sub("shots")));
  sys.SetQuotaSize(1);
  sys.SetConfigValue(config_keys::kQuotaEnable, L"1");

  EXPECT_FALSE(dialog->RunQuotaCheck());  // exactly the quota
  WriteFile(shots + "/2026/12/c.jpg", "c");
  sys.SetConfigValue(config_keys::kQuotaEnable, L"0");
  EXPECT_FALSE(dialog->RunQuotaCheck());  // reminder switched off
  EXPECT_TRUE(quota_warnings.empty());
  sys.SetConfigValue(config_keys::kQuotaEnable, L"1");
  EXPECT_TRUE(dialog->RunQuotaCheck());
  EXPECT_EQ(quota_warnings, std::vector<int>{1});
  EXPECT_TRUE(IsWindowVisible(dialog->GetHWND()));
  EXPECT_EQ(dialog->current_tab(), static_cast<uint32_t>(CConfigurationDialog::kFolder));
}

}  // namespace
}  // namespace ombrix::test

namespace ombrix::test {
namespace {

class RecordingMenuHost : public ContextMenuHost {
 public:
  HWND MainWindow() const override { return main; }
  bool IsSignedOutState() const override { return signed_out; }
  void ChangeUser() override { calls.push_back(L"change"); }
  void ShowAbout() override { calls.push_back(L"about"); }
  void OpenCommunitySite() override { calls.push_back(L"community"); }
  void AskYesNo(int kind, const std::wstring& first, const std::wstring& second) override {
    calls.push_back(std::to_wstring(kind) + L":" + first + L"|" + second);
  }
  HWND main = 0;
  bool signed_out = true;
  std::vector<std::wstring> calls;
};

TEST_F(ConfigurationDialogTest, ContextMenuAndConfirmDialogKeepTheOwnerUsable) {
  RecordingMenuHost host;
  host.main = owner->GetHWND();
  ConfigurationDialogHost settings;
  settings.config = store.get();
  settings.controls = &context;
  settings.edition_key = kEdition;
  COBContextMenu menu(&host, settings);
  ASSERT_TRUE(menu.Create());
  auto& pm = menu.paint_manager();
  menu.SetSignedOut(true);
  EXPECT_FALSE(pm.FindControlQuiet(L"configureBtn")->IsEnabled());
  EXPECT_EQ(pm.FindControlQuiet(L"changeUserBtn")->GetText(), L"   登录翎岚");

  menu.Toggle();
  RECT main{}, rc{};
  GetWindowRect(owner->GetHWND(), &main);
  GetWindowRect(menu.GetHWND(), &rc);
  EXPECT_TRUE(IsWindowVisible(menu.GetHWND()));
  EXPECT_EQ(rc.left, main.left + 38);
  EXPECT_EQ(rc.bottom, main.bottom - 35);
  ASSERT_TRUE(driver::Click(pm, L"changeUserBtn"));
  EXPECT_FALSE(IsWindowVisible(menu.GetHWND()));
  menu.RequestLogin(true);

  host.signed_out = false;
  menu.SetSignedOut(false);
  menu.ShowAt();
  ASSERT_TRUE(driver::Click(pm, L"exitBtn"));
  menu.ShowAt();
  ASSERT_TRUE(driver::Click(pm, L"changeUserBtn"));
  EXPECT_EQ(host.calls, (std::vector<std::wstring>{L"change", L"1:登录后继续刚才的操作!|", L"2:确定要退出翎岚吗？|",
                                                   L"1:您确定要退出，更换其他帐号|登录吗？"}));
  menu.ShowAt();
  ASSERT_TRUE(driver::Click(pm, L"configureBtn"));
  EXPECT_TRUE(IsWindowVisible(menu.settings()->GetHWND()));
  EXPECT_FALSE(IsWindowEnabled(owner->GetHWND()));
  menu.settings()->Close();
  menu.ShowAt();
  SendMessage(menu.GetHWND(), WM_NCACTIVATE, 0, 0);
  EXPECT_FALSE(IsWindowVisible(menu.GetHWND()));

  CConfirmDialog confirm(&context);
  ASSERT_NE(confirm.CreateDialogWindow(owner->GetHWND()), 0u);
  std::vector<std::wstring> answers;
  confirm.SetCallbacks([&](uintptr_t v) { answers.push_back(L"yes" + std::to_wstring(v)); },
                       [&](uintptr_t v) { answers.push_back(L"no" + std::to_wstring(v)); });
  confirm.SetUserValue(7);
  for (const wchar_t* button : {L"confirmbtn", L"denybtn", L"closebtn"}) {
    confirm.Show();
    EXPECT_FALSE(IsWindowEnabled(owner->GetHWND()));
    EXPECT_EQ(confirm.paint_manager().FindControlQuiet(L"messagelabel")->GetText(), L"确定删除?");
    ASSERT_TRUE(driver::Click(confirm.paint_manager(), button));
    EXPECT_TRUE(IsWindowEnabled(owner->GetHWND()));
    EXPECT_FALSE(IsWindowVisible(confirm.GetHWND()));
  }
  EXPECT_EQ(answers, (std::vector<std::wstring>{L"yes7", L"no7"}));
}

}  // namespace
}  // namespace ombrix::test
