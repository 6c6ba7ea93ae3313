#include "client/video/codec/frame_drop_counter.h"

bool FrameDropCounter::Count(uint32_t count, uint32_t now_ms) {
  if (count == 0) return false;
  // Unsigned difference: the tick wraps.
  const bool starts = bursts_ == 0 || now_ms - last_drop_ > kQuietMs;
  total_ += count;
  last_drop_ = now_ms;
  if (starts) ++bursts_;
  return starts;
}
