#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

struct epoll_event;

#include "runtime/base/thread.h"
#include "runtime/io/scoped_fd.h"
#include "runtime/platform/event.h"

namespace brx::io {

// Error code a read completes with when the peer closed its end (0 bytes).
// Callbacks pass it on as the reason of the disconnection.
inline constexpr int kErrorBrokenPipe = 109;
// Error code of a connection closed because its stream was corrupt.
inline constexpr int kErrorBadFrame = -1;
// Error code of a connection that this side closed on purpose.
inline constexpr int kErrorConnectionAborted = 1236;

// One operation a service waits for on a descriptor. Services embed it
// first in their per-connection record, so a completion's operation
// pointer finds the record. The reactor performs the operation when the
// descriptor is ready and then reports it, so handlers see each operation
// once, finished, with its result:
//   kRead:    recv into `buffer` (up to `size` bytes); bytes 0 with
//             kErrorBrokenPipe when the peer closed, or an errno value.
//   kAccept:  accept4; the new descriptor (non-blocking, close-on-exec) is
//             left in `accepted_fd` for the handler to take.
//   kConnect: the descriptor became writable; error is SO_ERROR.
//   kListen:  a listening descriptor has a client waiting; the handler
//             accepts it itself (bytes 0, error 0).
struct IOOperation {
  enum class Kind : uint8_t { kRead, kAccept, kConnect, kListen };
  int fd = -1;
  Kind kind = Kind::kRead;
  uint8_t* buffer = nullptr;
  uint32_t size = 0;
  int accepted_fd = -1;
  std::atomic<bool> registered{false};  // kept by the reactor
};

// The completion thread of a stream service: an epoll reactor with an
// eventfd wake-up.
//
// Each posted operation completes once (one-shot); the handler re-posts it
// to keep reading. A read re-posted from its own completion is tried again
// at once (a few rounds) before the descriptor is armed again, so a stream
// that keeps coming is read without a trip through epoll for each chunk.
// Handlers run on the reactor thread, one at a time, so
// the operations of one connection are handled in order. Remove must be
// called on the reactor thread (or while it is stopped); an operation
// removed during a batch is never reported from that batch, so its record
// may be freed right after Remove. Closing a connection from another
// thread is done by PostTask, never directly.
//
// A failed epoll_wait is reported to the handler; when it keeps the thread
// going, the next wait comes only after kErrorRetryMs (or the stop), so a
// lasting failure never spins the thread.
//
// The owner starts it (ThreadBase::Start) and stops it (ThreadBase::Stop,
// which wakes epoll_wait through the stop event); tasks still queued when
// the thread ends, delayed ones too, are dropped unrun.
class IOMonitorService : public base::ThreadRun {
 public:
  static constexpr int kErrorRetryMs = 100;

  class IIOHandler {
   public:
    virtual ~IIOHandler() = default;
    // epoll_wait failed with `error` (never EINTR); false ends the thread.
    virtual bool OnError(int error) = 0;
    // An operation completed (see IOOperation for error and bytes).
    virtual void OnComplete(int error, IOOperation* operation, uint32_t bytes) = 0;
    // The thread is about to end; `error` is the last wait error or 0.
    virtual void OnStop(int error) = 0;
  };

  IOMonitorService(std::string name, IIOHandler* handler);
  ~IOMonitorService() override;

  // Any thread: arms the operation on its descriptor. False when epoll
  // refuses the descriptor.
  bool Post(IOOperation* operation);
  // Reactor thread (or stopped): stops watching the operation's descriptor.
  void Remove(IOOperation* operation);

  // Runs `task` on the reactor thread after the current callback. False
  // (task dropped) when the thread is not running.
  bool PostTask(std::function<void()> task);
  // Runs `task` on the reactor thread once `delay_ms` have passed. False
  // (task dropped) when the thread is not running.
  bool PostDelayedTask(uint32_t delay_ms, std::function<void()> task);
  // Runs `task` now when called on the reactor thread or while the thread
  // is not running, else hands it to the thread.
  void RunOnIoThread(std::function<void()> task);
  // An empty completion: wakes the thread without reporting anything.
  void Wake() { wake_.Set(); }

  bool IsCurrentThread() const;

  // Replaces epoll_wait, to make it fail in tests. Call before Start.
  using WaitFunction = int (*)(int epoll_fd, epoll_event* events, int max_events, int timeout_ms);
  void SetWaitFunctionForTesting(WaitFunction wait) { wait_ = wait; }

 protected:
  int Run() override;

 private:
  using TimePoint = std::chrono::steady_clock::time_point;

  // Milliseconds until the first delayed task is due; -1 when none.
  int NextTimeout();
  void RunDueTasks();
  // After a wait error: waits kErrorRetryMs, or until the stop.
  void PauseAfterError();
  // Completes the operation; false when it would block (nothing reported).
  bool Perform(IOOperation* operation);
  void Dispatch(IOOperation* operation);
  bool Arm(IOOperation* operation);
  void RunTasks();

  IIOHandler* handler_;
  ScopedFd epoll_;
  platform::Event wake_;
  WaitFunction wait_;
  std::mutex tasks_mutex_;
  std::vector<std::function<void()>> tasks_;
  std::multimap<TimePoint, std::function<void()>> delayed_;  // guarded by tasks_mutex_
  std::unordered_set<IOOperation*> removed_in_batch_;        // reactor thread only
  IOOperation* current_ = nullptr;                           // being completed; reactor thread only
  bool current_reposted_ = false;
};

}  // namespace brx::io
