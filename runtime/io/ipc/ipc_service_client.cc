#include "runtime/io/ipc/ipc_service_client.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/socket.h>

#include <chrono>
#include <cstdint>
#include <thread>

#include "runtime/io/ipc/pipe_address.h"
#include "runtime/platform/tick_clock.h"

namespace brx::io::ipc {

IPCServiceClient::IPCServiceClient() : buffer_(kBufferSize, kMaxFrameLength) {
  // The server end is the main client itself, whose messages are wanted
  // however many wait: the flood bound guards servers against their peers.
  SetQueueBound(SIZE_MAX, SIZE_MAX);
}

IPCServiceClient::~IPCServiceClient() {
  Stop();
  std::lock_guard<std::mutex> lock(socket_mutex_);
  if (socket_) socket_writer().Detach(connection());
  socket_.reset();
}

bool IPCServiceClient::StartService() {
  started_ = Start();
  return started_;
}

bool IPCServiceClient::BlockConnect(const std::wstring& name, int wait_ms) {
  if (!started_ || !IsRunning()) return false;
  if (IsConnected()) {
    OnConnect(-1);
    return false;
  }
  sockaddr_un address;
  socklen_t length;
  if (!MakePipeAddress(PipePath(name), &address, &length)) {
    OnConnect(ENAMETOOLONG);
    return false;
  }
  // A busy name has no listener until its client leaves; a missing one may
  // appear. Either way keep trying until the wait is over.
  uint32_t start = platform::GetTickCount();
  ScopedFd fd;
  int error = 0;
  while (true) {
    // Non-blocking: a name whose one instance is taking another client
    // refuses at once (EAGAIN) instead of queueing us behind it.
    fd.Reset(socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd.valid()) {
      error = errno;
      break;
    }
    if (connect(fd.get(), reinterpret_cast<sockaddr*>(&address), length) == 0) {
      error = 0;
      break;
    }
    error = errno;
    fd.Reset();
    if (error != ENOENT && error != ECONNREFUSED && error != EAGAIN) break;
    if (platform::GetTickCount() - start >= static_cast<uint32_t>(wait_ms)) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  if (error != 0) {
    OnConnect(error);
    return false;
  }
  SizeBuffers(fd.get());
  if (fcntl(fd.get(), F_SETFL, O_NONBLOCK) != 0) {
    OnConnect(errno);
    return false;
  }
  ConnectionId id = NewConnectionId();
  auto socket = std::make_shared<ScopedFd>(std::move(fd));
  {
    std::lock_guard<std::mutex> lock(socket_mutex_);
    socket_ = socket;
  }
  buffer_.Clear();
  connection_.store(id, std::memory_order_release);
  socket_writer().Attach(id, socket);
  read_.fd = socket->get();
  connected_.store(true, std::memory_order_release);
  if (!PostRead(&read_, &buffer_)) {
    int post_error = errno;
    connected_.store(false, std::memory_order_release);
    socket_writer().Detach(id);
    std::lock_guard<std::mutex> lock(socket_mutex_);
    socket_.reset();
    OnConnect(post_error);
    return false;
  }
  OnConnect(0);
  return true;
}

void IPCServiceClient::Close() {
  if (IsConnected() && QueueShutdown(connection())) return;
  std::lock_guard<std::mutex> lock(socket_mutex_);
  if (socket_) shutdown(socket_->get(), SHUT_RDWR);
}

bool IPCServiceClient::SendToServer(const uint8_t* body, uint32_t length) {
  if (!IsConnected()) return false;
  return SendMessage(connection(), body, length);
}

ReassemblyBuffer* IPCServiceClient::GetReassemblyBuffer(ConnectionId connection) {
  return connection != 0 && connection == this->connection() ? &buffer_ : nullptr;
}

void IPCServiceClient::OnIO(int error, IOOperation* operation, uint32_t bytes) {
  if (operation != &read_ || !IsConnected()) return;
  if (bytes == 0) {
    Disconnect(error);
  } else if (!CompleteRead(connection(), &buffer_, bytes)) {
    Disconnect(kErrorBadFrame);
  } else if (!PostRead(&read_, &buffer_)) {
    Disconnect(errno);
  }
}

void IPCServiceClient::Disconnect(int error) {
  read_service().Remove(&read_);
  socket_writer().Detach(connection());
  ForgetConnection(connection());
  {
    std::lock_guard<std::mutex> lock(socket_mutex_);
    if (socket_) shutdown(socket_->get(), SHUT_RDWR);
    socket_.reset();
  }
  buffer_.Clear();
  connected_.store(false, std::memory_order_release);
  OnDisconnect(error);
}

}  // namespace brx::io::ipc
