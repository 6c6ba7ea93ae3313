#include "runtime/platform/single_instance_lock.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "runtime/platform/dirs.h"
#include "tests/support/test_support.h"

namespace brx::platform {
namespace {

using ombrix::test::ScopedEnv;
using ombrix::test::TempDir;

TEST(SingleInstanceLockTest, SecondAcquireSeesItHeldUntilReleased) {
  TempDir dir;
  ScopedEnv env("OMBRIX_LOCK_DIR", dir.path());
  std::unique_ptr<SingleInstanceLock> first, second;
  ASSERT_EQ(SingleInstanceLock::Acquire("Global\\OBHOST_MUTEX", &first),
            SingleInstanceLock::Result::kAcquired);
  EXPECT_EQ(first->path(), dir.Sub("OBHOST_MUTEX.lock"));
  EXPECT_EQ(SingleInstanceLock::Acquire("OBHOST_MUTEX", &second),
            SingleInstanceLock::Result::kAlreadyHeld);
  EXPECT_FALSE(second);
  first.reset();
  EXPECT_EQ(SingleInstanceLock::Acquire("OBHOST_MUTEX", &second),
            SingleInstanceLock::Result::kAcquired);
}

TEST(SingleInstanceLockTest, HeldAcrossProcessesAndFreedWhenHolderDies) {
  TempDir dir;
  ScopedEnv env("OMBRIX_LOCK_DIR", dir.path());
  int to_child[2], from_child[2];
  ASSERT_EQ(pipe(to_child), 0);
  ASSERT_EQ(pipe(from_child), 0);
  pid_t pid = fork();
  if (pid == 0) {
    std::unique_ptr<SingleInstanceLock> lock;
    char r = SingleInstanceLock::Acquire("OBDAEMONEXE_MUTEX", &lock) ==
                     SingleInstanceLock::Result::kAcquired
                 ? 'y'
                 : 'n';
    (void)!write(from_child[1], &r, 1);
    char c;
    (void)!read(to_child[0], &c, 1);
    _exit(0);  // dies holding the lock
  }
  char r = 0;
  ASSERT_EQ(read(from_child[0], &r, 1), 1);
  ASSERT_EQ(r, 'y');
  std::unique_ptr<SingleInstanceLock> lock;
  EXPECT_EQ(SingleInstanceLock::Acquire("OBDAEMONEXE_MUTEX", &lock),
            SingleInstanceLock::Result::kAlreadyHeld);
  char go = 'x';
  ASSERT_EQ(write(to_child[1], &go, 1), 1);
  waitpid(pid, nullptr, 0);
  EXPECT_EQ(SingleInstanceLock::Acquire("OBDAEMONEXE_MUTEX", &lock),
            SingleInstanceLock::Result::kAcquired);
  for (int fd : {to_child[0], to_child[1], from_child[0], from_child[1]}) close(fd);
}

// Lock names come from outside too (the edition key names the game's).
TEST(SingleInstanceLockTest, ANameNeverLeavesTheLockFolder) {
  TempDir dir;
  ScopedEnv env("OMBRIX_LOCK_DIR", dir.Sub("locks"));
  for (const char* name :
       {"../escaped", "Global\\../../escaped", "a/../../escaped", "/abs", "..", "x\nlog"}) {
    SCOPED_TRACE(name);
    std::unique_ptr<SingleInstanceLock> lock, again;
    ASSERT_EQ(SingleInstanceLock::Acquire(name, &lock), SingleInstanceLock::Result::kAcquired);
    size_t slash = lock->path().rfind('/');
    EXPECT_EQ(lock->path().substr(0, slash), dir.Sub("locks"));
    EXPECT_EQ(lock->path().find('\n'), std::string::npos);
    EXPECT_EQ(SingleInstanceLock::Acquire(name, &again), SingleInstanceLock::Result::kAlreadyHeld);
  }
  EXPECT_FALSE(ombrix::test::PathExists(dir.Sub("escaped.lock")));
  // Names that differ stay different locks.
  std::unique_ptr<SingleInstanceLock> one, two;
  EXPECT_EQ(SingleInstanceLock::Acquire("a/b", &one), SingleInstanceLock::Result::kAcquired);
  EXPECT_EQ(SingleInstanceLock::Acquire("a%2Fb", &two), SingleInstanceLock::Result::kAcquired);
}

TEST(SingleInstanceLockTest, UnusableFolderFails) {
  ScopedEnv env("OMBRIX_LOCK_DIR", "/proc/definitely/not/here");
  std::unique_ptr<SingleInstanceLock> lock;
  EXPECT_EQ(SingleInstanceLock::Acquire("X", &lock), SingleInstanceLock::Result::kFailed);
}

}  // namespace
}  // namespace brx::platform

namespace brx::platform {
namespace {

TEST(PrivateFoldersTest, AnOpenFolderOfOursIsClosedAndALinkIsRefused) {
  ombrix::test::TempDir dir;
  std::string open = dir.Sub("open");
  ASSERT_EQ(mkdir(open.c_str(), 0777), 0);
  chmod(open.c_str(), 0777);
  {
    ombrix::test::ScopedEnv env("OMBRIX_PIPE_DIR", open);
    EXPECT_EQ(PipeDirectory(), open);
  }
  struct stat st {};
  ASSERT_EQ(stat(open.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  std::string link = dir.Sub("link");
  ASSERT_EQ(symlink(open.c_str(), link.c_str()), 0);
  ombrix::test::ScopedEnv env("OMBRIX_PIPE_DIR", link);
  EXPECT_EQ(PipeDirectory(), "");
  std::unique_ptr<SingleInstanceLock> lock;
  ombrix::test::ScopedEnv locks("OMBRIX_LOCK_DIR", std::nullopt);
  EXPECT_EQ(SingleInstanceLock::Acquire("X", &lock), SingleInstanceLock::Result::kFailed);
}

}  // namespace
}  // namespace brx::platform
