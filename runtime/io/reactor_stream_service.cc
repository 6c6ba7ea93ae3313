#include "runtime/io/reactor_stream_service.h"

#include <errno.h>

#include <algorithm>
#include <limits>

#include "runtime/io/reassembly_buffer.h"
#include "runtime/io/stream_framing.h"

namespace brx::io {

ReactorStreamService::ReactorStreamService(std::string read_thread_name,
                                           std::string write_thread_name, size_t read_size,
                                           size_t max_frame)
    : StreamServiceBase(std::move(write_thread_name), std::make_unique<SocketWriteServiceImpl>()),
      reactor_(std::move(read_thread_name), this),
      read_size_(read_size),
      max_frame_(max_frame) {}

ReactorStreamService::~ReactorStreamService() { Stop(); }

bool ReactorStreamService::StartThreads() {
  bool started = reactor_.Start() && StartWriter();
  set_running(started);
  return started;
}

void ReactorStreamService::Stop() {
  set_running(false);
  StopWriter();
  reactor_.Stop();
}

bool ReactorStreamService::OnError(int error) {
  return error != EBADF && error != EINVAL && error != EFAULT;
}

void ReactorStreamService::OnComplete(int error, IOOperation* operation, uint32_t bytes) {
  if (operation) OnIO(error, operation, bytes);
}

// Also when the thread ends by itself: nothing is received any more, so
// nothing is sent either.
void ReactorStreamService::OnStop(int) { set_running(false); }

bool ReactorStreamService::PostRead(IOOperation* read, ReassemblyBuffer* buffer) {
  read->kind = IOOperation::Kind::kRead;
  read->buffer = buffer->Reserve(buffer->WantedReadSpace(read_size_));
  read->size = static_cast<uint32_t>(
      std::min<size_t>(buffer->ReadLimit(), std::numeric_limits<int32_t>::max()));
  return reactor_.Post(read);
}

bool ReactorStreamService::CompleteRead(ConnectionId connection, ReassemblyBuffer* buffer,
                                        uint32_t bytes) {
  buffer->Commit(bytes);
  return ParseBufferedFrames(*this, connection, *buffer);
}

}  // namespace brx::io
