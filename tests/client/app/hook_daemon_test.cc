#include "client/app/hook_daemon.h"

#include <signal.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include "runtime/platform/process.h"
#include "runtime/util/file_util.h"
#include "runtime/util/text_convert.h"
#include "tests/support/test_support.h"

namespace {

using brx::platform::ChildProcess;
using ombrix::test::ReadFile;
using ombrix::test::TempDir;
using ombrix::test::WaitUntil;

// Kills a child that a failed check would otherwise leave behind.
struct KillAtEnd {
  ChildProcess* child;
  ~KillAtEnd() {
    if (child && !child->HasExited()) {
      child->Signal(SIGKILL);
      child->Wait(10000);
    }
  }
};

class HookDaemonTest : public ::testing::Test {
 protected:
  std::wstring Folder() const { return brx::util::Utf8ToWide(dir_.path()); }
  // Starts the fake daemon under `name` in the folder, as an earlier client would have.
  std::unique_ptr<ChildProcess> StartStale(const std::string& name,
                                           std::vector<std::string> args = {}) {
    std::string path = dir_.Sub(name);
    EXPECT_TRUE(brx::util::CopyFileOver(brx::util::Utf8ToWide(FAKE_OBDAEMON_PATH),
                                        brx::util::Utf8ToWide(path)));
    auto child = ChildProcess::Spawn({path, std::move(args), dir_.path()});
    EXPECT_NE(child, nullptr);
    // Running under its own image, not the loader's.
    EXPECT_TRUE(WaitUntil(
        [&] { return ReadFile(dir_.Sub("daemon.log")).find("started") != std::string::npos; }));
    return child;
  }

  TempDir dir_;
  ombrix::test::ScopedEnv report_{"FAKE_OBDAEMON_REPORT", dir_.Sub("daemon.log")};
};

TEST_F(HookDaemonTest, AStaleDaemonIsAskedToQuit) {
  auto stale = StartStale("OBDaemon.exe");
  KillAtEnd guard{stale.get()};
  EXPECT_EQ(StopStaleHookDaemons(HookDaemonPath(Folder())), 1);
  int status = 0;
  ASSERT_TRUE(stale->Wait(10000, &status));
  EXPECT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGTERM);
}

TEST_F(HookDaemonTest, AStaleDaemonThatStaysIsAskedAtMostFortyTimes) {
  auto stale = StartStale("OBDaemon.exe", {"--ignore-term"});
  KillAtEnd guard{stale.get()};
  EXPECT_EQ(StopStaleHookDaemons(HookDaemonPath(Folder()), 40, 5), 40);
  EXPECT_FALSE(stale->HasExited());
  EXPECT_TRUE(WaitUntil(
      [&] { return ReadFile(dir_.Sub("daemon.log")).find("term") != std::string::npos; }));
}

TEST_F(HookDaemonTest, OnlyTheDaemonImageItselfIsEverSignalled) {
  EXPECT_EQ(StopStaleHookDaemons(HookDaemonPath(Folder())), 0);
  auto other = StartStale("OBDaemonOld.exe");
  KillAtEnd guard{other.get()};
  EXPECT_EQ(StopStaleHookDaemons(HookDaemonPath(Folder())), 0);
  EXPECT_EQ(StopStaleHookDaemons(L""), 0);
  EXPECT_FALSE(other->HasExited());
}

TEST_F(HookDaemonTest, ADaemonThatCannotBeStartedGivesNothing) {
  EXPECT_EQ(SpawnHookDaemon(HookDaemonPath(Folder()), Folder()), nullptr);
}

}  // namespace
