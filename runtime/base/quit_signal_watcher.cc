#include "runtime/base/quit_signal_watcher.h"

#include "runtime/base/block_quit_signals_at_load.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>

#include "runtime/base/thread_message_queue.h"

namespace brx::base {

namespace {

sigset_t QuitSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  return set;
}

}  // namespace

void BlockQuitSignals() {
  sigset_t set = QuitSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  signal(SIGPIPE, SIG_IGN);
}

void BlockQuitSignalsAtLoad(int, char**, char**) { BlockQuitSignals(); }

QuitSignalWatcher::QuitSignalWatcher(uint32_t target_thread_id)
    : ThreadBase("brx.base.QuitSignalWatcher"), target_(target_thread_id) {
  sigset_t set = QuitSignals();
  signal_fd_ = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
  Start();
}

QuitSignalWatcher::~QuitSignalWatcher() {
  Stop();
  if (signal_fd_ >= 0) close(signal_fd_);
}

int QuitSignalWatcher::ThreadProc() {
  if (signal_fd_ < 0) return -1;
  pollfd fds[2] = {{stop_event().fd(), POLLIN, 0}, {signal_fd_, POLLIN, 0}};
  while (!IsStopping()) {
    int n = poll(fds, 2, -1);
    if (n < 0 && errno != EINTR) return -1;
    if (fds[1].revents & POLLIN) {
      signalfd_siginfo info;
      while (read(signal_fd_, &info, sizeof info) == sizeof info) {
        signals_seen_.fetch_add(1);
        PostThreadMessage(target_, WM_QUIT, 0, 0);
      }
    }
  }
  return 0;
}

}  // namespace brx::base
