#include "runtime/base/thread.h"

#include <pthread.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "runtime/base/thread_message_queue.h"
#include "runtime/logmaker/log.h"
#include "runtime/platform/alt_signal_stack.h"
#include "runtime/util/text_convert.h"

namespace brx::base {

uint32_t CurrentThreadId() { return static_cast<uint32_t>(gettid()); }

// The operating-system thread of one thread object.
class ThreadImpl {
 public:
  explicit ThreadImpl(ThreadBase* owner) : owner_(owner) {}
  ~ThreadImpl() { Join(); }

  bool Start(std::function<int()> body) {
    if (thread_.joinable()) return true;
    body_ = std::move(body);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      finished_ = false;
      tid_ = 0;
    }
    try {
      thread_ = std::thread([this] { Main(); });
    } catch (const std::system_error&) {
      return false;
    }
    // Wait for the id, so a WM_QUIT posted right after Start finds it.
    std::unique_lock<std::mutex> lock(mutex_);
    cv_.wait(lock, [this] { return tid_ != 0; });
    return true;
  }

  void Stop() {
    if (!thread_.joinable()) return;
    if (thread_.get_id() == std::this_thread::get_id()) {
      fprintf(stderr, "ThreadImpl::Stop: thread %s asked to join itself\n", owner_->name().c_str());
      abort();
    }
    uint32_t tid = thread_id();
    if (tid) PostThreadMessage(tid, WM_QUIT, 0, 0);
    {
      std::unique_lock<std::mutex> lock(mutex_);
      if (!cv_.wait_for(lock, std::chrono::milliseconds(ThreadBase::kStopTimeoutMs),
                        [this] { return finished_; })) {
        lock.unlock();
        LogError(L"%s:%d:thread %ls did not stop within %d ms; waiting on\n", "ThreadImpl::Stop",
                 __LINE__, util::Utf8ToWide(owner_->name()).c_str(), ThreadBase::kStopTimeoutMs);
      }
    }
    Join();
  }

  bool running() const { return thread_.joinable(); }
  uint32_t thread_id() {
    std::lock_guard<std::mutex> lock(mutex_);
    return finished_ ? 0 : tid_;
  }

 private:
  void Main() {
    // Linux allows 15 characters; the full name stays on the object.
    pthread_setname_np(pthread_self(), owner_->name().substr(0, 15).c_str());
    platform::EnsureAltSignalStack();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      tid_ = CurrentThreadId();
    }
    cv_.notify_all();
    body_();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      finished_ = true;
    }
    cv_.notify_all();
  }

  void Join() {
    if (thread_.joinable()) thread_.join();
  }

  ThreadBase* owner_;
  std::function<int()> body_;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable cv_;
  uint32_t tid_ = 0;
  bool finished_ = false;
};

ThreadBase::ThreadBase(std::string name)
    : name_(std::move(name)), impl_(std::make_unique<ThreadImpl>(this)) {
  wait_set_.Add(&stop_event_);
}

ThreadBase::~ThreadBase() { Stop(); }

bool ThreadBase::Start() {
  return StartWith([this] { return ThreadProc(); });
}

bool ThreadBase::StartWith(std::function<int()> body) {
  if (impl_->running()) return true;
  stop_.store(false, std::memory_order_release);
  stop_event_.Reset();
  return impl_->Start(std::move(body));
}

void ThreadBase::Stop() {
  stop_.store(true, std::memory_order_release);
  stop_event_.Set();
  impl_->Stop();
}

platform::WaitResult ThreadBase::Wait(size_t* which) { return wait_set_.Wait(kWaitCapMs, which); }

platform::WaitResult ThreadBase::WaitForEvents(int timeout_ms, size_t* which) {
  return wait_set_.Wait(timeout_ms, which);
}

void ThreadBase::RegisterEvent(platform::Event* event) { wait_set_.Add(event); }

bool ThreadBase::IsRunning() const { return impl_->running(); }

uint32_t ThreadBase::GetThreadId() const { return impl_->thread_id(); }

ThreadMethod::~ThreadMethod() { Stop(); }

int ThreadMethod::ThreadProc() {
  if (!method_) throw std::bad_function_call();
  method_();
  return 0;
}

}  // namespace brx::base
