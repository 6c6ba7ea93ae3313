#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <mutex>

#include "runtime/io/queued_message.h"
#include "runtime/io/reassembly_buffer.h"

namespace brx::io {

// The reassembly buffers of a service's connections, by connection. The map
// is guarded by its own lock; a buffer itself is used only by the thread
// that completes reads for its connection.
class IOMessageCache {
 public:
  IOMessageCache() = default;
  ~IOMessageCache();
  IOMessageCache(const IOMessageCache&) = delete;
  IOMessageCache& operator=(const IOMessageCache&) = delete;

  // A new empty buffer for the connection (replacing any old one).
  ReassemblyBuffer* Create(ConnectionId connection, size_t capacity, size_t max_frame);
  ReassemblyBuffer* Get(ConnectionId connection);
  void Remove(ConnectionId connection);
  void Clear();

 private:
  std::mutex mutex_;
  std::map<ConnectionId, std::unique_ptr<ReassemblyBuffer>> buffers_;
};

}  // namespace brx::io
