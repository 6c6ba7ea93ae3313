#include "daemon/ipc_client.h"

#include <cstring>

void IPCClient::RegisterHandler(uint16_t message_id, Handler handler) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  handlers_.emplace(message_id, std::move(handler));
}

bool IPCClient::IPCFilter(const uint8_t*) { return false; }

void IPCClient::OnMessage(const brx::io::QueuedMessage& message) {
  // Every message starts with its id and flags; shorter ones, and the
  // reserved id 0xFFFF, are not messages.
  if (message.length < 4 || !message.body) return;
  uint16_t id;
  memcpy(&id, message.body.get(), sizeof id);
  if (id == 0xFFFF || IPCFilter(message.body.get())) return;
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  auto range = handlers_.equal_range(id);
  for (auto it = range.first; it != range.second; ++it)
    it->second(message.body.get(), message.length);
}
