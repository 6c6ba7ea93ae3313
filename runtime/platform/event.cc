#include "runtime/platform/event.h"

#include <errno.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstdio>

#include "runtime/platform/tick_clock.h"

namespace brx::platform {

namespace {

// Remaining time of a wait that started at `start`, or -1 for no limit.
int Remaining(int timeout_ms, uint32_t start) {
  if (timeout_ms < 0) return -1;
  uint32_t spent = GetTickCount() - start;
  return spent >= static_cast<uint32_t>(timeout_ms) ? 0 : timeout_ms - static_cast<int>(spent);
}

}  // namespace

Event::Event() : fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
  if (fd_ < 0) {
    perror("eventfd");
    abort();
  }
}

Event::~Event() { close(fd_); }

void Event::Set() {
  uint64_t one = 1;
  // A full counter (EAGAIN) still leaves the event set, which is all we need.
  while (write(fd_, &one, sizeof one) < 0 && errno == EINTR) {
  }
}

void Event::Reset() { TryTake(); }

bool Event::TryTake() {
  uint64_t value = 0;
  while (true) {
    if (read(fd_, &value, sizeof value) == sizeof value) return true;
    if (errno != EINTR) return false;
  }
}

bool Event::Wait(int timeout_ms) {
  uint32_t start = GetTickCount();
  while (true) {
    if (TryTake()) return true;
    pollfd p{fd_, POLLIN, 0};
    int left = Remaining(timeout_ms, start);
    int n = poll(&p, 1, left);
    if (n < 0 && errno != EINTR) return false;
    if (n == 0 && left == 0) return TryTake();
  }
}

void WaitSet::Add(Event* event) {
  if (!Contains(event)) events_.push_back(event);
}

bool WaitSet::Contains(const Event* event) const {
  return std::find(events_.begin(), events_.end(), event) != events_.end();
}

WaitResult WaitSet::Wait(int timeout_ms, size_t* which) {
  if (events_.empty()) return WaitResult::kFailed;
  std::vector<pollfd> fds;
  fds.reserve(events_.size());
  for (Event* e : events_) fds.push_back({e->fd(), POLLIN, 0});
  uint32_t start = GetTickCount();
  while (true) {
    int left = Remaining(timeout_ms, start);
    int n = poll(fds.data(), fds.size(), left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return WaitResult::kFailed;
    }
    for (size_t i = 0; i < fds.size(); ++i) {
      // Another waiter may have taken the event between poll and read.
      if ((fds[i].revents & POLLIN) && events_[i]->TryTake()) {
        if (which) *which = i;
        return WaitResult::kSignalled;
      }
    }
    if (left == 0) return WaitResult::kTimeout;
  }
}

}  // namespace brx::platform
