#include "runtime/platform/process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>

#include "tests/support/test_support.h"

namespace brx::platform {
namespace {

using ombrix::test::TempDir;

// A copy of /bin/sleep under a name of our own, so the search is unambiguous.
std::string CopySleep(const TempDir& dir, const std::string& name) {
  std::string path = dir.Sub(name);
  std::filesystem::copy_file("/bin/sleep", path);
  std::filesystem::permissions(path, std::filesystem::perms::owner_all);
  return path;
}

TEST(ChildProcessTest, SpawnSignalAndWait) {
  TempDir dir;
  std::string path = CopySleep(dir, "OBDaemon.exe");
  auto child = ChildProcess::Spawn({path, {"30"}, dir.path()});
  ASSERT_TRUE(child);
  EXPECT_FALSE(child->HasExited());
  ASSERT_TRUE(ombrix::test::WaitUntil([&] { return ReadProcessImagePath(child->pid()) == path; }));
  EXPECT_EQ(FirstThreadOfProcess(child->pid()), child->pid());
  EXPECT_TRUE(child->Signal(SIGTERM));
  int status = 0;
  ASSERT_TRUE(child->Wait(10000, &status));
  EXPECT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGTERM);
  // Reaped: the pid may now belong to anyone and is never signalled again.
  EXPECT_FALSE(child->Signal(SIGTERM));
}

TEST(ChildProcessTest, ChildStartsWithQuitSignalsUnblocked) {
  // We block SIGTERM for our own watcher thread; a child must not inherit that.
  sigset_t set, old;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &set, &old);
  auto child = ChildProcess::Spawn({"/bin/sleep", {"30"}, ""});
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  ASSERT_TRUE(child);
  child->Signal(SIGTERM);
  int status = 0;
  ASSERT_TRUE(child->Wait(10000, &status));
  EXPECT_TRUE(WIFSIGNALED(status));
}

TEST(ChildProcessTest, MissingProgramIsReported) {
  int error = 0;
  EXPECT_FALSE(ChildProcess::Spawn({"/nonexistent/program", {}, ""}, &error));
  EXPECT_NE(error, 0);
}

TEST(ProcessListTest, FindsSpawnedChildAndNeverReportsEmptyPaths) {
  TempDir dir;
  std::string path = CopySleep(dir, "Finder.exe");
  auto child = ChildProcess::Spawn({path, {"30"}, ""});
  ASSERT_TRUE(child);
  bool found = ombrix::test::WaitUntil([&] {
    auto images = ListProcessImages();
    return std::any_of(images.begin(), images.end(), [&](const ProcessImage& p) {
      return p.pid == child->pid() && p.path == path;
    });
  });
  EXPECT_TRUE(found);
  for (const ProcessImage& p : ListProcessImages()) EXPECT_FALSE(p.path.empty());
  EXPECT_FALSE(SignalProcessIfImage(child->pid(), path + ".other", SIGTERM));
  EXPECT_FALSE(child->HasExited());
  EXPECT_TRUE(SignalProcessIfImage(child->pid(), path, SIGTERM));
  EXPECT_TRUE(child->Wait(10000));
}

}  // namespace
}  // namespace brx::platform
