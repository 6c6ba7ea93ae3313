#pragma once

#include <atomic>

#include "runtime/base/thread.h"
#include "runtime/io/reassembly_buffer.h"
#include "runtime/net/udt/udt_service_base.h"

namespace brx::net::udt {

// Connects to a UDT server and exchanges framed messages with it. One
// connection per client.
//
// Connect makes one attempt, connect_delay_ms() after the call, on the
// connecter thread; OnConnect reports it there (0, or a UDT error code:
// 1001 when nothing answered within kConnectTimeoutMs). A failed attempt
// closes the socket. While an attempt is pending or the client is
// connected, Connect is ignored (an attempt is never restarted half-way).
// A connection that fails or that the peer closes is reported once with
// OnClose on the receive thread.
//
// Stop returns promptly in every phase: the delay and the attempt wait on
// the stop event. Derived classes must call Stop() in their destructor.
class UDTServiceClient : public UDTServiceBase {
 public:
  static constexpr uint16_t kFirstPort = 1024;
  static constexpr int kConnectDelayMs = 1000;
  // How long an attempt waits for the server (UDT's own connect limit).
  static constexpr int kConnectTimeoutMs = 3000;

  UDTServiceClient();
  ~UDTServiceClient() override;

  // Binds `port`, or with 0 the first free port from 1024 on, and starts
  // the receive and send threads. False on any failure.
  bool Initial(uint16_t port);
  // Connects to `ip` (dotted IPv4 text) and `port`; see the class comment.
  void Connect(const std::string& ip, uint16_t port);
  void Stop();

  bool IsConnected() const { return connected_.load(std::memory_order_acquire); }
  // The connection id to send on.
  io::ConnectionId connection() const { return connection_; }
  int connect_delay_ms() const { return connect_delay_ms_; }

  void SetConnectDelayForTesting(int delay_ms) { next_connect_delay_ms_ = delay_ms; }
  // In place of kConnectTimeoutMs; set before Connect.
  void SetConnectTimeoutForTesting(int timeout_ms) { connect_timeout_ms_ = timeout_ms; }

 protected:
  virtual void OnConnect(int error) = 0;
  virtual void OnClose(int error) = 0;

  io::ReassemblyBuffer* GetReassemblyBuffer(io::ConnectionId connection) override;
  void OnSocketError(io::ConnectionId connection, int error) override;

 private:
  // Connecter thread: one attempt.
  void ConnectRoutine();
  void OnConnectResult(int error);
  // Closes a socket that is not (or no longer) watched.
  void CloseSocket();

  std::atomic<UDTSOCKET> socket_{UDT::INVALID_SOCK};
  io::ConnectionId connection_ = 0;
  io::ReassemblyBuffer buffer_;
  sockaddr_in peer_address_{};
  int connect_delay_ms_ = 0;
  int next_connect_delay_ms_ = kConnectDelayMs;
  int connect_timeout_ms_ = kConnectTimeoutMs;
  std::atomic<bool> connecting_{false};
  std::atomic<bool> connected_{false};
  base::ThreadMethod connecter_service_;
};

}  // namespace brx::net::udt
