#include "runtime/io/io_write_service.h"

#include <errno.h>

#include <algorithm>
#include <cstring>

#include "runtime/logmaker/log.h"

namespace brx::io {

IOWriteService::IOWriteService(std::string name, std::unique_ptr<IWriteServiceImpl> writer,
                               size_t queue_bound)
    : ThreadRun(std::move(name)), writer_(std::move(writer)), queue_bound_(queue_bound) {}

IOWriteService::~IOWriteService() { Stop(); }

IOWriteService::Chunk IOWriteService::NewChunk(size_t capacity) {
  for (auto it = pool_.begin(); it != pool_.end(); ++it) {
    if (it->capacity >= capacity && it->capacity <= 2 * std::max(capacity, kChunkBytes)) {
      Chunk chunk = std::move(*it);
      pool_.erase(it);
      chunk.begin = chunk.end = 0;
      return chunk;
    }
  }
  Chunk chunk;
  chunk.bytes.reset(new uint8_t[capacity]);
  chunk.capacity = capacity;
  return chunk;
}

void IOWriteService::Recycle(Chunk chunk) {
  if (pool_.size() < kPoolSize) {
    pool_.push_back(std::move(chunk));
    return;
  }
  // Keep the larger buffers: they are the costly ones to make again.
  auto smallest = std::min_element(pool_.begin(), pool_.end(), [](const Chunk& a, const Chunk& b) {
    return a.capacity < b.capacity;
  });
  if (smallest->capacity < chunk.capacity) *smallest = std::move(chunk);
}

void IOWriteService::Append(Queue& queue, const uint8_t* header, size_t header_length,
                            const uint8_t* body, size_t body_length, size_t skip) {
  size_t length = header_length + body_length - skip;
  if (length == 0) return;
  Chunk* tail = queue.chunks.empty() ? nullptr : &queue.chunks.back();
  if (!tail || tail->capacity - tail->end < length) {
    queue.chunks.push_back(NewChunk(std::max(length, kChunkBytes)));
    tail = &queue.chunks.back();
  }
  uint8_t* out = tail->bytes.get() + tail->end;
  if (skip < header_length) {
    memcpy(out, header + skip, header_length - skip);
    out += header_length - skip;
    skip = 0;
  } else {
    skip -= header_length;
  }
  if (body_length > skip) memcpy(out, body + skip, body_length - skip);
  tail->end += length;
  queue.bytes += length;
}

void IOWriteService::MarkFull(Queue& queue, ConnectionId connection, int result) {
  if (result != EAGAIN) return;
  queue.room_fd = writer_->RoomDescriptor(connection);
  queue.full = queue.room_fd >= 0;
}

bool IOWriteService::Write(ConnectionId connection, const uint8_t* header, uint32_t header_length,
                           const uint8_t* body, uint32_t body_length) {
  size_t total = size_t{header_length} + body_length;
  bool wake = false;
  bool dropped = false, first_drop = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (IsStopping()) return false;
    auto found = queues_.find(connection);
    if (found != queues_.end() && found->second.bytes > 0 &&
        found->second.bytes + total > queue_bound_) {
      dropped = true;
      first_drop = found->second.dropped++ == 0;
    } else {
      size_t written = 0;
      if (found == queues_.end() && writer_->NeverBlocks()) {
        // Nothing is ahead of this message: try it at once. The lock keeps
        // any other message from getting between its parts.
        iovec parts[2] = {{const_cast<uint8_t*>(header), header_length},
                          {const_cast<uint8_t*>(body), body_length}};
        int count = body_length ? 2 : 1;
        int result = writer_->WriteSome(connection, parts, count, &written);
        if (result != EAGAIN) return true;  // written, or dropped as failed
        Queue& queue = queues_[connection];
        MarkFull(queue, connection, result);
        Append(queue, header, header_length, body, body_length, written);
        // An idle thread must learn of the queue, to wait for its room.
        wake = idle_;
      } else {
        Queue& queue = found != queues_.end() ? found->second : queues_[connection];
        Append(queue, header, header_length, body, body_length, 0);
        // A busy thread finds the message on its next pass; one that waits
        // for room on this connection is woken by the room.
        wake = idle_ && !queue.full;
      }
      if (wake) idle_ = false;
    }
  }
  if (first_drop)
    LogWarnA("%s:%d:%s: connection %u does not read; dropping messages to it\n",
             "IOWriteService::Write", __LINE__, name().c_str(), connection);
  if (wake) data_.Set();
  return !dropped;
}

bool IOWriteService::Shutdown(ConnectionId connection) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (IsStopping()) return false;
    auto found = queues_.find(connection);
    if (found != queues_.end()) {
      found->second.shutdown = true;  // once what is queued is written
      bool wake = idle_;
      idle_ = false;
      if (wake) data_.Set();
      return true;
    }
  }
  writer_->Shutdown(connection);
  return true;
}

void IOWriteService::Forget(ConnectionId connection) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = queues_.find(connection);
  if (found == queues_.end()) return;
  if (found->second.taken) {
    found->second.forgotten = true;  // the thread drops it after its pass
    return;
  }
  for (Chunk& chunk : found->second.chunks) Recycle(std::move(chunk));
  queues_.erase(found);
  drained_.notify_all();
}

size_t IOWriteService::QueuedBytes(ConnectionId connection) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = queues_.find(connection);
  return found == queues_.end() ? 0 : found->second.bytes;
}

bool IOWriteService::WaitForRoom(ConnectionId connection, size_t bytes,
                                 std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  return drained_.wait_for(lock, timeout, [&] {
    if (IsStopping()) return false;
    auto found = queues_.find(connection);
    return found == queues_.end() || found->second.bytes <= bytes;
  });
}

void IOWriteService::Stop() {
  ThreadRun::Stop();
  std::map<ConnectionId, Queue> unwritten;
  std::vector<Chunk> pool;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    unwritten.swap(queues_);
    pool.swap(pool_);
    idle_ = false;
  }
  drained_.notify_all();
}

void IOWriteService::WriteConnection(ConnectionId connection) {
  std::deque<Chunk> chunks;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = queues_.find(connection);
    if (found == queues_.end()) return;
    chunks.swap(found->second.chunks);
    found->second.taken = true;
    found->second.full = false;
  }
  iovec parts[kMaxParts];
  int count = 0;
  for (auto it = chunks.begin(); it != chunks.end() && count < kMaxParts; ++it)
    parts[count++] = {it->bytes.get() + it->begin, it->end - it->begin};
  size_t written = 0;
  int result = count ? writer_->WriteSome(connection, parts, count, &written) : 0;

  bool shutdown = false, recovered = false;
  uint64_t dropped = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    // Written chunks go back to the pool; the rest goes back in front of
    // whatever was queued meanwhile.
    while (!chunks.empty() && written >= chunks.front().end - chunks.front().begin) {
      written -= chunks.front().end - chunks.front().begin;
      Recycle(std::move(chunks.front()));
      chunks.pop_front();
    }
    if (!chunks.empty()) chunks.front().begin += written;
    auto found = queues_.find(connection);
    if (found == queues_.end()) return;  // the service stopped
    Queue& queue = found->second;
    queue.taken = false;
    if ((result != 0 && result != EAGAIN) || queue.forgotten) {
      for (Chunk& chunk : chunks) Recycle(std::move(chunk));
      for (Chunk& chunk : queue.chunks) Recycle(std::move(chunk));
      queues_.erase(found);
    } else {
      for (auto it = queue.chunks.begin(); it != queue.chunks.end(); ++it)
        chunks.push_back(std::move(*it));
      queue.chunks.swap(chunks);
      queue.bytes = 0;
      for (const Chunk& chunk : queue.chunks) queue.bytes += chunk.end - chunk.begin;
      MarkFull(queue, connection, result);
      if (queue.chunks.empty()) {
        shutdown = queue.shutdown;
        recovered = queue.dropped > 0;
        dropped = queue.dropped;
        queues_.erase(found);
      }
    }
  }
  drained_.notify_all();
  if (shutdown) writer_->Shutdown(connection);
  if (recovered)
    LogWarnA("%s:%d:%s: connection %u reads again; %llu messages to it were dropped\n",
             "IOWriteService::WriteConnection", __LINE__, name().c_str(), connection,
             static_cast<unsigned long long>(dropped));
}

void IOWriteService::WaitForWork(const std::vector<pollfd>& rooms) {
  std::vector<pollfd> fds = rooms;
  fds.push_back({data_.fd(), POLLIN, 0});
  fds.push_back({stop_event().fd(), POLLIN, 0});
  int ready = poll(fds.data(), fds.size(), -1);
  data_.TryTake();
  if (ready <= 0) return;
  std::lock_guard<std::mutex> lock(mutex_);
  idle_ = false;
  for (size_t i = 0; i < rooms.size(); ++i) {
    if (!fds[i].revents) continue;
    for (auto& [connection, queue] : queues_)
      if (queue.full && queue.room_fd == fds[i].fd) queue.full = false;
  }
}

int IOWriteService::Run() {
  std::vector<ConnectionId> ready;
  std::vector<pollfd> rooms;
  while (!IsStopping()) {
    ready.clear();
    rooms.clear();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      for (auto& [connection, queue] : queues_) {
        if (queue.full)
          rooms.push_back({queue.room_fd, POLLOUT, 0});
        else if (!queue.chunks.empty() || queue.shutdown)
          ready.push_back(connection);
      }
      idle_ = ready.empty();
    }
    if (ready.empty()) {
      WaitForWork(rooms);
      continue;
    }
    // One pass per connection in turn: a connection that keeps taking
    // bytes never keeps the others waiting.
    for (ConnectionId connection : ready) {
      if (IsStopping()) break;
      WriteConnection(connection);
    }
  }
  return 0;
}

}  // namespace brx::io
