#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

#include "runtime/base/task.h"
#include "runtime/base/thread.h"
#include "runtime/platform/event.h"

namespace brx::base {

// A named thread that runs posted tasks one at a time, in id order, each
// no earlier than its delay after posting. The thread starts in the
// constructor and stops in the destructor; tasks not yet run then are
// deleted unrun.
//
// Task ids come from one process-wide counter (the first task of the
// process gets 1), so they are unique across all loops.
class MessageLoop : public ThreadBase {
 public:
  explicit MessageLoop(std::string name);
  ~MessageLoop() override;

  // Takes the task. Returns its id; -1 when it ran at once in the calling
  // thread, or when the loop is stopping (the task is then deleted unrun).
  int64_t PostTask(std::unique_ptr<Task> task);
  // Deletes every task posted but not yet taken by the loop thread, in
  // the order they were posted.
  void CancelAllTasks();

 private:
  struct Pending {
    uint32_t post_time;
    std::unique_ptr<Task> task;
  };
  using TaskMap = std::map<int64_t, Pending>;

  int ThreadProc() final;
  void RunLoop();
  // Milliseconds until the first deferred task is due; -1 without one.
  int NextDueInMs() const;

  std::mutex mutex_;  // guards pending_ and stopping_
  TaskMap pending_;
  bool stopping_ = false;
  TaskMap deferred_;  // loop thread only
  platform::Event wake_;
};

}  // namespace brx::base
