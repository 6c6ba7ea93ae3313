#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <vector>

#include "runtime/io/stream_framing.h"
#include "tests/runtime/io/ipc/pipe_test_peers.h"
#include "tests/runtime/io/log_tap.h"

namespace brx::io::ipc {
namespace {

using ombrix::test::PathExists;
using ombrix::test::ScopedEnv;
using ombrix::test::TempDir;
using ombrix::test::WaitUntil;
using testing::RawConnect;
using testing::TestClient;
using testing::TestServer;

class IPCServiceTest : public ::testing::Test {
 protected:
  TempDir dir_;
  ScopedEnv pipe_dir_{"OMBRIX_PIPE_DIR", dir_.path()};
};

std::wstring Name(int i) { return L"test.pipe_" + std::to_wstring(i) + L"_"; }

std::string RawFrame(const std::string& body) {
  std::string out(4, '\0');
  WriteFrameLength(reinterpret_cast<uint8_t*>(out.data()), static_cast<uint32_t>(body.size() + 4));
  return out + body;
}

TEST_F(IPCServiceTest, ClientAndServerExchangeFramesBothWays) {
  TestServer server;
  ASSERT_TRUE(server.Serve(Name(1)));
  TestClient client;
  ASSERT_TRUE(client.Connect(Name(1)));
  ASSERT_TRUE(WaitUntil([&] { return server.Connected().size() == 1; }));
  ConnectionId c = server.Connected()[0];
  EXPECT_NE(c, 0u);
  ASSERT_TRUE(client.Send("echo one"));
  ASSERT_TRUE(client.Send(""));
  ASSERT_TRUE(
      client.Send("echo " + std::string(3'000'000, 'b')));  // several reads, bigger than a buffer
  ASSERT_TRUE(WaitUntil([&] {
    return server.journal.Count("batch") >= 1 && (server.DispatchMessages(), true) &&
           server.journal.Count("message:") == 3;
  }));
  std::vector<std::string> got;
  ASSERT_TRUE(WaitUntil([&] {
    for (auto& m : client.Drain()) got.push_back(m);
    return got.size() == 2;
  }));
  EXPECT_EQ(got[0], "echo one");
  EXPECT_EQ(got[1].size(), 3'000'005u);
  auto events = server.journal.Snapshot();
  EXPECT_EQ(events.front(), "connect:" + std::to_string(c) + ":test.pipe_1_");
  client.Close();
  ASSERT_TRUE(WaitUntil([&] { return server.Disconnected().size() == 1; }));
  EXPECT_EQ(server.Disconnected()[0], std::make_pair(c, kErrorBrokenPipe));
  ASSERT_TRUE(WaitUntil([&] { return client.journal.Count("disconnect:") == 1; }));
  EXPECT_EQ(client.journal.Snapshot().front(), "connect:0");
}

TEST_F(IPCServiceTest, FiveNamesServeFiveClientsAndASixthFindsTheNameBusyUntilOneLeaves) {
  TestServer server;
  ASSERT_TRUE(server.Start());
  for (int i = 1; i <= 5; ++i) ASSERT_TRUE(server.Listen(Name(i), true));
  std::vector<std::unique_ptr<TestClient>> clients;
  for (int i = 1; i <= 5; ++i) {
    clients.push_back(std::make_unique<TestClient>());
    ASSERT_TRUE(clients.back()->StartService());
    ASSERT_TRUE(clients.back()->BlockConnect(Name(i)));
  }
  ASSERT_TRUE(WaitUntil([&] { return server.Connected().size() == 5; }));
  // Every name is busy: nothing listens on any of them.
  TestClient sixth;
  ASSERT_TRUE(sixth.StartService());
  for (int i = 1; i <= 5; ++i) {
    EXPECT_FALSE(sixth.BlockConnect(Name(i), 0));
    EXPECT_FALSE(PathExists(dir_.Sub("test.pipe_" + std::to_string(i) + "_")));
  }
  EXPECT_EQ(sixth.journal.Count("connect:" + std::to_string(ENOENT)), 5u);
  clients[2]->Close();
  // The name is served again by a fresh instance, with a new connection id.
  ASSERT_TRUE(sixth.BlockConnect(Name(3), 10000));
  ASSERT_TRUE(WaitUntil([&] { return server.Connected().size() == 6; }));
  auto ids = server.Connected();
  std::sort(ids.begin(), ids.end());
  EXPECT_EQ(std::unique(ids.begin(), ids.end()), ids.end());
}

TEST_F(IPCServiceTest, LengthThreeDropsOnlyThatClientAndTheNameIsServedAgainAtOnce) {
  TestServer server;
  ASSERT_TRUE(server.Serve(Name(1)));
  ASSERT_TRUE(server.Listen(Name(2), true));
  TestClient good;
  ASSERT_TRUE(good.Connect(Name(2)));
  ScopedFd bad(RawConnect(Name(1)));
  ASSERT_TRUE(bad.valid());
  std::string bytes = RawFrame("before") + std::string("\x03\x00\x00\x00", 4) + RawFrame("after");
  ASSERT_EQ(send(bad.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL),
            static_cast<ssize_t>(bytes.size()));
  ASSERT_TRUE(WaitUntil([&] { return server.Disconnected().size() == 1; }));
  EXPECT_EQ(server.Disconnected()[0].second, kErrorBadFrame);
  server.DispatchMessages();
  EXPECT_EQ(server.journal.Count("message:"), 1u);  // "before" only
  // The framing error closed the socket, and the name is back at once.
  char c;
  EXPECT_EQ(recv(bad.get(), &c, 1, 0), 0);
  ScopedFd again;
  EXPECT_TRUE(WaitUntil([&] {
    again.Reset(RawConnect(Name(1)));
    return again.valid();
  }));
  // The other client is untouched.
  ASSERT_TRUE(good.Send("echo still here"));
  ASSERT_TRUE(WaitUntil([&] {
    server.DispatchMessages();
    return !good.Drain().empty();
  }));
}

TEST_F(IPCServiceTest, FrameAboveTheCapClosesThatConnectionWithALogLine) {
  // The largest frame a game may push: a raw 3840 x 2160 video frame with
  // its message fields.
  constexpr uint32_t kCap = 3840 * 2160 * 3 + 4096;
  ombrix::test::LogTap log;
  TestServer server;
  ASSERT_TRUE(server.Serve(Name(1), false));
  ScopedFd raw(RawConnect(Name(1)));
  ASSERT_TRUE(raw.valid());
  // A frame of exactly the cap is delivered ...
  std::string frame(kCap, 'v');
  WriteFrameLength(reinterpret_cast<uint8_t*>(frame.data()), kCap);
  for (size_t sent = 0; sent < frame.size();) {
    ssize_t n = send(raw.get(), frame.data() + sent, frame.size() - sent, MSG_NOSIGNAL);
    ASSERT_GT(n, 0);
    sent += static_cast<size_t>(n);
  }
  ASSERT_TRUE(WaitUntil(
      [&] { return (server.DispatchMessages(), server.journal.Count("message:") == 1); }));
  // ... one byte more closes the connection.
  std::string header(4, '\0');
  WriteFrameLength(reinterpret_cast<uint8_t*>(header.data()), kCap + 1);
  ASSERT_EQ(send(raw.get(), header.data(), 4, MSG_NOSIGNAL), 4);
  ASSERT_TRUE(WaitUntil([&] { return server.Disconnected().size() == 1; }));
  EXPECT_EQ(server.Disconnected()[0].second, kErrorBadFrame);
  EXPECT_TRUE(log.Has("closed: a frame of " + std::to_string(kCap + 1) +
                      " bytes is over the limit of " + std::to_string(kCap)));
  // Without relisten the name is gone.
  EXPECT_FALSE(PathExists(dir_.Sub("test.pipe_1_")));
}

// Lowers this process's descriptor limit to just above what is open and
// fills every free descriptor below it, until destroyed.
class DescriptorShortage {
 public:
  DescriptorShortage() {
    int highest = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
      highest = std::max(highest, std::stoi(entry.path().filename().string()));
    getrlimit(RLIMIT_NOFILE, &saved_);
    rlimit lowered = saved_;
    lowered.rlim_cur = static_cast<rlim_t>(highest) + 8;
    EXPECT_EQ(setrlimit(RLIMIT_NOFILE, &lowered), 0);
    while (true) {
      int fd = fcntl(0, F_DUPFD_CLOEXEC, 0);
      if (fd < 0) break;
      fillers_.emplace_back(fd);
    }
    EXPECT_EQ(errno, EMFILE);
  }
  ~DescriptorShortage() {
    fillers_.clear();
    setrlimit(RLIMIT_NOFILE, &saved_);
  }

 private:
  rlimit saved_{};
  std::vector<ScopedFd> fillers_;
};

TEST_F(IPCServiceTest,
       AcceptFailingForWantOfDescriptorsKeepsTheNameAndServesTheClientOnceTheyAreFree) {
  ombrix::test::LogTap log;
  TestServer server;
  ASSERT_TRUE(server.Serve(Name(1)));
  // One whole client and one log line first: the sanitizers check a call's
  // dynamic type the first time they meet it, with a pipe of their own,
  // which they could not open in the shortage.
  {
    ScopedFd first(RawConnect(Name(1)));
    ASSERT_TRUE(WaitUntil([&] { return server.Connected().size() == 1; }));
  }
  ASSERT_TRUE(WaitUntil([&] { return server.Disconnected().size() == 1; }));
  LogWarnA("%s:%d:before the shortage\n", "IPCServiceTest", __LINE__);
  sockaddr_un address;
  socklen_t length;
  ASSERT_TRUE(MakePipeAddress(PipePath(Name(1)), &address, &length));
  ScopedFd raw(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));  // made while descriptors are free
  ASSERT_TRUE(WaitUntil([&] { return PathExists(PipePath(Name(1))); }));  // served again
  // Checked after the shortage: a failure message needs descriptors too.
  bool connected, failed, still_one, still_served;
  {
    DescriptorShortage shortage;
    connected = connect(raw.get(), reinterpret_cast<sockaddr*>(&address), length) == 0;
    failed = WaitUntil([&] { return log.Has("accept on " + PipePath(Name(1)) + " failed"); });
    still_one = server.Connected().size() == 1;
    still_served = PathExists(PipePath(Name(1)));
  }
  ASSERT_TRUE(connected);
  ASSERT_TRUE(failed);
  EXPECT_TRUE(still_one);
  EXPECT_TRUE(still_served);
  // Descriptors are free again: the queued client is served.
  ASSERT_TRUE(WaitUntil([&] { return server.Connected().size() == 2; }));
  std::string bytes = RawFrame("after the shortage");
  ASSERT_EQ(send(raw.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL),
            static_cast<ssize_t>(bytes.size()));
  ASSERT_TRUE(WaitUntil(
      [&] { return (server.DispatchMessages(), server.journal.Count("message:") == 1); }));
  EXPECT_EQ(server.journal.Snapshot().back(),
            "message:" + std::to_string(server.Connected()[1]) + ":after the shortage");
  // The failure was logged once, not for every try.
  size_t failures = 0;
  for (const std::string& line : log.Lines())
    failures += line.find("accept on") != std::string::npos;
  EXPECT_EQ(failures, 1u);
}

TEST_F(IPCServiceTest, ClientThatClosesAfterOneMessageHasItQueuedBeforeTheDisconnect) {
  TestServer server;
  ASSERT_TRUE(server.Serve(Name(1)));
  ScopedFd raw(RawConnect(Name(1)));
  std::string bytes = RawFrame("last words");
  ASSERT_EQ(send(raw.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL),
            static_cast<ssize_t>(bytes.size()));
  raw.Reset();
  ASSERT_TRUE(WaitUntil([&] { return server.Disconnected().size() == 1; }));
  auto events = server.journal.Snapshot();
  ASSERT_EQ(events.size(), 3u) << ::testing::PrintToString(events);
  EXPECT_EQ(events[1], "batch");
  EXPECT_EQ(events[2].rfind("disconnect:", 0), 0u);
  server.DispatchMessages();
  EXPECT_EQ(
      server.journal.Count("message:" + std::to_string(server.Connected()[0]) + ":last words"), 1u);
}

TEST_F(IPCServiceTest, ClientCloseWritesWhatWasSentBeforeIt) {
  TestServer server;
  ASSERT_TRUE(server.Serve(Name(1)));
  TestClient client;
  ASSERT_TRUE(client.Connect(Name(1)));
  ASSERT_TRUE(client.Send(std::string(2'000'000, 'q')));
  ASSERT_TRUE(client.Send("goodbye"));
  client.Close();
  ASSERT_TRUE(WaitUntil([&] { return server.Disconnected().size() == 1; }));
  EXPECT_EQ(server.Disconnected()[0].second, kErrorBrokenPipe);
  auto events = server.journal.Snapshot();
  EXPECT_EQ(events.back().rfind("disconnect:", 0), 0u);
  server.DispatchMessages();
  EXPECT_EQ(server.journal.Count("message:"), 2u);
  EXPECT_EQ(server.journal.Count("message:" + std::to_string(server.Connected()[0]) + ":goodbye"),
            1u);
  ASSERT_TRUE(WaitUntil([&] { return client.journal.Count("disconnect:") == 1; }));
}

TEST_F(IPCServiceTest, StopWithClientsConnectedEndsBothThreadsAndCloseAllGivesNoCallbacks) {
  auto server = std::make_unique<TestServer>();
  ASSERT_TRUE(server->Start());
  std::vector<std::unique_ptr<TestClient>> clients;
  for (int i = 1; i <= 3; ++i) {
    ASSERT_TRUE(server->Listen(Name(i), true));
    clients.push_back(std::make_unique<TestClient>());
    ASSERT_TRUE(clients.back()->StartService());
    ASSERT_TRUE(clients.back()->BlockConnect(Name(i)));
  }
  ASSERT_TRUE(server->Listen(Name(4), true));  // one instance still waiting
  ASSERT_TRUE(WaitUntil([&] { return server->Connected().size() == 3; }));
  server->Stop();
  EXPECT_FALSE(server->Send(server->Connected()[0], nullptr, 0, nullptr, 0));
  server->CloseAllPipes();
  EXPECT_TRUE(server->Disconnected().empty());
  EXPECT_FALSE(PathExists(dir_.Sub("test.pipe_4_")));
  for (auto& c : clients)
    ASSERT_TRUE(WaitUntil([&] { return c->journal.Count("disconnect:") == 1; }));
  server.reset();
}

TEST_F(IPCServiceTest, ClosePipeFromAnotherThreadGivesNoCallbackAndNoRelisten) {
  TestServer server;
  ASSERT_TRUE(server.Serve(Name(1)));
  TestClient client;
  ASSERT_TRUE(client.Connect(Name(1)));
  ASSERT_TRUE(WaitUntil([&] { return server.Connected().size() == 1; }));
  server.ClosePipe(server.Connected()[0]);  // a read is pending on the read thread
  ASSERT_TRUE(WaitUntil([&] { return client.journal.Count("disconnect:") == 1; }));
  EXPECT_TRUE(server.Disconnected().empty());
  EXPECT_FALSE(PathExists(dir_.Sub("test.pipe_1_")));
}

TEST_F(IPCServiceTest, DisconnectPipeTakesTheNormalPathAndServesTheNameAgain) {
  TestServer server;
  ASSERT_TRUE(server.Serve(Name(1)));
  TestClient client;
  ASSERT_TRUE(client.Connect(Name(1)));
  ASSERT_TRUE(WaitUntil([&] { return server.Connected().size() == 1; }));
  ConnectionId first = server.Connected()[0];
  server.DisconnectPipe(first);
  ASSERT_TRUE(WaitUntil([&] { return server.Disconnected().size() == 1; }));
  EXPECT_EQ(server.Disconnected()[0], std::make_pair(first, kErrorConnectionAborted));
  ASSERT_TRUE(WaitUntil([&] { return client.journal.Count("disconnect:") == 1; }));
  ASSERT_TRUE(client.BlockConnect(Name(1), 10000));
  ASSERT_TRUE(WaitUntil([&] { return server.Connected().size() == 2; }));
  EXPECT_NE(server.Connected()[1], first);
}

TEST_F(IPCServiceTest, StaleSocketFileIsReplacedButALiveForeignServerIsLeftAlone) {
  // A live listener of "another process" on name 1.
  sockaddr_un address;
  socklen_t length;
  ASSERT_TRUE(MakePipeAddress(PipePath(Name(1)), &address, &length));
  ScopedFd foreign(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  ASSERT_EQ(bind(foreign.get(), reinterpret_cast<sockaddr*>(&address), length), 0);
  ASSERT_EQ(listen(foreign.get(), 4), 0);
  // A stale socket file on name 2: bound, then its owner went away.
  ASSERT_TRUE(MakePipeAddress(PipePath(Name(2)), &address, &length));
  {
    ScopedFd gone(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    ASSERT_EQ(bind(gone.get(), reinterpret_cast<sockaddr*>(&address), length), 0);
  }
  TestServer server;
  ASSERT_TRUE(server.Start());
  EXPECT_FALSE(server.Listen(Name(1), true));
  EXPECT_TRUE(PathExists(dir_.Sub("test.pipe_1_")));
  EXPECT_TRUE(server.Listen(Name(2), true));
  EXPECT_FALSE(server.Listen(Name(2), true));  // one waiting instance per name
  server.Stop();
  server.CloseAllPipes();
  EXPECT_TRUE(PathExists(dir_.Sub("test.pipe_1_")));  // still the foreign one
  EXPECT_FALSE(PathExists(dir_.Sub("test.pipe_2_")));
}

TEST_F(IPCServiceTest, TooLongPathIsAClearErrorAndListenBeforeStartFails) {
  TestServer server;
  EXPECT_FALSE(server.Listen(Name(1), true));
  ASSERT_TRUE(server.Start());
  EXPECT_FALSE(server.Listen(std::wstring(120, L'n'), true));
  TestClient client;
  EXPECT_FALSE(client.BlockConnect(Name(1)));  // not started: no callback
  EXPECT_EQ(client.journal.Count("connect:"), 0u);
}

TEST_F(IPCServiceTest, SecondConnectOnAConnectedClientIsRefused) {
  TestServer server;
  ASSERT_TRUE(server.Serve(Name(1)));
  TestClient client;
  ASSERT_TRUE(client.Connect(Name(1)));
  EXPECT_FALSE(client.BlockConnect(Name(1)));
  EXPECT_EQ(client.journal.Count("connect:-1"), 1u);
}

}  // namespace
}  // namespace brx::io::ipc
