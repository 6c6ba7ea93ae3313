#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "runtime/io/reassembly_buffer.h"
#include "runtime/io/socket_write_service_impl.h"
#include "runtime/net/tcp_service_base.h"

namespace brx::net {

// The client end of a framed TCP stream: binds a local port, connects
// without blocking, receives frames into the message queue and sends
// through the send thread. One connection per client: a closed client is
// not reconnected, the owner makes a new one.
//
// Every report runs on the receive thread: OnConnect once per Connect (0,
// or an errno value such as ECONNREFUSED, ECONNABORTED when Close came
// first; a failed connect never reports OnClose), then, for a connection
// that was made, exactly one OnClose: 0 when the peer closed or Close was
// called, kErrorBadFrame (-1) for a corrupt stream, else the errno value
// of the failure. Close before any Connect reports nothing. Messages
// received before a peer close or a corrupt frame stay queued for the
// owner; Close drops them.
//
// Should the receive thread end by itself (its wait failed), the client
// closes what it has, reports it with that error the same way, and stops
// running. Stop ends the reports: a connect or connection still open at
// Stop is closed without one.
//
// Close may be called from any thread: the receive thread does the
// closing, so it never races a read in progress. Derived classes must
// call Stop() in their destructor; the destructor closes a socket still
// open without reporting.
class TCPServiceClient : public TCPServiceBase {
 public:
  static constexpr uint16_t kFirstPort = 3000;
  static constexpr uint16_t kLastPort = 65534;

  TCPServiceClient();
  ~TCPServiceClient() override;

  // Opens the socket, binds the first free port from 3000 on (on the bind
  // address, else any address) and starts both threads. False on any
  // failure.
  bool Initial();
  // Connects to `ip` (dotted IPv4 text) and `port`; the outcome arrives
  // as OnConnect. Ignored when the service is not running, or when the
  // client already connected or closed.
  void Connect(const std::string& ip, uint16_t port);
  // Closes the connection (see the class comment).
  void Close();

  bool IsConnected() const { return connected_.load(std::memory_order_acquire); }
  // The connection id to send on; 0 before Initial.
  io::ConnectionId connection() const { return connection_; }
  uint16_t local_port() const { return ntohs(local_address_.sin_port); }

  void SetFirstPortForTesting(uint16_t first) { first_port_ = first; }

 protected:
  virtual void OnConnect(int error) = 0;
  virtual void OnClose(int error) = 0;
  // Kept for derived transports; the service never calls it.
  virtual void OnPostServiceQuit(int error) { (void)error; }

  io::ReassemblyBuffer* GetReassemblyBuffer(io::ConnectionId connection) override;
  void OnIO(int error, io::IOOperation* operation, uint32_t bytes) override;
  void OnStop(int error) override;

 private:
  enum class Phase { kNone, kBound, kConnecting, kConnected, kClosed };

  // Receive thread.
  void StartConnect(const std::string& ip, uint16_t port);
  void OnConnectDone(int error);
  bool PostRead();
  // Closes the socket; reports OnClose(error) when connected.
  void CloseConnection(int error);
  // Closes whatever is open and reports it by phase: a pending connect
  // fails with `connect_error`, a connection closes with `close_error`.
  void Shut(int connect_error, int close_error);
  void CloseSocket();

  uint16_t first_port_ = kFirstPort;
  io::IOOperation operation_;  // the one operation: connect, then reads
  io::SharedSocket socket_;
  io::ConnectionId connection_ = 0;
  io::ReassemblyBuffer buffer_;
  Phase phase_ = Phase::kNone;  // receive thread (or stopped)
  std::atomic<bool> connected_{false};
  // Pair the owner's Connect and Close with a receive thread that ends by
  // itself (see OnStop).
  std::atomic<bool> connect_requested_{false};
  std::atomic<bool> close_requested_{false};
  std::atomic<bool> reactor_ended_{false};
};

}  // namespace brx::net
