#pragma once

#include <netinet/in.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "runtime/io/io_monitor_service.h"
#include "runtime/io/io_stream_message_queue.h"
#include "runtime/io/io_write_service.h"
#include "runtime/io/socket_write.h"
#include "runtime/io/socket_write_service_impl.h"

namespace brx::net {

// The TCP writer: the socket writer bound to TCP connections.
class TCPIOWriteServiceImpl : public io::SocketWriteServiceImpl {
 public:
  TCPIOWriteServiceImpl() : SocketWriteServiceImpl(io::kWriteStallTimeoutMs) {}
};

// The common part of the TCP services: a receive thread (an epoll reactor)
// that reassembles frames into the message queue, and a send thread that
// writes framed messages whole and in order.
//
// Threads: the reactor callbacks and the derived services' notifications
// run on the receive thread; Send may be called from any thread. The owner
// starts and stops the service; derived classes must call Stop() in their
// own destructor, because the receive thread calls their virtual
// operations. A receive thread that ends by itself leaves the service not
// running.
class TCPServiceBase : public io::IOMonitorService::IIOHandler, public io::IOStreamMessageQueue {
 public:
  // The least room made for each read, and the first reassembly buffer.
  static constexpr uint32_t kReceiveSize = 4096;
  // Frames longer than this (16 MiB) close the connection.
  static constexpr uint32_t kMaxFrameLength = 16u << 20;

  TCPServiceBase();
  ~TCPServiceBase() override;

  // The local IPv4 address to bind (dotted text); empty for any address.
  // Call before the service binds.
  void SetBindAddress(const std::string& address) { bind_address_ = address; }

  // Stops the send thread, then the receive thread; queued messages not
  // yet written are dropped. Safe twice.
  void Stop();
  bool IsRunning() const { return running_.load(std::memory_order_acquire); }

  // Queues header then body for the send thread; false (dropped) while
  // the service is not running.
  bool Send(io::ConnectionId connection, const uint8_t* header, uint32_t header_length, const uint8_t* body,
            uint32_t body_length) override;

  // The bound local address.
  const sockaddr_in& local_address() const { return local_address_; }

 protected:
  // Starts the receive thread, then the send thread; true when both run.
  bool StartThreads();

  // Keeps the receive thread going on every wait error but those that mean
  // the reactor itself is broken.
  bool OnError(int error) override;
  void OnComplete(int error, io::IOOperation* operation, uint32_t bytes) override;
  void OnStop(int error) override;
  virtual void OnIO(int error, io::IOOperation* operation, uint32_t bytes) = 0;

  io::IOMonitorService& recv_service() { return recv_service_; }
  TCPIOWriteServiceImpl& writer() { return *writer_; }

  std::string bind_address_;
  sockaddr_in local_address_{};

 private:
  TCPIOWriteServiceImpl* writer_;  // owned by send_service_
  io::IOMonitorService recv_service_;
  io::IOWriteService send_service_;
  std::atomic<bool> running_{false};
};

}  // namespace brx::net
