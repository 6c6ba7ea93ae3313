// Frame reassembly as the pipes use it, checked against a plain reference
// parse of the whole input: whatever the chunking, reading by appending
// (ReassembleStreamPackets) and reading in place (Reserve/Commit, with
// large frames received into their own body) deliver exactly the frames
// the reference finds, in order, and agree on where the stream breaks.
// The queue is drained after every chunk, as the owner does, so a report
// here is always a framing fault.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "tests/fuzz/framing_reference.h"

namespace {

using framing_fuzz::kMaxFrame;
using framing_fuzz::Queue;
using framing_fuzz::Reference;
using framing_fuzz::Result;

// Chunk sizes from the seed: 1 to 64 bytes, or large chunks.
size_t NextChunk(uint32_t* seed) {
  *seed = *seed * 1103515245u + 12345u;
  uint32_t v = (*seed >> 16) & 0x7FFF;
  return v % 8 == 0 ? 1 + v * 4 : 1 + v % 64;
}

Result ByAppend(const uint8_t* data, size_t size, uint32_t seed) {
  brx::io::ReassemblyBuffer buffer(16, kMaxFrame);
  Queue queue(&buffer);
  Result r;
  size_t at = 0;
  while (at < size && r.sound) {
    size_t n = std::min(NextChunk(&seed), size - at);
    r.sound = brx::io::ReassembleStreamPackets(queue, 1, data + at, n);
    queue.Drain();
    at += n;
  }
  r.frames = std::move(queue.frames);
  return r;
}

Result InPlace(const uint8_t* data, size_t size, uint32_t seed) {
  brx::io::ReassemblyBuffer buffer(16, kMaxFrame);
  Queue queue(&buffer);
  Result r;
  size_t at = 0;
  while (at < size && r.sound) {
    size_t want = NextChunk(&seed);
    uint8_t* room = buffer.Reserve(buffer.WantedReadSpace(want));
    size_t n = std::min({want, buffer.free_space(), size - at});
    if (n == 0) abort();  // a reader must always get room
    memcpy(room, data + at, n);
    buffer.Commit(n);
    at += n;
    r.sound = brx::io::ParseBufferedFrames(queue, 1, buffer);
    queue.Drain();
  }
  r.frames = std::move(queue.frames);
  return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  uint32_t seed = data[0] | data[1] << 8;
  data += 2;
  size -= 2;
  Result want = Reference(data, size);
  Result appended = ByAppend(data, size, seed);
  Result in_place = InPlace(data, size, seed ^ 0x5A5A);
  for (const Result* got : {&appended, &in_place}) {
    if (got->frames != want.frames) abort();
    // A stream breaks at the same frame however it was cut, and only
    // there: every byte reaches the reader, so a bad length the reference
    // meets is met by the reader too, and no other.
    if (got->sound != want.sound) abort();
  }
  return 0;
}
