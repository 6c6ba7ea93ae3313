#include "runtime/base/thread_message_queue.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <thread>

#include "runtime/base/quit_signal_watcher.h"
#include "runtime/base/thread.h"
#include "runtime/platform/tick_clock.h"

namespace brx::base {
namespace {

TEST(ThreadMessageQueueTest, PostFromOtherThreadsInOrderThenQuit) {
  ThreadMessageQueue queue;
  EXPECT_EQ(ThreadMessageQueue::Current(), &queue);
  uint32_t me = CurrentThreadId();
  std::thread poster([me] {
    for (uintptr_t i = 0; i < 100; ++i) PostThreadMessage(me, 2124, i, static_cast<intptr_t>(-1));
    PostThreadMessage(me, WM_QUIT, 0, 0);
  });
  Message m;
  uintptr_t next = 0;
  while (GetMessage(&m)) {
    EXPECT_EQ(m.message, 2124u);
    EXPECT_EQ(m.wParam, next++);
    EXPECT_EQ(m.lParam, -1);
  }
  EXPECT_EQ(m.message, WM_QUIT);
  EXPECT_EQ(next, 100u);
  poster.join();
}

TEST(ThreadMessageQueueTest, PostToThreadWithoutQueueFails) {
  uint32_t other = 0;
  std::thread t([&] { other = CurrentThreadId(); });
  t.join();
  EXPECT_FALSE(PostThreadMessage(other, WM_USER, 0, 0));
  EXPECT_FALSE(PostThreadMessage(CurrentThreadId(), WM_USER, 0, 0));
  {
    ThreadMessageQueue queue;
    EXPECT_TRUE(PostThreadMessage(CurrentThreadId(), WM_USER, 0, 0));
  }
  // Gone with its queue.
  EXPECT_FALSE(PostThreadMessage(CurrentThreadId(), WM_USER, 0, 0));
}

TEST(ThreadMessageQueueTest, TimerIsLowPriorityAndCoalesced) {
  ThreadMessageQueue queue;
  EXPECT_EQ(SetTimer(0, 1, 20), 1u);
  uint32_t start = platform::GetTickCount();
  Message m;
  ASSERT_TRUE(GetMessage(&m));
  EXPECT_EQ(m.message, WM_TIMER);
  EXPECT_EQ(m.wParam, 1u);
  EXPECT_GE(platform::GetTickCount() - start, 19u);
  // Several periods pass with posted messages waiting: they come first, and
  // only one timer message follows.
  while (platform::GetTickCount() - start < 100) {
  }
  PostThreadMessage(CurrentThreadId(), WM_USER + 5, 0, 0);
  ASSERT_TRUE(GetMessage(&m));
  EXPECT_EQ(m.message, WM_USER + 5);
  ASSERT_TRUE(GetMessage(&m));
  EXPECT_EQ(m.message, WM_TIMER);
  EXPECT_FALSE(PeekMessage(&m, false));
  EXPECT_TRUE(KillTimer(0, 1));
  EXPECT_FALSE(KillTimer(0, 1));
}

TEST(ThreadMessageQueueTest, PeekWithoutRemoveKeepsTheMessage) {
  ThreadMessageQueue queue;
  Message m;
  EXPECT_FALSE(PeekMessage(&m, true));
  PostQuitMessage(3);
  ASSERT_TRUE(PeekMessage(&m, false));
  ASSERT_TRUE(PeekMessage(&m, true));
  EXPECT_EQ(m.message, WM_QUIT);
  EXPECT_EQ(m.wParam, 3u);
  EXPECT_FALSE(PeekMessage(&m, true));
}

// Counts the payloads alive, so that one left behind shows.
struct Parcel {
  explicit Parcel(int n) : number(n) { ++alive; }
  ~Parcel() { --alive; }
  int number;
  static inline std::atomic<int> alive{0};
};

// Payloads posted from another thread reach the reader by their ticket,
// once each; those never claimed, and those posted to a queue already
// gone, are destroyed rather than leaked.
TEST(ThreadMessageQueueTest, OwnedPayloadsAreClaimedOnceOrDieWithTheQueue) {
  uint32_t me = CurrentThreadId();
  {
    ThreadMessageQueue queue;
    std::thread poster([me] {
      for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(PostOwnedMessage(me, 7, WM_USER + 1, std::make_unique<Parcel>(i)));
    });
    poster.join();
    EXPECT_EQ(Parcel::alive, 3);
    Message m;
    ASSERT_TRUE(GetMessage(&m));
    EXPECT_EQ(m.hwnd, 7u);
    EXPECT_EQ(m.message, WM_USER + 1);
    std::unique_ptr<Parcel> first = TakeMessagePayload<Parcel>(m.wParam);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->number, 0);
    EXPECT_FALSE(TakeMessagePayload<Parcel>(m.wParam));  // claimed once only
    EXPECT_FALSE(TakeMessagePayload<Parcel>(0));
    first.reset();
    // One more is read but never claimed, the last stays queued.
    ASSERT_TRUE(GetMessage(&m));
    EXPECT_EQ(Parcel::alive, 2);
  }
  EXPECT_EQ(Parcel::alive, 0);
  EXPECT_FALSE(PostOwnedMessage(me, 0, WM_USER + 1, std::make_unique<Parcel>(9)));
  EXPECT_EQ(Parcel::alive, 0);
}

// In a child process: SIGTERM becomes WM_QUIT on the main thread's queue,
// also when it arrives before the watcher thread reads it.
TEST(QuitSignalWatcherTest, SigtermBecomesQuitMessage) {
  pid_t pid = fork();
  if (pid == 0) {
    BlockQuitSignals();
    ThreadMessageQueue queue;
    kill(getpid(), SIGTERM);  // early: only pending until the watcher reads it
    QuitSignalWatcher watcher(CurrentThreadId());
    Message m;
    while (GetMessage(&m)) {
    }
    _exit(m.message == WM_QUIT && watcher.signals_seen() == 1 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace brx::base
