#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "runtime/io/io_monitor_service.h"
#include "runtime/io/stream_framing.h"
#include "runtime/net/udt/udt_service_client.h"
#include "runtime/net/udt/udt_service_server.h"
#include "tests/support/loopback_socket.h"
#include "tests/support/test_support.h"

namespace brx::net::udt {
namespace {

using ombrix::test::WaitUntil;
using Clock = std::chrono::steady_clock;

std::string Frame(const std::string& body) {
  std::string out(4, '\0');
  io::WriteFrameLength(reinterpret_cast<uint8_t*>(out.data()),
                       static_cast<uint32_t>(body.size() + 4));
  return out + body;
}

std::string Pattern(size_t n, int seed) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 131 + seed) >> 3);
  return s;
}

// What a service heard, shared by the server and client doubles.
struct Heard {
  std::atomic<int> batches{0}, stops{0}, closes{0}, accepts{0}, connects{0};
  std::atomic<int> last_error{-999};
  std::atomic<io::ConnectionId> accepted{0};
  std::mutex mutex;
  std::vector<std::string> messages;
  Clock::time_point connected_at;

  void Message(const io::QueuedMessage& m) {
    std::lock_guard<std::mutex> lock(mutex);
    messages.emplace_back(reinterpret_cast<const char*>(m.body.get()), m.length);
  }
  size_t count() {
    std::lock_guard<std::mutex> lock(mutex);
    return messages.size();
  }
};

class Server : public UDTServiceServer {
 public:
  ~Server() override { Stop(); }
  Heard heard;
  std::vector<std::string> Taken() {
    DispatchMessages();
    std::lock_guard<std::mutex> lock(heard.mutex);
    return heard.messages;
  }

 protected:
  void NotifyBatch() override { heard.batches++; }
  void OnMessage(const io::QueuedMessage& m) override { heard.Message(m); }
  void OnStop(int error) override {
    heard.last_error = error;
    heard.stops++;
  }
  void OnAccept(io::ConnectionId connection, const sockaddr*, int) override {
    heard.accepted = connection;
    heard.accepts++;
  }
  void OnClose(io::ConnectionId, int error) override {
    heard.last_error = error;
    heard.closes++;
  }
};

class Client : public UDTServiceClient {
 public:
  explicit Client(int delay_ms = 0) { SetConnectDelayForTesting(delay_ms); }
  ~Client() override { Stop(); }
  Heard heard;
  std::vector<std::string> Taken() {
    DispatchMessages();
    std::lock_guard<std::mutex> lock(heard.mutex);
    return heard.messages;
  }

 protected:
  void NotifyBatch() override { heard.batches++; }
  void OnMessage(const io::QueuedMessage& m) override { heard.Message(m); }
  void OnStop(int error) override { heard.stops++, (void)error; }
  void OnConnect(int error) override {
    heard.last_error = error;
    heard.connected_at = Clock::now();
    heard.connects++;
  }
  void OnClose(int error) override {
    heard.last_error = error;
    heard.closes++;
  }
};

void Connect(Client& client, Server& server) {
  ASSERT_TRUE(client.Initial(0));
  client.Connect("127.0.0.1", server.local_port());
  ASSERT_TRUE(WaitUntil([&] { return client.heard.connects.load() == 1; }));
  ASSERT_EQ(client.heard.last_error.load(), 0);
  ASSERT_TRUE(client.IsConnected());
  ASSERT_TRUE(WaitUntil([&] { return server.heard.accepts.load() == 1; }));
}

bool Send(UDTServiceBase& service, io::ConnectionId connection, const std::string& body) {
  return service.SendMessage(connection, reinterpret_cast<const uint8_t*>(body.data()),
                             static_cast<uint32_t>(body.size()));
}

// A bare UDT endpoint on 127.0.0.1 that reads only when asked, with a
// receive buffer of UDT's least size: whatever a service sends beyond a
// few tens of KiB stays unsent in the service's own buffers.
class SlowReader {
 public:
  SlowReader() { UDT::startup(); }
  ~SlowReader() {
    linger no{0, 0};
    for (UDTSOCKET s : {conn_, listener_}) {
      if (s == UDT::INVALID_SOCK) continue;
      UDT::setsockopt(s, 0, UDT_LINGER, &no, sizeof(no));
      UDT::close(s);
    }
    UDT::cleanup();
  }

  // Listens on a free port, for a service's client.
  uint16_t Listen() {
    listener_ = NewSocket();
    sockaddr_in a = Loopback(0);
    if (UDT::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof(a)) == UDT::ERROR) return 0;
    if (UDT::listen(listener_, 1) == UDT::ERROR) return 0;
    int length = sizeof(a);
    UDT::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &length);
    return ntohs(a.sin_port);
  }
  bool Accept() {
    bool blocking = false;
    UDT::setsockopt(listener_, 0, UDT_RCVSYN, &blocking, sizeof(blocking));
    return WaitUntil([&] {
      conn_ = UDT::accept(listener_, nullptr, nullptr);
      return conn_ != UDT::INVALID_SOCK;
    });
  }
  // Connects to a service's server.
  bool Connect(uint16_t port) {
    conn_ = NewSocket();
    sockaddr_in a = Loopback(port);
    return UDT::connect(conn_, reinterpret_cast<sockaddr*>(&a), sizeof(a)) != UDT::ERROR;
  }
  // True once the service's end of the connection is gone.
  bool Broken() {
    UDTSTATUS state = UDT::getsockstate(conn_);
    return state == BROKEN || state == CLOSED || state == NONEXIST;
  }
  // Reads `n` bytes (10 s at most); fewer when the stream ended.
  std::string Read(size_t n) {
    bool blocking = true;
    UDT::setsockopt(conn_, 0, UDT_RCVSYN, &blocking, sizeof(blocking));
    int timeout = 10000;
    UDT::setsockopt(conn_, 0, UDT_RCVTIMEO, &timeout, sizeof(timeout));
    std::string out;
    char buffer[4096];
    while (out.size() < n) {
      int got =
          UDT::recv(conn_, buffer, static_cast<int>(std::min(sizeof(buffer), n - out.size())), 0);
      if (got <= 0) break;
      out.append(buffer, static_cast<size_t>(got));
    }
    return out;
  }
  UDTSTATUS state() const { return UDT::getsockstate(conn_); }

 private:
  static UDTSOCKET NewSocket() {
    UDTSOCKET s = UDT::socket(AF_INET, SOCK_STREAM, 0);
    int least = 1;  // UDT rounds this up to its minimum
    UDT::setsockopt(s, 0, UDT_RCVBUF, &least, sizeof(least));
    return s;
  }
  static sockaddr_in Loopback(uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
  }

  UDTSOCKET listener_ = UDT::INVALID_SOCK;
  UDTSOCKET conn_ = UDT::INVALID_SOCK;
};

// The server waits on an empty epoll set until its first peer comes; UDT
// refuses an unbounded wait on an empty set, which must not end the loop.
TEST(UDTServiceTest, IdleServerStaysUpAndThenServes) {
  Server server;
  ASSERT_TRUE(server.Initial(0));
  // Ten rounds of the receive loop's bounded wait.
  EXPECT_FALSE(WaitUntil([&] { return server.heard.stops.load() > 0; },
                         std::chrono::milliseconds(10 * UDTServiceBase::kWaitMs)));
  Client client;
  Connect(client, server);
  ASSERT_TRUE(Send(client, client.connection(), "after a long wait"));
  ASSERT_TRUE(WaitUntil([&] { return server.Taken().size() == 1; }));
  EXPECT_EQ(server.Taken(), (std::vector<std::string>{"after a long wait"}));
  EXPECT_EQ(server.heard.stops.load(), 0);
}

TEST(UDTServiceTest, LargeMessagesRoundTripWholeAndInOrder) {
  Server server;
  ASSERT_TRUE(server.Initial(0));
  Client client;
  Connect(client, server);
  std::vector<std::string> sent = {Pattern(3 << 20, 1), "", Pattern(70000, 2), Pattern(5, 3)};
  for (auto& m : sent) ASSERT_TRUE(Send(client, client.connection(), m));
  ASSERT_TRUE(
      WaitUntil([&] { return server.Taken().size() == sent.size(); }, std::chrono::seconds(20)));
  EXPECT_EQ(server.Taken(), sent);
  // And back, on the accepted connection.
  for (auto& m : sent) ASSERT_TRUE(Send(server, server.heard.accepted.load(), m));
  ASSERT_TRUE(
      WaitUntil([&] { return client.Taken().size() == sent.size(); }, std::chrono::seconds(20)));
  EXPECT_EQ(client.Taken(), sent);
}

TEST(UDTServiceTest, BurstOfMessagesJoinedAndCutIntoSendsArrivesWholeAndInOrder) {
  // Queued at once, the messages leave joined, and the writer hands them
  // to UDT in pieces that cut frames anywhere: each must still arrive as
  // it was sent, framed right, in order.
  Server server;
  ASSERT_TRUE(server.Initial(0));
  Client client;
  Connect(client, server);
  std::vector<std::string> sent;
  size_t sizes[] = {1, 4096, 16380, 16384, 16385, 40000, 0, 7, 20000, 32768, 3};
  for (int i = 0; i < 400; ++i) sent.push_back(Pattern(sizes[i % std::size(sizes)] + (i % 5), i));
  for (auto& m : sent) ASSERT_TRUE(Send(client, client.connection(), m));
  ASSERT_TRUE(
      WaitUntil([&] { return server.Taken().size() >= sent.size(); }, std::chrono::seconds(20)));
  std::vector<std::string> got = server.Taken();
  ASSERT_EQ(got.size(), sent.size());
  for (size_t i = 0; i < sent.size(); ++i) ASSERT_EQ(got[i], sent[i]) << "message " << i;
  EXPECT_EQ(server.heard.closes.load(), 0);
}

TEST(UDTServiceTest, TwoFramesInOneReceiveAreOneBatch) {
  Server server;
  ASSERT_TRUE(server.Initial(0));
  Client client;
  Connect(client, server);
  std::string two = Frame("one") + Frame("two");
  // One write carrying both frames whole.
  ASSERT_TRUE(client.Send(client.connection(), reinterpret_cast<const uint8_t*>(two.data()),
                          static_cast<uint32_t>(two.size()), nullptr, 0));
  // The receive thread tells of the batch after it queued the frames, so
  // the frames may be taken before the notice comes: wait for both.
  ASSERT_TRUE(
      WaitUntil([&] { return server.Taken().size() == 2 && server.heard.batches.load() >= 1; }));
  EXPECT_EQ(server.heard.batches.load(), 1);
  EXPECT_EQ(server.Taken(), (std::vector<std::string>{"one", "two"}));
}

TEST(UDTServiceTest, PeerGoingAwayIsOneOnCloseAndTheServerKeepsAccepting) {
  Server server;
  ASSERT_TRUE(server.Initial(0));
  {
    Client first;
    Connect(first, server);
    ASSERT_TRUE(Send(first, first.connection(), "bye"));
    ASSERT_TRUE(WaitUntil([&] { return server.Taken().size() == 1; }));
  }
  ASSERT_TRUE(WaitUntil([&] { return server.heard.closes.load() == 1; }));
  EXPECT_NE(server.heard.last_error.load(), 0);
  Client second;
  ASSERT_TRUE(second.Initial(0));
  second.Connect("127.0.0.1", server.local_port());
  ASSERT_TRUE(WaitUntil([&] { return server.heard.accepts.load() == 2; }));
  ASSERT_TRUE(WaitUntil([&] { return second.heard.connects.load() == 1; }));
  EXPECT_EQ(second.heard.last_error.load(), 0);
  EXPECT_EQ(server.heard.closes.load(), 1);
  EXPECT_EQ(server.heard.stops.load(), 0);

  // The server going away is the client's one OnClose.
  server.Stop();
  ASSERT_TRUE(WaitUntil([&] { return second.heard.closes.load() == 1; }));
  EXPECT_FALSE(second.IsConnected());
}

TEST(UDTServiceTest, CorruptStreamClosesThatPeerWithMinusOne) {
  Server server;
  ASSERT_TRUE(server.Initial(0));
  Client client;
  Connect(client, server);
  std::string bad = Frame("fine") + std::string("\x03\x00\x00\x00", 4);
  ASSERT_TRUE(client.Send(client.connection(), reinterpret_cast<const uint8_t*>(bad.data()),
                          static_cast<uint32_t>(bad.size()), nullptr, 0));
  ASSERT_TRUE(WaitUntil([&] { return server.heard.closes.load() == 1; }));
  EXPECT_EQ(server.heard.last_error.load(), io::kErrorBadFrame);
  EXPECT_EQ(server.Taken(), (std::vector<std::string>{"fine"}));
  ASSERT_TRUE(WaitUntil([&] { return client.heard.closes.load() == 1; }));
}

TEST(UDTServiceTest, ConnectWaitsItsDelayAndFailsWhereNothingListens) {
  uint16_t free_port = 0;
  close(ombrix::test::BindLoopbackUdp(&free_port));

  constexpr int kDelayMs = 300;
  Client client(kDelayMs);
  client.SetConnectTimeoutForTesting(300);
  ASSERT_TRUE(client.Initial(0));
  EXPECT_GE(client.local_port(), UDTServiceClient::kFirstPort);
  auto asked = Clock::now();
  client.Connect("127.0.0.1", free_port);
  client.Connect("127.0.0.1", free_port);  // pending: ignored, not restarted
  ASSERT_TRUE(WaitUntil([&] { return client.heard.connects.load() == 1; }));
  EXPECT_GE(client.heard.connected_at - asked, std::chrono::milliseconds(kDelayMs));
  EXPECT_EQ(client.heard.last_error.load(), CUDTException::ENOSERVER);
  EXPECT_FALSE(client.IsConnected());
  EXPECT_FALSE(
      WaitUntil([&] { return client.heard.connects.load() > 1; }, std::chrono::milliseconds(200)));
  EXPECT_EQ(client.heard.closes.load(), 0);
}

TEST(UDTServiceTest, StopIsPromptWhileConnectingConnectedOrListening) {
  Server server;
  ASSERT_TRUE(server.Initial(0));
  Client connected;
  Connect(connected, server);
  Client delayed(UDTServiceClient::kConnectDelayMs);
  ASSERT_TRUE(delayed.Initial(0));
  delayed.Connect("127.0.0.1", 9);
  Client attempting;
  ASSERT_TRUE(attempting.Initial(0));
  attempting.Connect("127.0.0.1", 9);
  delayed.Stop();
  attempting.Stop();
  connected.Stop();
  server.Stop();
  for (const UDTServiceBase* s :
       {static_cast<UDTServiceBase*>(&delayed), static_cast<UDTServiceBase*>(&attempting),
        static_cast<UDTServiceBase*>(&connected), static_cast<UDTServiceBase*>(&server)})
    EXPECT_FALSE(s->IsRunning());
  EXPECT_EQ(delayed.heard.connects.load(), 0);
  EXPECT_FALSE(Send(connected, connected.connection(), "late"));
  server.Stop();  // twice is fine
}

TEST(UDTServiceTest, PortSearchAndExplicitPorts) {
  // A UDP port held elsewhere is skipped by the search and refused when named.
  int holder = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_ANY);
  bind(holder, reinterpret_cast<sockaddr*>(&a), sizeof(a));
  socklen_t length = sizeof(a);
  getsockname(holder, reinterpret_cast<sockaddr*>(&a), &length);
  uint16_t taken = ntohs(a.sin_port);

  Server searching;
  searching.SetFirstPortForTesting(taken);
  ASSERT_TRUE(searching.Initial(0));
  EXPECT_GT(searching.local_port(), taken);
  EXPECT_EQ(searching.local_address().sin_addr.s_addr, htonl(INADDR_ANY));

  Server named;
  EXPECT_FALSE(named.Initial(taken));
  Client client;
  EXPECT_FALSE(client.Initial(taken));
  close(holder);

  Client loopback;
  loopback.SetBindAddress("127.0.0.1");
  ASSERT_TRUE(loopback.Initial(taken));
  EXPECT_EQ(loopback.local_port(), taken);
  EXPECT_EQ(loopback.local_address().sin_addr.s_addr, htonl(INADDR_LOOPBACK));
}

// A peer that stops reading leaves data unsent in UDT's buffers; closing
// must drop it at once rather than wait for the peer (UDT's default linger
// waits up to 180 s).
TEST(UDTServiceTest, StopAndDestructionArePromptWithUnsentDataQueued) {
  const std::string big = Pattern(4 << 20, 7);
  {
    SlowReader peer;
    uint16_t port = peer.Listen();
    ASSERT_NE(port, 0);
    auto client = std::make_unique<Client>();
    ASSERT_TRUE(client->Initial(0));
    client->Connect("127.0.0.1", port);
    ASSERT_TRUE(peer.Accept());
    ASSERT_TRUE(WaitUntil([&] { return client->heard.connects.load() == 1; }));
    ASSERT_EQ(client->heard.last_error.load(), 0);
    ASSERT_TRUE(Send(*client, client->connection(), big));
    ASSERT_EQ(peer.Read(1000).size(), 1000u);  // flowing; the rest waits
    client->Stop();
    EXPECT_FALSE(client->IsRunning());
    EXPECT_FALSE(Send(*client, client->connection(), "late"));
    EXPECT_EQ(client->heard.closes.load(), 0);  // a stop reports nothing
    client.reset();
    // The dropped data is freed (LeakSanitizer checks at exit), and the
    // peer learns that the link is gone.
    EXPECT_TRUE(WaitUntil([&] { return peer.Broken(); }));
  }
  {
    auto server = std::make_unique<Server>();
    ASSERT_TRUE(server->Initial(0));
    SlowReader peer;
    ASSERT_TRUE(peer.Connect(server->local_port()));
    ASSERT_TRUE(WaitUntil([&] { return server->heard.accepts.load() == 1; }));
    ASSERT_TRUE(Send(*server, server->heard.accepted.load(), big));
    ASSERT_EQ(peer.Read(1000).size(), 1000u);
    server.reset();  // stops, then closes the peer's socket
    EXPECT_TRUE(WaitUntil([&] { return peer.Broken(); }));
  }
}

// A message the peer does not take for the stall limit closes the
// connection from the send thread; that close must not wait for the peer
// either, or the receive loop never hears of it and Stop waits too.
TEST(UDTServiceTest, StalledWriteClosesTheConnectionPromptly) {
  SlowReader peer;
  uint16_t port = peer.Listen();
  ASSERT_NE(port, 0);
  Client client;
  client.SetWriteStallTimeoutForTesting(200);
  ASSERT_TRUE(client.Initial(0));
  client.Connect("127.0.0.1", port);
  ASSERT_TRUE(peer.Accept());
  ASSERT_TRUE(WaitUntil([&] { return client.heard.connects.load() == 1; }));
  // More than UDT's send buffer (8192 packets) holds.
  ASSERT_TRUE(Send(client, client.connection(), Pattern(16 << 20, 9)));
  ASSERT_TRUE(WaitUntil([&] { return client.heard.closes.load() == 1; }));
  EXPECT_FALSE(client.IsConnected());
  client.Stop();
  EXPECT_FALSE(client.IsRunning());
  EXPECT_EQ(client.heard.closes.load(), 1);
}
}  // namespace
}  // namespace brx::net::udt
