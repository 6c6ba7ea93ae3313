#include "runtime/io/ipc/ipc_service_base.h"

#include <errno.h>
#include <sys/socket.h>

#include <algorithm>
#include <limits>
#include <memory>

#include "runtime/io/reassembly_buffer.h"
#include "runtime/io/stream_framing.h"

namespace brx::io::ipc {

namespace {

std::unique_ptr<IPCIOWriteServiceImpl> MakeWriter(IPCIOWriteServiceImpl** raw) {
  auto writer = std::make_unique<IPCIOWriteServiceImpl>();
  *raw = writer.get();
  return writer;
}

}  // namespace

IPCServiceBase::IPCServiceBase()
    : read_service_("brx.io.ipc.IPCServiceBase:read_service_", this),
      write_service_("brx.io.ipc.IPCServiceBase:write_service_", MakeWriter(&writer_)) {}

IPCServiceBase::~IPCServiceBase() { Stop(); }

bool IPCServiceBase::Start() {
  bool started = read_service_.Start() && write_service_.Start();
  running_.store(started, std::memory_order_release);
  return started;
}

void IPCServiceBase::Stop() {
  running_.store(false, std::memory_order_release);
  read_service_.Stop();
  write_service_.Stop();
}

bool IPCServiceBase::Send(ConnectionId connection, const uint8_t* header, uint32_t header_length,
                          const uint8_t* body, uint32_t body_length) {
  if (!IsRunning()) return false;
  return write_service_.Write(connection, header, header_length, body, body_length);
}

bool IPCServiceBase::QueueShutdown(ConnectionId connection) {
  return IsRunning() && write_service_.Shutdown(connection);
}

bool IPCServiceBase::OnError(int error) { return error != EBADF; }

void IPCServiceBase::OnComplete(int error, IOOperation* operation, uint32_t bytes) {
  if (operation) OnIO(error, operation, bytes);
}

void IPCServiceBase::OnStop(int) {}

void IPCServiceBase::SizeBuffers(int fd) {
  int size = static_cast<int>(kBufferSize);
  setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);  // capped by the system; best effort
}

bool IPCServiceBase::PostRead(IOOperation* read, ReassemblyBuffer* buffer) {
  read->kind = IOOperation::Kind::kRead;
  read->buffer = buffer->Reserve(buffer->WantedReadSpace(kBufferSize));
  read->size = static_cast<uint32_t>(std::min<size_t>(buffer->free_space(), std::numeric_limits<int32_t>::max()));
  return read_service_.Post(read);
}

bool IPCServiceBase::CompleteRead(ConnectionId connection, ReassemblyBuffer* buffer, uint32_t bytes) {
  buffer->Commit(bytes);
  return ParseBufferedFrames(*this, connection, *buffer);
}

}  // namespace brx::io::ipc
