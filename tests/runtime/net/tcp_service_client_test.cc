#include "runtime/net/tcp_service_client.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "runtime/io/stream_framing.h"
#include "tests/support/test_support.h"

namespace brx::net {
namespace {

using ombrix::test::WaitUntil;

std::string Frame(const std::string& body) {
  std::string out(4, '\0');
  io::WriteFrameLength(reinterpret_cast<uint8_t*>(out.data()), static_cast<uint32_t>(body.size() + 4));
  return out + body;
}

int CountOpenFds() {
  int count = 0;
  DIR* dir = opendir("/proc/self/fd");
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] != '.') ++count;
  }
  closedir(dir);
  return count;
}

// A listening TCP socket on 127.0.0.1 and the one peer it accepts.
class Peer {
 public:
  Peer() {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof(a));
    listen(listener_, 4);
    socklen_t length = sizeof(a);
    getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &length);
    port_ = ntohs(a.sin_port);
  }
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
  void Send(const std::string& bytes) { ASSERT_EQ(send(conn_, bytes.data(), bytes.size(), 0), (ssize_t)bytes.size()); }
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

class Client : public TCPServiceClient {
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
  ASSERT_TRUE(client.SendMessage(client.connection(), reinterpret_cast<const uint8_t*>(big.data()), big.size()));
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
  int fds_connected = CountOpenFds();
  peer.Send(Frame("unread"));
  ASSERT_TRUE(WaitUntil([&] { return client.batches.load() == 1; }));
  client.Close();
  ASSERT_TRUE(WaitUntil([&] { return client.closes.load() == 1; }));
  EXPECT_EQ(client.close_error.load(), 0);
  EXPECT_TRUE(peer.SeesEnd());
  // The socket is closed, not just shut down; what was not taken is dropped.
  EXPECT_EQ(CountOpenFds(), fds_connected - 1);
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

TEST(TCPServiceClientTest, StopWhileConnectingOrConnectedReturnsPromptly) {
  Peer peer;
  Client connected;
  ConnectTo(connected, peer);
  Client connecting;
  ASSERT_TRUE(connecting.Initial());
  connecting.Connect("10.255.255.1", 9);  // unroutable: stays connecting
  auto start = std::chrono::steady_clock::now();
  connecting.Stop();
  connected.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_FALSE(connected.SendMessage(connected.connection(), reinterpret_cast<const uint8_t*>("x"), 1));
}

}  // namespace
}  // namespace brx::net
