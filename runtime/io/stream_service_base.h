#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "runtime/io/io_stream_message_queue.h"
#include "runtime/io/io_write_service.h"

namespace brx::io {

// What every stream service (pipes, TCP, UDT) shares: it is the received-
// message queue its read side fills, it owns the write thread with the
// writer of its kind, and it knows whether it runs. Sends are queued per
// connection (see IOWriteService), so one peer that stops reading never
// holds up the others.
//
// The read side differs by kind and lives in the derived services, which
// start the write thread with StartWriter once their read side runs and
// stop both.
class StreamServiceBase : public IOStreamMessageQueue {
 public:
  ~StreamServiceBase() override;

  bool IsRunning() const { return running_.load(std::memory_order_acquire); }

  // Any thread: queues header then body for the connection's write side.
  // False when the service is not running or the message was dropped
  // because the connection does not read.
  bool Send(ConnectionId connection, const uint8_t* header, uint32_t header_length,
            const uint8_t* body, uint32_t body_length) override;

  // Unwritten bytes queued for the connection.
  size_t QueuedBytes(ConnectionId connection) { return write_service_.QueuedBytes(connection); }
  // Waits until at most `bytes` are queued for the connection; see
  // IOWriteService::WaitForRoom.
  bool WaitForRoom(ConnectionId connection, size_t bytes, std::chrono::milliseconds timeout) {
    return write_service_.WaitForRoom(connection, bytes, timeout);
  }

 protected:
  StreamServiceBase(std::string write_thread_name,
                    std::unique_ptr<IOWriteService::IWriteServiceImpl> writer);

  bool StartWriter() { return write_service_.Start(); }
  void StopWriter() { write_service_.Stop(); }
  IOWriteService::IWriteServiceImpl& writer() { return *write_service_.writer(); }
  void set_running(bool running) { running_.store(running, std::memory_order_release); }

  // Queues the end of the connection's sending side behind its messages.
  bool QueueShutdown(ConnectionId connection) {
    return IsRunning() && write_service_.Shutdown(connection);
  }
  // Drops what is still queued for a connection that is gone.
  void ForgetConnection(ConnectionId connection) { write_service_.Forget(connection); }

 private:
  IOWriteService write_service_;
  std::atomic<bool> running_{false};
};

}  // namespace brx::io
