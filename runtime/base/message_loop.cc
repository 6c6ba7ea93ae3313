#include "runtime/base/message_loop.h"

#include <atomic>
#include <climits>
#include <cstdint>

#include "runtime/platform/tick_clock.h"

namespace brx::base {

namespace {
std::atomic<int64_t> g_next_task_id{0};
}  // namespace

MessageLoop::MessageLoop(std::string name) : ThreadBase(std::move(name)) {
  RegisterEvent(&wake_);
  StartWith([this] {
    RunLoop();
    return 0;
  });
}

MessageLoop::~MessageLoop() {
  // Refuse new posts first, so none can slip in after the cancel.
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  CancelAllTasks();
  Stop();
  // The thread has ended: its deferred tasks never ran and die here.
  deferred_.clear();
}

int64_t MessageLoop::PostTask(std::unique_ptr<Task> task) {
  if (!task) return -1;
  if (IsStopping()) return -1;
  if (task->run_at_once) {
    bool owned = task->delete_after_run;
    task->Run(this, -1);
    if (!owned) task.release();
    return -1;
  }
  uint32_t now = platform::GetTickCount();
  int64_t id;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_) return -1;
    id = ++g_next_task_id;
    pending_.emplace(id, Pending{now, std::move(task)});
  }
  wake_.Set();
  return id;
}

void MessageLoop::CancelAllTasks() {
  TaskMap dropped;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    dropped.swap(pending_);
  }
  // Task destructors run outside the lock: they may post again. Oldest
  // first, so a task that reports its cancellation does so in post order.
  while (!dropped.empty()) dropped.erase(dropped.begin());
}

int MessageLoop::ThreadProc() {
  RunLoop();
  return 0;
}

int MessageLoop::NextDueInMs() const {
  if (deferred_.empty()) return -1;
  uint32_t now = platform::GetTickCount();
  uint32_t soonest = UINT32_MAX;
  for (const auto& [id, entry] : deferred_) {
    uint32_t age = now - entry.post_time;
    uint32_t left = age < entry.task->delay_ms ? entry.task->delay_ms - age : 0;
    if (left < soonest) soonest = left;
  }
  return soonest > static_cast<uint32_t>(INT32_MAX) ? INT32_MAX : static_cast<int>(soonest);
}

void MessageLoop::RunLoop() {
  while (true) {
    // Posts and Stop() set events; only a deferred task needs a deadline.
    WaitForEvents(NextDueInMs());
    if (IsStopping()) return;
    TaskMap batch;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      batch.swap(pending_);
    }
    batch.merge(deferred_);
    deferred_.clear();
    for (auto& [id, entry] : batch) {
      if (IsStopping()) {
        deferred_.insert_or_assign(id, std::move(entry));
        continue;
      }
      uint32_t age = platform::GetTickCount() - entry.post_time;
      if (age < entry.task->delay_ms) {
        deferred_.emplace(id, std::move(entry));
        continue;
      }
      std::unique_ptr<Task> task = std::move(entry.task);
      // Read before Run: a task that hands itself on may be freed by its
      // new owner before Run returns.
      bool owned = task->delete_after_run;
      task->Run(this, id);
      if (!owned) task.release();
    }
  }
}

}  // namespace brx::base
