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
// queued, Close() also refuses every later result; dropped results never
// call back. Either may be called by a callback during a drain (a reply
// handler that shuts the client down), and so may the destructor: the rest
// of that drain is then dropped too, so after Close or destruction no
// callback runs at all.
class FinishedJobQueue : public JoberListener {
 public:
  explicit FinishedJobQueue(uint32_t message_id) : message_id_(message_id) {}
  ~FinishedJobQueue() override;
  FinishedJobQueue(const FinishedJobQueue&) = delete;
  FinishedJobQueue& operator=(const FinishedJobQueue&) = delete;

  uint32_t message_id() const { return message_id_; }
  // The thread woken with the message; 0 (the default) wakes nobody.
  void SetTargetThread(uint32_t thread_id) { thread_id_ = thread_id; }

  // Any thread: queues the result and wakes the target thread; after
  // Close the result is dropped.
  void OnResult(std::unique_ptr<JoberDescReturn_Web> result) override;

  // Main thread: runs the callback of every result queued so far, oldest
  // first, then deletes the results (and their jobs). Results that arrive
  // meanwhile wait for their own message. Returns true.
  bool DispatchFinishedJobs();
  void Clear();
  void Close();

  size_t QueuedForTesting();

 private:
  // Shared with a drain in progress, which checks it after every callback:
  // it outlives the queue, so a drain can tell that a callback cleared,
  // closed or destroyed the queue without touching the queue itself.
  struct DrainGuard {
    std::atomic<uint64_t> generation{0};
    std::atomic<bool> closed{false};
  };

  const uint32_t message_id_;
  std::atomic<uint32_t> thread_id_{0};
  const std::shared_ptr<DrainGuard> guard_ = std::make_shared<DrainGuard>();
  std::mutex mutex_;  // guards finished_ and closed_
  std::deque<std::unique_ptr<JoberDescReturn_Web>> finished_;
  bool closed_ = false;
};
