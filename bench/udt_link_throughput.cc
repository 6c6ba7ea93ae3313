// UDT link throughput over loopback, side by side in the same run with a
// minimal program driving libudt directly with the same socket settings
// (the link's own limit: libudt itself) and with raw TCP (the machine's
// loopback bandwidth). libudt is driven two ways: one blocking send per
// frame, as a minimal program does, and with the frames sent back to back
// in the link writer's pieces, which libudt takes faster. The link joins
// queued messages and reads through epoll, so the fair baseline is libudt
// at its best: in each round the faster of the two ways.
//
// The link is the real one: a UDTServiceClient sends framed messages to a
// UDTServiceServer, whose receive thread reassembles them and whose owner
// drains the queue. The raw libudt program has one thread send the same
// framed bytes with UDT::send and another receive them with UDT::recv.
//
// Targets: link >= 0.9 x libudt at its best for 64 KiB messages, >= 0.85 x
// for 4 KiB messages.
//
//   udt_link_throughput [megabytes] [message KiB ...]   (default 256 MiB, 64 and 4 KiB)

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_stats.h"
#include "runtime/net/udt/udt_service_client.h"
#include "runtime/net/udt/udt_service_server.h"

namespace {

using bench::Median;
using Clock = std::chrono::steady_clock;
using brx::io::ConnectionId;
using brx::io::QueuedMessage;

// The owner drains the queue when the receive thread tells it a batch
// came, as a GUI thread does on its posted message: it waits for the
// notice rather than spinning, so the harness takes no core from libudt's
// own threads.
class Sink : public brx::net::udt::UDTServiceServer {
 public:
  ~Sink() override { Stop(); }
  std::atomic<uint64_t> bytes{0};
  std::atomic<int> accepted{0};
  std::atomic<int> batches{0};

  // Waits up to `timeout` for a batch notice, then dispatches what came.
  void WaitAndDispatch(std::chrono::milliseconds timeout) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      notified_.wait_for(lock, timeout, [this] { return pending_; });
      pending_ = false;
    }
    DispatchMessages();
  }

 protected:
  void NotifyBatch() override {
    batches++;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      pending_ = true;
    }
    notified_.notify_one();
  }
  void OnMessage(const QueuedMessage& m) override { bytes += m.length; }
  void OnStop(int) override {}
  void OnAccept(ConnectionId, const sockaddr*, int) override { accepted++; }
  void OnClose(ConnectionId, int) override {}

 private:
  std::mutex mutex_;
  std::condition_variable notified_;
  bool pending_ = false;
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
  if (!WaitFor([&] { return source.connected.load() != -1; }, 10) || source.connected.load() != 0)
    return -1;
  std::vector<uint8_t> body(message_size, 0x5a);
  uint64_t messages = total / message_size;
  auto start = Clock::now();
  // The send thread queues without bound; keep a few MiB in flight so the
  // measurement is of the link, not of the allocator. No more messages are
  // in flight than the receiving queue may hold undispatched (a connection
  // past that bound is closed as flooding), with room to spare for an
  // owner that is slow to be scheduled.
  const uint64_t window = std::min<uint64_t>(
      16ull << 20,
      uint64_t{message_size} * (brx::io::IOStreamMessageQueue::kDefaultMaxQueuedMessages / 2));
  const auto deadline = Clock::now() + std::chrono::seconds(120);
  uint64_t sent = 0;
  for (uint64_t i = 0; i < messages; ++i) {
    while (sent - sink.bytes.load() > window) {
      if (Clock::now() > deadline) return -1;
      sink.WaitAndDispatch(std::chrono::milliseconds(10));
    }
    source.SendMessage(source.connection(), body.data(), message_size);
    sent += message_size;
  }
  while (sink.bytes.load() < sent && Clock::now() < deadline)
    sink.WaitAndDispatch(std::chrono::milliseconds(10));
  bool done = sink.bytes.load() >= sent;
  auto elapsed = Clock::now() - start;
  if (!done) return -1;
  return static_cast<double>(sent) / (1 << 20) / Seconds(elapsed);
}

// Milliseconds Stop takes on a client with 16 MiB queued and in flight,
// and on the server it sends to; negative on failure. (The tests assert
// that a stop ends everything; how long it takes is measured here.)
std::pair<double, double> StopLatency() {
  Sink sink;
  if (!sink.Initial(0)) return {-1, -1};
  Source source;
  if (!source.Initial(0)) return {-1, -1};
  source.Connect("127.0.0.1", sink.local_port());
  if (!WaitFor([&] { return source.connected.load() != -1; }, 10) || source.connected.load() != 0)
    return {-1, -1};
  std::vector<uint8_t> body(64 << 10, 0x5a);
  for (int i = 0; i < 256; ++i)
    source.SendMessage(source.connection(), body.data(), static_cast<uint32_t>(body.size()));
  auto start = Clock::now();
  source.Stop();
  double client_ms = Seconds(Clock::now() - start) * 1000;
  start = Clock::now();
  sink.Stop();
  return {client_ms, Seconds(Clock::now() - start) * 1000};
}

// MB/s of libudt driven directly, or a negative value on failure. The
// sockets get what the link's sockets get: no shared UDP port, no linger.
// With `piece` 0 each frame is one send; otherwise the frames are sent
// back to back in sends of at most `piece` bytes, as the link's writer
// hands libudt its joined messages (libudt is faster so).
double MeasureRawUdt(uint64_t total, uint32_t message_size, size_t piece = 0) {
  auto prepare = [](UDTSOCKET s) {
    bool reuse = false;
    UDT::setsockopt(s, 0, UDT_REUSEADDR, &reuse, sizeof(reuse));
    linger no_linger{0, 0};
    UDT::setsockopt(s, 0, UDT_LINGER, &no_linger, sizeof(no_linger));
  };
  UDTSOCKET listener = UDT::socket(AF_INET, SOCK_STREAM, 0);
  prepare(listener);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof(a);
  if (UDT::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof(a)) == UDT::ERROR ||
      UDT::listen(listener, 1) == UDT::ERROR ||
      UDT::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &length) == UDT::ERROR)
    return -1;
  UDTSOCKET writer = UDT::socket(AF_INET, SOCK_STREAM, 0);
  prepare(writer);
  sockaddr_in any{};
  any.sin_family = AF_INET;
  any.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  UDT::bind(writer, reinterpret_cast<sockaddr*>(&any), sizeof(any));
  if (UDT::connect(writer, reinterpret_cast<sockaddr*>(&a), sizeof(a)) == UDT::ERROR) return -1;
  sockaddr_in peer{};
  int peer_length = sizeof(peer);
  UDTSOCKET reader = UDT::accept(listener, reinterpret_cast<sockaddr*>(&peer), &peer_length);
  if (reader == UDT::INVALID_SOCK) return -1;
  std::vector<char> frame(message_size + 4, 0x5a);
  uint64_t messages = total / message_size;
  uint64_t expected = messages * (message_size + 4);
  auto start = Clock::now();
  std::thread write_thread([&] {
    auto send_all = [&](const char* data, size_t length) {
      size_t done = 0;
      while (done < length) {
        size_t size = length - done;
        if (piece) size = std::min(size, piece);
        int n = UDT::send(writer, data + done, static_cast<int>(size), 0);
        if (n == UDT::ERROR) return false;
        done += static_cast<size_t>(n);
      }
      return true;
    };
    if (!piece) {
      for (uint64_t i = 0; i < messages; ++i)
        if (!send_all(frame.data(), frame.size())) return;
      return;
    }
    // As many whole frames as fit in a piece (one at least), back to back.
    uint64_t per_block = std::max<uint64_t>(1, piece / frame.size());
    std::vector<char> block(per_block * frame.size(), 0x5a);
    for (uint64_t i = 0; i < messages; i += per_block) {
      uint64_t n = std::min(per_block, messages - i);
      if (!send_all(block.data(), n * frame.size())) return;
    }
  });
  std::vector<char> buffer(1 << 20);
  uint64_t received = 0;
  while (received < expected) {
    int n = UDT::recv(reader, buffer.data(), static_cast<int>(buffer.size()), 0);
    if (n == UDT::ERROR || n == 0) break;
    received += static_cast<uint64_t>(n);
  }
  auto elapsed = Clock::now() - start;
  write_thread.join();
  UDT::close(writer);
  UDT::close(reader);
  UDT::close(listener);
  if (received < expected) return -1;
  return static_cast<double>(messages * message_size) / (1 << 20) / Seconds(elapsed);
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

constexpr int kRounds = 3;

int main(int argc, char** argv) {
  uint64_t megabytes = argc > 1 ? strtoull(argv[1], nullptr, 10) : 256;
  std::vector<uint32_t> sizes_kib;
  for (int i = 2; i < argc; ++i)
    sizes_kib.push_back(static_cast<uint32_t>(strtoul(argv[i], nullptr, 10)));
  if (sizes_kib.empty()) sizes_kib = {64, 4};
  UDT::startup();
  // libudt's blocking calls in the baseline have no time-out (giving them
  // one slows libudt down); a transfer that is stuck ends the run here.
  std::atomic<bool> finished{false};
  std::mutex watch_mutex;
  std::condition_variable watch_done;
  std::thread watchdog([&] {
    std::unique_lock<std::mutex> lock(watch_mutex);
    if (!watch_done.wait_for(lock, std::chrono::minutes(15), [&] { return finished.load(); })) {
      fprintf(stderr, "a measurement is stuck: giving up\n");
      _exit(2);
    }
  });
  uint64_t total = megabytes << 20;
  const std::string load_before = bench::LoadAverage();
  int failures = 0;
  printf(
      "loopback, %llu MiB per figure, medians of %d rounds "
      "(MiB/s; libudt per frame, in pieces, at its best)\n",
      static_cast<unsigned long long>(megabytes), kRounds);
  printf("%-9s %10s %10s %10s %10s %10s %10s %10s\n", "message", "link", "per frame", "in pieces",
         "best", "tcp", "link/best", "link/tcp");
  for (uint32_t kib : sizes_kib) {
    uint32_t message_size = kib << 10;
    // Medians of alternating rounds, after one round that warms up: a
    // busy machine's hiccups stay out of the ratios.
    MeasureUdt(total / 4, message_size);
    MeasureRawUdt(total / 4, message_size);
    std::vector<double> link_runs, raw_runs, pieces_runs, best_runs, tcp_runs;
    for (int round = 0; round < kRounds; ++round) {
      link_runs.push_back(MeasureUdt(total, message_size));
      raw_runs.push_back(MeasureRawUdt(total, message_size));
      pieces_runs.push_back(MeasureRawUdt(total, message_size,
                                          brx::net::udt::UDTIOWriteServiceImpl::kSendPieceBytes));
      best_runs.push_back(std::max(raw_runs.back(), pieces_runs.back()));
      tcp_runs.push_back(MeasureTcp(total, message_size));
    }
    double udt = Median(link_runs), raw = Median(raw_runs), pieces = Median(pieces_runs),
           best = Median(best_runs), tcp = Median(tcp_runs);
    if (udt < 0 || raw < 0 || pieces < 0 || tcp < 0) {
      fprintf(stderr,
              "%u KiB: measurement failed (link %.1f, libudt %.1f, in pieces %.1f, tcp %.1f)\n",
              kib, udt, raw, pieces, tcp);
      ++failures;
      continue;
    }
    printf("%5u KiB %10.1f %10.1f %10.1f %10.1f %10.1f %10.3f %10.3f  (target link/best >= %.2f)\n",
           kib, udt, raw, pieces, best, tcp, udt / best, udt / tcp, kib >= 64 ? 0.9 : 0.85);
  }
  auto [client_stop, server_stop] = StopLatency();
  printf("stop with 16 MiB queued: client %.1f ms, server %.1f ms\n", client_stop, server_stop);
  printf("load average: %s before, %s after\n", load_before.c_str(), bench::LoadAverage().c_str());
  UDT::cleanup();
  {
    std::lock_guard<std::mutex> lock(watch_mutex);
    finished = true;
  }
  watch_done.notify_all();
  watchdog.join();
  return failures ? 1 : 0;
}
