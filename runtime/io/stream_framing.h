#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/io/queued_message.h"

// Wire framing of every stream (pipes, TCP, UDT), both directions: a 32-bit
// little-endian length that counts its own 4 bytes, then length - 4 bytes
// of body. A length of 4 is an empty message; a length below 4, or above
// the connection's frame cap, means the stream is corrupt.

namespace brx::io {

class IOStreamMessageQueue;
class ReassemblyBuffer;

inline constexpr size_t kFrameHeaderSize = 4;

inline uint32_t ReadFrameLength(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

inline void WriteFrameLength(uint8_t* p, uint32_t length) {
  p[0] = static_cast<uint8_t>(length);
  p[1] = static_cast<uint8_t>(length >> 8);
  p[2] = static_cast<uint8_t>(length >> 16);
  p[3] = static_cast<uint8_t>(length >> 24);
}

// Appends a received chunk to the connection's reassembly buffer (found
// through the queue's GetReassemblyBuffer) and delivers every whole frame
// (see ParseBufferedFrames). False when the connection has no buffer or the
// stream is corrupt; the caller then closes the connection. Frames pushed
// before the corruption stay queued.
bool ReassembleStreamPackets(IOStreamMessageQueue& queue, ConnectionId connection,
                             const uint8_t* data, size_t length);

// Delivers the whole frames at the start of `buffer` to the queue, keeps
// the unfinished rest, and calls NotifyBatch once when at least one frame
// was pushed. False on a length below 4 or above the buffer's frame cap.
// For readers that receive straight into the buffer. A reader that reads
// several times in a row passes `pushed`: the frames pushed are added to
// it and NotifyBatch is left to the caller, to call once for them all.
bool ParseBufferedFrames(IOStreamMessageQueue& queue, ConnectionId connection,
                         ReassemblyBuffer& buffer, size_t* pushed = nullptr);

}  // namespace brx::io
