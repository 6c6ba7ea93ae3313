#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "runtime/platform/event.h"

namespace brx::base {

class ThreadImpl;

// A named worker thread with a stop flag, a stop event and a wait set.
//
// The owner starts it with Start() and stops it with Stop(): the stop flag
// and event are set, WM_QUIT is posted to the thread's message queue (if it
// has one), and the thread is joined. A thread still running after 3000 ms
// is reported in the log and then waited for: Linux cannot kill a thread
// safely, so every blocking point of a thread body must wake on the stop
// event or a finite time-out. Stop is safe to call twice; a stopped thread
// can be started again.
//
// Derived classes whose thread body uses their own members must call
// Stop() in their own destructor, before those members die.
class ThreadBase {
 public:
  static constexpr int kStopTimeoutMs = 3000;
  static constexpr int kWaitCapMs = 100;

  explicit ThreadBase(std::string name);
  virtual ~ThreadBase();
  ThreadBase(const ThreadBase&) = delete;
  ThreadBase& operator=(const ThreadBase&) = delete;

  // True when the thread runs afterwards (also when it already ran).
  bool Start();
  void Stop();

  // Waits up to 100 ms on the wait set (the stop event and every event
  // registered). On kSignalled `*which` is the index in registration order
  // (0 is the stop event). For bodies that also poll something no event
  // announces; the cap wakes them ten times a second.
  platform::WaitResult Wait(size_t* which = nullptr);
  // Waits on the same set for up to `timeout_ms` (-1: until an event), so
  // a body whose work is all announced by events sleeps while idle; Stop()
  // wakes it through the stop event.
  platform::WaitResult WaitForEvents(int timeout_ms = -1, size_t* which = nullptr);
  // Adds an event to the wait set; an event already present is ignored.
  // Call before Start (the set belongs to the thread once it runs).
  void RegisterEvent(platform::Event* event);

  bool IsStopping() const { return stop_.load(std::memory_order_acquire); }
  bool IsRunning() const;
  // The kernel thread id while running, else 0.
  uint32_t GetThreadId() const;
  const std::string& name() const { return name_; }
  platform::Event& stop_event() { return stop_event_; }

 protected:
  // The thread body; its result is the thread's exit code.
  virtual int ThreadProc() = 0;
  // Starts the thread on `body` instead of ThreadProc. For a class that
  // starts its thread inside its own constructor: the thread must not make
  // a virtual call while derived constructors still run.
  bool StartWith(std::function<int()> body);

 private:
  friend class ThreadImpl;
  std::string name_;
  std::unique_ptr<ThreadImpl> impl_;
  platform::Event stop_event_;
  platform::WaitSet wait_set_;
  std::atomic<bool> stop_{false};
};

// A thread that runs a virtual Run().
class ThreadRun : public ThreadBase {
 public:
  using ThreadBase::ThreadBase;

 protected:
  virtual int Run() = 0;

 private:
  int ThreadProc() final { return Run(); }
};

// A thread that runs a bound member function. Running it unbound throws
// std::bad_function_call on the thread, which ends the process through the
// crash handler.
class ThreadMethod : public ThreadBase {
 public:
  using ThreadBase::ThreadBase;
  ~ThreadMethod() override;

  void BindThreadMethod(std::function<void()> method) { method_ = std::move(method); }
  template <typename T>
  void BindThreadMethod(T* object, void (T::*method)()) {
    method_ = [object, method] { (object->*method)(); };
  }

 private:
  int ThreadProc() final;
  std::function<void()> method_;
};

// The calling thread's kernel id.
uint32_t CurrentThreadId();

}  // namespace brx::base
