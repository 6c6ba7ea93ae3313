#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>

#include "runtime/io/ipc/ipc_service_server.h"

// A pipe server that dispatches each received message by its message id
// (the first 16-bit word) to the handlers registered for it, after an
// optional filter. Base of both pipe servers of the main client.
//
// OnMessage runs on the thread that drains the queue (the GUI thread);
// every handler of an id runs in registration order while the handler-map
// lock is held, so a handler may take the locks that come after it (an
// event chain, then a client table) but never the other way round.
class IPCServer : public brx::io::ipc::IPCServiceServer {
 public:
  using Handler = std::function<void(brx::io::ConnectionId connection, const uint8_t* message,
                                     uint32_t length)>;

  // Adds a handler behind those already registered for `message_id`.
  void Register(uint16_t message_id, Handler handler);
  template <typename T>
  void Register(uint16_t message_id, T* object,
                void (T::*method)(brx::io::ConnectionId, const uint8_t*, uint32_t)) {
    Register(message_id, [object, method](brx::io::ConnectionId c, const uint8_t* m, uint32_t n) {
      (object->*method)(c, m, n);
    });
  }
  // Removes every handler.
  void UnregisterAll();

 protected:
  // True drops the message before any handler sees it. Default: keep all.
  virtual bool IPCFilter(brx::io::ConnectionId connection, const uint8_t* message, uint32_t length);

  // Messages shorter than 4 bytes and id 0xFFFF are ignored. A registered
  // handler without a target throws std::bad_function_call.
  void OnMessage(const brx::io::QueuedMessage& message) override;

 private:
  std::recursive_mutex handlers_mutex_;  // a handler may register more
  std::multimap<uint16_t, Handler> handlers_;
};
