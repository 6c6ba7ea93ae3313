#pragma once

// What the framing fuzz targets share: a queue that keeps every frame it is
// handed, and a plain reference parse of a whole input to compare with.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "runtime/io/io_stream_message_queue.h"
#include "runtime/io/reassembly_buffer.h"
#include "runtime/io/stream_framing.h"

namespace framing_fuzz {

constexpr size_t kMaxFrame = 1 << 20;

// It bounds nothing: how many frames a peer may have waiting is the
// services' flood policy, tested with them, not framing; the targets cut
// the stream in ways no service reads it, and must see every frame.
class Queue : public brx::io::IOStreamMessageQueue {
 public:
  explicit Queue(brx::io::ReassemblyBuffer* buffer = nullptr) : buffer_(buffer) {
    SetQueueBound(SIZE_MAX, SIZE_MAX);
  }
  std::vector<std::string> frames;
  size_t batches = 0;  // batch notices of the reader, not of the draining
  void NotifyBatch() override {
    if (draining_)
      more_ = true;
    else
      ++batches;
  }
  // Dispatches until nothing is left, as the owner's loop does: one call
  // hands over a slice and asks, through NotifyBatch, to be called again,
  // and how big a slice is depends on the clock, which a busy machine slows.
  void Drain() {
    draining_ = true;
    do {
      more_ = false;
      DispatchMessages();
    } while (more_);
    draining_ = false;
  }
  brx::io::ReassemblyBuffer* GetReassemblyBuffer(brx::io::ConnectionId c) override {
    return c == 1 ? buffer_ : nullptr;
  }
  bool Send(brx::io::ConnectionId, const uint8_t*, uint32_t, const uint8_t*, uint32_t) override {
    return true;
  }

 protected:
  void OnMessage(const brx::io::QueuedMessage& m) override {
    frames.emplace_back(reinterpret_cast<const char*>(m.body.get()), m.length);
  }

 private:
  brx::io::ReassemblyBuffer* buffer_;
  bool draining_ = false;
  bool more_ = false;
};

struct Result {
  std::vector<std::string> frames;
  bool sound = true;
};

// Every whole frame of the input in order; unsound at the first length
// below 4 or above the cap.
inline Result Reference(const uint8_t* data, size_t size) {
  Result r;
  size_t at = 0;
  while (size - at >= 4) {
    uint32_t length = brx::io::ReadFrameLength(data + at);
    if (length < 4 || length > kMaxFrame) {
      r.sound = false;
      break;
    }
    if (length > size - at) break;
    r.frames.emplace_back(reinterpret_cast<const char*>(data + at + 4), length - 4);
    at += length;
  }
  return r;
}

}  // namespace framing_fuzz
