#include "runtime/base/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>

#include "runtime/base/thread_message_queue.h"
#include "runtime/logmaker/log.h"
#include "runtime/platform/tick_clock.h"
#include "tests/support/test_support.h"

namespace brx::base {
namespace {

using ombrix::test::WaitUntil;

// Loops on Wait() until stopped, counting the events it takes.
class Waiter : public ThreadRun {
 public:
  Waiter() : ThreadRun("test.Waiter") { RegisterEvent(&work_); }
  ~Waiter() override { Stop(); }
  platform::Event work_;
  std::atomic<int> signalled{0}, timeouts{0}, runs{0};

 protected:
  int Run() override {
    runs++;
    while (!IsStopping()) {
      size_t which = 0;
      switch (Wait(&which)) {
        case platform::WaitResult::kSignalled:
          if (which == 1) signalled++;
          break;
        case platform::WaitResult::kTimeout:
          timeouts++;
          break;
        default:
          break;
      }
    }
    return 0;
  }
};

TEST(ThreadTest, WaitReportsEventsAndTimeoutsAndStopEndsIt) {
  Waiter w;
  EXPECT_EQ(w.GetThreadId(), 0u);
  ASSERT_TRUE(w.Start());
  EXPECT_TRUE(w.Start());  // already running
  EXPECT_NE(w.GetThreadId(), 0u);
  w.work_.Set();
  ASSERT_TRUE(WaitUntil([&] { return w.signalled.load() == 1; }));
  ASSERT_TRUE(WaitUntil([&] { return w.timeouts.load() >= 1; }));
  w.Stop();
  EXPECT_FALSE(w.IsRunning());
  EXPECT_EQ(w.GetThreadId(), 0u);
  w.Stop();  // twice is fine
}

TEST(ThreadTest, StoppedThreadCanStartAgain) {
  Waiter w;
  ASSERT_TRUE(w.Start());
  w.Stop();
  ASSERT_TRUE(w.Start());
  ASSERT_TRUE(WaitUntil([&] { return w.runs.load() == 2; }));
  EXPECT_FALSE(w.IsStopping());
  w.Stop();
}

// A thread with a message queue of its own ends on the WM_QUIT that Stop posts.
class QueueThread : public ThreadRun {
 public:
  QueueThread() : ThreadRun("test.QueueThread") {}
  ~QueueThread() override { Stop(); }
  std::atomic<bool> ready{false};
  std::atomic<int> got{0};

 protected:
  int Run() override {
    ThreadMessageQueue queue;
    ready = true;
    Message m;
    while (queue.Get(&m)) got++;
    return 0;
  }
};

TEST(ThreadTest, StopPostsQuitToAThreadWithAQueue) {
  QueueThread t;
  ASSERT_TRUE(t.Start());
  ASSERT_TRUE(WaitUntil([&] { return t.ready.load(); }));
  EXPECT_TRUE(PostThreadMessage(t.GetThreadId(), WM_USER + 1, 0, 0));
  ASSERT_TRUE(WaitUntil([&] { return t.got.load() == 1; }));
  t.Stop();
  EXPECT_FALSE(t.IsRunning());
}

class Counter {
 public:
  void Body() { calls++; }
  std::atomic<int> calls{0};
};

TEST(ThreadTest, ThreadMethodRunsTheBoundMember) {
  Counter c;
  ThreadMethod t("test.Method");
  t.BindThreadMethod(&c, &Counter::Body);
  ASSERT_TRUE(t.Start());
  ASSERT_TRUE(WaitUntil([&] { return c.calls.load() == 1; }));
  t.Stop();
}

TEST(ThreadDeathTest, UnboundThreadMethodEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        ThreadMethod t("test.Unbound");
        t.Start();
        t.Stop();
      },
      "");
}

// A thread that ignores its stop request for a while is waited for, not
// abandoned: its owner's memory stays valid until it ends, and the wait
// past the time-out is logged.
class Stubborn : public ThreadRun {
 public:
  Stubborn() : ThreadRun("test.Stubborn") {}
  ~Stubborn() override { Stop(); }
  platform::Event release;
  std::atomic<bool> finished{false};

 protected:
  int Run() override {
    while (!release.Wait(100)) {
    }
    finished = true;
    return 0;
  }
};

// Hands every line the application logger writes to a callback.
class LineTap : public logmaker::ILogWriter {
 public:
  explicit LineTap(std::function<void(const std::string&)> tap) : tap_(std::move(tap)) {}
  void Write(const logmaker::LogRecord& record) override { tap_(record.line); }
  void WriteText(const char*) override {}

 private:
  std::function<void(const std::string&)> tap_;
};

TEST(ThreadTest, StopWaitsPastItsTimeoutAndSaysSo) {
  Stubborn s;
  ASSERT_TRUE(s.Start());
  // Released only once the stop has given up waiting quietly.
  logmaker::GetAppLogger()->AddWriter(std::make_unique<LineTap>([&](const std::string& line) {
    if (line.find("thread test.Stubborn did not stop within 3000 ms") != std::string::npos)
      s.release.Set();
  }));
  uint32_t start = platform::GetTickCount();
  s.Stop();
  EXPECT_TRUE(s.finished.load());
  EXPECT_GE(platform::GetTickCount() - start, static_cast<uint32_t>(ThreadBase::kStopTimeoutMs));
  EXPECT_FALSE(s.IsRunning());
}

}  // namespace
}  // namespace brx::base
