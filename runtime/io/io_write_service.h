#pragma once

#include <errno.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "runtime/base/thread.h"
#include "runtime/io/queued_message.h"
#include "runtime/platform/event.h"

namespace brx::io {

// The write thread of a stream service: any thread queues whole messages,
// the thread writes them through the service's writer, one at a time and
// in queued order, so messages on one service reach each peer whole and in
// order. When nothing is queued or being written, a writer that can write
// without blocking is given the message at once on the caller's thread, and
// only what the connection does not take now goes to the thread: the common
// small message then costs one system call and no thread hand-off.
//
// Stop ends the thread (a writer blocked on a full connection is woken
// through the cancel descriptor) and frees every message not yet written,
// including those the thread had already taken. Messages queued while
// stopped are dropped. The owner starts and stops it; the destructor stops.
class IOWriteService : public base::ThreadRun {
 public:
  // Writes one message to its connection. One writer per service kind
  // (pipe, TCP, UDT); it is called only on the write thread.
  class IWriteServiceImpl {
   public:
    virtual ~IWriteServiceImpl() = default;
    // Writes the whole buffer, blocking until it is written, the write
    // fails, or `cancel_fd` becomes readable (the service is stopping).
    // Returns the byte count of the last successful call, or a negative
    // error; the service does not examine it. A writer must never leave a
    // stream with half a frame and go on with the next message: on a
    // partial failure it closes (or shuts down) that connection.
    virtual int Write(const QueuedMessage& message, int cancel_fd) = 0;
    // Writes header then body as far as the connection takes them now,
    // never blocking. Returns 0 when everything was written; EAGAIN when
    // only `*written` bytes were (the rest is written later, before
    // anything else); ENOTSUP when this writer cannot write without
    // blocking (nothing was written); any other errno when the write
    // failed (the message is dropped, as a failed Write is).
    virtual int TryWrite(ConnectionId, const uint8_t*, uint32_t, const uint8_t*, uint32_t, size_t* written) {
      *written = 0;
      return ENOTSUP;
    }
    // Ends the connection's sending side once everything queued before it
    // is written (the peer reads the rest, then the end of the stream).
    virtual void Shutdown(ConnectionId) {}
  };

  IOWriteService(std::string name, std::unique_ptr<IWriteServiceImpl> writer);
  ~IOWriteService() override;

  // Any thread: queues header and body joined in one buffer. False when
  // the service is stopped (the message is dropped).
  bool Write(ConnectionId connection, const uint8_t* header, uint32_t header_length, const uint8_t* body,
             uint32_t body_length);
  // Any thread: queues the end of the connection's sending side behind its
  // messages. False when the service is stopped.
  bool Shutdown(ConnectionId connection);
  // Stops the thread and frees every unwritten message. Safe twice.
  void Stop();

  IWriteServiceImpl* writer() { return writer_.get(); }

 protected:
  int Run() override;

 private:
  std::unique_ptr<IWriteServiceImpl> writer_;
  platform::Event data_;
  std::mutex mutex_;
  // A null message is the shutdown of `connection`.
  struct Item {
    ConnectionId connection;
    std::unique_ptr<QueuedMessage> message;
  };
  bool Queue(Item item);

  std::deque<Item> queue_;
  bool busy_ = false;  // the thread holds taken items; guarded by mutex_
};

}  // namespace brx::io
