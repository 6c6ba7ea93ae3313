#pragma once

#include <atomic>
#include <cstdint>

#include "runtime/io/io_monitor_service.h"
#include "runtime/io/io_stream_message_queue.h"
#include "runtime/io/io_write_service.h"
#include "runtime/io/socket_write.h"
#include "runtime/io/socket_write_service_impl.h"

namespace brx::io {
class ReassemblyBuffer;
}

namespace brx::io::ipc {

// The pipe writer: the socket writer bound to pipe connections.
class IPCIOWriteServiceImpl : public SocketWriteServiceImpl {
 public:
  IPCIOWriteServiceImpl() : SocketWriteServiceImpl(kWriteStallTimeoutMs) {}
};

// The common part of both pipe ends: a read thread (an epoll reactor) that
// reassembles frames into the message queue, and a write thread that
// writes framed messages whole and in order.
//
// Threads: OnIO and the derived callbacks run on the read thread; Send may
// be called from any thread. The owner starts and stops the service;
// derived classes must call Stop() in their own destructor, because the
// read thread calls their virtual operations.
class IPCServiceBase : public IOMonitorService::IIOHandler, public IOStreamMessageQueue {
 public:
  // Pipe buffer size: the size of each read and of a new reassembly buffer.
  static constexpr uint32_t kBufferSize = 0x100000;
  // Frames longer than this (16 MiB, room for a raw full-HD video frame)
  // close the connection.
  static constexpr uint32_t kMaxFrameLength = 16 * kBufferSize;

  IPCServiceBase();
  ~IPCServiceBase() override;

  // Starts the read thread, then the write thread; true when both run.
  bool Start();
  // Stops both threads; messages not yet written are dropped. Safe twice.
  void Stop();
  bool IsRunning() const { return running_.load(std::memory_order_acquire); }

  // Queues header then body for the connection's write thread; false
  // (nothing queued) while the service is not running.
  bool Send(ConnectionId connection, const uint8_t* header, uint32_t header_length, const uint8_t* body,
            uint32_t body_length) override;

 protected:
  // Keeps the read thread going on every wait error but EBADF.
  bool OnError(int error) override;
  void OnComplete(int error, IOOperation* operation, uint32_t bytes) override;
  void OnStop(int error) override;
  virtual void OnIO(int error, IOOperation* operation, uint32_t bytes) = 0;

  // Gives a connected pipe the out buffer of the buffer size (as far as the
  // system allows), so a video frame mostly goes out in one call.
  static void SizeBuffers(int fd);
  // Arms `read` to receive straight into the free tail of `buffer`.
  bool PostRead(IOOperation* read, ReassemblyBuffer* buffer);
  // Counts `bytes` received into `buffer` and queues every whole frame.
  // False when the stream is corrupt.
  bool CompleteRead(ConnectionId connection, ReassemblyBuffer* buffer, uint32_t bytes);

  // Queues the end of the connection's sending side behind its messages.
  bool QueueShutdown(ConnectionId connection);

  IOMonitorService& read_service() { return read_service_; }
  IPCIOWriteServiceImpl& writer() { return *writer_; }

 private:
  IPCIOWriteServiceImpl* writer_;  // owned by write_service_
  IOMonitorService read_service_;
  IOWriteService write_service_;
  std::atomic<bool> running_{false};
};

}  // namespace brx::io::ipc
