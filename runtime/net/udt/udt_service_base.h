#pragma once

#include <netinet/in.h>
#include <udt/udt.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include "runtime/base/thread.h"
#include "runtime/io/stream_service_base.h"
#include "runtime/net/udt/udt_io_write_service_impl.h"

namespace brx::net::udt {

// The common part of the framed UDT services: a receive thread that waits
// on a UDT epoll set, reads every readable socket into its reassembly
// buffer and queues whole frames, and a send thread with the UDT writer.
//
// UDT 4.11's epoll refuses an unbounded wait on an empty set and never
// reports a socket whose peer went away, so the loop waits at most
// kWaitMs at a time, treats a time-out or an empty set as idle, and after
// each wait asks UDT for the state of every watched socket: a broken or
// closed one is drained of what it still holds and then reported through
// OnSocketError. Only the stop flag or a failed wait ends the loop (with
// OnStop). UDT is started by the constructor and cleaned up by the
// destructor.
//
// Connections are named by generated ids (never reused), mapped to the
// UDT sockets inside the service.
class UDTServiceBase : public io::StreamServiceBase {
 public:
  // The least room made for each receive, and the first reassembly buffer:
  // room for a few small messages per receive.
  static constexpr uint32_t kReceiveSize = 16 * 1024;
  // Frames longer than this (16 MiB) close the connection.
  static constexpr uint32_t kMaxFrameLength = 16u << 20;
  // The longest single epoll wait: the bound on noticing a stop or a peer
  // that went away.
  static constexpr int kWaitMs = 100;

  UDTServiceBase();
  ~UDTServiceBase() override;

  // The local IPv4 address to bind (dotted text); empty for any address.
  // Call before Initial.
  void SetBindAddress(const std::string& address) { bind_address_ = address; }

  // How long a send may make no progress before the writer gives up on
  // the connection (UDTIOWriteServiceImpl::kStallTimeoutMs otherwise).
  void SetWriteStallTimeoutForTesting(int ms) { writer().set_stall_timeout_ms(ms); }
  const sockaddr_in& local_address() const { return local_address_; }
  uint16_t local_port() const { return ntohs(local_address_.sin_port); }

 protected:
  // The receive loop has ended: 0 when stopped, else the UDT error code of
  // the failed wait. Receive thread.
  virtual void OnStop(int error) = 0;
  // A watched connection failed, closed or sent a corrupt stream (-1).
  // The connection is no longer watched. Receive thread.
  virtual void OnSocketError(io::ConnectionId connection, int error) = 0;

  // A fresh UDT stream socket that will not share its UDP port with other
  // sockets of the process and that closes at once, dropping unsent data;
  // or UDT::INVALID_SOCK.
  static UDTSOCKET NewSocket();
  // Binds `socket` to the bind address and `port`, or when `port` is 0 to
  // the first free port from `first_port` to 65534. Fills local_address_.
  bool BindSocket(UDTSOCKET socket, uint16_t port, uint16_t first_port);
  // Switches a connected socket to non-blocking receives with a short send
  // time-out, as the receive loop and the writer expect.
  static void PrepareStreamSocket(UDTSOCKET socket);

  // Creates the epoll set; false when UDT refuses.
  bool CreateEpoll();
  // Adds a connected socket to the epoll set and the send table.
  void Watch(io::ConnectionId connection, UDTSOCKET socket);
  // Stops watching; returns the socket (INVALID_SOCK when not watched).
  UDTSOCKET Unwatch(io::ConnectionId connection);
  // Stops watching and closes every socket (no reports); releases the
  // epoll set. Threads must be stopped.
  void CloseAll();

  // Starts the receive thread, then the send thread.
  bool StartServiceThreads();
  void StopServiceThreads();

  UDTIOWriteServiceImpl& writer() {
    return static_cast<UDTIOWriteServiceImpl&>(StreamServiceBase::writer());
  }

  std::string bind_address_;
  sockaddr_in local_address_{};

 private:
  void ReceiveLoop();
  // Reads everything the socket holds; false when it failed or is corrupt
  // (already reported).
  bool ReadSocket(io::ConnectionId connection, UDTSOCKET socket);
  void Fail(io::ConnectionId connection, int error);

  int epoll_id_ = UDT::ERROR;
  std::mutex mutex_;  // guards watched_
  std::map<UDTSOCKET, io::ConnectionId> watched_;
  base::ThreadMethod recv_service_;
};

}  // namespace brx::net::udt
