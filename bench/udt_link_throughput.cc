// UDT link throughput against raw TCP, both over loopback in the same run.
//
// The UDT side is the real link: a UDTServiceClient sends framed messages
// to a UDTServiceServer, whose receive thread reassembles them and whose
// owner drains the queue. The TCP side is the bare kernel path: one thread
// writes the same bytes to a loopback TCP socket, another reads them. The
// ratio says how much of the machine's loopback bandwidth the UDT link
// gets.
//
//   udt_link_throughput [megabytes] [message KiB]

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "runtime/net/udt/udt_service_client.h"
#include "runtime/net/udt/udt_service_server.h"

namespace {

using Clock = std::chrono::steady_clock;
using brx::io::ConnectionId;
using brx::io::QueuedMessage;

class Sink : public brx::net::udt::UDTServiceServer {
 public:
  ~Sink() override { Stop(); }
  std::atomic<uint64_t> bytes{0};
  std::atomic<int> accepted{0};
  std::atomic<int> batches{0};

 protected:
  void NotifyBatch() override { batches++; }
  void OnMessage(const QueuedMessage& m) override { bytes += m.length; }
  void OnStop(int) override {}
  void OnAccept(ConnectionId, const sockaddr*, int) override { accepted++; }
  void OnClose(ConnectionId, int) override {}
};

class Source : public brx::net::udt::UDTServiceClient {
 public:
  Source() { SetConnectDelayForTesting(0); }
  ~Source() override { Stop(); }
  std::atomic<int> connected{-1};

 protected:
  void NotifyBatch() override {}
  void OnMessage(const QueuedMessage&) override {}
  void OnStop(int) override {}
  void OnConnect(int error) override { connected = error; }
  void OnClose(int) override {}
};

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

bool WaitFor(const std::function<bool()>& done, int seconds) {
  auto deadline = Clock::now() + std::chrono::seconds(seconds);
  while (!done()) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}

// MB/s of the UDT link, or a negative value on failure.
double MeasureUdt(uint64_t total, uint32_t message_size) {
  Sink sink;
  if (!sink.Initial(0)) return -1;
  Source source;
  if (!source.Initial(0)) return -1;
  source.Connect("127.0.0.1", sink.local_port());
  if (!WaitFor([&] { return source.connected.load() != -1; }, 10) || source.connected.load() != 0) return -1;
  std::vector<uint8_t> body(message_size, 0x5a);
  uint64_t messages = total / message_size;
  auto start = Clock::now();
  // The send thread queues without bound; keep a few MiB in flight so the
  // measurement is of the link, not of the allocator.
  const uint64_t window = 16ull << 20;
  uint64_t sent = 0;
  for (uint64_t i = 0; i < messages; ++i) {
    while (sent - sink.bytes.load() > window) {
      sink.DispatchMessages();
      std::this_thread::yield();
    }
    source.SendMessage(source.connection(), body.data(), message_size);
    sent += message_size;
  }
  bool done = WaitFor(
      [&] {
        sink.DispatchMessages();
        return sink.bytes.load() >= sent;
      },
      120);
  auto elapsed = Clock::now() - start;
  if (!done) return -1;
  return static_cast<double>(sent) / (1 << 20) / Seconds(elapsed);
}

// MB/s of a plain loopback TCP stream, or a negative value on failure.
double MeasureTcp(uint64_t total, uint32_t message_size) {
  int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(a);
  if (bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0 || listen(listener, 1) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&a), &length) != 0) {
    return -1;
  }
  int writer = socket(AF_INET, SOCK_STREAM, 0);
  if (connect(writer, reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0) return -1;
  int reader = accept(listener, nullptr, nullptr);
  close(listener);
  std::vector<char> body(message_size + 4, 0x5a);
  uint64_t messages = total / message_size;
  uint64_t expected = messages * (message_size + 4);
  auto start = Clock::now();
  std::thread write_thread([&] {
    for (uint64_t i = 0; i < messages; ++i) {
      size_t done = 0;
      while (done < body.size()) {
        ssize_t n = send(writer, body.data() + done, body.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return;
        done += static_cast<size_t>(n);
      }
    }
  });
  std::vector<char> buffer(1 << 20);
  uint64_t received = 0;
  while (received < expected) {
    ssize_t n = recv(reader, buffer.data(), buffer.size(), 0);
    if (n <= 0) break;
    received += static_cast<uint64_t>(n);
  }
  auto elapsed = Clock::now() - start;
  write_thread.join();
  close(writer);
  close(reader);
  if (received < expected) return -1;
  return static_cast<double>(messages * message_size) / (1 << 20) / Seconds(elapsed);
}

}  // namespace

int main(int argc, char** argv) {
  uint64_t megabytes = argc > 1 ? strtoull(argv[1], nullptr, 10) : 256;
  uint32_t message_kib = argc > 2 ? static_cast<uint32_t>(strtoul(argv[2], nullptr, 10)) : 64;
  uint64_t total = megabytes << 20;
  uint32_t message_size = message_kib << 10;
  printf("loopback, %llu MiB in %u KiB messages\n", static_cast<unsigned long long>(megabytes), message_kib);
  double udt = MeasureUdt(total, message_size);
  double tcp = MeasureTcp(total, message_size);
  if (udt < 0 || tcp < 0) {
    fprintf(stderr, "measurement failed (udt %.1f, tcp %.1f)\n", udt, tcp);
    return 1;
  }
  printf("udt link: %.1f MiB/s\n", udt);
  printf("raw tcp:  %.1f MiB/s\n", tcp);
  printf("udt/tcp:  %.3f\n", udt / tcp);
  return 0;
}
