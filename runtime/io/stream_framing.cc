#include "runtime/io/stream_framing.h"

#include "runtime/io/io_stream_message_queue.h"
#include "runtime/io/reassembly_buffer.h"
#include "runtime/logmaker/log.h"

namespace brx::io {

namespace {

// A connection that has more waiting than it may is closed, and what it
// queued goes with it: a peer that floods must not keep the owner busy
// after it is gone.
bool Refuse(IOStreamMessageQueue& queue, ConnectionId connection) {
  queue.Drop(connection);
  LogWarnA("%s:%d:connection %u closed: more than %zu received messages wait to be handled\n",
           "ParseBufferedFrames", __LINE__, connection, queue.max_queued_messages());
  return false;
}

}  // namespace

bool ReassembleStreamPackets(IOStreamMessageQueue& queue, ConnectionId connection,
                             const uint8_t* data, size_t length) {
  ReassemblyBuffer* buffer = queue.GetReassemblyBuffer(connection);
  if (!buffer) return false;
  buffer->Append(data, length);
  return ParseBufferedFrames(queue, connection, *buffer);
}

bool ParseBufferedFrames(IOStreamMessageQueue& queue, ConnectionId connection,
                         ReassemblyBuffer& buffer, size_t* pushed_total) {
  size_t pushed = 0;
  std::unique_ptr<uint8_t[]> large;
  uint32_t large_length = 0, large_capacity = 0;
  if (buffer.TakeLargeFrame(&large, &large_length, &large_capacity)) {
    if (!queue.PushReceived(connection, std::move(large), large_length, large_capacity)) {
      buffer.Clear();
      return Refuse(queue, connection);
    }
    ++pushed;
  }
  bool sound = true;
  if (!buffer.InLargeFrame()) {
    const uint8_t* bytes = buffer.data();
    size_t used = buffer.used();
    size_t offset = 0;
    while (used - offset >= kFrameHeaderSize) {
      uint32_t length = ReadFrameLength(bytes + offset);
      if (length < kFrameHeaderSize || length > buffer.max_frame()) {
        if (length < kFrameHeaderSize)
          LogWarnA("%s:%d:connection %u closed: frame length %u is below %zu\n",
                   "ParseBufferedFrames", __LINE__, connection, length, kFrameHeaderSize);
        else
          LogWarnA("%s:%d:connection %u closed: a frame of %u bytes is over the limit of %zu\n",
                   "ParseBufferedFrames", __LINE__, connection, length, buffer.max_frame());
        sound = false;
        break;
      }
      size_t left = used - offset;
      if (length > left) {
        // Wait for the rest; a large frame gets a body of its own to
        // receive into, so it is never copied out of the buffer.
        if (length - kFrameHeaderSize >= ReassemblyBuffer::kDirectFrameBytes) {
          uint32_t body_length = length - static_cast<uint32_t>(kFrameHeaderSize);
          uint32_t capacity = 0;
          std::unique_ptr<uint8_t[]> body = queue.TakeBody(body_length, &capacity);
          buffer.StartLargeFrame(body_length, bytes + offset + kFrameHeaderSize,
                                 left - kFrameHeaderSize, std::move(body), capacity);
          offset = used;
        }
        break;
      }
      if (!queue.PushReceived(connection, bytes + offset + kFrameHeaderSize,
                              length - static_cast<uint32_t>(kFrameHeaderSize))) {
        buffer.Clear();
        return Refuse(queue, connection);
      }
      offset += length;
      ++pushed;
    }
    if (sound)
      buffer.Consume(offset);
    else
      buffer.Clear();  // nothing more is delivered from this stream
  }
  if (pushed_total)
    *pushed_total += pushed;
  else if (pushed)
    queue.NotifyBatch();
  return sound;
}

}  // namespace brx::io
