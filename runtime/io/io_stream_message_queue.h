#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

#include "runtime/io/queued_message.h"

namespace brx::io {

class ReassemblyBuffer;

// The received-message queue that every stream service is. The service's
// read thread pushes whole frames and calls NotifyBatch once per batch;
// the owner then calls DispatchMessages on its own thread, which hands
// each message to OnMessage in arrival order and frees it after the call.
// The queue lock is never held while OnMessage runs, so handlers may send,
// push and take other locks.
class IOStreamMessageQueue {
 public:
  IOStreamMessageQueue() = default;
  virtual ~IOStreamMessageQueue();
  IOStreamMessageQueue(const IOStreamMessageQueue&) = delete;
  IOStreamMessageQueue& operator=(const IOStreamMessageQueue&) = delete;

  // Any thread: frames `body` as one message and hands it to Send.
  bool SendMessage(ConnectionId connection, const uint8_t* body, uint32_t length);
  // Any thread: queues a copy of the body.
  void Push(ConnectionId connection, const uint8_t* body, uint32_t length);
  // Any thread: queues the body itself.
  void Push(ConnectionId connection, std::unique_ptr<uint8_t[]> body, uint32_t length);
  // Read thread: at least one message was pushed since the last call.
  virtual void NotifyBatch() = 0;
  // Read thread: the connection's reassembly buffer, or null when unknown.
  virtual ReassemblyBuffer* GetReassemblyBuffer(ConnectionId connection) = 0;

  // Owner's thread: takes every queued message out and dispatches them.
  void DispatchMessages();
  // Frees every queued message without dispatching it.
  void Clear();

  // Any thread: queues header then body for the connection's write side.
  // False when the message was not queued (service not running).
  virtual bool Send(ConnectionId connection, const uint8_t* header, uint32_t header_length, const uint8_t* body,
                    uint32_t body_length) = 0;

 protected:
  virtual void OnMessage(const QueuedMessage& message) = 0;

 private:
  std::mutex mutex_;
  std::deque<std::unique_ptr<QueuedMessage>> queue_;
};

}  // namespace brx::io
