#pragma once

#include <atomic>
#include <cstdint>

namespace brx::platform {

// Milliseconds of CLOCK_MONOTONIC as a wrapping 32-bit count. Compare two
// readings only by unsigned subtraction, never by `<`.
uint32_t GetTickCount();

// The source of time for every time-driven rule (keep-alive, refresh,
// blink, binding limits), so tests can move time without sleeping.
class TickClock {
 public:
  virtual ~TickClock() = default;
  virtual uint32_t Now() const = 0;
};

// The real clock; lives for the whole process.
const TickClock& SystemTickClock();

// A clock that only moves when told to. Thread-safe.
class ManualTickClock : public TickClock {
 public:
  explicit ManualTickClock(uint32_t start = 0) : now_(start) {}
  uint32_t Now() const override { return now_.load(); }
  void Advance(uint32_t ms) { now_.fetch_add(ms); }
  void Set(uint32_t now) { now_.store(now); }

 private:
  std::atomic<uint32_t> now_;
};

}  // namespace brx::platform
