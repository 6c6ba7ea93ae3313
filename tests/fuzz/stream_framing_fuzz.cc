// The stream framing as the TCP and UDT services read it: each receive
// lands straight in the reassembly buffer (room made as the services make
// it), whole frames are parsed out after each one. Checked against a plain
// reference parse of the whole input: whatever the chunking, exactly the
// frames the reference finds arrive, in order, and a stream the reference
// finds corrupt breaks at the same frame.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/io/io_stream_message_queue.h"
#include "runtime/io/reassembly_buffer.h"
#include "runtime/io/stream_framing.h"

namespace {

constexpr size_t kReceiveSize = 4096;  // as the services
constexpr size_t kMaxFrame = 1 << 20;

class Queue : public brx::io::IOStreamMessageQueue {
 public:
  std::vector<std::string> frames;
  size_t batches = 0;
  void NotifyBatch() override { ++batches; }
  brx::io::ReassemblyBuffer* GetReassemblyBuffer(brx::io::ConnectionId) override { return nullptr; }
  bool Send(brx::io::ConnectionId, const uint8_t*, uint32_t, const uint8_t*, uint32_t) override { return true; }

 protected:
  void OnMessage(const brx::io::QueuedMessage& m) override {
    frames.emplace_back(reinterpret_cast<const char*>(m.body.get()), m.length);
  }
};

struct Result {
  std::vector<std::string> frames;
  bool sound = true;
};

Result Reference(const uint8_t* data, size_t size) {
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  // The first byte picks how much each receive brings, as a slow or fast
  // network would: 1 to 64 bytes, or whatever room the buffer offers.
  size_t chunk = data[0] % 65;
  data += 1;
  size -= 1;
  Queue queue;
  brx::io::ReassemblyBuffer buffer(kReceiveSize, kMaxFrame);
  Result got;
  size_t fed = 0;
  while (fed < size && got.sound) {
    uint8_t* room = buffer.Reserve(buffer.WantedReadSpace(kReceiveSize));
    size_t n = std::min(buffer.free_space(), size - fed);
    if (chunk != 0) n = std::min(n, chunk);
    if (n == 0) abort();  // a reader must always get room
    memcpy(room, data + fed, n);
    buffer.Commit(n);
    fed += n;
    size_t batches_before = queue.batches;
    size_t frames_before = queue.frames.size();
    got.sound = brx::io::ParseBufferedFrames(queue, 1, buffer);
    queue.DispatchMessages();
    // One batch notice for each receive that brought whole frames.
    bool brought = queue.frames.size() > frames_before;
    if (queue.batches - batches_before != (brought ? 1u : 0u)) abort();
  }
  Result want = Reference(data, size);
  if (queue.frames != want.frames || got.sound != want.sound) abort();
  // A sound stream that ended keeps only the unfinished rest.
  if (got.sound && !buffer.InLargeFrame() && buffer.used() >= 4 &&
      brx::io::ReadFrameLength(buffer.data()) <= buffer.used()) {
    abort();
  }
  return 0;
}
