#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "runtime/io/io_message_cache.h"
#include "runtime/io/ipc/ipc_service_base.h"

namespace brx::io::ipc {

// Serves named pipes. Each Listen creates one pipe instance: a listening
// Unix socket at the name's path, waiting for one client. Once a client
// connects, the listener is closed and the path unlinked, so the name is
// busy (a second client finds nothing to connect to and tries the next
// name) until that client leaves; a relisten instance then binds a fresh
// listener; that listener is in place before the old client's end is
// closed, so a client that has seen its pipe close finds the name free.
// Each instance gets a new connection id. A client that connects
// while the instance is taking another one is turned away: its connection
// closes before any reply, and it tries again as it would on a busy name.
//
// An accept that fails (descriptors or memory short) leaves the instance
// listening, its client queued, and is tried again after a pause, so the
// name never goes off the air.
//
// Threads: OnConnect, OnDisconnect and NotifyBatch run on the read thread;
// OnMessage on whatever thread the owner drains the queue on. ClosePipe
// and DisconnectPipe may be called from any thread: the close is handed to
// the read thread, so no completion can ever land in a freed record.
//
// Shut-down: Stop, then CloseAllPipes (no OnDisconnect for pipes closed
// so). Derived servers call Stop() in their destructor; this destructor
// stops and closes everything that is left.
class IPCServiceServer : public IPCServiceBase {
 public:
  IPCServiceServer();
  ~IPCServiceServer() override;

  // Creates an instance of `name` waiting for a client. False when the
  // service is not running, the path does not fit a socket address, this
  // process already waits on the name, another live process serves the
  // path, or the socket cannot be made. A stale socket file (nobody
  // listening) is replaced.
  bool Listen(const std::wstring& name, bool relisten);

  // Closes the instance without OnDisconnect and without relisten.
  void ClosePipe(ConnectionId connection);
  // Closes the instance the normal way: OnDisconnect with
  // kErrorConnectionAborted, then a fresh instance when it relistens.
  void DisconnectPipe(ConnectionId connection);
  // Closes every instance without callbacks. Synchronous once the service
  // is stopped; while it runs the close is handed to the read thread.
  void CloseAllPipes();

 protected:
  virtual void OnConnect(ConnectionId connection, const std::wstring& name) = 0;
  virtual void OnDisconnect(ConnectionId connection, int error) = 0;

  // Any thread: once `ms` have passed, asks `keep` (on the read thread)
  // whether the connection's client is one to keep; when not, and it is
  // still connected, it is disconnected the normal way (OnDisconnect with
  // ETIMEDOUT, then a fresh instance for relisten), with a log line.
  void DisconnectUnlessKept(ConnectionId connection, uint32_t ms, std::function<bool()> keep);

  ReassemblyBuffer* GetReassemblyBuffer(ConnectionId connection) override;
  void OnIO(int error, IOOperation* operation, uint32_t bytes) override;

 private:
  struct PipeConnection;

  // Read thread: a client waits on the instance's listener (or `error`).
  void Accept(PipeConnection* pipe, int error);
  void OnAccepted(PipeConnection* pipe, int client);
  // Read thread: watches the instance's listener again after a pause.
  void RetryAcceptLater(ConnectionId connection);
  // Read thread (or stopped): closes the instance; with `notify`,
  // OnDisconnect follows and a relisten instance is created again.
  void Close(ConnectionId connection, int error, bool notify);
  void CloseAllNow();
  bool IsWaitingOn(const std::string& path);

  std::mutex mutex_;  // guards pipes_
  std::map<ConnectionId, std::unique_ptr<PipeConnection>> pipes_;
  IOMessageCache cache_;
};

}  // namespace brx::io::ipc
