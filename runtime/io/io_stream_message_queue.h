#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "runtime/io/queued_message.h"

namespace brx::io {

class ReassemblyBuffer;

// The received-message queue that every stream service is. The service's
// read thread pushes whole frames and calls NotifyBatch once per batch;
// the owner then calls DispatchMessages on its own thread, which hands
// each message to OnMessage and frees it after the call. The queue lock is
// never held while OnMessage runs, so handlers may send, push and take
// other locks.
//
// A call dispatches the messages queued when it began; what handlers push
// meanwhile waits for the next call. Connections are served in turn: each connection's messages are
// dispatched in their arrival order, one message of every waiting
// connection per round, so a connection that floods the queue delays the
// others by no more than one message each. A connection may hold at most
// a bounded number of received, undispatched messages and bytes; a frame
// beyond the bound is refused (the service then closes the connection).
// Once one DispatchMessages call has handled kDispatchSliceMessages and run
// for kDispatchSlice, it stops and asks to be called again through
// NotifyBatch, so the owner's thread gets to its other work (a quit, a
// timer) whatever is queued.
class IOStreamMessageQueue {
 public:
  // What one connection may have waiting for dispatch by default: more
  // than any peer that is served sends, and room for a few raw 4K frames.
  static constexpr size_t kDefaultMaxQueuedMessages = 1024;
  static constexpr size_t kDefaultMaxQueuedBytes = 128u << 20;
  static constexpr std::chrono::milliseconds kDispatchSlice{20};
  static constexpr size_t kDispatchSliceMessages = 32;

  IOStreamMessageQueue() = default;
  virtual ~IOStreamMessageQueue();
  IOStreamMessageQueue(const IOStreamMessageQueue&) = delete;
  IOStreamMessageQueue& operator=(const IOStreamMessageQueue&) = delete;

  // Any thread: frames `body` as one message and hands it to Send.
  bool SendMessage(ConnectionId connection, const uint8_t* body, uint32_t length);
  // Any thread: queues a copy of the body, or the body itself. These take
  // the owner's own messages (a made-up detach, for example) and are never
  // refused.
  void Push(ConnectionId connection, const uint8_t* body, uint32_t length);
  void Push(ConnectionId connection, std::unique_ptr<uint8_t[]> body, uint32_t length);
  // Read thread: queues a received frame, unless the connection already
  // holds as much as it may (false: nothing queued).
  bool PushReceived(ConnectionId connection, const uint8_t* body, uint32_t length);
  bool PushReceived(ConnectionId connection, std::unique_ptr<uint8_t[]> body, uint32_t length,
                    uint32_t capacity = 0);
  // Read thread: a body for a large frame of `length` bytes, reused from
  // one already dispatched when there is one (a stream of video frames
  // then costs no allocation and no fresh pages per frame), or null.
  std::unique_ptr<uint8_t[]> TakeBody(uint32_t length, uint32_t* capacity);
  // Any thread: drops every queued message of the connection.
  void Drop(ConnectionId connection);
  // The bound of PushReceived, per connection.
  void SetQueueBound(size_t max_messages, size_t max_bytes);
  size_t max_queued_messages() const { return max_messages_; }

  // Read thread: at least one message was pushed since the last call. Also
  // called on the owner's thread when DispatchMessages left messages for
  // the next call.
  virtual void NotifyBatch() = 0;
  // Read thread: the connection's reassembly buffer, or null when unknown.
  virtual ReassemblyBuffer* GetReassemblyBuffer(ConnectionId connection) = 0;

  // Owner's thread: dispatches the queued messages (see the class comment).
  void DispatchMessages();
  // Frees every queued message without dispatching it.
  void Clear();

  // Any thread: queues header then body for the connection's write side.
  // False when the message was not queued (service not running).
  virtual bool Send(ConnectionId connection, const uint8_t* header, uint32_t header_length,
                    const uint8_t* body, uint32_t body_length) = 0;

 protected:
  virtual void OnMessage(const QueuedMessage& message) = 0;

 private:
  struct Waiting {
    std::deque<std::unique_ptr<QueuedMessage>> messages;
    std::deque<uint64_t> numbers;  // arrival number of each message
    size_t bytes = 0;
  };
  bool Queue(std::unique_ptr<QueuedMessage> message, bool bounded);
  void Recycle(std::unique_ptr<QueuedMessage> message);

  // Bodies of dispatched large frames kept for reuse.
  static constexpr size_t kPooledBodies = 8;
  static constexpr uint32_t kPooledBodyBytes = 64 * 1024;
  std::mutex pool_mutex_;
  std::vector<std::pair<std::unique_ptr<uint8_t[]>, uint32_t>> pool_;

  std::mutex mutex_;
  std::map<ConnectionId, Waiting> waiting_;
  std::deque<ConnectionId> turns_;  // connections with messages, in turn
  uint64_t next_number_ = 0;
  size_t max_messages_ = kDefaultMaxQueuedMessages;
  size_t max_bytes_ = kDefaultMaxQueuedBytes;
};

}  // namespace brx::io
