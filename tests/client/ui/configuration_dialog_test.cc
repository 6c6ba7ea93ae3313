#include "client/ui/settings/configuration_dialog.h"
#include "client/ui/settings/confirm_dialog.h"
#include "client/ui/settings/ob_context_menu.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "client/core/config_keys.h"
#include "client/core/config_store.h"
#include "client/core/core_events.h"
#include "client/ui/dialogs/warning_dialog.h"
#include "client/ui/settings/store_folder_choice.h"
#include "runtime/util/edition_registry.h"
#include "runtime/util/registry.h"
#include "runtime/util/text_convert.h"
#include "tests/client/ui/default_skin_layouts.h"
#include "tests/client/ui/test_window.h"
#include "tests/support/test_support.h"
#include "uilib/backend/headless/headless_backend.h"
#include "uilib/testing/ui_test_driver.h"
#include "uilib/controls/container_ui.h"
#include "uilib/controls/option_ui.h"
#include "uilib/winsys/win_api.h"

using namespace uilib;
namespace driver = uilib::test_driver;

namespace ombrix::test {
namespace {

constexpr wchar_t kEdition[] = L"E100";

class ConfigurationDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UseHeadlessBackend();
    ASSERT_NO_FATAL_FAILURE(MakeStore());
    ASSERT_NO_FATAL_FAILURE(MakeDialog());
  }
  void MakeStore() {
    std::filesystem::create_directories(dir.Sub("Ombrix/OBSkin/other"));
    store = std::make_unique<ConfigStore>(brx::util::Utf8ToWide(dir.Sub("Ombrix")), L"other");
    store->LoadSystemConfig();
    ASSERT_TRUE(store->CheckSkinAndLoadGameConfigs());
    context.skin_folder = DefaultSkin();
    events.Subscribe(SEVENT_CONFIG_CHANGE_SYSTEM, [this](const EventParameter* p) {
      auto* e = static_cast<const payload::SEVENT_CONFIG_CHANGE_SYSTEM*>(p);
      fired.push_back(L"34:" + std::to_wstring(e->origin_kind) + L"," +
                      std::to_wstring(e->origin_handle) + L":" +
                      store->system().GetConfigValue(config_keys::kOneShotSound, L""));
    });
    events.Subscribe(SEVENT_CONFIG_CHANGE_GAME, [this](const EventParameter* p) {
      auto* e = static_cast<const payload::SEVENT_CONFIG_CHANGE_GAME*>(p);
      fired.push_back(L"35:" + e->game_id + L":" + std::to_wstring(e->origin_kind) + L"," +
                      std::to_wstring(e->origin_handle));
    });
    owner = std::make_unique<TestWindow>(DefaultSkin() + L"/about_dialog.xml", false, &context);
    ASSERT_NE(owner->CreateDefault(), 0u);
  }
  // (Again) with the walk limits of the moment.
  void MakeDialog() {
    ConfigurationDialogHost host;
    host.config = store.get();
    host.events = &events;
    host.edition_key = kEdition;
    host.controls = &context;
    host.login_password = [] { return std::wstring(L"cipher-text"); };
    host.show_quota_overflow = [this](int mb) { quota_warnings.push_back(mb); };
    host.choose_folder = [this](HWND chooser_owner, const std::wstring& title,
                                std::wstring* folder) {
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
    host.store_walk.max_entries = walk_entries;
    host.store_walk.on_entry_for_testing = [this] { gate.Pass(); };
    dialog.reset();
    dialog = std::make_unique<CConfigurationDialog>(std::move(host));
    ASSERT_NE(dialog->CreateDialogWindow(owner->GetHWND()), 0u);
  }
  void TearDown() override { gate.Open(); }

  // Holds the folder walks at their next entry while closed.
  struct Gate {
    std::mutex mutex;
    std::condition_variable changed;
    bool closed = false;
    int held = 0;
    std::thread::id walker;
    void Pass() {
      std::unique_lock<std::mutex> lock(mutex);
      walker = std::this_thread::get_id();
      ++held;
      changed.notify_all();
      changed.wait(lock, [this] { return !closed; });
      --held;
    }
    void Close() {
      std::lock_guard<std::mutex> lock(mutex);
      closed = true;
    }
    void Open() {
      std::lock_guard<std::mutex> lock(mutex);
      closed = false;
      changed.notify_all();
    }
    bool WaitUntilHeld() {
      std::unique_lock<std::mutex> lock(mutex);
      return changed.wait_for(lock, std::chrono::seconds(10), [this] { return held > 0; });
    }
  };
  // Runs the dialog's messages until its folder walks have reported.
  bool WaitForWalks() {
    return WaitUntil([&] {
      driver::Pump();
      return !dialog->measuring();
    });
  }
  bool WarningShows(const std::wstring& text) {
    CWarningDialog* warning = dialog->warning_dialog();
    return warning != nullptr && IsWindowVisible(warning->GetHWND()) &&
           warning->paint_manager().FindControl(L"messagelabel")->GetText() == text;
  }
  void DismissWarning() {
    ASSERT_NE(dialog->warning_dialog(), nullptr);
    driver::PressKey(dialog->warning_dialog()->GetHWND(), VK_RETURN);
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
  static void CollectShowing(CControlUI* control, const std::wstring& text,
                             std::vector<CControlUI*>* out) {
    if (control == nullptr || !control->IsVisible()) return;
    if (control->GetText() == text) out->push_back(control);
    auto* box = static_cast<CContainerUI*>(control->GetInterface(kInterfaceContainer));
    for (int i = 0; box != nullptr && i < box->GetCount(); ++i)
      CollectShowing(box->GetItemAt(i), text, out);
  }
  bool Checked(const wchar_t* name) { return static_cast<COptionUI*>(C(name))->IsSelected(); }
  bool Click(const wchar_t* name) { return driver::Click(dialog->paint_manager(), name); }
  void Type(const wchar_t* name, const std::wstring& text) {
    C(name)->SetText(L"");
    ASSERT_TRUE(driver::TypeInto(dialog->paint_manager(), name, text));
  }
  std::wstring Game(const wchar_t* key) {
    return store->games().GetGameConfigValue(L"other", key, L"?");
  }
  std::wstring Sys(const wchar_t* key) { return store->system().GetConfigValue(key, L"?"); }
  std::wstring Hive(const wchar_t* root) {
    uint32_t v = 0;
    return brx::util::ReadLaunchingWithGame(brx::util::EditionRegistryPath(root, kEdition), &v)
               ? std::to_wstring(v)
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
  size_t walk_entries = 100000;
  Gate gate;
  std::unique_ptr<CConfigurationDialog> dialog;
};

TEST_F(ConfigurationDialogTest, LoadsCancelsAndSavesEveryTab) {
  // No value in either hive: not checked. Then the user's hive wins over
  // the machine's.
  dialog->Show(1);
  EXPECT_FALSE(Checked(L"checkLaunchingWithGame"));
  dialog->Close();
  brx::util::WriteRegistryDword(
      0, brx::util::EditionRegistryPath(brx::util::kCurrentUserRoot, kEdition),
      L"LaunchingWithGame");
  brx::util::WriteRegistryDword(
      1, brx::util::EditionRegistryPath(brx::util::kLocalMachineRoot, kEdition),
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
  ASSERT_TRUE(WaitForWalks());
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

// The check after sign-in measures the folder the screenshots really go
// to, on a thread of its own, whether or not the reminder box is ticked:
// a fresh install (screenshots below the program folder) is warned too.
TEST_F(ConfigurationDialogTest, TheQuotaCheckMeasuresTheScreenshotFolderOffTheGuiThread) {
  SystemConfig& sys = store->system();
  sys.SetConfigValue(config_keys::kQuotaEnable, L"0");
  const std::string fresh = dir.Sub("Ombrix/OBSnapshot/2026/12");
  std::filesystem::create_directories(fresh);
  WriteFile(fresh + "/big.jpg", "");
  std::filesystem::resize_file(fresh + "/big.jpg", 500ull * 1048576 + 1);  // sparse: no disk used

  gate.Close();
  ASSERT_TRUE(dialog->RunQuotaCheck());
  ASSERT_TRUE(gate.WaitUntilHeld());
  // The GUI thread is free while the walk waits.
  EXPECT_NE(gate.walker, std::this_thread::get_id());
  EXPECT_TRUE(dialog->measuring());
  driver::Pump();
  EXPECT_TRUE(quota_warnings.empty());
  gate.Open();
  ASSERT_TRUE(WaitForWalks());
  EXPECT_EQ(quota_warnings, std::vector<int>{500});
  EXPECT_TRUE(IsWindowVisible(dialog->GetHWND()));
  EXPECT_EQ(dialog->current_tab(), static_cast<uint32_t>(CConfigurationDialog::kFolder));
  dialog->Close();

  // A custom folder holding exactly the quota is not over it; one byte
  // more is.
  std::string shots = dir.Sub("shots/OBSnapshot");
  std::filesystem::create_directories(shots + "/2026/12");
  WriteFile(shots + "/a.jpg", std::string(700 * 1024, 'a'));
  WriteFile(shots + "/2026/12/b.jpg", std::string(1048576 - 700 * 1024, 'b'));
  sys.SetStoreType(L"custom");
  sys.SetStorePath(brx::util::Utf8ToWide(dir.Sub("shots")));
  sys.SetQuotaSize(1);
  ASSERT_TRUE(dialog->RunQuotaCheck());
  ASSERT_TRUE(WaitForWalks());
  EXPECT_EQ(quota_warnings.size(), 1u);
  WriteFile(shots + "/2026/12/c.jpg", "c");
  ASSERT_TRUE(dialog->RunQuotaCheck());
  ASSERT_TRUE(WaitForWalks());
  EXPECT_EQ(quota_warnings, (std::vector<int>{500, 1}));

  // A folder with more entries than a walk may take ends the walk early:
  // under the quota as far as it got, so no warning, and no hang.
  walk_entries = 3;
  ASSERT_NO_FATAL_FAILURE(MakeDialog());
  sys.SetQuotaSize(5);
  ASSERT_TRUE(dialog->RunQuotaCheck());
  ASSERT_TRUE(WaitForWalks());
  EXPECT_EQ(quota_warnings.size(), 2u);
}

// The folder the user browses to is made plain before it is used; the
// root, the system's folders and folders a walk cannot measure in time
// are refused with a message and leave the field and the store as they
// were; a typed folder is held to the same rules on OK.
TEST_F(ConfigurationDialogTest, AChosenFolderIsMadePlainAndFoldersTheProgramMayNotUseAreRefused) {
  SystemConfig& sys = store->system();
  dialog->Show(3);
  ASSERT_TRUE(Click(L"saveToMySet"));
  ASSERT_TRUE(Click(L"SetBtn"));  // nothing typed: the stored type stays
  EXPECT_EQ(sys.GetStoreType(), L"default");

  for (const std::wstring refused : {L"/", L"/proc/self", L"/usr/share"}) {
    folder_answers.push_back(refused);
    ASSERT_TRUE(Click(L"navigateFolder"));
    EXPECT_TRUE(WarningShows(kStoreFolderIsSystem)) << brx::util::WideToUtf8(refused);
    EXPECT_EQ(C(L"navigateEdit")->GetText(), L"");
    EXPECT_FALSE(dialog->measuring());
    DismissWarning();
  }
  EXPECT_FALSE(dialog->dirty());

  // "a//b/../c/" becomes "a/c"; the folder is made when screenshots come.
  std::filesystem::create_directories(dir.Sub("a/b"));
  folder_answers.push_back(brx::util::Utf8ToWide(dir.Sub("a//b/../c/")));
  gate.Close();
  ASSERT_TRUE(Click(L"navigateFolder"));
  ASSERT_TRUE(gate.WaitUntilHeld());
  // Being checked: it shows, and nothing can be saved meanwhile.
  EXPECT_EQ(C(L"navigateEdit")->GetText(), brx::util::Utf8ToWide(dir.Sub("a/c")));
  EXPECT_FALSE(C(L"OKBtn")->IsEnabled());
  EXPECT_FALSE(C(L"SetBtn")->IsEnabled());
  Click(L"OKBtn");
  EXPECT_TRUE(IsWindowVisible(dialog->GetHWND()));
  gate.Open();
  ASSERT_TRUE(WaitForWalks());
  EXPECT_TRUE(C(L"OKBtn")->IsEnabled());
  EXPECT_TRUE(dialog->dirty());
  ASSERT_TRUE(Click(L"SetBtn"));
  EXPECT_EQ(sys.GetStoreType(), L"custom");
  EXPECT_EQ(sys.GetStorePath(), brx::util::Utf8ToWide(dir.Sub("a/c/OBSnapshot")));
  EXPECT_EQ(sys.GetSnapshotDirectory(), sys.GetStorePath());

  // A store the quota check could not measure in time.
  walk_entries = 5;
  ASSERT_NO_FATAL_FAILURE(MakeDialog());
  dialog->Show(3);
  const std::string crowded = dir.Sub("crowded/OBSnapshot");
  std::filesystem::create_directories(crowded);
  for (int i = 0; i < 10; ++i) WriteFile(crowded + "/" + std::to_string(i) + ".jpg", "x");
  folder_answers.push_back(brx::util::Utf8ToWide(dir.Sub("crowded")));
  ASSERT_TRUE(Click(L"navigateFolder"));
  ASSERT_TRUE(WaitForWalks());
  EXPECT_TRUE(WarningShows(kStoreFolderTooBig));
  EXPECT_EQ(C(L"navigateEdit")->GetText(), brx::util::Utf8ToWide(dir.Sub("a/c/OBSnapshot")));
  EXPECT_FALSE(dialog->dirty());
  DismissWarning();
  EXPECT_TRUE(C(L"OKBtn")->IsEnabled());

  // Typed: refused on OK with the reason, nothing written, still open.
  Type(L"navigateEdit", L"/");
  ASSERT_TRUE(Click(L"OKBtn"));
  EXPECT_TRUE(WarningShows(kStoreFolderIsSystem));
  Snapshot("settings_folder_typed_root.png");
  EXPECT_TRUE(HeadlessBackend::Current()->RenderWindowToPng(
      dialog->warning_dialog()->GetHWND(),
      BinaryDir() + "/test-output/settings/folder_refused.png"));
  DismissWarning();
  Type(L"navigateEdit", L"shots");
  ASSERT_TRUE(Click(L"OKBtn"));
  EXPECT_TRUE(WarningShows(kStoreFolderNotAbsolute));
  DismissWarning();
  EXPECT_TRUE(IsWindowVisible(dialog->GetHWND()));
  EXPECT_EQ(sys.GetStorePath(), brx::util::Utf8ToWide(dir.Sub("a/c/OBSnapshot")));
  EXPECT_EQ(fired.size(), 4u);  // the two Applies above, none since
  Type(L"navigateEdit", brx::util::Utf8ToWide(dir.Sub("typed/")));
  ASSERT_TRUE(Click(L"OKBtn"));
  EXPECT_FALSE(IsWindowVisible(dialog->GetHWND()));
  EXPECT_EQ(sys.GetStorePath(), brx::util::Utf8ToWide(dir.Sub("typed/OBSnapshot")));
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
  EXPECT_EQ(host.calls, (std::vector<std::wstring>{L"change", L"1:登录后继续刚才的操作!|",
                                                   L"2:确定要退出翎岚吗？|",
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
