// The real OBUninstall.exe started from a private test installation: it
// restarts from its temporary copy, which talks on standard input/output.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "runtime/platform/process.h"
#include "runtime/platform/registry_store.h"
#include "runtime/platform/single_instance_lock.h"
#include "runtime/util/edition_registry.h"
#include "runtime/util/registry.h"
#include "runtime/util/text_convert.h"
#include "tests/support/web_standin.h"
#include "uninstaller/shortcut_paths.h"
#include "uninstaller/uninstall_command_line.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using brx::platform::Hive;
using ombrix::test::PathExists;
using ombrix::test::ReadFile;
using ombrix::test::ScopedEnv;
using ombrix::test::WaitUntil;
using ombrix::test::WriteFile;

constexpr char kKey[] = "OB-DEMO";
constexpr char kEditionKey[] = "SOFTWARE\\Dorsk\\Ombrix\\OB-DEMO";
constexpr char kBusy[] = "可能被占用,请手动删除";

TEST(UninstallCommandLineTest, KeyAndFolderComeFromTheQuotes) {
  std::string key, folder;
  auto args = UninstallCopyArguments("OB-DEMO", "/opt/my games/Ombrix/");
  std::string line = args[0] + " " + args[1] + " " + args[2];
  EXPECT_EQ(line, "--uninstall \"OB-DEMO\" \"/opt/my games/Ombrix\"");
  ASSERT_TRUE(ParseUninstallCommandLine(line, &key, &folder));
  EXPECT_EQ(key, "OB-DEMO");
  EXPECT_EQ(folder, "/opt/my games/Ombrix");
  for (const char* bad : {"--uninstall \"\" \"/opt\"", "--uninstall \"k\" \"\"", "--uninstall",
                          "--uninstall \"k\"", "--uninstall \"\""})
    EXPECT_FALSE(ParseUninstallCommandLine(bad, &key, &folder)) << bad;
}

// The paths are judged here without deleting anything: a value such as
// "/." must never reach a deletion, not even in a test.
TEST(ShortcutPathTest, OnlyTheProductsOwnEntriesInItsOwnFoldersAreAccepted) {
  ombrix::test::TempDir dir;
  ScopedEnv home("HOME", dir.Sub("home"));
  ScopedEnv data("XDG_DATA_HOME", dir.Sub("home/.local/share"));
  std::string apps = dir.Sub("home/.local/share/applications"), desktop = dir.Sub("home/Desktop");
  for (const std::string& sub : {apps + "/Ombrix", apps + "/Other", desktop})
    fs::create_directories(sub);
  std::string reason;
  EXPECT_EQ(ShortcutPathToRemove(ShortcutKind::kStartMenu, apps + "/Other/..//./Ombrix/", &reason),
            fs::canonical(apps).string() + "/Ombrix");
  EXPECT_EQ(ShortcutPathToRemove(ShortcutKind::kDesktop, desktop + "//Ombrix.desktop", &reason),
            fs::canonical(desktop).string() + "/Ombrix.desktop");
  for (const std::string& value : {std::string("/."), std::string("//"), std::string("/usr/.."),
                                   apps + "/Other", apps + "/..", std::string("relative/Ombrix")})
    EXPECT_EQ(ShortcutPathToRemove(ShortcutKind::kStartMenu, value, &reason), "") << value;
  for (const std::string& value :
       {std::string("/."), desktop + "/notes.txt", desktop + "/sub/x.desktop"})
    EXPECT_EQ(ShortcutPathToRemove(ShortcutKind::kDesktop, value, &reason), "") << value;
}

class UninstallerProcessTest : public ::testing::Test {
 protected:
  UninstallerProcessTest() : web_(WebOptions()) {
    for (const char* sub : {"state", "tmp", "home/Desktop", "home/.local/share/applications"})
      fs::create_directories(dir_.Sub(sub));
    for (auto [name, value] : std::initializer_list<std::pair<const char*, std::string>>{
             {"OMBRIX_LOCK_DIR", dir_.Sub("state/locks")},
             {"OMBRIX_PIPE_DIR", dir_.Sub("state/pipes")},
             {"OMBRIX_REGISTRY_DIR", dir_.Sub("state/registry")},
             {"TMPDIR", dir_.Sub("tmp")},
             {"HOME", dir_.Sub("home")},
             {"XDG_DATA_HOME", dir_.Sub("home/.local/share")},
             {"XDG_CONFIG_HOME", dir_.Sub("state/config")},
             {"OMBRIX_DC_HOST", web_.base_url()},
             {"OMBRIX_UNINSTALL_VIEW", "console"}})
      env_.push_back(std::make_unique<ScopedEnv>(name, value));
    Install();
  }

  // The installation with its shortcuts where the product puts them: HKLM
  // knows only the installation; the shortcuts are HKCU's alone.
  void Install() {
    for (const char* sub : {"program/OBSnapshot/other/2026-12-9", "program/Log"})
      fs::create_directories(dir_.Sub(sub));
    fs::create_directories(Apps("Ombrix"));
    for (const char* name : {"OBUninstall.exe", "OBVerCustom.dll", "OBVerCustom.ini"})
      fs::copy_file(ombrix::test::DistDir() + "/" + name, Program(name),
                    fs::copy_options::overwrite_existing);
    WriteFile(Program("Ombrix.exe"), "the launcher");
    WriteFile(Program("OBSnapshot/other/2026-12-9/shot.png"), "a screenshot");
    WriteFile(Program("Log/old.log"), "a log");
    WriteFile(Home("Desktop/Ombrix.desktop"), "[Desktop Entry]\n");
    WriteFile(Apps("Ombrix/Ombrix.desktop"), "[Desktop Entry]\n");
    for (const wchar_t* root : {brx::util::kLocalMachineRoot, brx::util::kCurrentUserRoot})
      brx::util::WriteEditionValues(brx::util::EditionRegistryPath(root, L"OB-DEMO"),
                                    brx::util::Utf8ToWide(dir_.Sub("program")), L"OB-DEMO");
    SetShortcuts(brx::util::kCurrentUserRoot, Apps("Ombrix"), Home("Desktop/Ombrix.desktop"));
    std::wstring user = brx::util::EditionRegistryPath(brx::util::kCurrentUserRoot, L"OB-DEMO");
    brx::util::WriteRegistryString(user, L"1", L"LaunchingWithGame");
    brx::util::WriteRegistryString(brx::util::kAutoStartKey,
                                   brx::util::Utf8ToWide(Program("Ombrix.exe")), L"Ombrix");
  }

  void SetShortcuts(const wchar_t* root, const std::string& start_menu,
                    const std::string& desktop) {
    std::wstring key = brx::util::EditionRegistryPath(root, L"OB-DEMO");
    brx::util::WriteRegistryString(key, brx::util::Utf8ToWide(start_menu), L"StartMenuPath");
    brx::util::WriteRegistryString(key, brx::util::Utf8ToWide(desktop), L"DeskTopPath");
  }

  static ombrix::test::WebStandin::Options WebOptions() {
    ombrix::test::WebStandin::Options options;
    options.demo_user = false;
    return options;
  }

  std::string Program(const std::string& name) const { return dir_.Sub("program/" + name); }
  std::string Home(const std::string& name) const { return dir_.Sub("home/" + name); }
  std::string Apps(const std::string& name) const {
    return Home(".local/share/applications/" + name);
  }
  std::string TemporaryCopy() const {
    return dir_.Sub("tmp/ombrix-tmp-" + std::to_string(getuid()) + "/OBUinstall.temp");
  }

  // Runs the uninstaller from the installation with `answers` on its
  // standard input; returns what its copy printed once the copy has ended.
  std::string Uninstall(const std::string& answers, const std::vector<std::string>& args = {},
                        const std::string& exe = "") {
    std::string in = dir_.Sub("state/answers"),
                out = dir_.Sub("state/out." + std::to_string(runs_++));
    WriteFile(in, answers);
    std::vector<std::string> strings{exe.empty() ? Program("OBUninstall.exe") : exe};
    strings.insert(strings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& s : strings) argv.push_back(s.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, (out + ".err").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    EXPECT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    int status = -1;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    // The restarted copy ends by deleting itself.
    EXPECT_TRUE(WaitUntil([&] { return !PathExists(TemporaryCopy()); }, std::chrono::seconds(30)));
    errors_ = ReadFile(out + ".err");
    return ReadFile(out);
  }

  bool Has(Hive hive, const char* name) {
    std::string value;
    return brx::platform::registry::ReadString(hive, kEditionKey, name, &value);
  }

  ombrix::test::TempDir dir_;
  ombrix::test::WebStandin web_;
  std::vector<std::unique_ptr<ScopedEnv>> env_;
  int runs_ = 0;
  std::string errors_;  // what the last run's copy wrote on standard error
};

TEST_F(UninstallerProcessTest, RemovesTheInstallationItsValuesAndShortcutsAndReports) {
  std::string out = Uninstall("uninstall\nok\n");
  // Every file on its own line, in listing order, then the end.
  size_t at = out.find("翎岚卸载...");
  for (const char* line : {"/Log/old.log\n", "/OBSnapshot/other/2026-12-9/shot.png\n",
                           "/OBUninstall.exe\n", "/OBVerCustom.dll\n", "/Ombrix.exe\n", "完成\n"}) {
    at = out.find(line, at);
    ASSERT_NE(at, std::string::npos) << line << " in\n" << out;
  }
  EXPECT_FALSE(PathExists(dir_.Sub("program")));
  EXPECT_FALSE(PathExists(Home("Desktop/Ombrix.desktop")));
  EXPECT_FALSE(PathExists(Apps("Ombrix")));
  for (Hive hive : {Hive::kLocalMachine, Hive::kCurrentUser}) {
    for (const char* name : {"Directory", "Version", "Application", "Dll", "Key", "KeyDesc",
                             "InstallHook", "StartMenuPath", "DeskTopPath", "LaunchingWithGame"})
      EXPECT_FALSE(Has(hive, name)) << name;
    uint32_t reject = 0;
    EXPECT_TRUE(brx::platform::registry::ReadDword(hive, kEditionKey, "RejectInstall", &reject));
    EXPECT_EQ(reject, 1u);
  }
  std::wstring autostart;
  EXPECT_FALSE(brx::util::ReadAutoStartValue(&autostart));
  EXPECT_FALSE(PathExists(dir_.Sub("state/config/autostart/Ombrix.desktop")));

  // The copy waited for its report before it ended.
  ASSERT_EQ(web_.RequestsTo("/news.ashx").size(), 1u);
  auto report = web_.RequestsTo("/news.ashx")[0];
  EXPECT_EQ(report.Param("d"), "R7|0");
  EXPECT_EQ(report.Param("vkey"), kKey);
  EXPECT_EQ(report.Param("version"), "2.3.109.05");
}

TEST_F(UninstallerProcessTest, NothingIsRemovedWhileTheClientOrGameRunsOrUnderAnotherUninstaller) {
  struct Case {
    const char* lock;
    const char* says;
  } cases[] = {{"Global\\OBHOST_MUTEX", "卸载程序检测到翎岚正在运行,请退出翎岚后重试"},
               {kKey, "卸载程序检测到游戏正在运行,请退出游戏后重试"},
               {"OBUNINSTALL_MUTEX", ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lock);
    std::unique_ptr<brx::platform::SingleInstanceLock> lock;
    ASSERT_EQ(brx::platform::SingleInstanceLock::Acquire(c.lock, &lock),
              brx::platform::SingleInstanceLock::Result::kAcquired);
    std::string out = Uninstall("uninstall\nuninstall\n");
    if (*c.says) {
      EXPECT_NE(out.find(c.says), std::string::npos) << out;
    } else {
      EXPECT_EQ(out, "");  // a second uninstaller shows nothing at all
    }
    EXPECT_EQ(out.find("翎岚卸载..."), std::string::npos);
  }
  // Cancelling at the confirmation removes nothing either.
  EXPECT_EQ(Uninstall("uninstall\ncancel\n").find("翎岚卸载..."), std::string::npos);
  EXPECT_TRUE(PathExists(Program("OBSnapshot/other/2026-12-9/shot.png")));
  EXPECT_TRUE(Has(Hive::kCurrentUser, "Directory"));
  EXPECT_TRUE(web_.Requests().empty());
}

TEST_F(UninstallerProcessTest, AFolderThatIsNotThisInstallationIsNeverRemoved) {
  fs::create_directories(dir_.Sub("elsewhere"));
  WriteFile(dir_.Sub("elsewhere/keep.txt"), "keep");
  fs::copy_file(Program("OBUninstall.exe"), dir_.Sub("elsewhere/OBUninstall.exe"));
  fs::copy_file(Program("OBVerCustom.dll"), dir_.Sub("elsewhere/OBVerCustom.dll"));
  fs::copy_file(Program("Ombrix.exe"), dir_.Sub("elsewhere/Ombrix.exe"));
  // A copy of the installation's files, but not the folder the registry names.
  std::string out = Uninstall("uninstall\nok\n", {}, dir_.Sub("elsewhere/OBUninstall.exe"));
  EXPECT_NE(out.find("未删除任何文件"), std::string::npos) << out;
  EXPECT_EQ(ReadFile(dir_.Sub("elsewhere/keep.txt")), "keep");
  // A command line naming the root folder or home directly.
  for (const std::string& folder : {std::string("/"), std::string(getenv("HOME")), dir_.path()}) {
    out = Uninstall("uninstall\nok\n", {"--uninstall", "\"OB-DEMO\"", "\"" + folder + "\""});
    EXPECT_NE(out.find("未删除任何文件"), std::string::npos) << folder;
  }
  EXPECT_TRUE(PathExists(Program("Ombrix.exe")));
  EXPECT_TRUE(Has(Hive::kLocalMachine, "Directory"));
}

// Once the removal has begun, a quit request (the terminal's Ctrl-C, the
// session ending) waits until it is done instead of cutting it in half.
TEST_F(UninstallerProcessTest, AQuitRequestDoesNotCutTheRemovalShort) {
  web_.Fault("path=/news.ashx&mode=slow&delay_ms=5000");  // keeps page 2 open a while
  std::string out = dir_.Sub("state/out.quit");
  WriteFile(dir_.Sub("state/answers"), "uninstall\nok\n");
  std::string command =
      "'" + Program("OBUninstall.exe") + "' < '" + dir_.Sub("state/answers") + "' > '" + out + "'";
  ASSERT_EQ(system(command.c_str()), 0);
  ASSERT_TRUE(WaitUntil([&] { return ReadFile(out).find("翎岚卸载...") != std::string::npos; }));
  pid_t copy = 0;
  for (const auto& process : brx::platform::ListProcessImages())
    if (process.path == TemporaryCopy()) copy = process.pid;
  ASSERT_GT(copy, 0);
  kill(copy, SIGINT);
  kill(copy, SIGTERM);
  EXPECT_TRUE(WaitUntil([&] { return !PathExists(TemporaryCopy()); }, std::chrono::seconds(30)));
  EXPECT_NE(ReadFile(out).find("完成"), std::string::npos) << ReadFile(out);
  EXPECT_FALSE(PathExists(dir_.Sub("program")));
}

TEST_F(UninstallerProcessTest, AFileThatCannotBeRemovedIsListedAndLeft) {
  WriteFile(Program("locked.dat"), "held");
  if (system(("chattr +i '" + Program("locked.dat") + "' 2>/dev/null").c_str()) != 0)
    GTEST_SKIP() << "no immutable files here";
  std::string out = Uninstall("uninstall\nok\n");
  system(("chattr -i '" + Program("locked.dat") + "'").c_str());
  EXPECT_NE(out.find("/locked.dat" + std::string(kBusy) + "\n"), std::string::npos) << out;
  EXPECT_NE(out.find(dir_.Sub("program") + kBusy + "\n"), std::string::npos) << out;
  EXPECT_NE(out.find("/Ombrix.exe\n"), std::string::npos);
  EXPECT_TRUE(PathExists(Program("locked.dat")));
  EXPECT_FALSE(PathExists(Program("Ombrix.exe")));
}

// The shortcut paths come from the registry, which any program of the user
// may have written: whatever they say, only the product's own entries in
// the folders where it puts them are removed. (The root folder itself is
// tried without a deletion, in ShortcutPathTest.)
TEST_F(UninstallerProcessTest, HostileShortcutPathsLeaveEverythingOutsideIntact) {
  for (const char* sub : {"outside/docs", "outside/Ombrix"}) fs::create_directories(dir_.Sub(sub));
  WriteFile(dir_.Sub("outside/docs/keep.txt"), "keep");
  WriteFile(dir_.Sub("outside/Ombrix/keep.txt"), "keep");
  WriteFile(Home("keep.txt"), "keep");
  struct Case {
    std::string start_menu, desktop;
    std::string refused;  // one of them, named on standard error
  } cases[] = {
      // another folder, a file outside
      {dir_.Sub("outside"), dir_.Sub("outside/docs/keep.txt"), dir_.Sub("outside")},
      // the home folder, and a file in it
      {Home("."), Home("Desktop/../keep.txt"), Home(".")},
      // a parent of home
      {dir_.path() + "//", Home("Desktop/.."), dir_.path() + "//"},
      // a folder reached through a link; a link on the desktop (only the link goes)
      {Apps("via/Ombrix"), Home("Desktop/link.desktop"), Apps("via/Ombrix")},
      // a link in the menu (only the link goes); the desktop folder itself
      {Apps("Ombrix-link"), Home("Desktop"), Home("Desktop")},
  };
  fs::create_directory_symlink(dir_.Sub("outside"), Apps("via"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.start_menu + " " + c.desktop);
    Install();
    fs::create_directory_symlink(dir_.Sub("outside/Ombrix"), Apps("Ombrix-link"));
    fs::create_symlink(dir_.Sub("outside/docs/keep.txt"), Home("Desktop/link.desktop"));
    // HKLM names the product's own entries, HKCU the hostile ones.
    SetShortcuts(brx::util::kLocalMachineRoot, Apps("Ombrix"), Home("Desktop/Ombrix.desktop"));
    SetShortcuts(brx::util::kCurrentUserRoot, c.start_menu, c.desktop);
    std::string out = Uninstall("uninstall\nok\n");
    EXPECT_NE(out.find("完成"), std::string::npos) << out;
    EXPECT_EQ(ReadFile(dir_.Sub("outside/docs/keep.txt")), "keep");
    EXPECT_EQ(ReadFile(dir_.Sub("outside/Ombrix/keep.txt")), "keep");
    EXPECT_EQ(ReadFile(Home("keep.txt")), "keep");
    EXPECT_TRUE(PathExists(dir_.Sub("state/registry")));
    EXPECT_TRUE(fs::is_directory(Home("Desktop")));
    EXPECT_TRUE(fs::is_directory(Apps("")));
    EXPECT_FALSE(PathExists(dir_.Sub("program")));
    EXPECT_FALSE(PathExists(Apps("Ombrix")));
    EXPECT_FALSE(PathExists(Home("Desktop/Ombrix.desktop")));
    // A refused path is named with the reason.
    EXPECT_NE(errors_.find(c.refused), std::string::npos) << errors_;
    std::error_code ec;
    fs::remove(Apps("Ombrix-link"), ec);
    fs::remove(Home("Desktop/link.desktop"), ec);
  }
}

}  // namespace
