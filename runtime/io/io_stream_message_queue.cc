#include "runtime/io/io_stream_message_queue.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "runtime/io/stream_framing.h"

namespace brx::io {

namespace {

std::unique_ptr<QueuedMessage> MakeMessage(ConnectionId connection, std::unique_ptr<uint8_t[]> body,
                                           uint32_t length) {
  auto message = std::make_unique<QueuedMessage>();
  message->connection = connection;
  message->length = length;
  message->body = std::move(body);
  return message;
}

std::unique_ptr<uint8_t[]> Copy(const uint8_t* body, uint32_t length) {
  std::unique_ptr<uint8_t[]> copy(new uint8_t[length ? length : 1]);
  if (length) memcpy(copy.get(), body, length);
  return copy;
}

}  // namespace

IOStreamMessageQueue::~IOStreamMessageQueue() = default;

bool IOStreamMessageQueue::SendMessage(ConnectionId connection, const uint8_t* body,
                                       uint32_t length) {
  uint8_t header[kFrameHeaderSize];
  WriteFrameLength(header, length + static_cast<uint32_t>(kFrameHeaderSize));
  return Send(connection, header, sizeof header, body, length);
}

bool IOStreamMessageQueue::Queue(std::unique_ptr<QueuedMessage> message, bool bounded) {
  std::lock_guard<std::mutex> lock(mutex_);
  Waiting& waiting = waiting_[message->connection];
  if (bounded && !waiting.messages.empty() &&
      (waiting.messages.size() >= max_messages_ || waiting.bytes + message->length > max_bytes_))
    return false;
  if (waiting.messages.empty()) turns_.push_back(message->connection);
  waiting.bytes += message->length;
  waiting.messages.push_back(std::move(message));
  waiting.numbers.push_back(next_number_++);
  return true;
}

void IOStreamMessageQueue::Push(ConnectionId connection, const uint8_t* body, uint32_t length) {
  Queue(MakeMessage(connection, Copy(body, length), length), false);
}

void IOStreamMessageQueue::Push(ConnectionId connection, std::unique_ptr<uint8_t[]> body,
                                uint32_t length) {
  Queue(MakeMessage(connection, std::move(body), length), false);
}

bool IOStreamMessageQueue::PushReceived(ConnectionId connection, const uint8_t* body,
                                        uint32_t length) {
  {
    // Refused before the copy is made.
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = waiting_.find(connection);
    if (it != waiting_.end() && !it->second.messages.empty() &&
        (it->second.messages.size() >= max_messages_ || it->second.bytes + length > max_bytes_))
      return false;
  }
  return Queue(MakeMessage(connection, Copy(body, length), length), true);
}

bool IOStreamMessageQueue::PushReceived(ConnectionId connection, std::unique_ptr<uint8_t[]> body,
                                        uint32_t length, uint32_t capacity) {
  auto message = MakeMessage(connection, std::move(body), length);
  message->capacity = capacity;
  return Queue(std::move(message), true);
}

std::unique_ptr<uint8_t[]> IOStreamMessageQueue::TakeBody(uint32_t length, uint32_t* capacity) {
  std::lock_guard<std::mutex> lock(pool_mutex_);
  // The body freed last first: it is the one most likely still in the
  // caches, which makes receiving into it cheaper.
  for (auto it = pool_.rbegin(); it != pool_.rend(); ++it) {
    // Close enough in size that a small frame never pins a huge body.
    if (it->second >= length && it->second / 2 <= length) {
      std::unique_ptr<uint8_t[]> body = std::move(it->first);
      *capacity = it->second;
      pool_.erase(std::next(it).base());
      return body;
    }
  }
  *capacity = 0;
  return nullptr;
}

void IOStreamMessageQueue::Recycle(std::unique_ptr<QueuedMessage> message) {
  uint32_t capacity = std::max(message->capacity, message->length);
  if (capacity < kPooledBodyBytes || !message->body) return;
  std::lock_guard<std::mutex> lock(pool_mutex_);
  if (pool_.size() >= kPooledBodies) pool_.erase(pool_.begin());  // the oldest goes
  pool_.emplace_back(std::move(message->body), capacity);
}

void IOStreamMessageQueue::Drop(ConnectionId connection) {
  Waiting dropped;
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = waiting_.find(connection);
  if (it == waiting_.end()) return;
  dropped = std::move(it->second);
  waiting_.erase(it);
  turns_.erase(std::remove(turns_.begin(), turns_.end(), connection), turns_.end());
}

void IOStreamMessageQueue::SetQueueBound(size_t max_messages, size_t max_bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  max_messages_ = std::max<size_t>(max_messages, 1);
  max_bytes_ = max_bytes;
}

void IOStreamMessageQueue::DispatchMessages() {
  auto until = std::chrono::steady_clock::now() + kDispatchSlice;
  size_t dispatched = 0;
  uint64_t end;
  std::deque<ConnectionId> later;  // their next message came after the call began
  {
    std::lock_guard<std::mutex> lock(mutex_);
    end = next_number_;
  }
  while (true) {
    std::unique_ptr<QueuedMessage> message;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      while (!turns_.empty()) {
        auto it = waiting_.find(turns_.front());
        if (it != waiting_.end() && it->second.numbers.front() < end) break;
        if (it != waiting_.end()) later.push_back(turns_.front());
        turns_.pop_front();
      }
      if (turns_.empty()) {
        turns_.insert(turns_.end(), later.begin(), later.end());
        return;
      }
      ConnectionId connection = turns_.front();
      turns_.pop_front();
      auto it = waiting_.find(connection);
      message = std::move(it->second.messages.front());
      it->second.messages.pop_front();
      it->second.numbers.pop_front();
      it->second.bytes -= message->length;
      if (it->second.messages.empty())
        waiting_.erase(it);
      else
        turns_.push_back(connection);
    }
    OnMessage(*message);
    Recycle(std::move(message));
    if (++dispatched >= kDispatchSliceMessages && std::chrono::steady_clock::now() >= until) break;
  }
  bool more;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    turns_.insert(turns_.end(), later.begin(), later.end());
    more = !turns_.empty();
  }
  if (more) NotifyBatch();
}

void IOStreamMessageQueue::Clear() {
  std::map<ConnectionId, Waiting> dropped;
  std::lock_guard<std::mutex> lock(mutex_);
  dropped.swap(waiting_);
  turns_.clear();
}

}  // namespace brx::io
