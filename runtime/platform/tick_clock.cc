#include "runtime/platform/tick_clock.h"

#include <time.h>

namespace brx::platform {

uint32_t GetTickCount() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  uint64_t ms =
      static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

namespace {
class RealTickClock : public TickClock {
 public:
  uint32_t Now() const override { return GetTickCount(); }
};
}  // namespace

const TickClock& SystemTickClock() {
  static const RealTickClock clock;
  return clock;
}

}  // namespace brx::platform
