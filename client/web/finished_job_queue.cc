#include "client/web/finished_job_queue.h"

#include "runtime/base/thread_message_queue.h"

FinishedJobQueue::~FinishedJobQueue() { Clear(); }

void FinishedJobQueue::OnResult(std::unique_ptr<JoberDescReturn_Web> result) {
  if (!result || !result->job) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    finished_.push_back(std::move(result));
  }
  if (uint32_t tid = thread_id_.load()) brx::base::PostThreadMessage(tid, message_id_, 0, 0);
}

bool FinishedJobQueue::DispatchFinishedJobs() {
  std::deque<std::unique_ptr<JoberDescReturn_Web>> batch;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    batch.swap(finished_);
  }
  for (auto& result : batch) {
    if (result->job->callback) result->job->callback(result.get());
    result.reset();
  }
  return true;
}

void FinishedJobQueue::Clear() {
  std::deque<std::unique_ptr<JoberDescReturn_Web>> dropped;
  std::lock_guard<std::mutex> lock(mutex_);
  dropped.swap(finished_);
}

size_t FinishedJobQueue::QueuedForTesting() {
  std::lock_guard<std::mutex> lock(mutex_);
  return finished_.size();
}
