#include "runtime/io/io_stream_message_queue.h"

#include <cstring>

#include "runtime/io/stream_framing.h"

namespace brx::io {

IOStreamMessageQueue::~IOStreamMessageQueue() = default;

bool IOStreamMessageQueue::SendMessage(ConnectionId connection, const uint8_t* body, uint32_t length) {
  uint8_t header[kFrameHeaderSize];
  WriteFrameLength(header, length + static_cast<uint32_t>(kFrameHeaderSize));
  return Send(connection, header, sizeof header, body, length);
}

void IOStreamMessageQueue::Push(ConnectionId connection, const uint8_t* body, uint32_t length) {
  auto message = std::make_unique<QueuedMessage>();
  message->connection = connection;
  message->length = length;
  message->body.reset(new uint8_t[length ? length : 1]);
  if (length) memcpy(message->body.get(), body, length);
  std::lock_guard<std::mutex> lock(mutex_);
  queue_.push_back(std::move(message));
}

void IOStreamMessageQueue::Push(ConnectionId connection, std::unique_ptr<uint8_t[]> body, uint32_t length) {
  auto message = std::make_unique<QueuedMessage>();
  message->connection = connection;
  message->length = length;
  message->body = std::move(body);
  std::lock_guard<std::mutex> lock(mutex_);
  queue_.push_back(std::move(message));
}

void IOStreamMessageQueue::DispatchMessages() {
  std::deque<std::unique_ptr<QueuedMessage>> taken;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    taken.swap(queue_);
  }
  while (!taken.empty()) {
    std::unique_ptr<QueuedMessage> message = std::move(taken.front());
    taken.pop_front();
    OnMessage(*message);
  }
}

void IOStreamMessageQueue::Clear() {
  std::deque<std::unique_ptr<QueuedMessage>> taken;
  std::lock_guard<std::mutex> lock(mutex_);
  taken.swap(queue_);
}

}  // namespace brx::io
