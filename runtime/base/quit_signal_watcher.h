#pragma once

#include <cstdint>

#include "runtime/base/thread.h"

namespace brx::base {

// Turns SIGTERM and SIGINT into WM_QUIT on one thread's message queue, so
// that a program asked to quit (by the user, the session, or another of our
// programs) shuts down in its normal order.
//
// Call BlockQuitSignals() on the main thread before any other thread is
// started (threads inherit the mask); create the target thread's queue
// before the watcher, so a signal that arrives early is never lost: it is
// read from the signalfd once the watcher runs.
class QuitSignalWatcher : public ThreadBase {
 public:
  // Posts WM_QUIT to `target_thread_id` for every SIGTERM/SIGINT.
  explicit QuitSignalWatcher(uint32_t target_thread_id);
  ~QuitSignalWatcher() override;

  int signals_seen() const { return signals_seen_.load(); }

 private:
  int ThreadProc() final;
  uint32_t target_;
  int signal_fd_;
  std::atomic<int> signals_seen_{0};
};

// Blocks SIGTERM and SIGINT for the calling thread and those it starts, and
// ignores SIGPIPE for the process (socket writes use MSG_NOSIGNAL as well).
void BlockQuitSignals();

}  // namespace brx::base
