#pragma once

#include <cstddef>
#include <vector>

namespace brx::platform {

// An auto-reset event: Set wakes exactly one waiter (or the next one to
// wait), which resets it by taking it. Backed by a non-blocking eventfd so
// it can sit in a poll() set or an epoll reactor next to sockets.
class Event {
 public:
  Event();
  ~Event();
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  void Set();
  void Reset();
  // Takes the event if it is set; never blocks.
  bool TryTake();
  // Waits up to `timeout_ms` (-1: forever) and takes the event.
  bool Wait(int timeout_ms);
  int fd() const { return fd_; }

 private:
  int fd_;
};

// Result codes of a wait on several events, as the thread objects report them.
enum class WaitResult {
  kAbandoned = 0,  // cannot happen with events; kept for the callers' switch
  kTimeout = 1,
  kSignalled = 2,
  kFailed = 3,  // empty set or a failed wait
};

// A set of events waited on together (wait-any). Not thread-safe: owned and
// used by one thread, filled before waiting.
class WaitSet {
 public:
  // Registering an event already in the set does nothing.
  void Add(Event* event);
  bool Contains(const Event* event) const;
  size_t size() const { return events_.size(); }
  // Waits up to `timeout_ms` for any event; on kSignalled `*which` (when
  // given) is the index of the event taken.
  WaitResult Wait(int timeout_ms, size_t* which = nullptr);

 private:
  std::vector<Event*> events_;
};

}  // namespace brx::platform
