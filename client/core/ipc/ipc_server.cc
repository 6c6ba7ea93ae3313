#include "client/core/ipc/ipc_server.h"

#include <vector>

#include "client/core/ipc/ipc_message.h"

void IPCServer::Register(uint16_t message_id, Handler handler) {
  std::lock_guard<std::recursive_mutex> lock(handlers_mutex_);
  handlers_.emplace(message_id, std::move(handler));  // equal keys keep insertion order
}

void IPCServer::UnregisterAll() {
  std::multimap<uint16_t, Handler> old;
  std::lock_guard<std::recursive_mutex> lock(handlers_mutex_);
  old.swap(handlers_);
}

bool IPCServer::IPCFilter(brx::io::ConnectionId, const uint8_t*, uint32_t) { return false; }

void IPCServer::OnMessage(const brx::io::QueuedMessage& message) {
  if (message.length < IPCMessage::kHeaderSize) return;
  const uint8_t* bytes = message.body.get();
  uint16_t id = static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
  if (id == IPCMessage::kInvalidId) return;
  if (IPCFilter(message.connection, bytes, message.length)) return;
  std::lock_guard<std::recursive_mutex> lock(handlers_mutex_);
  // The handlers as they stand, so a handler that registers or clears
  // cannot invalidate the walk.
  std::vector<Handler> handlers;
  auto range = handlers_.equal_range(id);
  for (auto it = range.first; it != range.second; ++it) handlers.push_back(it->second);
  for (const Handler& handler : handlers) handler(message.connection, bytes, message.length);
}
