#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <string>

#include "runtime/io/reactor_stream_service.h"

namespace brx::net {

// The TCP writer: the socket writer bound to TCP connections.
using TCPIOWriteServiceImpl = io::SocketWriteServiceImpl;

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
class TCPServiceBase : public io::ReactorStreamService {
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

  // The bound local address.
  const sockaddr_in& local_address() const { return local_address_; }

 protected:
  io::IOMonitorService& recv_service() { return reactor(); }
  TCPIOWriteServiceImpl& writer() { return socket_writer(); }

  std::string bind_address_;
  sockaddr_in local_address_{};
};

}  // namespace brx::net
