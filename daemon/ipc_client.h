#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>

#include "runtime/io/ipc/ipc_service_client.h"

// A pipe client that dispatches each received message by its 16-bit id to
// the handlers registered for it. Handlers run on the thread that drains
// the queue, under the handler lock, in registration order.
class IPCClient : public brx::io::ipc::IPCServiceClient {
 public:
  using Handler = std::function<void(const uint8_t* packet, uint32_t length)>;

  void RegisterHandler(uint16_t message_id, Handler handler);

 protected:
  // True drops the packet before dispatch.
  virtual bool IPCFilter(const uint8_t* packet);
  void OnMessage(const brx::io::QueuedMessage& message) override;

 private:
  std::recursive_mutex mutex_;  // held while handlers run; a handler may register more
  std::multimap<uint16_t, Handler> handlers_;
};
