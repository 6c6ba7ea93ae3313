#include "runtime/io/ipc/ipc_service_server.h"

#include <errno.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <string>

#include "runtime/io/ipc/pipe_address.h"
#include "runtime/logmaker/log.h"
#include "runtime/util/text_convert.h"

namespace brx::io::ipc {

namespace {

// An instance takes one client: with no backlog beyond it, a second
// client's (non-blocking) connect is refused at once while the first waits
// to be accepted, so it tries the next name instead of being turned away
// after it thought itself connected.
constexpr int kBacklog = 0;

enum State { kWaiting = 0, kReading = 1, kClosing = 3 };

// How long a listener rests after a failed accept (most likely no
// descriptor or memory to spare) before it tries again.
constexpr uint32_t kAcceptRetryMs = 100;

// True when a live process accepts connections on `address`.
bool IsServed(const sockaddr_un& address, socklen_t length) {
  ScopedFd probe(socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!probe.valid()) return false;
  if (connect(probe.get(), reinterpret_cast<const sockaddr*>(&address), length) == 0) return true;
  return errno == EAGAIN || errno == EINPROGRESS;  // a full backlog is still a listener
}

// A listening socket whose name appears only once it accepts: it is bound
// and listening under a private name first, then linked to `path`. A
// client never finds the name refusing it between bind and listen, and the
// link, unlike a rename, never replaces a name another process holds.
ScopedFd BindListening(const std::string& path, const sockaddr_un& address, socklen_t length) {
  static std::atomic<unsigned> counter{0};
  std::string staging = path + ".~" + std::to_string(getpid()) + "." + std::to_string(counter++);
  sockaddr_un staging_address;
  socklen_t staging_length;
  if (!MakePipeAddress(staging, &staging_address, &staging_length)) return ScopedFd();
  ScopedFd listener(socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!listener.valid()) return ScopedFd();
  unlink(staging.c_str());  // left by a process of ours that died here
  if (bind(listener.get(), reinterpret_cast<const sockaddr*>(&staging_address), staging_length) !=
          0 ||
      listen(listener.get(), kBacklog) != 0) {
    LogWarnA("%s:%d:bind %s failed: %s\n", "IPCServiceServer::Listen", __LINE__, path.c_str(),
             strerror(errno));
    unlink(staging.c_str());
    return ScopedFd();
  }
  bool linked = link(staging.c_str(), path.c_str()) == 0;
  if (!linked && errno == EEXIST) {
    if (IsServed(address, length)) {
      LogWarnA("%s:%d:%s is served by another process\n", "IPCServiceServer::Listen", __LINE__,
               path.c_str());
      unlink(staging.c_str());
      return ScopedFd();
    }
    unlink(path.c_str());  // a stale socket file of a process that is gone
    linked = link(staging.c_str(), path.c_str()) == 0;
  }
  int link_error = errno;
  unlink(staging.c_str());
  if (!linked) {
    LogWarnA("%s:%d:bind %s failed: %s\n", "IPCServiceServer::Listen", __LINE__, path.c_str(),
             strerror(link_error));
    return ScopedFd();
  }
  return listener;
}

}  // namespace

// One pipe instance; the operation comes first so a completion finds it.
struct IPCServiceServer::PipeConnection : IOOperation {
  ConnectionId id = 0;
  int state = kWaiting;
  std::wstring name;
  std::string path;
  bool relisten = false;
  bool accept_failing = false;  // logged once until an accept succeeds again
  ScopedFd listener;
  dev_t bound_device = 0;  // identifies our socket file, so we never
  ino_t bound_inode = 0;   // unlink a path another process bound since
  SharedSocket socket;
  ReassemblyBuffer* buffer = nullptr;  // owned by the cache

  // Closes the listener and removes its path if it is still ours.
  void CloseListener() {
    if (!listener.valid()) return;
    UnlinkPath();
    listener.Reset();
  }
  // Removes the socket file, only when it still is the one this instance
  // bound: never another live process's.
  void UnlinkPath() {
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && st.st_dev == bound_device && st.st_ino == bound_inode)
      unlink(path.c_str());
  }
};

IPCServiceServer::IPCServiceServer() = default;

IPCServiceServer::~IPCServiceServer() {
  Stop();
  CloseAllPipes();
}

bool IPCServiceServer::IsWaitingOn(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& [id, pipe] : pipes_)
    if (pipe->state == kWaiting && pipe->path == path) return true;
  return false;
}

bool IPCServiceServer::Listen(const std::wstring& name, bool relisten) {
  if (!IsRunning()) return false;
  std::string path = PipePath(name);
  sockaddr_un address;
  socklen_t length;
  if (!MakePipeAddress(path, &address, &length)) return false;
  if (IsWaitingOn(path)) {
    LogWarnA("%s:%d:already waiting for a client on %s\n", "IPCServiceServer::Listen", __LINE__,
             path.c_str());
    return false;
  }
  ScopedFd listener = BindListening(path, address, length);
  if (!listener.valid()) return false;
  auto pipe = std::make_unique<PipeConnection>();
  struct stat st;
  if (stat(path.c_str(), &st) == 0) {
    pipe->bound_device = st.st_dev;
    pipe->bound_inode = st.st_ino;
  }
  pipe->id = NewConnectionId();
  pipe->name = name;
  pipe->path = path;
  pipe->relisten = relisten;
  pipe->listener = std::move(listener);
  pipe->fd = pipe->listener.get();
  pipe->kind = IOOperation::Kind::kListen;
  PipeConnection* raw = pipe.get();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    pipes_[raw->id] = std::move(pipe);
  }
  if (!read_service().Post(raw)) {
    ConnectionId id = raw->id;
    read_service().RunOnIoThread([this, id] { Close(id, 0, false); });
    return false;
  }
  return true;
}

void IPCServiceServer::OnIO(int error, IOOperation* operation, uint32_t bytes) {
  auto* pipe = static_cast<PipeConnection*>(operation);
  switch (pipe->state) {
    case kWaiting:
      Accept(pipe, error);
      return;
    case kReading:
      if (bytes == 0) {
        Close(pipe->id, error, true);
      } else if (!CompleteRead(pipe->id, pipe->buffer, bytes)) {
        Close(pipe->id, kErrorBadFrame, true);
      } else if (!PostRead(pipe, pipe->buffer)) {
        Close(pipe->id, errno, true);
      }
      return;
    default:
      Close(pipe->id, error, true);
      return;
  }
}

void IPCServiceServer::RetryAcceptLater(ConnectionId connection) {
  read_service().PostDelayedTask(kAcceptRetryMs, [this, connection] {
    PipeConnection* pipe = nullptr;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      auto it = pipes_.find(connection);
      if (it != pipes_.end() && it->second->state == kWaiting) pipe = it->second.get();
    }
    // Only this thread frees records, so `pipe` stays valid here.
    if (pipe && !read_service().Post(pipe)) RetryAcceptLater(connection);
  });
}

void IPCServiceServer::Accept(PipeConnection* pipe, int error) {
  if (error == 0) {
    // One client per instance. Refuse further clients first: a shut
    // listener turns every later connect away at once (the client tries
    // the next name), so nobody can slip in between this accept and the
    // closing of the listener and be cut off after it thought itself
    // served. Then the name leaves the file system until this client
    // leaves.
    shutdown(pipe->listener.get(), SHUT_RD);
    int client = accept4(pipe->listener.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (client >= 0) {
      pipe->accept_failing = false;
      pipe->UnlinkPath();
      OnAccepted(pipe, client);
      return;
    }
    error = errno;
  }
  if (error == EAGAIN || error == EWOULDBLOCK || error == ECONNABORTED) {
    // Nobody was waiting after all, and the listener is shut: a fresh
    // instance takes its place.
    std::wstring name = pipe->name;
    bool relisten = pipe->relisten;
    Close(pipe->id, 0, false);
    if (IsRunning()) Listen(name, relisten);
    return;
  }
  // The client stays queued on the listener: a descriptor shortage passes,
  // and then it is accepted.
  if (!pipe->accept_failing)
    LogWarnA("%s:%d:accept on %s failed: %s; trying again\n", "IPCServiceServer::Accept", __LINE__,
             pipe->path.c_str(), strerror(error));
  pipe->accept_failing = true;
  RetryAcceptLater(pipe->id);
}

void IPCServiceServer::OnAccepted(PipeConnection* pipe, int client) {
  read_service().Remove(pipe);
  pipe->CloseListener();

  SizeBuffers(client);
  pipe->socket = std::make_shared<ScopedFd>(client);
  pipe->buffer = cache_.Create(pipe->id, kBufferSize, kMaxFrameLength);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    pipe->state = kReading;
  }
  pipe->fd = client;
  socket_writer().Attach(pipe->id, pipe->socket);
  if (!PostRead(pipe, pipe->buffer)) {
    Close(pipe->id, errno, true);
    return;
  }
  OnConnect(pipe->id, pipe->name);
}

void IPCServiceServer::Close(ConnectionId connection, int error, bool notify) {
  std::unique_ptr<PipeConnection> pipe;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = pipes_.find(connection);
    if (it == pipes_.end()) return;
    pipe = std::move(it->second);
    pipes_.erase(it);
  }
  read_service().Remove(pipe.get());
  bool was_connected = pipe->state != kWaiting;
  pipe->CloseListener();
  // The name is served again before the client's end closes and before
  // anything else is done: a game that has seen its pipe close finds its
  // name free, never busy for a client that has gone.
  if (notify && pipe->relisten && IsRunning()) Listen(pipe->name, true);
  if (notify && was_connected) OnDisconnect(connection, error);
  if (pipe->socket) {
    // The write thread may still hold the socket; shutting it down ends
    // any write in progress, and the descriptor closes when both let go.
    shutdown(pipe->socket->get(), SHUT_RDWR);
    socket_writer().Detach(connection);
    ForgetConnection(connection);
    pipe->socket.reset();
  }
  cache_.Remove(connection);
}

void IPCServiceServer::DisconnectUnlessKept(ConnectionId connection, uint32_t ms,
                                            std::function<bool()> keep) {
  read_service().PostDelayedTask(ms, [this, connection, ms, keep = std::move(keep)] {
    std::string path;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      auto it = pipes_.find(connection);
      if (it == pipes_.end() || it->second->state != kReading) return;
      path = it->second->path;
    }
    if (keep()) return;
    LogWarnA("%s:%d:the client of %s was not kept within %u ms; closed\n", "IPCServiceServer",
             __LINE__, path.c_str(), ms);
    Close(connection, ETIMEDOUT, true);
  });
}

void IPCServiceServer::ClosePipe(ConnectionId connection) {
  read_service().RunOnIoThread([this, connection] { Close(connection, 0, false); });
}

void IPCServiceServer::DisconnectPipe(ConnectionId connection) {
  read_service().RunOnIoThread(
      [this, connection] { Close(connection, kErrorConnectionAborted, true); });
}

void IPCServiceServer::CloseAllPipes() {
  read_service().RunOnIoThread([this] { CloseAllNow(); });
}

void IPCServiceServer::CloseAllNow() {
  std::map<ConnectionId, std::unique_ptr<PipeConnection>> pipes;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    pipes.swap(pipes_);
  }
  for (auto& [id, pipe] : pipes) {
    read_service().Remove(pipe.get());
    if (pipe->socket) shutdown(pipe->socket->get(), SHUT_RDWR);
    pipe->CloseListener();
  }
  socket_writer().DetachAll();
  cache_.Clear();
}

ReassemblyBuffer* IPCServiceServer::GetReassemblyBuffer(ConnectionId connection) {
  return cache_.Get(connection);
}

}  // namespace brx::io::ipc
