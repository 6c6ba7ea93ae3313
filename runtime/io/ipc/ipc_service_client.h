#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "runtime/io/ipc/ipc_service_base.h"
#include "runtime/io/reassembly_buffer.h"

namespace brx::io::ipc {

// The client end of a named pipe: one connection at a time to a pipe
// served by IPCServiceServer (the hook daemon's link and the game
// simulator use it).
//
// Threads: BlockConnect and Close on the owner's thread; OnIO, OnConnect
// after a successful connect, OnDisconnect and NotifyBatch on the read
// thread; OnMessage wherever the owner drains the queue. Messages received
// before a disconnect stay queued for the owner, and nothing bounds how
// many may wait (the peer is the main client). Derived classes call
// Stop() in their destructor.
class IPCServiceClient : public IPCServiceBase {
 public:
  // How long BlockConnect waits for a busy or missing name by default.
  static constexpr int kDefaultWaitMs = 100;

  IPCServiceClient();
  ~IPCServiceClient() override;

  // Starts the read and write threads; remembered for BlockConnect.
  bool StartService();

  // One synchronous connection attempt to the pipe `name`, waiting up to
  // `wait_ms` for the name to be served (a busy name has no listener).
  // Not started: false. Already connected: OnConnect(-1) and false.
  // Otherwise OnConnect(0) and true, or OnConnect(error) and false.
  bool BlockConnect(const std::wstring& name, int wait_ms = kDefaultWaitMs);

  // Ends the connection gracefully: messages already sent are written
  // first, then the sending side closes; the server answers by closing its
  // end, and OnDisconnect follows on the read thread. When the service is
  // not running the socket is shut down at once.
  void Close();

  bool IsConnected() const { return connected_.load(std::memory_order_acquire); }
  // The current (or last) connection's id; 0 before the first connect.
  ConnectionId connection() const { return connection_.load(std::memory_order_acquire); }

  // Frames `body` as one message on the current connection.
  bool SendToServer(const uint8_t* body, uint32_t length);

 protected:
  virtual void OnConnect(int error) = 0;
  virtual void OnDisconnect(int error) = 0;

  ReassemblyBuffer* GetReassemblyBuffer(ConnectionId connection) override;
  void OnIO(int error, IOOperation* operation, uint32_t bytes) override;

 private:
  void Disconnect(int error);

  bool started_ = false;
  std::atomic<bool> connected_{false};
  std::atomic<ConnectionId> connection_{0};
  IOOperation read_;
  ReassemblyBuffer buffer_;
  std::mutex socket_mutex_;  // guards socket_ between the owner and the read thread
  SharedSocket socket_;
};

}  // namespace brx::io::ipc
