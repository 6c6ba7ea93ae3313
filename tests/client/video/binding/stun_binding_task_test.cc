#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "client/video/binding/stun_binding_task_uac.h"
#include "client/video/binding/stun_binding_task_uas.h"
#include "client/video/signalling/ice_client.h"
#include "client/video/signalling/ice_datagrams.h"
#include "client/video/signalling/ice_events.h"
#include "runtime/base/message_loop.h"
#include "runtime/base/thread_message_queue.h"
#include "runtime/platform/tick_clock.h"
#include "tests/support/loopback_socket.h"
#include "tests/support/rendezvous_standin.h"
#include "tests/support/test_support.h"

namespace ice {
namespace {

using ombrix::test::WaitUntil;

int BindUdp(uint16_t port) { return ombrix::test::OpenLoopbackSocket(SOCK_DGRAM, port, nullptr); }

sockaddr_in AddressOf(int fd) {
  sockaddr_in a{};
  socklen_t length = sizeof(a);
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
  return a;
}

// A run of free UDP ports for the binding sockets, away from other tests.
uint16_t FreePorts(int count) {
  for (int attempt = 0; attempt < 200; ++attempt) {
    const uint16_t base =
        static_cast<uint16_t>(30000 + ((getpid() * 13 + attempt * 157) % 600) * 50);
    std::vector<int> fds;
    for (int i = 0; i < count; ++i) {
      const int fd = BindUdp(static_cast<uint16_t>(base + i));
      if (fd < 0) break;
      fds.push_back(fd);
    }
    const bool free = static_cast<int>(fds.size()) == count;
    for (int fd : fds) close(fd);
    if (free) return base;
  }
  return 0;
}

// One test socket standing for the server or the peer.
struct Endpoint {
  Endpoint() : fd(BindUdp(0)), address(AddressOf(fd)) {}
  ~Endpoint() { close(fd); }
  // The next datagram within 5 s, and where it came from; empty on none.
  std::string Receive(sockaddr_in* from = nullptr, int timeout_ms = 5000) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, timeout_ms) != 1) return "";
    char buffer[4097];
    sockaddr_in source{};
    socklen_t length = sizeof(source);
    const ssize_t got =
        recvfrom(fd, buffer, 4096, 0, reinterpret_cast<sockaddr*>(&source), &length);
    if (from) *from = source;
    return got > 0 ? std::string(buffer, size_t(got)) : "";
  }
  void Send(const sockaddr_in& to, const std::string& document) {
    sendto(fd, document.data(), document.size(), 0, reinterpret_cast<const sockaddr*>(&to),
           sizeof(to));
  }
  int fd;
  sockaddr_in address;
};

// What a task reported, one line per event; ready events are kept whole.
class Sink {
 public:
  StunBindingTask::EventSink Callback() {
    return [this](std::unique_ptr<ICEEvent> event) {
      std::lock_guard<std::mutex> lock(mutex_);
      if (event->type == ICE_EVENT_STUN_REPLY) {
        lines_.push_back("stun " + std::to_string(static_cast<ICEEvent_stun_reply&>(*event).code));
      } else if (event->type == ICE_EVENT_REPLY) {
        lines_.push_back("reply " +
                         std::to_string(static_cast<ICEEvent_ice_reply&>(*event).result));
      } else if (event->type == ICE_EVENT_STUN_READY) {
        lines_.push_back("ready");
        ready_.reset(static_cast<ICEEvent_stun_ready*>(event.release()));
      }
    };
  }
  std::vector<std::string> lines() {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
  }
  bool WaitFor(const std::string& line) {
    return WaitUntil([&] {
      for (const auto& l : lines()) {
        if (l == line) return true;
      }
      return false;
    });
  }
  std::unique_ptr<ICEEvent_stun_ready> TakeReady() {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::move(ready_);
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> lines_;
  std::unique_ptr<ICEEvent_stun_ready> ready_;
};

class StunBindingTaskTest : public ::testing::Test {
 protected:
  void SetUp() override {
    first_port_ = FreePorts(110);
    ASSERT_NE(first_port_, 0);
  }
  BindingTiming Timing(uint32_t draw) {
    BindingTiming t;
    t.receive_timeout_ms = 20;
    t.pause_ms = 5;
    t.first_port = first_port_;
    t.port_span = 104;
    t.clock = &clock_;
    t.random = [draw] { return draw; };
    return t;
  }
  std::unique_ptr<StunBindingTaskUac> Uac(Sink& sink, uint32_t draw = 0,
                                          int32_t port_type = ICE_PORT_ANY) {
    BindingParams params{L"inv-7", L"sid-a", L"bob", port_type, "127.0.0.1", 0, 10000};
    return std::make_unique<StunBindingTaskUac>(params, server_.address, Timing(draw),
                                                sink.Callback());
  }

  brx::platform::ManualTickClock clock_{5000};
  uint16_t first_port_ = 0;
  Endpoint server_;
};

TEST_F(StunBindingTaskTest, InviterBindsConfirmsAndHandsOverItsSocket) {
  Sink sink;
  Endpoint peer;
  brx::base::MessageLoop loop("ice.IceStun");
  loop.PostTask(Uac(sink, 57));

  // "any" starts at an odd port: offset 56 above the first odd one.
  sockaddr_in task{};
  const std::string invite = server_.Receive(&task);
  EXPECT_NE(invite.find(R"(step="INVITE" sid="sid-a" target="bob" id="inv-7" port_type="any")"),
            std::string::npos)
      << invite;
  EXPECT_EQ(ntohs(task.sin_port), first_port_ + 57);
  EXPECT_NE(invite.find("local_pri_port=\"" + std::to_string(first_port_ + 57) + "\""),
            std::string::npos);

  server_.Send(task, StunBindDatagram(L"other"));  // another invitation: ignored
  server_.Send(task,
               std::string(kXmlDeclaration) + R"(<command name="STUN" step="TRYING" id="inv-7"/>)");
  ASSERT_TRUE(sink.WaitFor("stun 2"));
  // The peer's private and public address are the same text: one BIND a
  // round, two rounds.
  const std::string port = std::to_string(ntohs(peer.address.sin_port));
  server_.Send(task, std::string(kXmlDeclaration) +
                         R"(<command name="STUN" step="RINGING" id="inv-7"><host )" +
                         R"(remote_pri_ip="127.0.0.1" remote_pri_port=")" + port +
                         R"(" remote_pub_ip="127.0.0.1" )" + R"(remote_pub_port=")" + port +
                         R"("/></command>)");
  EXPECT_EQ(peer.Receive(), StunBindDatagram(L"inv-7"));
  EXPECT_EQ(peer.Receive(), StunBindDatagram(L"inv-7"));
  ASSERT_TRUE(sink.WaitFor("stun 3"));
  EXPECT_EQ(peer.Receive(nullptr, 100), "") << "two BINDs in all";

  // The peer's first BIND is answered with BIND then CONFIRM naming the
  // peer's address as seen; the second gets nothing.
  peer.Send(task, StunBindDatagram(L"inv-7"));
  EXPECT_EQ(peer.Receive(), StunBindDatagram(L"inv-7"));
  EXPECT_EQ(peer.Receive(),
            StunConfirmDatagram(L"inv-7", L"127.0.0.1", ntohs(peer.address.sin_port)));
  ASSERT_TRUE(sink.WaitFor("stun 4"));
  peer.Send(task, StunBindDatagram(L"inv-7"));
  peer.Send(task, StunConfirmDatagram(L"inv-8", L"10.0.0.9", 999));  // wrong id: ignored
  peer.Send(task, StunConfirmDatagram(L"inv-7", L"10.0.0.9", 40123));
  ASSERT_TRUE(sink.WaitFor("ready"));
  EXPECT_EQ(peer.Receive(nullptr, 100), "");
  EXPECT_EQ(sink.lines(), (std::vector<std::string>{"stun 2", "stun 3", "stun 4", "ready"}));

  std::unique_ptr<ICEEvent_stun_ready> ready = sink.TakeReady();
  ASSERT_TRUE(ready && ready->result);
  EXPECT_EQ(ready->id, L"inv-7");
  EXPECT_EQ(ready->result->bind_ip, L"10.0.0.9");
  EXPECT_EQ(ready->result->bind_port, 40123);
  EXPECT_EQ(ready->result->peer_ip, L"127.0.0.1");
  EXPECT_EQ(ready->result->peer_port, ntohs(peer.address.sin_port));
  EXPECT_EQ(ready->result->local_port, first_port_ + 57);
  EXPECT_EQ(ready->result->target, L"bob");
  // The task is gone, its socket is not.
  ASSERT_TRUE(WaitUntil([&] { return fcntl(ready->socket, F_GETFD) >= 0; }));
  EXPECT_EQ(ntohs(AddressOf(ready->socket).sin_port), first_port_ + 57);
}

TEST_F(StunBindingTaskTest, EveryOtherEndingReportsOnceAndClosesTheSocket) {
  struct Case {
    const char* answer;  // after the declaration; empty: none
    const char* final_line;
  } cases[] = {
      {R"(<command name="STUN" step="OFFLINE" id="inv-7"/>)", "reply 1"},
      // Malformed: the binding cannot go on, and says so.
      {R"(<command name="STUN" step="RINGING" id="inv-7"><host remote_pri_ip="1.2.3.4"/></command>)",
       "stun 0"},
      {R"(<command name="STUN" step="CONFIRM" id="inv-7"><host bind_ip="1.2.3.4"/></command>)",
       "stun 0"},
      {R"(<command name="STUN" step="CONFIRM" id="inv-7"/>)", "stun 0"},
      {"", "stun 1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.final_line);
    Sink sink;
    brx::base::MessageLoop loop("ice.IceStun");
    loop.PostTask(Uac(sink, 3, ICE_PORT_EVEN));
    sockaddr_in task{};
    ASSERT_NE(server_.Receive(&task), "");
    EXPECT_EQ(ntohs(task.sin_port), first_port_ + 2) << "even: offset 2 from the first even port";
    if (*c.answer) {
      server_.Send(task, std::string(kXmlDeclaration) + c.answer);
    } else {
      // Nothing comes: the limit passes on the task's clock.
      clock_.Advance(9999);
      EXPECT_EQ(sink.lines().size(), 0u);
      clock_.Advance(1);
    }
    ASSERT_TRUE(sink.WaitFor(c.final_line));
    // The socket is closed once the task has ended: the port binds again.
    int again = -1;
    ASSERT_TRUE(WaitUntil([&] { return (again = BindUdp(ntohs(task.sin_port))) >= 0; }));
    close(again);
    EXPECT_EQ(sink.lines(), std::vector<std::string>{c.final_line});
  }

  // Taken ports are stepped over by the port type's step.
  const int taken = BindUdp(first_port_ + 1);
  ASSERT_GE(taken, 0);
  Sink sink;
  brx::base::MessageLoop loop("ice.IceStun");
  loop.PostTask(Uac(sink, 1, ICE_PORT_ODD));
  sockaddr_in task{};
  ASSERT_NE(server_.Receive(&task), "");
  EXPECT_EQ(ntohs(task.sin_port), first_port_ + 3);
  close(taken);
}

// The whole exchange between two signalling clients through the stand-in
// server: both ends finish with each other's address and an open socket.
class Observer : public IceClientObersver {
 public:
  void OnStunInvite(const ICEEvent_stun_invite* e) override {
    stun_invite = std::make_unique<ICEEvent_stun_invite>();
    stun_invite->id = e->id;
    stun_invite->port_type = e->port_type;
    stun_invite->remote_private_ip = e->remote_private_ip;
    stun_invite->remote_private_port = e->remote_private_port;
    stun_invite->remote_public_ip = e->remote_public_ip;
    stun_invite->remote_public_port = e->remote_public_port;
  }
  void OnStunReply(const ICEEvent_stun_reply* e) override { codes.push_back(e->code); }
  void OnStunReady(const ICEEvent_stun_ready* e) override {
    socket = e->TakeSocket();
    result = e->TakeResult();
  }
  void OnIceLogin(const ICEEvent_ice_login* e) override { logged_in = e->result == 1; }
  ~Observer() override {
    if (socket >= 0) close(socket);
  }
  std::unique_ptr<ICEEvent_stun_invite> stun_invite;
  std::vector<int> codes;
  int socket = -1;
  std::unique_ptr<BindingResult> result;
  bool logged_in = false;
};

TEST(StunBinding, TwoClientsPunchTowardsEachOther) {
  ombrix::test::RendezvousStandin server;
  ASSERT_TRUE(server.ok());
  brx::base::ThreadMessageQueue queue;
  Observer oa, ob;
  IceClient a(&oa), b(&ob);
  const uint16_t ports = FreePorts(2);
  ASSERT_NE(ports, 0);
  for (IceClient* c : {&a, &b}) {
    c->SetBindAddress("127.0.0.1");
    c->SetPortRangeForTesting(ports, 2);
    ASSERT_TRUE(c->Initial());
  }
  auto pump = [&] {
    brx::base::Message m;
    while (queue.Peek(&m, true)) {
      a.DispatchEvents();
      b.DispatchEvents();
    }
  };
  auto wait = [&](const std::function<bool()>& done) {
    return WaitUntil([&] {
      pump();
      return done();
    });
  };
  a.Login(L"127.0.0.1", server.ice_port(), L"sid-a", L"alice", L"Alice");
  b.Login(L"127.0.0.1", server.ice_port(), L"sid-b", L"bob", L"Bob");
  ASSERT_TRUE(wait([&] { return oa.logged_in && ob.logged_in; }));

  a.StartStunUac(L"alice", L"inv-1");  // never towards oneself
  a.StartStunUac(L"bob", L"inv-1");
  ASSERT_TRUE(wait([&] { return ob.stun_invite != nullptr; }));
  const ICEEvent_stun_invite& si = *ob.stun_invite;
  b.StartStunUas(si.id, si.remote_private_ip, L"alice", si.port_type, si.remote_private_port,
                 si.remote_public_ip, si.remote_public_port);
  ASSERT_TRUE(wait([&] { return oa.result && ob.result; }));

  EXPECT_EQ(oa.result->peer_port, ob.result->local_port);
  EXPECT_EQ(ob.result->peer_port, oa.result->local_port);
  EXPECT_EQ(oa.result->bind_port, oa.result->local_port) << "no NAT on loopback";
  EXPECT_GE(oa.result->local_port, 14001);
  EXPECT_LE(oa.result->local_port, 14400);
  EXPECT_EQ(oa.codes.front(), 2) << "the server answered TRYING";
  EXPECT_GE(fcntl(oa.socket, F_GETFD), 0);
  EXPECT_GE(fcntl(ob.socket, F_GETFD), 0);
  pump();
}

}  // namespace
}  // namespace ice
