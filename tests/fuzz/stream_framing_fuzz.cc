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

#include "tests/fuzz/framing_reference.h"

namespace {

constexpr size_t kReceiveSize = 4096;  // as the services
using framing_fuzz::kMaxFrame;
using framing_fuzz::Queue;
using framing_fuzz::Reference;
using framing_fuzz::Result;

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
    queue.Drain();
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
