#pragma once

#include <sys/socket.h>
#include <sys/un.h>

#include <mutex>
#include <string>
#include <vector>

#include "runtime/io/ipc/ipc_service_client.h"
#include "runtime/io/ipc/ipc_service_server.h"
#include "runtime/io/ipc/pipe_address.h"
#include "tests/support/test_support.h"

namespace brx::io::ipc::testing {

// What a peer saw, in the order its threads saw it.
struct Journal {
  std::mutex mutex;
  std::vector<std::string> events;
  void Add(std::string event) {
    std::lock_guard<std::mutex> lock(mutex);
    events.push_back(std::move(event));
  }
  std::vector<std::string> Snapshot() {
    std::lock_guard<std::mutex> lock(mutex);
    return events;
  }
  size_t Count(const std::string& prefix) {
    std::lock_guard<std::mutex> lock(mutex);
    size_t n = 0;
    for (auto& e : events) n += e.rfind(prefix, 0) == 0;
    return n;
  }
};

class TestServer : public IPCServiceServer {
 public:
  ~TestServer() override { Stop(); }
  // Starts the service and creates one instance of `name`.
  bool Serve(const std::wstring& name, bool relisten = true) {
    return Start() && Listen(name, relisten);
  }
  Journal journal;
  std::mutex mutex;
  std::vector<ConnectionId> connected;
  std::vector<std::pair<ConnectionId, int>> disconnected;

  std::vector<ConnectionId> Connected() {
    std::lock_guard<std::mutex> lock(mutex);
    return connected;
  }
  std::vector<std::pair<ConnectionId, int>> Disconnected() {
    std::lock_guard<std::mutex> lock(mutex);
    return disconnected;
  }

 protected:
  // The journal entry comes first: a test that waits on the lists then
  // finds the event journalled too.
  void OnConnect(ConnectionId c, const std::wstring& name) override {
    journal.Add("connect:" + std::to_string(c) + ":" + std::string(name.begin(), name.end()));
    std::lock_guard<std::mutex> lock(mutex);
    connected.push_back(c);
  }
  void OnDisconnect(ConnectionId c, int error) override {
    journal.Add("disconnect:" + std::to_string(c) + ":" + std::to_string(error));
    std::lock_guard<std::mutex> lock(mutex);
    disconnected.emplace_back(c, error);
  }
  void NotifyBatch() override { journal.Add("batch"); }
  void OnMessage(const QueuedMessage& m) override {
    std::string body(reinterpret_cast<const char*>(m.body.get()), m.length);
    journal.Add("message:" + std::to_string(m.connection) + ":" + body);
    if (body.rfind("echo ", 0) == 0) SendMessage(m.connection, m.body.get(), m.length);
  }
};

class TestClient : public IPCServiceClient {
 public:
  ~TestClient() override { Stop(); }
  // Starts the service and connects to `name`.
  bool Connect(const std::wstring& name) { return StartService() && BlockConnect(name); }
  Journal journal;
  std::vector<std::string> Drain() {
    received.clear();
    DispatchMessages();
    return received;
  }
  std::vector<std::string> received;
  bool Send(const std::string& body) {
    return SendToServer(reinterpret_cast<const uint8_t*>(body.data()),
                        static_cast<uint32_t>(body.size()));
  }

 protected:
  void OnConnect(int error) override { journal.Add("connect:" + std::to_string(error)); }
  void OnDisconnect(int error) override { journal.Add("disconnect:" + std::to_string(error)); }
  void NotifyBatch() override { journal.Add("batch"); }
  void OnMessage(const QueuedMessage& m) override {
    received.emplace_back(reinterpret_cast<const char*>(m.body.get()), m.length);
  }
};

// A raw socket connected to the pipe `name`, or -1.
inline int RawConnect(const std::wstring& name) {
  sockaddr_un address;
  socklen_t length;
  if (!MakePipeAddress(PipePath(name), &address, &length)) return -1;
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), length) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

}  // namespace brx::io::ipc::testing
