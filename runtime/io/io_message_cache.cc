#include "runtime/io/io_message_cache.h"

#include <utility>

namespace brx::io {

IOMessageCache::~IOMessageCache() { Clear(); }

ReassemblyBuffer* IOMessageCache::Create(ConnectionId connection, size_t capacity,
                                         size_t max_frame) {
  auto buffer = std::make_unique<ReassemblyBuffer>(capacity, max_frame);
  ReassemblyBuffer* raw = buffer.get();
  std::unique_ptr<ReassemblyBuffer> old;
  std::lock_guard<std::mutex> lock(mutex_);
  old = std::exchange(buffers_[connection], std::move(buffer));
  return raw;
}

ReassemblyBuffer* IOMessageCache::Get(ConnectionId connection) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = buffers_.find(connection);
  return it == buffers_.end() ? nullptr : it->second.get();
}

void IOMessageCache::Remove(ConnectionId connection) {
  std::unique_ptr<ReassemblyBuffer> old;
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = buffers_.find(connection);
  if (it == buffers_.end()) return;
  old = std::move(it->second);
  buffers_.erase(it);
}

void IOMessageCache::Clear() {
  std::map<ConnectionId, std::unique_ptr<ReassemblyBuffer>> old;
  std::lock_guard<std::mutex> lock(mutex_);
  old.swap(buffers_);
}

}  // namespace brx::io
