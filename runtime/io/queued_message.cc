#include "runtime/io/queued_message.h"

#include <atomic>

namespace brx::io {

ConnectionId NewConnectionId() {
  static std::atomic<ConnectionId> last{0};
  ConnectionId id;
  do {
    id = last.fetch_add(1, std::memory_order_relaxed) + 1;
  } while (id == 0);  // after a wrap of 2^32 connections, skip "none"
  return id;
}

}  // namespace brx::io
