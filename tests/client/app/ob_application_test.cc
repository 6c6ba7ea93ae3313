#include "client/app/ob_application.h"

#include <sys/wait.h>

#include <cerrno>

#include <gtest/gtest.h>

#include "client/app/main_loop.h"
#include "client/core/ui_string_table.h"
#include "runtime/base/thread_message_queue.h"
#include "runtime/platform/single_instance_lock.h"
#include "runtime/util/file_util.h"
#include "runtime/util/process_util.h"
#include "runtime/util/registry.h"
#include "runtime/util/text_convert.h"
#include "tests/client/app/app_test_support.h"

namespace {

using brx::platform::SingleInstanceLock;
using ombrix::test::PathExists;
using ombrix::test::ReadFile;
using ombrix::test::WaitUntil;

constexpr char kHookIni[] = "GameId=other\nKey=OB-TEST\nKeyDesc=Test edition\nInstallHook=1\n";

class OBApplicationTest : public ::testing::Test {
 protected:
  void SetUp() override { UIStringTable::Build(1033); }
  void TearDown() override {
    ExitApplication();
    UIStringTable::Destroy();
  }
  void Install(const std::string& ini = TestInstall::DefaultIni()) {
    install_ = std::make_unique<TestInstall>(ini);
  }
  bool Start(const std::string& command_line = "--gui", bool with_daemon_link = false,
             int timeout_ms = 15000) {
    OBApplication::Options options = install_->Options(&journal_, with_daemon_link);
    options.daemon_connect_timeout_ms = timeout_ms;
    return OBApplication::InitialApplication(&ui_, command_line, std::move(options));
  }
  bool StartedAnyPart() const {
    return journal_.Has("web.Start") || journal_.Has("video.Start") || journal_.Has("game.Start");
  }
  bool StoppedEveryPart() const {
    return journal_.Has("web.Stop") && journal_.Has("video.Stop") && journal_.Has("game.Stop");
  }
  void InstallFakeDaemon() {
    ASSERT_TRUE(brx::util::CopyFileOver(brx::util::Utf8ToWide(FAKE_OBDAEMON_PATH),
                                        brx::util::Utf8ToWide(install_->Sub("OBDaemon.exe"))));
  }
  static bool LockIsFree() {
    std::unique_ptr<SingleInstanceLock> lock;
    return SingleInstanceLock::Acquire("Global\\OBHOST_MUTEX", &lock) ==
           SingleInstanceLock::Result::kAcquired;
  }

  brx::base::ThreadMessageQueue queue_;
  Journal journal_;
  FakeUserInterface ui_{&journal_};
  std::unique_ptr<TestInstall> install_;
};

// Whether our child `pid` has ended (reaped here or by its owner).
bool ChildEnded(pid_t pid) {
  int status = 0;
  pid_t r = waitpid(pid, &status, WNOHANG);
  return r == pid || (r < 0 && errno == ECHILD);
}

TEST_F(OBApplicationTest, WithoutGuiNothingStarts) {
  Install();
  EXPECT_FALSE(Start("--TW"));
  EXPECT_FALSE(Start(""));
  EXPECT_EQ(OBApplication::Get(), nullptr);
  EXPECT_TRUE(journal_.entries.empty());
  EXPECT_FALSE(PathExists(install_->Sub("state/registry/HKLM.xml")));
}

TEST_F(OBApplicationTest, HiddenLoginFollowsTheCommandLine) {
  Install();
  ASSERT_TRUE(Start("--gui"));
  EXPECT_FALSE(OBApplication::Get()->hidden_login());
  ExitApplication();
  ASSERT_TRUE(Start("--gui --TW"));
  EXPECT_TRUE(OBApplication::Get()->hidden_login());
  ExitApplication();
  ASSERT_TRUE(Start("x --GPK --gui"));
  EXPECT_TRUE(OBApplication::Get()->hidden_login());
}

TEST_F(OBApplicationTest, StartWritesTheEditionValuesBelowBothHives) {
  Install();
  ASSERT_TRUE(Start());
  for (const wchar_t* root : {L"HKEY_LOCAL_MACHINE", L"HKEY_CURRENT_USER"}) {
    std::wstring key = std::wstring(root) + L"\\SOFTWARE\\Dorsk\\Ombrix\\OB-TEST";
    std::wstring value;
    ASSERT_TRUE(brx::util::ReadRegistryString(key, L"Directory", &value)) << root;
    EXPECT_EQ(value, install_->Folder());
    ASSERT_TRUE(brx::util::ReadRegistryString(key, L"Application", &value));
    EXPECT_EQ(value, L"Ombrix.exe");
    ASSERT_TRUE(brx::util::ReadRegistryString(key, L"Dll", &value));
    EXPECT_EQ(value, L"OBDaemon.dll");
    ASSERT_TRUE(brx::util::ReadRegistryString(key, L"Version", &value));
    EXPECT_EQ(value, L"2.3.109.05");
    ASSERT_TRUE(brx::util::ReadRegistryString(key, L"Key", &value));
    EXPECT_EQ(value, L"OB-TEST");
    ASSERT_TRUE(brx::util::ReadRegistryString(key, L"KeyDesc", &value));
    EXPECT_EQ(value, L"Test edition");
    uint32_t hook = 7;
    ASSERT_TRUE(brx::util::ReadRegistryDword(key, L"InstallHook", &hook));
    EXPECT_EQ(hook, 0u);
  }
  EXPECT_EQ(journal_.entries, (std::vector<std::string>{"web.Start", "video.Start", "game.Start"}));
  EXPECT_FALSE(LockIsFree());
}

TEST_F(OBApplicationTest, ASecondStartIsRefusedBeforeAnyLogicStarts) {
  Install();
  std::unique_ptr<SingleInstanceLock> running;
  ASSERT_EQ(SingleInstanceLock::Acquire("Global\\OBHOST_MUTEX", &running),
            SingleInstanceLock::Result::kAcquired);
  EXPECT_FALSE(Start());
  EXPECT_EQ(OBApplication::Get(), nullptr);
  ASSERT_EQ(ui_.boxes.size(), 1u);
  EXPECT_EQ(ui_.boxes[0].text, L"Ombrix is running");
  EXPECT_EQ(ui_.boxes[0].caption, L"Tip");
  // The running client's pipes and files were never touched.
  EXPECT_FALSE(StartedAnyPart());
  EXPECT_FALSE(PathExists(install_->Sub("sysconfig.xml")));

  UIStringTable::Build(2052);
  EXPECT_FALSE(Start());
  ASSERT_EQ(ui_.boxes.size(), 2u);
  EXPECT_EQ(ui_.boxes[1].text, L"你已启动翎岚,不能重复启动");
  EXPECT_EQ(ui_.boxes[1].caption, L"提示");
}

TEST_F(OBApplicationTest, AnEmptyEditionKeyStartsNothing) {
  Install("GameId=other\nKey=\n");
  EXPECT_FALSE(Start());
  EXPECT_TRUE(journal_.entries.empty());
  EXPECT_TRUE(ui_.boxes.empty());
  EXPECT_FALSE(PathExists(install_->Sub("state/registry/HKLM.xml")));
  EXPECT_TRUE(LockIsFree());
}

TEST_F(OBApplicationTest, AnEditionWithoutGameIdFailsAtTheSkinCheck) {
  Install("GameId=\nKey=OB-TEST\n");
  EXPECT_FALSE(Start());
  EXPECT_FALSE(StartedAnyPart());
  EXPECT_TRUE(LockIsFree());
}

TEST_F(OBApplicationTest, MissingFontsStopWhatStartedAndSaveNothing) {
  Install();
  ombrix::test::ScopedEnv fonts("OMBRIX_FONT_CHECK", "absent");
  EXPECT_FALSE(Start());
  ASSERT_EQ(ui_.boxes.size(), 1u);
  EXPECT_EQ(ui_.boxes[0].text, L"There is no fonts installed to run Ombrix");
  EXPECT_EQ(ui_.boxes[0].caption, L"Error");
  EXPECT_TRUE(StoppedEveryPart());
  EXPECT_FALSE(PathExists(install_->Sub("sysconfig.xml")));
  EXPECT_TRUE(LockIsFree());
}

TEST_F(OBApplicationTest, TheHookWithoutDaemonPipeServerFailsHonestly) {
  Install(kHookIni);
  InstallFakeDaemon();
  EXPECT_FALSE(Start());
  EXPECT_TRUE(StoppedEveryPart());
  EXPECT_TRUE(LockIsFree());
}

TEST_F(OBApplicationTest, TheHookDaemonIsStartedInTheProgramFolderAndToldToQuitAtTheEnd) {
  Install(kHookIni);
  InstallFakeDaemon();
  ombrix::test::ScopedEnv report("FAKE_OBDAEMON_REPORT", install_->Sub("daemon.log"));
  ASSERT_TRUE(Start("--gui", /*with_daemon_link=*/true));
  OBApplication* app = OBApplication::Get();
  EXPECT_EQ(journal_.entries,
            (std::vector<std::string>{"web.Start", "video.Start", "game.Start", "daemon.Start"}));
  pid_t daemon = app->daemon_process_id();
  ASSERT_NE(daemon, 0);
  ASSERT_TRUE(WaitUntil(
      [&] { return ReadFile(install_->Sub("daemon.log")).find('\n') != std::string::npos; }));
  EXPECT_EQ(ReadFile(install_->Sub("daemon.log")), "started cwd=" + install_->path() + " args=0\n");

  journal_.entries.clear();
  ExitApplication();
  EXPECT_EQ(journal_.entries,
            (std::vector<std::string>{"game.Stop", "web.Stop", "video.Stop", "daemon.Stop"}));
  EXPECT_TRUE(WaitUntil([&] { return ChildEnded(daemon); }));
}

TEST_F(OBApplicationTest, ADaemonThatNeverConnectsFailsTheStartAndIsToldToQuit) {
  Install(kHookIni);
  InstallFakeDaemon();
  const std::wstring daemon_path = brx::util::Utf8ToWide(install_->Sub("OBDaemon.exe"));
  auto daemon_running = [&] {
    pid_t pid = 0;
    return brx::util::FindProcessByPath(daemon_path, &pid);
  };
  bool running_when_link_stopped = false;
  install_->configure_daemon = [&](FakeDaemonLink* link) {
    link->connect_on_start = false;
    link->on_stop = [&] { running_when_link_stopped = daemon_running(); };
  };
  EXPECT_FALSE(Start("--gui", /*with_daemon_link=*/true, /*timeout_ms=*/200));
  EXPECT_EQ(OBApplication::Get(), nullptr);
  EXPECT_TRUE(journal_.Has("daemon.Stop"));
  EXPECT_TRUE(StoppedEveryPart());
  EXPECT_TRUE(LockIsFree());
  // It was started, and then told to quit.
  EXPECT_TRUE(running_when_link_stopped);
  EXPECT_TRUE(WaitUntil([&] { return !daemon_running(); }));
}

TEST_F(OBApplicationTest,
       ADaemonThatEndsWithoutConnectingFailsTheStartWithoutWaitingOutTheTimeOut) {
  Install(kHookIni);
  InstallFakeDaemon();
  ombrix::test::ScopedEnv gives_up("FAKE_OBDAEMON_EXIT", "1");
  install_->configure_daemon = [](FakeDaemonLink* link) { link->connect_on_start = false; };
  // A time-out far beyond the test's own: only noticing the daemon's end
  // lets the start fail in time.
  EXPECT_FALSE(Start("--gui", /*with_daemon_link=*/true, /*timeout_ms=*/3600000));
  EXPECT_EQ(OBApplication::Get(), nullptr);
  EXPECT_TRUE(journal_.Has("daemon.Stop"));
  EXPECT_TRUE(StoppedEveryPart());
}

TEST_F(OBApplicationTest, ADaemonThatCannotBeStartedFailsTheStart) {
  Install(kHookIni);  // no OBDaemon.exe in the folder
  EXPECT_FALSE(Start("--gui", /*with_daemon_link=*/true));
  EXPECT_TRUE(journal_.Has("daemon.Start"));
  EXPECT_TRUE(journal_.Has("daemon.Stop"));
  EXPECT_TRUE(StoppedEveryPart());
}

TEST_F(OBApplicationTest, ADaemonPipeThatCannotListenStartsNoDaemon) {
  Install(kHookIni);
  InstallFakeDaemon();
  ombrix::test::ScopedEnv report("FAKE_OBDAEMON_REPORT", install_->Sub("daemon.log"));
  install_->configure_daemon = [](FakeDaemonLink* link) { link->start_result = false; };
  EXPECT_FALSE(Start("--gui", /*with_daemon_link=*/true));
  EXPECT_TRUE(journal_.Has("daemon.Stop"));
  EXPECT_FALSE(PathExists(install_->Sub("daemon.log")));
}

}  // namespace
