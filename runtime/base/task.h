#pragma once

#include <cstdint>
#include <string>

namespace brx::base {

class MessageLoop;

// A unit of work posted to a MessageLoop.
class Task {
 public:
  explicit Task(std::string name) : name_(std::move(name)) {}
  virtual ~Task() = default;
  Task(const Task&) = delete;
  Task& operator=(const Task&) = delete;

  // Runs on the loop's thread (or the posting thread when run-at-once);
  // `task_id` is -1 for a task run at once.
  virtual void Run(MessageLoop* loop, int64_t task_id) {
    (void)loop;
    (void)task_id;
  }

  const std::string& name() const { return name_; }

  // Run in the posting thread instead of the loop.
  bool run_at_once = false;
  // The loop deletes the task after running it. A task that clears this
  // (before it is posted) hands itself on during Run; its new owner frees
  // it, possibly before Run has returned.
  bool delete_after_run = true;
  // The least time between posting and running.
  uint32_t delay_ms = 0;

 private:
  std::string name_;
};

}  // namespace brx::base
