#include "runtime/base/thread_message_queue.h"

#include <poll.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <unordered_map>

#include "runtime/base/thread.h"
#include "runtime/platform/tick_clock.h"

namespace brx::base {

namespace {

// Registry of queues by thread id. Lock order: registry, then a queue.
struct Registry {
  std::mutex mutex;
  std::unordered_map<uint32_t, ThreadMessageQueue*> queues;
};

Registry& GetRegistry() {
  static Registry* registry = new Registry;
  return *registry;
}

thread_local ThreadMessageQueue* t_current = nullptr;

void PollWait(int fd, int timeout_ms) {
  pollfd p{fd, POLLIN, 0};
  poll(&p, 1, timeout_ms);
}

}  // namespace

ThreadMessageQueue::ThreadMessageQueue() : thread_id_(CurrentThreadId()), idle_waiter_(PollWait) {
  if (t_current) {
    fprintf(stderr, "ThreadMessageQueue: thread %u already has a queue\n", thread_id_);
    abort();
  }
  Registry& r = GetRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.queues[thread_id_] = this;
  t_current = this;
}

ThreadMessageQueue::~ThreadMessageQueue() {
  {
    Registry& r = GetRegistry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.queues.erase(thread_id_);
  }
  // Payloads never claimed die here, outside the lock: their destructors
  // are other code.
  std::unordered_map<uintptr_t, std::unique_ptr<MessagePayload>> unclaimed;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    unclaimed.swap(payloads_);
    if (t_current == this) t_current = nullptr;
  }
}

ThreadMessageQueue* ThreadMessageQueue::Current() { return t_current; }

bool ThreadMessageQueue::Post(const Message& message) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) return false;
    posted_.push_back(message);
    posted_.back().time = platform::GetTickCount();
  }
  wake_.Set();
  return true;
}

bool ThreadMessageQueue::PostOwned(Message message, std::unique_ptr<MessagePayload>& payload) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) return false;
    uintptr_t ticket = next_ticket_++;
    if (next_ticket_ == 0) next_ticket_ = 1;  // 0 always means "no payload"
    payloads_.emplace(ticket, std::move(payload));
    message.wParam = ticket;
    message.time = platform::GetTickCount();
    posted_.push_back(message);
  }
  wake_.Set();
  return true;
}

std::unique_ptr<MessagePayload> ThreadMessageQueue::TakePayload(uintptr_t ticket) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = payloads_.find(ticket);
  if (it == payloads_.end()) return nullptr;
  std::unique_ptr<MessagePayload> payload = std::move(it->second);
  payloads_.erase(it);
  return payload;
}

bool ThreadMessageQueue::TakeNext(Message* message, bool remove, int* wait_ms) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!posted_.empty()) {
    *message = posted_.front();
    if (remove) posted_.pop_front();
    return true;
  }
  uint32_t now = platform::GetTickCount();
  Timer* next = nullptr;
  int32_t next_left = 0;
  for (Timer& t : timers_) {
    int32_t left = static_cast<int32_t>(t.due - now);
    if (!next || left < next_left) {
      next = &t;
      next_left = left;
    }
  }
  if (next && next_left <= 0) {
    *message = Message{next->hwnd, WM_TIMER, next->id, 0, now};
    if (remove) next->due = now + next->period;
    return true;
  }
  *wait_ms = next ? next_left : -1;
  return false;
}

bool ThreadMessageQueue::Get(Message* message) {
  while (true) {
    // Drain the wake-up first: a post after this point sets it again.
    wake_.TryTake();
    int wait_ms = -1;
    if (TakeNext(message, true, &wait_ms)) return message->message != WM_QUIT;
    idle_waiter_(wake_.fd(), wait_ms);
  }
}

bool ThreadMessageQueue::Peek(Message* message, bool remove) {
  int wait_ms = 0;
  return TakeNext(message, remove, &wait_ms);
}

uintptr_t ThreadMessageQueue::SetTimer(WindowHandle hwnd, uintptr_t id, uint32_t period_ms) {
  if (period_ms == 0) period_ms = 1;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    uint32_t due = platform::GetTickCount() + period_ms;
    auto it = std::find_if(timers_.begin(), timers_.end(),
                           [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; });
    if (it != timers_.end()) {
      it->period = period_ms;
      it->due = due;
    } else {
      timers_.push_back({hwnd, id, period_ms, due});
    }
  }
  wake_.Set();
  return id;
}

bool ThreadMessageQueue::KillTimer(WindowHandle hwnd, uintptr_t id) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = std::find_if(timers_.begin(), timers_.end(),
                         [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; });
  if (it == timers_.end()) return false;
  timers_.erase(it);
  return true;
}

void ThreadMessageQueue::SetIdleWaiter(std::function<void(int, int)> waiter) {
  idle_waiter_ = waiter ? std::move(waiter) : PollWait;
}

bool PostThreadMessage(uint32_t thread_id, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  Registry& r = GetRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  auto it = r.queues.find(thread_id);
  return it != r.queues.end() && it->second->Post(Message{0, message, wParam, lParam, 0});
}

bool PostOwnedPayload(uint32_t thread_id, WindowHandle hwnd, uint32_t message,
                      std::unique_ptr<MessagePayload> payload) {
  bool posted = false;
  {
    Registry& r = GetRegistry();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto it = r.queues.find(thread_id);
    posted =
        it != r.queues.end() && it->second->PostOwned(Message{hwnd, message, 0, 0, 0}, payload);
  }
  return posted;  // when not posted, `payload` is destroyed here, unlocked
}

std::unique_ptr<MessagePayload> TakeAnyMessagePayload(uintptr_t ticket) {
  ThreadMessageQueue* q = ThreadMessageQueue::Current();
  return q ? q->TakePayload(ticket) : nullptr;
}

void AbortOnPayloadType(uintptr_t ticket) {
  fprintf(stderr, "TakeMessagePayload: the payload of ticket %zu is of another type\n",
          static_cast<size_t>(ticket));
  abort();
}

void PostQuitMessage(int exit_code) {
  if (ThreadMessageQueue* q = ThreadMessageQueue::Current())
    q->Post(Message{0, WM_QUIT, static_cast<uintptr_t>(exit_code), 0, 0});
}

bool GetMessage(Message* message) {
  ThreadMessageQueue* q = ThreadMessageQueue::Current();
  return q && q->Get(message);
}

bool PeekMessage(Message* message, bool remove) {
  ThreadMessageQueue* q = ThreadMessageQueue::Current();
  return q && q->Peek(message, remove);
}

uintptr_t SetTimer(WindowHandle hwnd, uintptr_t id, uint32_t period_ms) {
  ThreadMessageQueue* q = ThreadMessageQueue::Current();
  return q ? q->SetTimer(hwnd, id, period_ms) : 0;
}

bool KillTimer(WindowHandle hwnd, uintptr_t id) {
  ThreadMessageQueue* q = ThreadMessageQueue::Current();
  return q && q->KillTimer(hwnd, id);
}

}  // namespace brx::base
