#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "runtime/io/io_stream_message_queue.h"
#include "runtime/io/reassembly_buffer.h"

namespace brx::io::testing {

// A message queue that records what it is told, with one reassembly buffer.
class RecordingQueue : public IOStreamMessageQueue {
 public:
  // Unbounded, as a reader that drains after every chunk must be: one chunk
  // may hold thousands of small frames.
  explicit RecordingQueue(size_t capacity = 16, size_t max_frame = 1 << 20)
      : buffer_(capacity, max_frame) {
    SetQueueBound(SIZE_MAX, SIZE_MAX);
  }

  void NotifyBatch() override { ++notifies; }
  ReassemblyBuffer* GetReassemblyBuffer(ConnectionId connection) override {
    return connection == kKnown ? &buffer_ : nullptr;
  }
  bool Send(ConnectionId, const uint8_t*, uint32_t, const uint8_t*, uint32_t) override {
    return false;
  }

  // Dispatches and returns every body as a string.
  // A dispatch that yields after its slice asks again through NotifyBatch.
  std::vector<std::string> Drain() {
    bodies.clear();
    int asked;
    do {
      asked = notifies;
      DispatchMessages();
    } while (notifies != asked);
    return bodies;
  }

  static constexpr ConnectionId kKnown = 7;
  int notifies = 0;
  std::vector<std::string> bodies;
  const uint8_t* last_body = nullptr;
  std::vector<const uint8_t*> body_addresses;  // where each dispatched body lay
  ReassemblyBuffer& buffer() { return buffer_; }

 protected:
  void OnMessage(const QueuedMessage& message) override {
    last_body = message.body.get();
    body_addresses.push_back(message.body.get());
    bodies.emplace_back(reinterpret_cast<const char*>(message.body.get()), message.length);
  }

 private:
  ReassemblyBuffer buffer_;
};

// A frame: 4-byte little-endian length (counting itself) then the body.
inline std::string Frame(const std::string& body) {
  uint32_t length = static_cast<uint32_t>(body.size() + 4);
  std::string out(4, '\0');
  for (int i = 0; i < 4; ++i) out[i] = static_cast<char>(length >> (8 * i));
  return out + body;
}

inline std::string RawLength(uint32_t length) {
  std::string out(4, '\0');
  for (int i = 0; i < 4; ++i) out[i] = static_cast<char>(length >> (8 * i));
  return out;
}

}  // namespace brx::io::testing
