#include "runtime/io/io_monitor_service.h"

#include <errno.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "runtime/logmaker/log.h"

namespace brx::io {

namespace {

// Markers for the two events of the reactor itself.
char kWakeMarker;
char kStopMarker;

// The reactor whose Run is on this thread's stack: tells IsCurrentThread
// without asking the kernel for the thread id on every read.
thread_local const IOMonitorService* t_running = nullptr;

uint32_t EventsFor(const IOOperation* operation) {
  return (operation->kind == IOOperation::Kind::kConnect ? EPOLLOUT : EPOLLIN) | EPOLLONESHOT;
}

}  // namespace

IOMonitorService::IOMonitorService(std::string name, IIOHandler* handler)
    : ThreadRun(std::move(name)),
      handler_(handler),
      epoll_(epoll_create1(EPOLL_CLOEXEC)),
      wait_(&epoll_wait) {
  if (!epoll_.valid()) {
    perror("epoll_create1");
    abort();
  }
  epoll_event wake{EPOLLIN, {.ptr = &kWakeMarker}};
  epoll_event stop{EPOLLIN, {.ptr = &kStopMarker}};
  if (epoll_ctl(epoll_.get(), EPOLL_CTL_ADD, wake_.fd(), &wake) != 0 ||
      epoll_ctl(epoll_.get(), EPOLL_CTL_ADD, stop_event().fd(), &stop) != 0) {
    perror("epoll_ctl");
    abort();
  }
}

IOMonitorService::~IOMonitorService() { Stop(); }

bool IOMonitorService::Post(IOOperation* operation) {
  if (IsCurrentThread() && operation == current_) {
    current_reposted_ = true;  // Dispatch tries it again or arms it
    return true;
  }
  return Arm(operation);
}

bool IOMonitorService::Arm(IOOperation* operation) {
  epoll_event event{EventsFor(operation), {.ptr = operation}};
  // Marked before the descriptor is added, because the reactor may report
  // (and a handler remove) it before epoll_ctl even returns here.
  if (!operation->registered.exchange(true)) {
    if (epoll_ctl(epoll_.get(), EPOLL_CTL_ADD, operation->fd, &event) == 0) return true;
    if (errno != EEXIST) {
      operation->registered = false;
      return false;
    }
  }
  return epoll_ctl(epoll_.get(), EPOLL_CTL_MOD, operation->fd, &event) == 0;
}

void IOMonitorService::Remove(IOOperation* operation) {
  if (operation->registered.exchange(false)) {
    epoll_event unused{};
    epoll_ctl(epoll_.get(), EPOLL_CTL_DEL, operation->fd, &unused);
  }
  if (IsCurrentThread()) {
    removed_in_batch_.insert(operation);
    // Removed while being completed: it may be freed once its handler returns.
    if (operation == current_) current_reposted_ = false;
  }
}

bool IOMonitorService::PostTask(std::function<void()> task) {
  if (!IsRunning() || IsStopping()) return false;
  {
    std::lock_guard<std::mutex> lock(tasks_mutex_);
    tasks_.push_back(std::move(task));
  }
  wake_.Set();
  return true;
}

bool IOMonitorService::PostDelayedTask(uint32_t delay_ms, std::function<void()> task) {
  if (!IsRunning() || IsStopping()) return false;
  {
    std::lock_guard<std::mutex> lock(tasks_mutex_);
    delayed_.emplace(std::chrono::steady_clock::now() + std::chrono::milliseconds(delay_ms),
                     std::move(task));
  }
  wake_.Set();  // the wait's time-out may have to be shorter now
  return true;
}

void IOMonitorService::RunOnIoThread(std::function<void()> task) {
  if (IsCurrentThread() || !IsRunning()) {
    task();
    return;
  }
  PostTask(std::move(task));
}

bool IOMonitorService::IsCurrentThread() const { return t_running == this; }

void IOMonitorService::RunTasks() {
  std::vector<std::function<void()>> tasks;
  {
    std::lock_guard<std::mutex> lock(tasks_mutex_);
    tasks.swap(tasks_);
  }
  for (auto& task : tasks) {
    if (IsStopping()) break;
    task();
  }
}

int IOMonitorService::NextTimeout() {
  std::lock_guard<std::mutex> lock(tasks_mutex_);
  if (delayed_.empty()) return -1;
  auto left = std::chrono::ceil<std::chrono::milliseconds>(delayed_.begin()->first -
                                                           std::chrono::steady_clock::now());
  return static_cast<int>(std::max<int64_t>(0, left.count()));
}

void IOMonitorService::RunDueTasks() {
  std::vector<std::function<void()>> due;
  {
    std::lock_guard<std::mutex> lock(tasks_mutex_);
    auto end = delayed_.upper_bound(std::chrono::steady_clock::now());
    for (auto it = delayed_.begin(); it != end; ++it) due.push_back(std::move(it->second));
    delayed_.erase(delayed_.begin(), end);
  }
  for (auto& task : due) {
    if (IsStopping()) break;
    task();
  }
}

void IOMonitorService::PauseAfterError() {
  pollfd stop{stop_event().fd(), POLLIN, 0};
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kErrorRetryMs);
  while (!IsStopping()) {
    auto left =
        std::chrono::ceil<std::chrono::milliseconds>(until - std::chrono::steady_clock::now())
            .count();
    if (left <= 0 || poll(&stop, 1, static_cast<int>(left)) > 0) return;
  }
}

bool IOMonitorService::Perform(IOOperation* operation) {
  switch (operation->kind) {
    case IOOperation::Kind::kRead: {
      ssize_t n = recv(operation->fd, operation->buffer, operation->size, MSG_DONTWAIT);
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return false;
      if (n > 0)
        handler_->OnComplete(0, operation, static_cast<uint32_t>(n));
      else if (n == 0)
        handler_->OnComplete(kErrorBrokenPipe, operation, 0);
      else
        handler_->OnComplete(errno, operation, 0);
      return true;
    }
    case IOOperation::Kind::kAccept: {
      int fd = accept4(operation->fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd < 0 &&
          (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR || errno == ECONNABORTED))
        return false;
      if (fd >= 0) {
        operation->accepted_fd = fd;
        handler_->OnComplete(0, operation, 0);
      } else {
        handler_->OnComplete(errno, operation, 0);
      }
      return true;
    }
    case IOOperation::Kind::kListen:
      handler_->OnComplete(0, operation, 0);
      return true;
    case IOOperation::Kind::kConnect: {
      int error = 0;
      socklen_t length = sizeof error;
      if (getsockopt(operation->fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
      handler_->OnComplete(error, operation, 0);
      return true;
    }
  }
  return true;
}

void IOMonitorService::Dispatch(IOOperation* operation) {
  constexpr int kRounds = 8;  // then the other descriptors get their turn
  for (int round = 1;; ++round) {
    current_ = operation;
    current_reposted_ = false;
    bool completed = Perform(operation);
    current_ = nullptr;
    if (completed && !current_reposted_) return;  // the handler is done with it
    if (!completed || operation->kind != IOOperation::Kind::kRead || round == kRounds ||
        IsStopping()) {
      Arm(operation);
      return;
    }
  }
}

int IOMonitorService::Run() {
  t_running = this;
  constexpr int kMaxEvents = 64;
  epoll_event events[kMaxEvents];
  int error = 0;
  bool failing = false;
  while (!IsStopping()) {
    int n = wait_(epoll_.get(), events, kMaxEvents, NextTimeout());
    if (IsStopping()) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      error = errno;
      if (!failing)
        LogWarnA("%s:%d:%s: epoll_wait failed: %s\n", "IOMonitorService::Run", __LINE__,
                 name().c_str(), strerror(error));
      failing = true;
      if (!handler_->OnError(error)) break;
      // The same call would most likely fail again at once.
      PauseAfterError();
      continue;
    }
    failing = false;
    removed_in_batch_.clear();
    for (int i = 0; i < n && !IsStopping(); ++i) {
      void* tag = events[i].data.ptr;
      if (tag == &kStopMarker) continue;
      if (tag == &kWakeMarker) {
        wake_.TryTake();
        RunTasks();
        continue;
      }
      auto* operation = static_cast<IOOperation*>(tag);
      if (removed_in_batch_.count(operation)) continue;
      Dispatch(operation);
    }
    RunDueTasks();
  }
  removed_in_batch_.clear();
  std::vector<std::function<void()>> dropped;
  std::multimap<TimePoint, std::function<void()>> dropped_delayed;
  {
    std::lock_guard<std::mutex> lock(tasks_mutex_);
    dropped.swap(tasks_);
    dropped_delayed.swap(delayed_);
  }
  dropped.clear();
  dropped_delayed.clear();
  handler_->OnStop(error);
  t_running = nullptr;
  return 0;
}

}  // namespace brx::io
