#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "runtime/io/io_monitor_service.h"
#include "runtime/io/socket_write_service_impl.h"
#include "runtime/io/stream_service_base.h"

namespace brx::io {

class ReassemblyBuffer;

// A stream service over sockets (pipes and TCP): an epoll reactor thread
// reads every connection straight into its reassembly buffer and queues
// whole frames; the socket writer writes without ever waiting.
//
// Threads: the reactor callbacks and the derived services' notifications
// run on the read thread; Send may be called from any thread. Derived
// classes must call Stop() in their own destructor, because the read
// thread calls their virtual operations. A read thread that ends by itself
// leaves the service not running.
class ReactorStreamService : public StreamServiceBase, public IOMonitorService::IIOHandler {
 public:
  ~ReactorStreamService() override;

  // Stops the write thread, then the read thread; queued messages not yet
  // written are dropped. Safe twice.
  void Stop();

 protected:
  ReactorStreamService(std::string read_thread_name, std::string write_thread_name,
                       size_t read_size, size_t max_frame);

  // Starts the read thread, then the write thread; true when both run.
  bool StartThreads();

  // Keeps the read thread going on every wait error but those that mean
  // the reactor itself is broken.
  bool OnError(int error) override;
  void OnComplete(int error, IOOperation* operation, uint32_t bytes) override;
  void OnStop(int error) override;
  virtual void OnIO(int error, IOOperation* operation, uint32_t bytes) = 0;

  // Arms `read` to receive straight into the free tail of `buffer`.
  bool PostRead(IOOperation* read, ReassemblyBuffer* buffer);
  // Counts `bytes` received into `buffer` and queues every whole frame.
  // False when the connection must be closed (corrupt stream, a frame over
  // the cap, or more queued than the connection may hold: logged).
  bool CompleteRead(ConnectionId connection, ReassemblyBuffer* buffer, uint32_t bytes);

  IOMonitorService& reactor() { return reactor_; }
  SocketWriteServiceImpl& socket_writer() { return static_cast<SocketWriteServiceImpl&>(writer()); }
  size_t read_size() const { return read_size_; }
  size_t max_frame() const { return max_frame_; }

 private:
  IOMonitorService reactor_;
  const size_t read_size_;
  const size_t max_frame_;
};

}  // namespace brx::io
