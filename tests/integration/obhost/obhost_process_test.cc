// Runs the main client OBHost.exe of the install folder as a separate
// process, headless, in a private copy of the install folder with private
// registry, lock and pipe folders.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "runtime/platform/single_instance_lock.h"
#include "runtime/util/registry.h"
#include "runtime/util/text_convert.h"
#include "tests/support/test_support.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using ombrix::test::PathExists;
using ombrix::test::ReadFile;
using ombrix::test::ScopedEnv;
using ombrix::test::TempDir;
using ombrix::test::WaitUntil;
using ombrix::test::WriteFile;

constexpr auto kExitDeadline = std::chrono::seconds(30);

// One run of the program with its stderr in a file.
class HostProcess {
 public:
  HostProcess(const std::string& exe, const std::vector<std::string>& args, std::string err_path)
      : err_path_(std::move(err_path)) {
    std::vector<char*> argv{const_cast<char*>(exe.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, err_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int rc = posix_spawn(&pid_, exe.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) pid_ = -1;
  }
  ~HostProcess() {
    if (pid_ > 0 && !exited_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }

  pid_t pid() const { return pid_; }
  bool Signal(int signal) { return pid_ > 0 && !exited_ && kill(pid_, signal) == 0; }
  // The exit code once the process has ended by itself; -1000 when it did
  // not end in time or ended by a signal.
  int WaitForExit() {
    bool ended = WaitUntil(
        [this] {
          int status = 0;
          if (waitpid(pid_, &status, WNOHANG) != pid_) return false;
          exited_ = true;
          status_ = status;
          return true;
        },
        kExitDeadline);
    if (!ended || !WIFEXITED(status_)) return -1000;
    return WEXITSTATUS(status_);
  }
  std::string Stderr() const { return ReadFile(err_path_); }
  // Voluntary context switches of the main thread: one per wake-up.
  long MainThreadWakeUps() const {
    std::ifstream in("/proc/" + std::to_string(pid_) + "/task/" + std::to_string(pid_) + "/status");
    std::string line;
    while (std::getline(in, line))
      if (line.rfind("voluntary_ctxt_switches:", 0) == 0) return std::stol(line.substr(24));
    return -1;
  }

 private:
  std::string err_path_;
  pid_t pid_ = -1;
  bool exited_ = false;
  int status_ = 0;
};

class OBHostProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A private install folder: the program, the edition library with its
    // values, the skins and the default game file.
    fs::create_directories(Program());
    for (const char* name : {"OBHost.exe", "OBVerCustom.dll", "OBVerCustom.ini"})
      fs::copy_file(ombrix::test::DistDir() + "/" + name, Program() + "/" + name);
    fs::copy(ombrix::test::DistDir() + "/OBSkin", Program() + "/OBSkin", fs::copy_options::recursive);
    fs::copy(ombrix::test::DistDir() + "/games", Program() + "/games", fs::copy_options::recursive);
  }

  std::string Program() const { return dir_.Sub("program"); }
  std::string LogFile(const std::string& version = "2.3.109.05") const {
    return Program() + "/Log/" + version + "--c--OBHost.exe.log";
  }
  std::unique_ptr<HostProcess> Run(std::vector<std::string> args = {"--gui"}) {
    std::string err = dir_.Sub("stderr." + std::to_string(runs_++));
    auto process = std::make_unique<HostProcess>(Program() + "/OBHost.exe", args, err);
    EXPECT_GT(process->pid(), 0);
    return process;
  }
  bool LogHas(const std::string& text, const std::string& version = "2.3.109.05") const {
    return ReadFile(LogFile(version)).find(text) != std::string::npos;
  }
  bool LockHeld() const {
    std::unique_ptr<brx::platform::SingleInstanceLock> lock;
    return brx::platform::SingleInstanceLock::Acquire("Global\\OBHOST_MUTEX", &lock) ==
           brx::platform::SingleInstanceLock::Result::kAlreadyHeld;
  }
  static std::wstring EditionKeyPath(const wchar_t* root) {
    return std::wstring(root) + L"\\SOFTWARE\\Dorsk\\Ombrix\\OB-DEMO";
  }

  TempDir dir_;
  ScopedEnv registry_{"OMBRIX_REGISTRY_DIR", dir_.Sub("state/registry")};
  ScopedEnv locks_{"OMBRIX_LOCK_DIR", dir_.Sub("state/locks")};
  ScopedEnv pipes_{"OMBRIX_PIPE_DIR", dir_.Sub("state/pipes")};
  ScopedEnv config_{"XDG_CONFIG_HOME", dir_.Sub("state/config")};
  ScopedEnv fonts_{"OMBRIX_FONT_CHECK", "present"};
  ScopedEnv lc_all_{"LC_ALL", std::nullopt};
  ScopedEnv lc_messages_{"LC_MESSAGES", std::nullopt};
  ScopedEnv lang_{"LANG", "en_US.UTF-8"};
  int runs_ = 0;
};

TEST_F(OBHostProcessTest, RunsHeadlessHoldsItsLockTicksAndStopsInOrderOnSigterm) {
  auto host = Run();
  ASSERT_TRUE(WaitUntil([&] { return LogHas("[OBHost.exe]2.3.109.05 start"); }, kExitDeadline));

  for (const wchar_t* root : {L"HKEY_LOCAL_MACHINE", L"HKEY_CURRENT_USER"}) {
    std::wstring value;
    ASSERT_TRUE(brx::util::ReadRegistryString(EditionKeyPath(root), L"Directory", &value));
    EXPECT_EQ(value, brx::util::Utf8ToWide(Program()));
    ASSERT_TRUE(brx::util::ReadRegistryString(EditionKeyPath(root), L"Version", &value));
    EXPECT_EQ(value, L"2.3.109.05");
    ASSERT_TRUE(brx::util::ReadRegistryString(EditionKeyPath(root), L"KeyDesc", &value));
    EXPECT_EQ(value, L"Ombrix demo edition");
    uint32_t hook = 7;
    ASSERT_TRUE(brx::util::ReadRegistryDword(EditionKeyPath(root), L"InstallHook", &hook));
    EXPECT_EQ(hook, 0u);
  }
  EXPECT_TRUE(LockHeld());

  // The 1-second timer wakes the otherwise idle GUI thread.
  long wake_ups = host->MainThreadWakeUps();
  ASSERT_GE(wake_ups, 0);
  EXPECT_TRUE(WaitUntil([&] { return host->MainThreadWakeUps() >= wake_ups + 2; }, std::chrono::seconds(15)));

  auto second = Run();
  EXPECT_EQ(second->WaitForExit(), 255);
  EXPECT_EQ(second->Stderr(), "Tip: Ombrix is running\n");
  {
    ScopedEnv chinese("LANG", "zh_CN.UTF-8");
    auto third = Run({"--gui", "--TW"});
    EXPECT_EQ(third->WaitForExit(), 255);
    EXPECT_EQ(third->Stderr(), "提示: 你已启动翎岚,不能重复启动\n");
  }

  ASSERT_TRUE(host->Signal(SIGTERM));
  EXPECT_EQ(host->WaitForExit(), 0);
  EXPECT_EQ(host->Stderr(), "");
  EXPECT_TRUE(LogHas("[OBHost.exe]2.3.109.05 exit"));
  EXPECT_NE(ReadFile(Program() + "/sysconfig.xml").find("<firstrun>0</firstrun>"), std::string::npos);
  EXPECT_FALSE(LockHeld());
}

TEST_F(OBHostProcessTest, WithoutGuiItExitsMinusOneSilently) {
  auto host = Run({"--TW"});
  EXPECT_EQ(host->WaitForExit(), 255);
  EXPECT_EQ(host->Stderr(), "");
  EXPECT_FALSE(PathExists(Program() + "/Log"));
  EXPECT_FALSE(PathExists(Program() + "/sysconfig.xml"));
  EXPECT_FALSE(PathExists(dir_.Sub("state/registry/HKLM.xml")));
}

TEST_F(OBHostProcessTest, APendingEditionUpdateTakesEffectOnThisStart) {
  fs::copy_file(ombrix::test::BinaryDir() + "/standin/edition-next/OBVerCustom.dll",
                Program() + "/OBVerCustom.dll.update");
  auto host = Run();
  ASSERT_TRUE(WaitUntil([&] { return LogHas("[OBHost.exe]2.3.110.01 start", "2.3.110.01"); }, kExitDeadline));
  EXPECT_FALSE(PathExists(Program() + "/OBVerCustom.dll.update"));
  std::wstring version;
  ASSERT_TRUE(brx::util::ReadRegistryString(EditionKeyPath(L"HKEY_LOCAL_MACHINE"), L"Version", &version));
  EXPECT_EQ(version, L"2.3.110.01");
  // Ctrl-C ends it in order as well.
  ASSERT_TRUE(host->Signal(SIGINT));
  EXPECT_EQ(host->WaitForExit(), 0);
  EXPECT_TRUE(LogHas("[OBHost.exe]2.3.110.01 exit", "2.3.110.01"));
}

TEST_F(OBHostProcessTest, AMissingSkinFolderEndsTheStartWithItsLogLine) {
  fs::remove_all(Program() + "/OBSkin/other");
  auto host = Run();
  EXPECT_EQ(host->WaitForExit(), 255);
  EXPECT_TRUE(LogHas("bad skin directory[OBSkin/other]"));
  EXPECT_TRUE(LogHas("OBApplication::InitialApplication:420:OBApplication::Initial() failed!"));
  EXPECT_FALSE(PathExists(Program() + "/sysconfig.xml"));
}

TEST_F(OBHostProcessTest, AnEmptyEditionKeyEndsTheStartWithItsLogLine) {
  WriteFile(Program() + "/OBVerCustom.ini", "GameId=other\nKey=\n");
  auto host = Run();
  EXPECT_EQ(host->WaitForExit(), 255);
  EXPECT_TRUE(LogHas("Empty key["));
  EXPECT_FALSE(PathExists(dir_.Sub("state/registry/HKLM.xml")));
}

TEST_F(OBHostProcessTest, MissingFontsAreReportedAndTheStartEnds) {
  ScopedEnv fonts("OMBRIX_FONT_CHECK", "absent");
  auto host = Run();
  EXPECT_EQ(host->WaitForExit(), 255);
  EXPECT_EQ(host->Stderr(), "Error: There is no fonts installed to run Ombrix\n");
  EXPECT_TRUE(LogHas("OBApplication::Initial:174:can not find font(MSYH.TTF or SIMSUN.TTC)"));
  EXPECT_FALSE(PathExists(Program() + "/sysconfig.xml"));
  EXPECT_FALSE(LockHeld());
}

TEST_F(OBHostProcessTest, TheHookDaemonWithoutItsPipeServerEndsTheStart) {
  WriteFile(Program() + "/OBVerCustom.ini", "GameId=other\nKey=OB-DEMO\nInstallHook=1\n");
  auto host = Run();
  EXPECT_EQ(host->WaitForExit(), 255);
  EXPECT_TRUE(LogHas("OBApplication::InitialApplication:420:OBApplication::Initial() failed!"));
  uint32_t hook = 0;
  ASSERT_TRUE(brx::util::ReadRegistryDword(EditionKeyPath(L"HKEY_CURRENT_USER"), L"InstallHook", &hook));
  EXPECT_EQ(hook, 1u);
}

}  // namespace
