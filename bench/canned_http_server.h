#pragma once

// A loopback HTTP server that answers every request with one reply made in
// advance, so that a benchmark of an HTTP client measures the client and
// not the server. One request per connection, closed after the reply, as
// the web stand-in does; the reply is gzip-coded when the request asks for
// it ("zip=gzip" in the URL and gzip accepted), as the web service does.
//
// The server runs one thread of its own, started by the constructor and
// stopped (woken and joined) by Stop or the destructor. It counts the time
// each connection takes it, from accepted to closed after the reply: an
// upper bound of what it adds to a round trip, since that time includes
// the client sending its request.
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>

#include "runtime/util/gzip.h"

namespace bench {

class CannedHttpServer {
 public:
  explicit CannedHttpServer(const std::string& body) {
    std::string gzipped;
    if (!brx::util::GzipCompress(body, &gzipped)) return;
    plain_ = Reply(body, "");
    gzip_ = Reply(gzipped, "Content-Encoding: gzip\r\n");
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(a);
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0 ||
        listen(listener_, 16) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &length) != 0 ||
        pipe2(wake_, O_CLOEXEC) != 0)
      return;
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~CannedHttpServer() {
    Stop();
    if (listener_ >= 0) close(listener_);
    for (int fd : wake_)
      if (fd >= 0) close(fd);
  }
  CannedHttpServer(const CannedHttpServer&) = delete;
  CannedHttpServer& operator=(const CannedHttpServer&) = delete;

  // The listening port; 0 when the server could not start.
  int port() const { return port_; }

  void Stop() {
    if (!thread_.joinable()) return;
    char c = 0;
    if (write(wake_[1], &c, 1) != 1) std::abort();  // nothing else could wake the thread
    thread_.join();
  }

  // Requests answered, and the seconds from accept to close over all
  // connections.
  uint64_t answered() const { return answered_.load(); }
  double busy_seconds() const { return static_cast<double>(busy_ns_.load()) / 1e9; }
  // Connections dropped without an answer (cut short, too long, too slow).
  uint64_t dropped() const { return dropped_.load(); }

 private:
  using Clock = std::chrono::steady_clock;
  // A request taking longer than this to arrive is given up.
  static constexpr int kRequestMs = 5000;
  static constexpr size_t kMaxRequestBytes = 1 << 16;

  static std::string Reply(const std::string& body, const char* extra_header) {
    return "HTTP/1.1 200 OK\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n" + extra_header + "Connection: close\r\n\r\n" + body;
  }

  void Serve() {
    for (;;) {
      pollfd fds[2] = {{listener_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
      if (poll(fds, 2, -1) < 0) continue;
      if (fds[1].revents) return;
      int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      auto start = Clock::now();
      std::string request;
      bool sent = ReadRequest(fd, &request) && WriteAll(fd, WantsGzip(request) ? gzip_ : plain_);
      close(fd);
      busy_ns_ += static_cast<uint64_t>(
          std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count());
      ++(sent ? answered_ : dropped_);
    }
  }

  // The head and, by its Content-Length, the body of one request.
  static bool ReadRequest(int fd, std::string* request) {
    auto deadline = Clock::now() + std::chrono::milliseconds(kRequestMs);
    size_t head_end = std::string::npos, wanted = 0;
    char buffer[8192];
    for (;;) {
      if (head_end != std::string::npos && request->size() >= wanted) return true;
      auto left_ms = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      int left = static_cast<int>(left_ms.count());
      pollfd p{fd, POLLIN, 0};
      if (left <= 0 || poll(&p, 1, left) <= 0) return false;
      ssize_t n = read(fd, buffer, sizeof(buffer));
      if (n <= 0) return false;
      request->append(buffer, static_cast<size_t>(n));
      if (request->size() > kMaxRequestBytes) return false;
      if (head_end == std::string::npos &&
          (head_end = request->find("\r\n\r\n")) != std::string::npos)
        wanted = head_end + 4 + ContentLength(Lower(request->substr(0, head_end)));
    }
  }

  static std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
  }

  static size_t ContentLength(const std::string& head) {
    size_t at = head.find("\r\ncontent-length:");
    return at == std::string::npos ? 0 : std::strtoul(head.c_str() + at + 17, nullptr, 10);
  }

  static bool WantsGzip(const std::string& request) {
    std::string head = Lower(request.substr(0, request.find("\r\n\r\n")));
    size_t accept = head.find("\r\naccept-encoding:");
    return head.find("zip=gzip") != std::string::npos && accept != std::string::npos &&
           head.find("gzip", accept) < head.find("\r\n", accept + 2);
  }

  static bool WriteAll(int fd, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
      ssize_t n = send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
      if (n <= 0) return false;
      done += static_cast<size_t>(n);
    }
    return true;
  }

  std::string plain_, gzip_;
  int listener_ = -1;
  int wake_[2] = {-1, -1};
  int port_ = 0;
  std::atomic<uint64_t> answered_{0}, dropped_{0}, busy_ns_{0};
  std::thread thread_;
};

}  // namespace bench
