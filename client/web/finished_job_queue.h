#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

#include "client/web/jober.h"

// Carries finished jobs from the worker threads to the main thread: a
// worker appends the result under the lock and then posts the thread
// message to the main thread, whose loop calls DispatchFinishedJobs. The
// web logic manager owns one (message 2024); the video chat its own.
//
// Results arrive in the order the jobs finished. Clear() drops whatever is
// queued; dropped results never call back.
class FinishedJobQueue : public JoberListener {
 public:
  explicit FinishedJobQueue(uint32_t message_id) : message_id_(message_id) {}
  ~FinishedJobQueue() override;

  uint32_t message_id() const { return message_id_; }
  // The thread woken with the message; 0 (the default) wakes nobody.
  void SetTargetThread(uint32_t thread_id) { thread_id_ = thread_id; }

  // Any thread: queues the result and wakes the target thread.
  void OnResult(std::unique_ptr<JoberDescReturn_Web> result) override;

  // Main thread: runs the callback of every result queued so far, oldest
  // first, then deletes the results (and their jobs). Results that arrive
  // meanwhile wait for their own message. Returns true.
  bool DispatchFinishedJobs();
  void Clear();

  size_t QueuedForTesting();

 private:
  const uint32_t message_id_;
  std::atomic<uint32_t> thread_id_{0};
  std::mutex mutex_;  // guards finished_
  std::deque<std::unique_ptr<JoberDescReturn_Web>> finished_;
};
