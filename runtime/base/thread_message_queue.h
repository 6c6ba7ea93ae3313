#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "runtime/platform/event.h"

namespace brx::base {

// Message numbers keep their well-known values.
inline constexpr uint32_t WM_QUIT = 18;
inline constexpr uint32_t WM_SYSCOMMAND = 274;
inline constexpr uint32_t WM_TIMER = 275;
inline constexpr uint32_t WM_USER = 1024;
inline constexpr uintptr_t SC_CLOSE = 0xF060;

// A window handle; 0 for a thread message. Windows are created by the UI
// layer, which routes messages with a non-zero handle.
using WindowHandle = uintptr_t;

struct Message {
  WindowHandle hwnd = 0;
  uint32_t message = 0;
  uintptr_t wParam = 0;
  intptr_t lParam = 0;
  uint32_t time = 0;  // GetTickCount when posted or generated
};

// Something a posted message carries. The queue owns it from the post until
// the reader claims it, so a message never run (dropped, or still queued
// when the queue goes) frees what it carried instead of leaking it.
class MessagePayload {
 public:
  virtual ~MessagePayload() = default;
};

template <typename T>
class OwnedPayload final : public MessagePayload {
 public:
  explicit OwnedPayload(std::unique_ptr<T> value) : value_(std::move(value)) {}
  std::unique_ptr<T> Release() { return std::move(value_); }

 private:
  std::unique_ptr<T> value_;
};

// The message queue of one thread, registered by the thread's kernel id so
// that other threads (and the signal watcher) can post to it. Create it on
// the thread that reads it; destroy it on that thread. Messages still
// queued at destruction are dropped unread.
//
// Timers are low priority and coalesced: a due timer produces one WM_TIMER
// (wParam = timer id) only when no posted message is waiting, however many
// periods have passed.
//
// A message may carry an owned payload (PostOwned): its wParam is then a
// ticket, not a pointer, and TakePayload on the reading thread claims the
// payload by it. Payloads never claimed are destroyed with the queue.
class ThreadMessageQueue {
 public:
  ThreadMessageQueue();
  ~ThreadMessageQueue();
  ThreadMessageQueue(const ThreadMessageQueue&) = delete;
  ThreadMessageQueue& operator=(const ThreadMessageQueue&) = delete;

  // The calling thread's queue, or null.
  static ThreadMessageQueue* Current();

  uint32_t thread_id() const { return thread_id_; }

  // Thread-safe. False once the queue is being destroyed.
  bool Post(const Message& message);
  // Thread-safe. Posts `message` carrying `payload`, whose ticket replaces
  // wParam. On failure (the queue is being destroyed) `payload` is left with
  // the caller, who destroys it outside the queue's lock.
  bool PostOwned(Message message, std::unique_ptr<MessagePayload>& payload);
  // The payload posted with `ticket`, now owned by the caller; null when the
  // ticket carries none or was claimed already.
  std::unique_ptr<MessagePayload> TakePayload(uintptr_t ticket);
  // Blocks until a message is available; false when it is WM_QUIT.
  bool Get(Message* message);
  // Takes (or only looks at) the next message without blocking.
  bool Peek(Message* message, bool remove);

  // Thread timers; `period_ms` of 0 is taken as 1. Returns the id.
  uintptr_t SetTimer(WindowHandle hwnd, uintptr_t id, uint32_t period_ms);
  bool KillTimer(WindowHandle hwnd, uintptr_t id);

  // Readable while messages may be waiting; lets a toolkit loop watch the queue.
  int wake_fd() const { return wake_.fd(); }
  // Replaces the idle wait (default: poll on wake_fd). The waiter must
  // return once wake_fd is readable or `timeout_ms` (-1: none) has passed.
  void SetIdleWaiter(std::function<void(int wake_fd, int timeout_ms)> waiter);

 private:
  struct Timer {
    WindowHandle hwnd;
    uintptr_t id;
    uint32_t period;
    uint32_t due;
  };
  // Takes the next posted message or due timer; otherwise returns the time
  // until the next timer in `*wait_ms` (-1: no timer).
  bool TakeNext(Message* message, bool remove, int* wait_ms);

  const uint32_t thread_id_;
  std::mutex mutex_;
  std::deque<Message> posted_;
  std::vector<Timer> timers_;
  std::unordered_map<uintptr_t, std::unique_ptr<MessagePayload>> payloads_;
  uintptr_t next_ticket_ = 1;
  bool closed_ = false;
  platform::Event wake_;
  std::function<void(int, int)> idle_waiter_;
};

// Posts to the queue of thread `thread_id`; false when that thread has none.
bool PostThreadMessage(uint32_t thread_id, uint32_t message, uintptr_t wParam, intptr_t lParam);
// Posts `message` to thread `thread_id` (for window `hwnd`, 0 for the
// thread) carrying `payload`; false when that thread has no queue, and the
// payload is then destroyed here.
bool PostOwnedPayload(uint32_t thread_id, WindowHandle hwnd, uint32_t message,
                      std::unique_ptr<MessagePayload> payload);
template <typename T>
bool PostOwnedMessage(uint32_t thread_id, WindowHandle hwnd, uint32_t message,
                      std::unique_ptr<T> payload) {
  return PostOwnedPayload(thread_id, hwnd, message,
                          std::make_unique<OwnedPayload<T>>(std::move(payload)));
}
// Claims from the calling thread's queue the payload of the message whose
// wParam is `ticket`; null when there is none. A payload of another type
// is a programming error and aborts.
std::unique_ptr<MessagePayload> TakeAnyMessagePayload(uintptr_t ticket);
[[noreturn]] void AbortOnPayloadType(uintptr_t ticket);
template <typename T>
std::unique_ptr<T> TakeMessagePayload(uintptr_t ticket) {
  std::unique_ptr<MessagePayload> payload = TakeAnyMessagePayload(ticket);
  if (!payload) return nullptr;
  auto* owned = dynamic_cast<OwnedPayload<T>*>(payload.get());
  if (!owned) AbortOnPayloadType(ticket);
  return owned->Release();
}

// Posts WM_QUIT (wParam = exit code) to the calling thread's queue.
void PostQuitMessage(int exit_code);
// The calling thread's queue operations; false/0 when it has no queue.
bool GetMessage(Message* message);
bool PeekMessage(Message* message, bool remove);
uintptr_t SetTimer(WindowHandle hwnd, uintptr_t id, uint32_t period_ms);
bool KillTimer(WindowHandle hwnd, uintptr_t id);

}  // namespace brx::base
