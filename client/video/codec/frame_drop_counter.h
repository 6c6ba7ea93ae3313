#pragma once

#include <cstdint>

// Counts the frames a codec worker lets go because its queues are full,
// and groups them into bursts, so that the log gets one line per burst
// however many frames a burst costs: a game outrunning the encoder drops
// one frame in two for as long as it plays.
//
// A burst ends once kQuietMs pass without a drop. Not thread-safe: the
// owner guards it with its own lock and logs after letting the lock go.
class FrameDropCounter {
 public:
  static constexpr uint32_t kQuietMs = 1000;

  // Counts `count` frames dropped at tick `now_ms`; true when they begin a
  // burst (the caller writes its one line).
  bool Count(uint32_t count, uint32_t now_ms);

  uint64_t total() const { return total_; }
  uint32_t bursts() const { return bursts_; }

 private:
  uint64_t total_ = 0;
  uint32_t bursts_ = 0;
  uint32_t last_drop_ = 0;
};
