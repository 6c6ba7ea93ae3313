// The stream framing as the TCP and UDT services feed it: received bytes
// land straight in the reassembly buffer in chunks of any size, and whole
// frames are parsed out after each chunk.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "runtime/io/io_stream_message_queue.h"
#include "runtime/io/reassembly_buffer.h"
#include "runtime/io/stream_framing.h"

namespace {

class Queue : public brx::io::IOStreamMessageQueue {
 public:
  size_t delivered = 0;
  size_t batches = 0;
  void NotifyBatch() override { ++batches; }
  brx::io::ReassemblyBuffer* GetReassemblyBuffer(brx::io::ConnectionId) override { return nullptr; }
  bool Send(brx::io::ConnectionId, const uint8_t*, uint32_t, const uint8_t*, uint32_t) override { return true; }

 protected:
  void OnMessage(const brx::io::QueuedMessage& m) override { delivered += m.length + 4; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  // The first byte picks the read size, as a slow or fast network would.
  size_t chunk = 1 + data[0] % 64;
  data += 1;
  size -= 1;
  Queue queue;
  brx::io::ReassemblyBuffer buffer(16, 1 << 20);
  size_t fed = 0;
  bool sound = true;
  while (fed < size && sound) {
    size_t n = chunk < size - fed ? chunk : size - fed;
    uint8_t* room = buffer.Reserve(buffer.WantedReadSpace(n));
    size_t take = n < buffer.free_space() ? n : buffer.free_space();
    memcpy(room, data + fed, take);
    buffer.Commit(take);
    fed += take;
    sound = brx::io::ParseBufferedFrames(queue, 1, buffer);
    queue.DispatchMessages();
  }
  // Nothing is invented: frames delivered plus bytes still held never
  // exceed what came in.
  if (queue.delivered + buffer.used() > fed) abort();
  if (sound && buffer.used() >= 4 && brx::io::ReadFrameLength(buffer.data()) <= buffer.used()) abort();
  return 0;
}
