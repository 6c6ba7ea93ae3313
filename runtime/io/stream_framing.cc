#include "runtime/io/stream_framing.h"

#include "runtime/io/io_stream_message_queue.h"
#include "runtime/io/reassembly_buffer.h"

namespace brx::io {

bool ReassembleStreamPackets(IOStreamMessageQueue& queue, ConnectionId connection, const uint8_t* data,
                             size_t length) {
  ReassemblyBuffer* buffer = queue.GetReassemblyBuffer(connection);
  if (!buffer) return false;
  buffer->Append(data, length);
  return ParseBufferedFrames(queue, connection, *buffer);
}

bool ParseBufferedFrames(IOStreamMessageQueue& queue, ConnectionId connection, ReassemblyBuffer& buffer) {
  const uint8_t* bytes = buffer.data();
  size_t used = buffer.used();
  size_t offset = 0;
  size_t pushed = 0;
  bool sound = true;
  while (used - offset >= kFrameHeaderSize) {
    uint32_t length = ReadFrameLength(bytes + offset);
    if (length < kFrameHeaderSize || length > buffer.max_frame()) {
      sound = false;
      break;
    }
    if (length > used - offset) break;  // wait for the rest
    queue.Push(connection, bytes + offset + kFrameHeaderSize, length - kFrameHeaderSize);
    offset += length;
    ++pushed;
  }
  if (sound) buffer.Consume(offset);
  else buffer.Clear();  // nothing more is delivered from this stream
  if (pushed) queue.NotifyBatch();
  return sound;
}

}  // namespace brx::io
