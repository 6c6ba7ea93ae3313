#include "uilib/winsys/gui_thread.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "runtime/logmaker/log.h"

namespace uilib {

namespace {

// Kernel thread ids are never 0.
std::atomic<long> g_gui_thread{0};
std::atomic<bool> g_reported{false};

long ThisThread() {
  thread_local const long id = static_cast<long>(::syscall(SYS_gettid));
  return id;
}

}  // namespace

void CheckGuiThread(const char* function) {
  const long self = ThisThread();
  long bound = g_gui_thread.load(std::memory_order_acquire);
  if (bound == self) return;
  if (bound == 0 && g_gui_thread.compare_exchange_strong(bound, self, std::memory_order_acq_rel))
    return;
#ifndef NDEBUG
  std::fprintf(stderr, "uilib: %s called off the GUI thread (thread %ld, GUI thread %ld)\n",
               function, self, bound);
  std::abort();
#else
  if (!g_reported.exchange(true))
    LogError(L"%s:%d:%s called off the GUI thread (thread %ld, GUI thread %ld)\n", __func__,
             __LINE__, function, self, bound);
#endif
}

void UnbindGuiThread() {
  g_gui_thread.store(0, std::memory_order_release);
  // A new binding is a new story: its first stray call is reported too.
  g_reported.store(false, std::memory_order_relaxed);
}

}  // namespace uilib
