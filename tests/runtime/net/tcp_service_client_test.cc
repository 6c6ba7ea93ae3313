#include "runtime/net/tcp_service_client.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "runtime/io/stream_framing.h"
#include "tests/support/loopback_socket.h"
#include "tests/support/test_support.h"

namespace brx::net {
namespace {

using ombrix::test::WaitUntil;

std::string Frame(const std::string& body) {
  std::string out(4, '\0');
  io::WriteFrameLength(reinterpret_cast<uint8_t*>(out.data()),
                       static_cast<uint32_t>(body.size() + 4));
  return out + body;
}

// The sockets open in this process (a log file opened meanwhile does not
// count).
int CountOpenSockets() {
  int count = 0;
  DIR* dir = opendir("/proc/self/fd");
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    char target[64] = {};
    std::string path = std::string("/proc/self/fd/") + entry->d_name;
    if (readlink(path.c_str(), target, sizeof(target) - 1) > 0 &&
        strncmp(target, "socket:", 7) == 0)
      ++count;
  }
  closedir(dir);
  return count;
}

// A listening TCP socket on 127.0.0.1 and the one peer it accepts.
class Peer {
 public:
  Peer() { listener_ = ombrix::test::ListenLoopbackTcp(&port_); }
  ~Peer() {
    if (conn_ >= 0) close(conn_);
    close(listener_);
  }
  uint16_t port() const { return port_; }
  bool Accept() {
    pollfd p{listener_, POLLIN, 0};
    if (poll(&p, 1, 10000) != 1) return false;
    conn_ = accept(listener_, nullptr, nullptr);
    return conn_ >= 0;
  }
  void Send(const std::string& bytes) {
    ASSERT_EQ(send(conn_, bytes.data(), bytes.size(), 0), (ssize_t)bytes.size());
  }
  // Reads exactly n bytes (10 s at most); fewer when the stream ended.
  std::string Read(size_t n) {
    std::string out;
    while (out.size() < n) {
      pollfd p{conn_, POLLIN, 0};
      if (poll(&p, 1, 10000) != 1) break;
      char buf[65536];
      ssize_t got = recv(conn_, buf, std::min(sizeof(buf), n - out.size()), 0);
      if (got <= 0) break;
      out.append(buf, got);
    }
    return out;
  }
  bool SeesEnd() {
    pollfd p{conn_, POLLIN, 0};
    if (poll(&p, 1, 10000) != 1) return false;
    char c;
    return recv(conn_, &c, 1, 0) == 0;
  }
  void Close() {
    close(conn_);
    conn_ = -1;
  }

 private:
  int listener_ = -1;
  int conn_ = -1;
  uint16_t port_ = 0;
};

// A loopback listener that never accepts, its accept queue full: the
// kernel drops further SYNs, so a connect to it stays in progress.
class FullListener {
 public:
  FullListener() {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    address_.sin_family = AF_INET;
    address_.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener_, reinterpret_cast<sockaddr*>(&address_), sizeof(address_));
    listen(listener_, 0);
    socklen_t length = sizeof(address_);
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address_), &length);
    while (!Full() && fillers_.size() < 8) {
      int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
      timeval limit{1, 0};  // a filler that would itself wait gives up
      setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof(limit));
      connect(fd, reinterpret_cast<sockaddr*>(&address_), sizeof(address_));
      fillers_.push_back(fd);
    }
  }
  ~FullListener() {
    for (int fd : fillers_) close(fd);
    close(listener_);
  }
  uint16_t port() const { return ntohs(address_.sin_port); }
  // More connections wait than the backlog allows.
  bool Full() const {
    tcp_info info{};
    socklen_t length = sizeof(info);
    return getsockopt(listener_, IPPROTO_TCP, TCP_INFO, &info, &length) == 0 &&
           info.tcpi_unacked > info.tcpi_sacked;
  }

 private:
  int listener_ = -1;
  sockaddr_in address_{};
  std::vector<int> fillers_;
};

// The epoll descriptors open in this process.
std::set<int> EpollFds() {
  std::set<int> fds;
  DIR* dir = opendir("/proc/self/fd");
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    char target[64] = {};
    std::string path = std::string("/proc/self/fd/") + entry->d_name;
    if (readlink(path.c_str(), target, sizeof(target) - 1) > 0 &&
        std::string(target) == "anon_inode:[eventpoll]") {
      fds.insert(atoi(entry->d_name));
    }
  }
  closedir(dir);
  return fds;
}

// The epoll descriptors open before a client is made (a base listed
// first, so it is built before the client's receive thread).
struct EpollFdsBefore {
  std::set<int> epoll_fds_before = EpollFds();
};

class Client : private EpollFdsBefore, public TCPServiceClient {
 public:
  ~Client() override { Stop(); }
  std::atomic<int> connects{0}, closes{0}, batches{0};
  std::atomic<int> connect_error{-999}, close_error{-999};
  std::mutex mutex;
  std::vector<std::string> messages;

  // Returns once every task posted to the receive thread before it has run.
  void Sync() {
    std::atomic<bool> done{false};
    recv_service().PostTask([&] { done = true; });
    ASSERT_TRUE(WaitUntil([&] { return done.load(); }));
  }
  std::vector<std::string> Taken() {
    DispatchMessages();
    std::lock_guard<std::mutex> lock(mutex);
    return messages;
  }
  // Makes the receive thread's next wait fail with EINVAL, as a broken
  // epoll descriptor would, which ends the thread by itself.
  void BreakReactor() {
    ASSERT_GE(epoll_fd_, 0);
    int null_fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(dup2(null_fd, epoll_fd_), epoll_fd_);
    close(null_fd);
    recv_service().Wake();  // the wait in progress still holds the old epoll
  }

 protected:
  void NotifyBatch() override { batches++; }
  void OnMessage(const io::QueuedMessage& m) override {
    std::lock_guard<std::mutex> lock(mutex);
    messages.emplace_back(reinterpret_cast<const char*>(m.body.get()), m.length);
  }
  void OnConnect(int error) override {
    connect_error = error;
    connects++;
  }
  void OnClose(int error) override {
    close_error = error;
    closes++;
  }

 private:
  // The receive thread's epoll descriptor: the one the client added.
  int NewEpollFd() const {
    std::set<int> now = EpollFds();
    for (int fd : now) {
      if (!epoll_fds_before.count(fd)) return fd;
    }
    return -1;
  }

  const int epoll_fd_ = NewEpollFd();
};

void ConnectTo(Client& client, Peer& peer) {
  ASSERT_TRUE(client.Initial());
  client.Connect("127.0.0.1", peer.port());
  ASSERT_TRUE(peer.Accept());
  ASSERT_TRUE(WaitUntil([&] { return client.connects.load() == 1; }));
  ASSERT_EQ(client.connect_error.load(), 0);
  ASSERT_TRUE(client.IsConnected());
}

TEST(TCPServiceClientTest, TwoFramesInOneSegmentAreOneBatchOfTwoMessages) {
  Peer peer;
  Client client;
  ConnectTo(client, peer);
  peer.Send(Frame("first") + Frame(""));
  ASSERT_TRUE(WaitUntil([&] { return client.batches.load() >= 1; }));
  EXPECT_EQ(client.Taken(), (std::vector<std::string>{"first", ""}));
  EXPECT_EQ(client.batches.load(), 1);

  // A large frame split by the network arrives whole, once.
  std::string big(3 << 20, 'b');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
  peer.Send(Frame(big));
  ASSERT_TRUE(WaitUntil([&] { return client.Taken().size() == 3; }));
  EXPECT_EQ(client.Taken()[2], big);
}

TEST(TCPServiceClientTest, SentMessagesReachThePeerFramedAndInOrder) {
  Peer peer;
  Client client;
  ConnectTo(client, peer);
  std::string big(1 << 20, 'x');
  ASSERT_TRUE(client.SendMessage(client.connection(), reinterpret_cast<const uint8_t*>("hi"), 2));
  ASSERT_TRUE(client.SendMessage(client.connection(), reinterpret_cast<const uint8_t*>(big.data()),
                                 big.size()));
  EXPECT_EQ(peer.Read(6), Frame("hi"));
  EXPECT_EQ(peer.Read(big.size() + 4), Frame(big));
}

TEST(TCPServiceClientTest, PeerCloseGivesExactlyOneOnCloseAndKeepsWhatCameBefore) {
  Peer peer;
  Client client;
  ConnectTo(client, peer);
  peer.Send(Frame("last words"));
  peer.Close();
  ASSERT_TRUE(WaitUntil([&] { return client.closes.load() == 1; }));
  EXPECT_EQ(client.close_error.load(), 0);
  EXPECT_FALSE(client.IsConnected());
  EXPECT_EQ(client.Taken(), (std::vector<std::string>{"last words"}));
  client.Close();  // already closed: nothing more to report
  client.Sync();
  EXPECT_EQ(client.closes.load(), 1);
}

TEST(TCPServiceClientTest, OwnerCloseIsReportedOnceAndReleasesTheSocket) {
  Peer peer;
  Client client;
  ConnectTo(client, peer);
  int sockets_connected = CountOpenSockets();
  peer.Send(Frame("unread"));
  ASSERT_TRUE(WaitUntil([&] { return client.batches.load() == 1; }));
  client.Close();
  ASSERT_TRUE(WaitUntil([&] { return client.closes.load() == 1; }));
  EXPECT_EQ(client.close_error.load(), 0);
  EXPECT_TRUE(peer.SeesEnd());
  // The socket is closed, not just shut down; what was not taken is dropped.
  EXPECT_EQ(CountOpenSockets(), sockets_connected - 1);
  EXPECT_TRUE(client.Taken().empty());
  client.Close();
  client.Connect("127.0.0.1", peer.port());  // a closed client is not reconnected
  client.Sync();
  EXPECT_EQ(client.closes.load(), 1);
  EXPECT_EQ(client.connects.load(), 1);
}

TEST(TCPServiceClientTest, CorruptFrameClosesWithMinusOneAfterEarlierFrames) {
  Peer peer;
  Client client;
  ConnectTo(client, peer);
  peer.Send(Frame("ok") + std::string("\x02\x00\x00\x00", 4));
  ASSERT_TRUE(WaitUntil([&] { return client.closes.load() == 1; }));
  EXPECT_EQ(client.close_error.load(), io::kErrorBadFrame);
  EXPECT_EQ(client.Taken(), (std::vector<std::string>{"ok"}));
  EXPECT_TRUE(peer.SeesEnd());
}

TEST(TCPServiceClientTest, RefusedConnectIsReportedAndNeverClosed) {
  uint16_t dead_port;
  {
    Peer gone;
    dead_port = gone.port();
  }
  Client client;
  ASSERT_TRUE(client.Initial());
  client.Connect("127.0.0.1", dead_port);
  ASSERT_TRUE(WaitUntil([&] { return client.connects.load() == 1; }));
  EXPECT_EQ(client.connect_error.load(), ECONNREFUSED);
  client.Close();
  client.Sync();
  EXPECT_EQ(client.closes.load(), 0);
  EXPECT_FALSE(client.IsConnected());
}

TEST(TCPServiceClientTest, BindsAnyAddressOrTheConfiguredOneOnTheFirstFreePort) {
  // A port taken right now, and the search starting there.
  Peer taken;
  Client any;
  any.SetFirstPortForTesting(taken.port());
  ASSERT_TRUE(any.Initial());
  EXPECT_GT(any.local_port(), taken.port());
  EXPECT_EQ(any.local_address().sin_addr.s_addr, htonl(INADDR_ANY));

  Client loopback;
  loopback.SetBindAddress("127.0.0.1");
  ASSERT_TRUE(loopback.Initial());
  EXPECT_GE(loopback.local_port(), TCPServiceClient::kFirstPort);
  EXPECT_EQ(loopback.local_address().sin_addr.s_addr, htonl(INADDR_LOOPBACK));

  Client bad;
  bad.SetBindAddress("localhost");  // names are not resolved
  EXPECT_FALSE(bad.Initial());
}

TEST(TCPServiceClientTest, StopWhileConnectingOrConnectedEndsEverythingWithoutReports) {
  Peer peer;
  Client connected;
  ConnectTo(connected, peer);
  FullListener full;
  ASSERT_TRUE(full.Full());
  Client connecting;
  ASSERT_TRUE(connecting.Initial());
  connecting.Connect("127.0.0.1", full.port());
  connecting.Sync();
  ASSERT_EQ(connecting.connects.load(), 0);  // still in progress
  connecting.Stop();
  connected.Stop();
  EXPECT_FALSE(connecting.IsRunning());
  EXPECT_FALSE(connected.IsRunning());
  // Stop ends the reports.
  EXPECT_EQ(connecting.connects.load(), 0);
  EXPECT_EQ(connected.closes.load(), 0);
  EXPECT_FALSE(
      connected.SendMessage(connected.connection(), reinterpret_cast<const uint8_t*>("x"), 1));
}

// OnConnect once per Connect, OnClose only for a connection that was made.
TEST(TCPServiceClientTest, CloseBeforeOrDuringAConnectKeepsTheReportContract) {
  Peer peer;
  Client unused;
  ASSERT_TRUE(unused.Initial());
  unused.Close();
  unused.Connect("127.0.0.1", peer.port());  // closed: ignored
  unused.Sync();
  EXPECT_EQ(unused.connects.load(), 0);
  EXPECT_EQ(unused.closes.load(), 0);

  FullListener full;
  ASSERT_TRUE(full.Full());
  Client client;
  ASSERT_TRUE(client.Initial());
  int sockets_bound = CountOpenSockets();
  client.Connect("127.0.0.1", full.port());
  client.Sync();
  ASSERT_EQ(client.connects.load(), 0);  // still in progress
  client.Close();
  client.Sync();
  EXPECT_EQ(client.connects.load(), 1);
  EXPECT_EQ(client.connect_error.load(), ECONNABORTED);
  EXPECT_EQ(client.closes.load(), 0);
  EXPECT_FALSE(client.IsConnected());
  EXPECT_EQ(CountOpenSockets(), sockets_bound - 1);
  client.Close();
  client.Sync();
  EXPECT_EQ(client.connects.load(), 1);
  EXPECT_EQ(client.closes.load(), 0);
}

// When the receive thread ends by itself, nothing posted to it runs any
// more: the client closes and reports there, and a later Close is harmless.
TEST(TCPServiceClientTest, ReceiveThreadEndingByItselfClosesAndReports) {
  Peer peer;
  Client client;
  ConnectTo(client, peer);
  int sockets_connected = CountOpenSockets();
  client.BreakReactor();
  ASSERT_TRUE(WaitUntil([&] { return client.closes.load() == 1; }));
  EXPECT_EQ(client.close_error.load(), EINVAL);
  EXPECT_TRUE(peer.SeesEnd());
  EXPECT_FALSE(client.IsRunning());
  EXPECT_FALSE(client.SendMessage(client.connection(), reinterpret_cast<const uint8_t*>("x"), 1));
  client.Close();
  EXPECT_EQ(client.closes.load(), 1);
  EXPECT_EQ(CountOpenSockets(), sockets_connected - 1);

  // A connect still in progress is reported failed instead.
  FullListener full;
  ASSERT_TRUE(full.Full());
  Client connecting;
  ASSERT_TRUE(connecting.Initial());
  connecting.Connect("127.0.0.1", full.port());
  connecting.Sync();
  connecting.BreakReactor();
  ASSERT_TRUE(WaitUntil([&] { return connecting.connects.load() == 1; }));
  EXPECT_EQ(connecting.connect_error.load(), EINVAL);
  connecting.Close();
  EXPECT_EQ(connecting.connects.load(), 1);
  EXPECT_EQ(connecting.closes.load(), 0);
}

}  // namespace
}  // namespace brx::net
