#pragma once

#include <poll.h>
#include <sys/uio.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "runtime/base/thread.h"
#include "runtime/io/queued_message.h"
#include "runtime/platform/event.h"

namespace brx::io {

// The write side of a stream service. Any thread queues whole messages;
// each connection has a queue of its own, so a peer that stops reading
// holds up nobody but itself: the write thread writes to every connection
// as far as it takes bytes now, waits for room only on those that are
// full, and serves the others meanwhile. Messages to one connection are
// written whole and in the order they were queued.
//
// Each connection may hold up to `queue_bound` unwritten bytes. A message
// that would pass the bound is dropped (whole, never half a frame) and the
// connection is kept: a peer that stops reading for a while loses only
// what was sent to it meanwhile. One log line tells when a connection
// starts losing messages and one when it takes them again.
//
// When a connection has nothing queued and its writer never blocks, a
// message is given to the writer at once on the caller's thread; only the
// part the connection does not take now is queued. Small messages are
// joined into shared chunks, so a stream of them costs no allocation each
// and is written with few calls; buffers are reused.
//
// Stop ends the thread promptly whatever is queued and frees every
// unwritten message; messages queued while stopped are dropped. The owner
// starts and stops it; the destructor stops.
class IOWriteService : public base::ThreadRun {
 public:
  // Writes to the connections of one service kind (pipe, TCP, UDT). Called
  // on the write thread, and on callers' threads for NeverBlocks writers,
  // never twice at once for one connection.
  class IWriteServiceImpl {
   public:
    virtual ~IWriteServiceImpl() = default;
    // Writes the parts, in order, as far as the connection takes them.
    // Returns 0 when everything was written; EAGAIN when `*written` bytes
    // were and the connection has no room now; any other code when the
    // connection failed (its queue is then dropped; the writer makes sure
    // the peer never reads a cut frame followed by another one).
    virtual int WriteSome(ConnectionId connection, const iovec* parts, int count,
                          size_t* written) = 0;
    // A descriptor that polls writable once the connection has room again;
    // -1 when there is none (WriteSome then waits a little by itself).
    virtual int RoomDescriptor(ConnectionId) { return -1; }
    // True when WriteSome never waits.
    virtual bool NeverBlocks() const { return false; }
    // Ends the connection's sending side (the peer reads what was written,
    // then the end of the stream).
    virtual void Shutdown(ConnectionId) {}
  };

  // Unwritten bytes one connection may hold by default: a little more than
  // one raw 4K video frame.
  static constexpr size_t kDefaultQueueBound = 32u << 20;

  IOWriteService(std::string name, std::unique_ptr<IWriteServiceImpl> writer,
                 size_t queue_bound = kDefaultQueueBound);
  ~IOWriteService() override;

  // Any thread: queues header and body as one message. False when the
  // service is stopped or the message was dropped for the bound. A message
  // larger than the bound is taken when the connection has nothing queued.
  bool Write(ConnectionId connection, const uint8_t* header, uint32_t header_length,
             const uint8_t* body, uint32_t body_length);
  // Any thread: ends the connection's sending side once everything queued
  // before is written. False when the service is stopped.
  bool Shutdown(ConnectionId connection);
  // Any thread: drops what is queued for a connection that is gone.
  void Forget(ConnectionId connection);
  // Stops the thread and frees every unwritten message. Safe twice.
  void Stop();

  // Unwritten bytes of the connection.
  size_t QueuedBytes(ConnectionId connection);
  // Waits until the connection holds at most `bytes` unwritten bytes, the
  // service stops, or `timeout` passes; true in the first case. For a
  // producer that wants back-pressure rather than dropped messages.
  bool WaitForRoom(ConnectionId connection, size_t bytes, std::chrono::milliseconds timeout);

  IWriteServiceImpl* writer() { return writer_.get(); }

 protected:
  int Run() override;

 private:
  // Small messages are appended to shared chunks of this size.
  static constexpr size_t kChunkBytes = 256 * 1024;
  // Chunk buffers kept for reuse.
  static constexpr size_t kPoolSize = 8;
  // Parts handed to the writer in one call.
  static constexpr int kMaxParts = 64;

  struct Chunk {
    std::unique_ptr<uint8_t[]> bytes;
    size_t capacity = 0;
    size_t begin = 0;  // first unwritten byte
    size_t end = 0;    // first free byte
  };
  struct Queue {
    std::deque<Chunk> chunks;
    size_t bytes = 0;    // unwritten
    bool taken = false;  // the thread is writing its chunks
    bool full = false;   // waiting for room on room_fd
    int room_fd = -1;
    bool shutdown = false;   // end the sending side once drained
    bool forgotten = false;  // the connection is gone
    uint64_t dropped = 0;    // messages dropped since it last drained
  };

  // mutex_ held.
  void Append(Queue& queue, const uint8_t* header, size_t header_length, const uint8_t* body,
              size_t body_length, size_t skip);
  Chunk NewChunk(size_t capacity);
  void Recycle(Chunk chunk);
  void MarkFull(Queue& queue, ConnectionId connection, int result);
  // Write thread: one pass over one connection.
  void WriteConnection(ConnectionId connection);
  // Write thread: waits for a message, a stop, or room on a full connection.
  void WaitForWork(const std::vector<pollfd>& rooms);

  std::unique_ptr<IWriteServiceImpl> writer_;
  const size_t queue_bound_;
  platform::Event data_;
  std::mutex mutex_;
  std::condition_variable drained_;
  std::map<ConnectionId, Queue> queues_;
  std::vector<Chunk> pool_;
  bool idle_ = false;  // the thread waits for data_; guarded by mutex_
};

}  // namespace brx::io
