#include "client/web/finished_job_queue.h"

#include "runtime/base/thread_message_queue.h"

FinishedJobQueue::~FinishedJobQueue() { Close(); }

void FinishedJobQueue::OnResult(std::unique_ptr<JoberDescReturn_Web> result) {
  if (!result || !result->job) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) return;  // the result dies here, after the lock is left
    finished_.push_back(std::move(result));
  }
  if (uint32_t tid = thread_id_.load()) brx::base::PostThreadMessage(tid, message_id_, 0, 0);
}

bool FinishedJobQueue::DispatchFinishedJobs() {
  const std::shared_ptr<DrainGuard> guard = guard_;
  const uint64_t generation = guard->generation.load();
  std::deque<std::unique_ptr<JoberDescReturn_Web>> batch;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    batch.swap(finished_);
  }
  for (auto& result : batch) {
    // A callback may have cleared, closed or destroyed the queue: the rest
    // of the batch is dropped, and `this` is not touched again.
    if (guard->closed.load() || guard->generation.load() != generation) break;
    if (result->job->callback) result->job->callback(result.get());
    result.reset();
  }
  return true;
}

void FinishedJobQueue::Clear() {
  guard_->generation.fetch_add(1);
  std::deque<std::unique_ptr<JoberDescReturn_Web>> dropped;
  std::lock_guard<std::mutex> lock(mutex_);
  dropped.swap(finished_);
}

void FinishedJobQueue::Close() {
  guard_->closed.store(true);
  std::deque<std::unique_ptr<JoberDescReturn_Web>> dropped;
  std::lock_guard<std::mutex> lock(mutex_);
  closed_ = true;
  dropped.swap(finished_);
}

size_t FinishedJobQueue::QueuedForTesting() {
  std::lock_guard<std::mutex> lock(mutex_);
  return finished_.size();
}
