#include "runtime/base/message_loop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "runtime/base/thread.h"
#include "runtime/platform/tick_clock.h"
#include "tests/support/test_support.h"

namespace brx::base {
namespace {

using ombrix::test::WaitUntil;

// Records its runs and its destruction.
struct Probe {
  std::mutex mutex;
  std::vector<int> order;
  std::vector<uint32_t> thread_ids;
  std::atomic<int> destroyed{0};
  std::atomic<int> runs{0};
};

class ProbeTask : public Task {
 public:
  ProbeTask(Probe* probe, int tag, uint32_t delay = 0)
      : Task("ProbeTask"), probe_(probe), tag_(tag) {
    delay_ms = delay;
    posted_at_ = platform::GetTickCount();
  }
  ~ProbeTask() override { probe_->destroyed++; }
  void Run(MessageLoop*, int64_t) override {
    ran_after_ = platform::GetTickCount() - posted_at_;
    std::lock_guard<std::mutex> lock(probe_->mutex);
    probe_->order.push_back(tag_);
    probe_->thread_ids.push_back(CurrentThreadId());
    probe_->runs++;
  }
  uint32_t ran_after_ = 0;

 private:
  Probe* probe_;
  int tag_;
  uint32_t posted_at_;
};

TEST(MessageLoopTest, TasksRunInPostingOrderOnTheLoopThread) {
  Probe probe;
  {
    MessageLoop loop("test.order");
    for (int i = 0; i < 50; ++i) loop.PostTask(std::make_unique<ProbeTask>(&probe, i));
    ASSERT_TRUE(WaitUntil([&] { return probe.runs.load() == 50; }));
    std::lock_guard<std::mutex> lock(probe.mutex);
    for (int i = 0; i < 50; ++i) EXPECT_EQ(probe.order[i], i);
    for (uint32_t tid : probe.thread_ids) EXPECT_EQ(tid, loop.GetThreadId());
    EXPECT_NE(loop.GetThreadId(), CurrentThreadId());
  }
  EXPECT_EQ(probe.destroyed.load(), 50);
}

TEST(MessageLoopTest, IdsAreUniqueAndIncreasingAcrossLoopsAndThreads) {
  MessageLoop a("test.ids.a"), b("test.ids.b");
  std::mutex mutex;
  std::vector<std::vector<int64_t>> per_thread(4);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      MessageLoop& loop = t % 2 ? a : b;
      for (int i = 0; i < 500; ++i)
        per_thread[t].push_back(loop.PostTask(std::make_unique<Task>("Noop")));
    });
  for (auto& th : threads) th.join();
  std::set<int64_t> all;
  for (const auto& ids : per_thread) {
    for (size_t i = 0; i < ids.size(); ++i) {
      EXPECT_GT(ids[i], 0);
      if (i) {
        EXPECT_GT(ids[i], ids[i - 1]);
      }
      all.insert(ids[i]);
    }
  }
  EXPECT_EQ(all.size(), 2000u);
}

TEST(MessageLoopDeathTest, FirstTaskOfAProcessGetsIdOne) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        MessageLoop loop("test.first");
        int64_t first = loop.PostTask(std::make_unique<Task>("Noop"));
        int64_t second = loop.PostTask(std::make_unique<Task>("Noop"));
        _exit(first == 1 && second == 2 ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(MessageLoopTest, DelayedTaskRunsNoEarlierThanItsDelay) {
  Probe probe;
  MessageLoop loop("test.delay");
  auto task = std::make_unique<ProbeTask>(&probe, 1, 300);
  ProbeTask* raw = task.get();
  raw->delete_after_run = false;  // keep it to read its timing
  std::unique_ptr<ProbeTask> keep(raw);
  loop.PostTask(std::move(task));
  loop.PostTask(std::make_unique<ProbeTask>(&probe, 2));
  ASSERT_TRUE(WaitUntil([&] { return probe.runs.load() == 2; }));
  EXPECT_GE(raw->ran_after_, 300u);
  std::lock_guard<std::mutex> lock(probe.mutex);
  // The undelayed task posted later ran first.
  EXPECT_EQ(probe.order, (std::vector<int>{2, 1}));
}

TEST(MessageLoopTest, RunAtOnceRunsInThePostingThread) {
  Probe probe;
  MessageLoop loop("test.atonce");
  auto task = std::make_unique<ProbeTask>(&probe, 7);
  task->run_at_once = true;
  EXPECT_EQ(loop.PostTask(std::move(task)), -1);
  EXPECT_EQ(probe.runs.load(), 1);
  EXPECT_EQ(probe.thread_ids[0], CurrentThreadId());
  EXPECT_EQ(probe.destroyed.load(), 1);
}

// Blocks the loop thread until released, so tasks can be held pending.
class GateTask : public Task {
 public:
  GateTask(std::atomic<bool>* entered, platform::Event* release)
      : Task("GateTask"), entered_(entered), release_(release) {}
  void Run(MessageLoop*, int64_t) override {
    *entered_ = true;
    release_->Wait(10000);
  }

 private:
  std::atomic<bool>* entered_;
  platform::Event* release_;
};

TEST(MessageLoopTest, DestructionDeletesPendingAndDeferredTasksUnrun) {
  Probe probe;
  platform::Event release;
  std::atomic<bool> entered{false};
  {
    MessageLoop loop("test.destroy");
    loop.PostTask(std::make_unique<ProbeTask>(&probe, 1, 60000));  // deferred
    loop.PostTask(std::make_unique<GateTask>(&entered, &release));
    ASSERT_TRUE(WaitUntil([&] { return entered.load(); }));
    for (int i = 0; i < 5; ++i)
      loop.PostTask(std::make_unique<ProbeTask>(&probe, 10 + i));  // pending
    release.Set();
  }
  EXPECT_EQ(probe.destroyed.load(), 6);
}

// Posts from its destructor, which runs while the loop is being destroyed
// (the loop thread is held by a gate until then), then opens the gate.
class PostOnDestroyTask : public Task {
 public:
  PostOnDestroyTask(MessageLoop* loop, Probe* probe, std::atomic<int64_t>* result,
                    platform::Event* gate)
      : Task("PostOnDestroyTask"), loop_(loop), probe_(probe), result_(result), gate_(gate) {}
  ~PostOnDestroyTask() override {
    *result_ = loop_->PostTask(std::make_unique<ProbeTask>(probe_, 1));
    gate_->Set();
  }

 private:
  MessageLoop* loop_;
  Probe* probe_;
  std::atomic<int64_t>* result_;
  platform::Event* gate_;
};

TEST(MessageLoopTest, PostingToAStoppingLoopIsRefusedAndTheTaskDeletedUnrun) {
  Probe probe;
  platform::Event release;
  std::atomic<bool> entered{false};
  std::atomic<int64_t> result{0};
  {
    MessageLoop loop("test.stopping");
    loop.PostTask(std::make_unique<GateTask>(&entered, &release));
    ASSERT_TRUE(WaitUntil([&] { return entered.load(); }));
    loop.PostTask(std::make_unique<PostOnDestroyTask>(&loop, &probe, &result, &release));
  }
  EXPECT_EQ(result.load(), -1);
  EXPECT_EQ(probe.runs.load(), 0);
  EXPECT_EQ(probe.destroyed.load(), 1);
}

TEST(MessageLoopTest, CancelAllTasksDropsOnlyWhatIsPending) {
  Probe probe;
  platform::Event release;
  std::atomic<bool> entered{false};
  MessageLoop loop("test.cancel");
  loop.PostTask(std::make_unique<GateTask>(&entered, &release));
  ASSERT_TRUE(WaitUntil([&] { return entered.load(); }));
  for (int i = 0; i < 3; ++i) loop.PostTask(std::make_unique<ProbeTask>(&probe, i));
  loop.CancelAllTasks();
  EXPECT_EQ(probe.destroyed.load(), 3);
  release.Set();
  loop.PostTask(std::make_unique<ProbeTask>(&probe, 99));
  ASSERT_TRUE(WaitUntil([&] { return probe.runs.load() == 1; }));
  EXPECT_EQ(probe.order, (std::vector<int>{99}));
}

// A task that hands itself on during Run (as a web job does).
class HandOffTask : public Task {
 public:
  HandOffTask(std::unique_ptr<Task>* slot, std::atomic<bool>* done)
      : Task("HandOffTask"), slot_(slot), done_(done) {
    delete_after_run = false;
  }
  void Run(MessageLoop*, int64_t) override {
    slot_->reset(this);
    *done_ = true;
  }

 private:
  std::unique_ptr<Task>* slot_;
  std::atomic<bool>* done_;
};

TEST(MessageLoopTest, TaskThatClearsDeleteAfterRunIsNotDeletedByTheLoop) {
  std::unique_ptr<Task> slot;
  std::atomic<bool> done{false};
  MessageLoop loop("test.handoff");
  loop.PostTask(std::make_unique<HandOffTask>(&slot, &done));
  ASSERT_TRUE(WaitUntil([&] { return done.load(); }));
  EXPECT_TRUE(slot);  // ASan would flag a double delete at scope end
}

// A loop whose derived class is still being constructed when the thread
// starts must not run a half-built object's code.
class DerivedLoop : public MessageLoop {
 public:
  DerivedLoop() : MessageLoop("test.derived") { value_ = 42; }
  ~DerivedLoop() override { Stop(); }
  int value_ = 0;
};

TEST(MessageLoopTest, LoopInADerivedClassIsSafe) {
  DerivedLoop loop;
  std::atomic<int> seen{0};
  struct ReadTask : Task {
    ReadTask(DerivedLoop* l, std::atomic<int>* s) : Task("ReadTask"), loop(l), seen(s) {}
    void Run(MessageLoop*, int64_t) override { *seen = loop->value_; }
    DerivedLoop* loop;
    std::atomic<int>* seen;
  };
  loop.PostTask(std::make_unique<ReadTask>(&loop, &seen));
  ASSERT_TRUE(WaitUntil([&] { return seen.load() == 42; }));
}

}  // namespace
}  // namespace brx::base
