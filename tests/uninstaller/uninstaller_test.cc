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
  for (const char* bad : {"--uninstall \"\" \"/opt\"", "--uninstall \"k\" \"\"", "--uninstall", "--uninstall \"k\"",
                          "--uninstall \"\""})
    EXPECT_FALSE(ParseUninstallCommandLine(bad, &key, &folder)) << bad;
}

class UninstallerProcessTest : public ::testing::Test {
 protected:
  UninstallerProcessTest() : web_(WebOptions()) {
    for (const char* sub : {"program/OBSnapshot/other/2026-12-9", "program/Log", "state", "tmp", "menu/Ombrix"})
      fs::create_directories(dir_.Sub(sub));
    for (const char* name : {"OBUninstall.exe", "OBVerCustom.dll", "OBVerCustom.ini"})
      fs::copy_file(ombrix::test::DistDir() + "/" + name, Program(name));
    WriteFile(Program("Ombrix.exe"), "the launcher");
    WriteFile(Program("OBSnapshot/other/2026-12-9/shot.png"), "a screenshot");
    WriteFile(Program("Log/old.log"), "a log");
    WriteFile(dir_.Sub("desktop.desktop"), "[Desktop Entry]\n");
    WriteFile(dir_.Sub("menu/Ombrix/Ombrix.desktop"), "[Desktop Entry]\n");
    for (auto [name, value] : std::initializer_list<std::pair<const char*, std::string>>{
             {"OMBRIX_LOCK_DIR", dir_.Sub("state/locks")}, {"OMBRIX_PIPE_DIR", dir_.Sub("state/pipes")},
             {"OMBRIX_REGISTRY_DIR", dir_.Sub("state/registry")}, {"TMPDIR", dir_.Sub("tmp")},
             {"XDG_CONFIG_HOME", dir_.Sub("state/config")}, {"OMBRIX_DC_HOST", web_.base_url()},
             {"OMBRIX_UNINSTALL_VIEW", "console"}})
      env_.push_back(std::make_unique<ScopedEnv>(name, value));

    // HKLM knows only the installation; the shortcuts are HKCU's alone.
    for (const wchar_t* root : {brx::util::kLocalMachineRoot, brx::util::kCurrentUserRoot})
      brx::util::WriteEditionValues(brx::util::EditionRegistryPath(root, L"OB-DEMO"),
                                    brx::util::Utf8ToWide(dir_.Sub("program")), L"OB-DEMO");
    std::wstring user = brx::util::EditionRegistryPath(brx::util::kCurrentUserRoot, L"OB-DEMO");
    brx::util::WriteRegistryString(user, brx::util::Utf8ToWide(dir_.Sub("menu/Ombrix")), L"StartMenuPath");
    brx::util::WriteRegistryString(user, brx::util::Utf8ToWide(dir_.Sub("desktop.desktop")), L"DeskTopPath");
    brx::util::WriteRegistryString(user, L"1", L"LaunchingWithGame");
    brx::util::WriteRegistryString(brx::util::kAutoStartKey, brx::util::Utf8ToWide(Program("Ombrix.exe")), L"Ombrix");
  }

  static ombrix::test::WebStandin::Options WebOptions() {
    ombrix::test::WebStandin::Options options;
    options.demo_user = false;
    return options;
  }

  std::string Program(const std::string& name) const { return dir_.Sub("program/" + name); }
  std::string TemporaryCopy() const { return dir_.Sub("tmp/ombrix-tmp-" + std::to_string(getuid()) + "/OBUinstall.temp"); }

  // Runs the uninstaller from the installation with `answers` on its
  // standard input; returns what its copy printed once the copy has ended.
  std::string Uninstall(const std::string& answers, const std::vector<std::string>& args = {},
                        const std::string& exe = "") {
    std::string in = dir_.Sub("state/answers"), out = dir_.Sub("state/out." + std::to_string(runs_++));
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
    pid_t pid = -1;
    EXPECT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    int status = -1;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    // The restarted copy ends by deleting itself.
    EXPECT_TRUE(WaitUntil([&] { return !PathExists(TemporaryCopy()); }, std::chrono::seconds(30)));
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
};

TEST_F(UninstallerProcessTest, RemovesTheInstallationItsValuesAndShortcutsAndReports) {
  std::string out = Uninstall("uninstall\nok\n");
  // Every file on its own line, in listing order, then the end.
  size_t at = out.find("翎岚卸载...");
  for (const char* line : {"/Log/old.log\n", "/OBSnapshot/other/2026-12-9/shot.png\n", "/OBUninstall.exe\n",
                           "/OBVerCustom.dll\n", "/Ombrix.exe\n", "完成\n"}) {
    at = out.find(line, at);
    ASSERT_NE(at, std::string::npos) << line << " in\n" << out;
  }
  EXPECT_FALSE(PathExists(dir_.Sub("program")));
  EXPECT_FALSE(PathExists(dir_.Sub("desktop.desktop")));
  EXPECT_FALSE(PathExists(dir_.Sub("menu/Ombrix")));
  for (Hive hive : {Hive::kLocalMachine, Hive::kCurrentUser}) {
    for (const char* name : {"Directory", "Version", "Application", "Dll", "Key", "KeyDesc", "InstallHook",
                             "StartMenuPath", "DeskTopPath", "LaunchingWithGame"})
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
  std::string command = "'" + Program("OBUninstall.exe") + "' < '" + dir_.Sub("state/answers") + "' > '" + out + "'";
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

}  // namespace
