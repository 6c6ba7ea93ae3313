#pragma once

#include <memory>

#include "runtime/base/thread.h"
#include "runtime/io/io_message_cache.h"
#include "runtime/net/udt/udt_service_base.h"

namespace brx::net::udt {

class UDTServiceServer;

// The server's accept thread: blocks in UDT accept until a peer connects
// or the listening socket is closed.
class UDTServiceThreadAccept : public base::ThreadRun {
 public:
  explicit UDTServiceThreadAccept(UDTServiceServer* server);
  ~UDTServiceThreadAccept() override;

 protected:
  int Run() override;

 private:
  UDTServiceServer* server_;
};

// Listens on a UDT port and serves every peer that connects, each with its
// own reassembly buffer.
//
// Reports: OnAccept on the accept thread, before the peer's first message;
// OnClose once per peer that goes away, fails or sends a corrupt stream
// (-1), on the receive thread; OnStop when the accept loop or the receive
// loop ends (0 when stopped). An idle server, with no peer, stays up.
//
// Stop closes the listening socket first, which wakes the accept thread,
// then stops the threads and closes every peer (no reports). Derived
// classes must call Stop() in their destructor.
class UDTServiceServer : public UDTServiceBase {
 public:
  static constexpr uint16_t kFirstPort = 3000;

  UDTServiceServer();
  ~UDTServiceServer() override;

  // Listens on `port`, or with 0 on the first free port from 3000 on, and
  // starts the receive, send and accept threads. False on any failure.
  bool Initial(uint16_t port);
  void Stop();

  void SetFirstPortForTesting(uint16_t first) { first_port_ = first; }

 protected:
  virtual void OnAccept(io::ConnectionId connection, const sockaddr* address,
                        int address_length) = 0;
  virtual void OnClose(io::ConnectionId connection, int error) = 0;

  io::ReassemblyBuffer* GetReassemblyBuffer(io::ConnectionId connection) override;
  void OnSocketError(io::ConnectionId connection, int error) override;

 private:
  friend class UDTServiceThreadAccept;
  // Accept thread: the loop, and each new peer.
  void AcceptLoop(base::ThreadBase* thread);
  void OnAccepted(UDTSOCKET socket, const sockaddr* address, int address_length);

  uint16_t first_port_ = kFirstPort;
  std::atomic<UDTSOCKET> listener_{UDT::INVALID_SOCK};
  std::atomic<bool> stopping_{false};
  io::IOMessageCache cache_;
  std::unique_ptr<UDTServiceThreadAccept> accept_thread_;
};

}  // namespace brx::net::udt
