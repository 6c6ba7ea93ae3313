#include "client/video/signalling/ice_client.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "client/core/message_ids.h"
#include "client/video/signalling/ice_datagrams.h"
#include "runtime/base/thread_message_queue.h"
#include "runtime/platform/tick_clock.h"
#include "tests/support/rendezvous_standin.h"
#include "tests/support/test_support.h"

namespace ice {
namespace {

using ombrix::test::RendezvousStandin;
using ombrix::test::WaitUntil;

// A UDP socket on 127.0.0.1 bound to `port` (0: any); -1 when taken.
int BindUdp(uint16_t port) {
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_ANY);
  if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

uint16_t PortOf(int fd) {
  sockaddr_in a{};
  socklen_t length = sizeof(a);
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
  return ntohs(a.sin_port);
}

void SendTo(int fd, const sockaddr_in& to, const std::string& document) {
  sendto(fd, document.data(), document.size(), 0, reinterpret_cast<const sockaddr*>(&to),
         sizeof(to));
}

// A run of `count` UDP ports free right now, away from 15000-15019 so that
// tests running in parallel do not take each other's ports.
uint16_t FreePortRange(int count) {
  for (int attempt = 0; attempt < 200; ++attempt) {
    uint16_t base = static_cast<uint16_t>(20000 + ((getpid() * 7 + attempt * 131) % 900) * 40);
    std::vector<int> fds;
    for (int i = 0; i < count; ++i) {
      int fd = BindUdp(static_cast<uint16_t>(base + i));
      if (fd < 0) break;
      fds.push_back(fd);
    }
    bool free = static_cast<int>(fds.size()) == count;
    for (int fd : fds) close(fd);
    if (free) return base;
  }
  return 0;
}

// Everything the observer heard, one line per event, in order.
class Recorder : public IceClientObersver {
 public:
  std::vector<std::string> lines;
  std::vector<OnlineFriendInfo> friends;
  std::wstring last_data;
  int last_error = 0;

  void OnIceError(const ICEEvent_error* e) override {
    last_error = e->error_code;
    Add("error " + std::to_string(e->error_code));
  }
  void OnIceLogin(const ICEEvent_ice_login* e) override {
    last_error = e->error_code;
    Add("login " + std::to_string(e->result) + " " + Narrow(e->public_ip));
  }
  void OnIceKickout(const ICEEvent_ice_kickout* e) override {
    Add("kickout " + Narrow(e->new_public_ip) + ":" + std::to_string(e->new_public_port));
  }
  void OnIceLogout(const ICEEvent_ice_logout*) override { Add("logout"); }
  void OnIceInvite(const ICEEvent_ice_invite* e) override {
    last_data = e->data;
    Add("invite " + Narrow(e->id) + " from " + Narrow(e->from) + " " + Narrow(e->from_name));
  }
  void OnIceReply(const ICEEvent_ice_reply* e) override {
    last_data = e->data;
    Add("reply " + Narrow(e->id) + " " + std::to_string(e->result));
  }
  void OnIceHangup(const ICEEvent_ice_hangup* e) override { Add("hangup " + Narrow(e->id)); }
  void OnStunInvite(const ICEEvent_stun_invite* e) override {
    Add("stun_invite " + Narrow(e->id) + " " + std::to_string(e->port_type) + " " +
        Narrow(e->remote_private_ip) + ":" + std::to_string(e->remote_private_port) + " " +
        Narrow(e->remote_public_ip) + ":" + std::to_string(e->remote_public_port));
  }
  void OnRelayReply(const ICEEvent_relay_reply* e) override {
    Add("relay " + Narrow(e->id) + " " + Narrow(e->relay_ip));
  }
  void OnIceGetOnlineFriend(const ICEEvent_ice_getonlinefriend* e) override {
    friends = e->friends;
    Add("friends " + std::to_string(e->record_count) + " page " + std::to_string(e->page));
  }

  bool Has(const std::string& line) const {
    for (auto& l : lines) {
      if (l == line) return true;
    }
    return false;
  }

 private:
  const uint32_t main_thread_ = brx::base::CurrentThreadId();
  static std::string Narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }
  void Add(std::string line) {
    // Handlers run on the test's main thread only.
    EXPECT_EQ(brx::base::CurrentThreadId(), main_thread_);
    lines.push_back(std::move(line));
  }
};

class IceClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.ok());
    base_port_ = FreePortRange(4);
    ASSERT_NE(base_port_, 0);
  }

  std::unique_ptr<IceClient> MakeClient(Recorder* recorder) {
    auto client = std::make_unique<IceClient>(recorder, clock_);
    client->SetPortRangeForTesting(base_port_, 4);
    clients_.push_back(client.get());
    return client;
  }

  // Pumps the main thread's queue, as the main loop does, until `line` was
  // heard (10 s at most).
  bool WaitFor(Recorder& r, const std::string& line) {
    return WaitUntil([&] {
      Pump();
      return r.Has(line);
    });
  }
  void Pump() {
    brx::base::Message m;
    while (queue_.Peek(&m, true)) {
      if (m.message == ombrix::messages::kSignallingEvent) {
        for (IceClient* c : clients_) c->DispatchEvents();
      }
    }
  }
  // How often `fragment` occurs in the datagrams the server received.
  size_t Count(const std::string& fragment) {
    std::string requests = server_.Control("requests");
    size_t count = 0;
    for (size_t at = 0; (at = requests.find(fragment, at)) != std::string::npos;
         at += fragment.size())
      ++count;
    return count;
  }
  bool ServerSaw(const std::string& fragment, size_t times = 1) {
    return WaitUntil([&] { return Count(fragment) >= times; });
  }
  void LogIn(IceClient& client, Recorder& r, const std::wstring& account,
             const std::wstring& name) {
    client.Login(L"127.0.0.1", server_.ice_port(), L"sid-" + account, account, name);
    ASSERT_TRUE(WaitFor(r, "login 1 127.0.0.1"));
    ASSERT_EQ(client.state(), ICE_STATE_LOGGED_IN);
  }

  brx::base::ThreadMessageQueue queue_;
  RendezvousStandin server_;
  brx::platform::ManualTickClock clock_{1000};
  uint16_t base_port_ = 0;
  std::vector<IceClient*> clients_;
};

TEST_F(IceClientTest, LogsInListsFriendsKeepsAliveAndLogsOut) {
  Recorder ra, rb;
  auto a = MakeClient(&ra);
  auto b = MakeClient(&rb);
  ASSERT_TRUE(a->Initial());
  ASSERT_TRUE(b->Initial());
  EXPECT_EQ(a->local_port(), base_port_);
  EXPECT_EQ(b->local_port(), base_port_ + 1);

  LogIn(*a, ra, L"alice", L"Alice");
  EXPECT_EQ(a->public_port(), a->local_port());
  EXPECT_EQ(ntohs(a->stun_server_address().sin_port), server_.stun_port());
  EXPECT_EQ(a->local_ip(), "127.0.0.1");
  LogIn(*b, rb, L"bob", L"Bob");
  // Logged in, a login does nothing.
  a->Login(L"127.0.0.1", server_.ice_port(), L"sid-again", L"alice", L"Alice");

  a->GetOnlineFriend(1, 10);
  ASSERT_TRUE(WaitFor(ra, "friends 2 page 1"));
  ASSERT_EQ(ra.friends.size(), 2u);
  EXPECT_EQ(ra.friends[1].user_account, L"bob");
  EXPECT_EQ(ra.friends[1].user_name, L"Bob");
  EXPECT_EQ(Count(R"(sid=\"sid-again\")"), 0u);

  // The keep-alive runs on the logic tick's clock: the first tick starts
  // the count; nothing at 4999 ms, one at 5000. Each check waits for a
  // request sent after the ticks on the same socket.
  const std::string keep_alive = R"(step=\"KEEPALIVE\" sid=\"sid-alice\")";
  a->KeepAliveTick();
  clock_.Advance(4999);
  a->KeepAliveTick();
  a->GetOnlineFriend(7, 10);
  ASSERT_TRUE(ServerSaw(R"(page=\"7\")"));
  EXPECT_EQ(Count(keep_alive), 0u);
  clock_.Advance(1);
  a->KeepAliveTick();
  a->KeepAliveTick();
  a->GetOnlineFriend(8, 10);
  ASSERT_TRUE(ServerSaw(R"(page=\"8\")"));
  EXPECT_EQ(Count(keep_alive), 1u);

  // Rename: only while logged in and only when the name changes.
  a->Rename(L"Alice");
  a->Rename(L"Alice 2");
  ASSERT_TRUE(ServerSaw(R"(user_name=\"Alice 2\")"));
  EXPECT_EQ(Count(R"(step=\"RENAME\")"), 1u);

  EXPECT_GE(a->Logout(), 0);
  EXPECT_EQ(a->state(), ICE_STATE_OFFLINE);
  ASSERT_TRUE(
      WaitUntil([&] { return server_.Control("online") == R"({"ok": true, "online": ["bob"]})"; }));
  // Offline: the name is kept as it was and nothing is sent, not even a
  // keep-alive when its time comes. LOGOUT goes out in any state, so it
  // marks the end of what the calls before it sent.
  a->Rename(L"Alice 3");
  clock_.Advance(5000);
  a->KeepAliveTick();
  a->Logout();
  ASSERT_TRUE(ServerSaw(R"(step=\"LOGOUT\")", 2));
  EXPECT_EQ(a->display_name(), L"Alice 2");
  EXPECT_EQ(Count(R"(step=\"RENAME\")"), 1u);
  EXPECT_EQ(Count(keep_alive), 1u);
}

TEST_F(IceClientTest, LoginWhilePendingIsSentAgainAndRenameWaitsForIt) {
  Recorder ra;
  auto a = MakeClient(&ra);
  ASSERT_TRUE(a->Initial());
  ASSERT_EQ(server_.Control("silent LOGIN"), R"({"ok": true})");
  a->Login(L"127.0.0.1", server_.ice_port(), L"sid-alice", L"alice", L"Alice");
  a->Login(L"127.0.0.1", server_.ice_port(), L"sid-alice", L"alice", L"Alice");
  ASSERT_TRUE(ServerSaw(R"(step=\"LOGIN\")", 2));
  EXPECT_EQ(a->state(), ICE_STATE_LOGGING_IN);
  // Logging in, a rename is not sent and the name is kept.
  a->Rename(L"Other");
  a->Logout();
  ASSERT_TRUE(ServerSaw(R"(step=\"LOGOUT\")"));
  EXPECT_EQ(Count(R"(step=\"RENAME\")"), 0u);
  EXPECT_EQ(a->display_name(), L"Alice");
}

TEST_F(IceClientTest, InvitationsAndAnswersReachTheOtherSide) {
  Recorder ra, rb;
  auto a = MakeClient(&ra);
  auto b = MakeClient(&rb);
  ASSERT_TRUE(a->Initial());
  ASSERT_TRUE(b->Initial());
  LogIn(*a, ra, L"alice", L"Al & \"Ice\"");
  LogIn(*b, rb, L"bob", L"Bob");

  const std::wstring payload = L"{\n   \"sender\" : \"alice\",\n   \"x\" : \"]]>\"\n}\n";
  a->Invite(payload, L"i1", L"bob");
  ASSERT_TRUE(WaitFor(rb, "invite i1 from alice Al & \"Ice\""));
  EXPECT_EQ(rb.last_data, payload);

  b->Reply(L"i1", L"alice", 0, L"{\"type\": \"video\"}");
  ASSERT_TRUE(WaitFor(ra, "reply i1 4"));
  EXPECT_EQ(ra.last_data, L"{\"type\": \"video\"}");

  struct {
    const wchar_t* id;
    int answer;
    const char* heard;
  } answers[] = {{L"i2", 1, "reply i2 5"}, {L"i3", 2, "reply i3 6"}, {L"i4", 3, "reply i4 7"}};
  for (auto& c : answers) {
    a->Invite(payload, c.id, L"bob");
    b->Reply(c.id, L"alice", c.answer, L"");
    ASSERT_TRUE(WaitFor(ra, c.heard)) << c.heard;
  }

  // A hang-up reaches the other party, also when the invited side names
  // itself as the target: the server routes by invitation id.
  b->Hangup(L"bob", L"i1");
  ASSERT_TRUE(WaitFor(ra, "hangup i1"));
  a->Hangup(L"bob", L"i1");
  ASSERT_TRUE(WaitFor(rb, "hangup i1"));

  // An invitation to someone offline is answered OFFLINE by the server.
  a->Invite(payload, L"i5", L"carol");
  ASSERT_TRUE(WaitFor(ra, "reply i5 1"));

  // Relay requests are answered to both parties, once each.
  b->RelayInvite(L"i1", L"alice");
  ASSERT_TRUE(WaitFor(ra, "relay i1 127.0.0.1"));
  ASSERT_TRUE(WaitFor(rb, "relay i1 127.0.0.1"));
}

TEST_F(IceClientTest, StandinKeepsCallsThatShareAnIdApart) {
  // The games choose invitation ids, so a third player's invitation may
  // carry the id of a call in progress; the server still routes each
  // call's answers, relay and hang-up between its own two parties.
  Recorder ra, rb, rc;
  auto a = MakeClient(&ra);
  auto b = MakeClient(&rb);
  auto c = MakeClient(&rc);
  ASSERT_TRUE(a->Initial());
  ASSERT_TRUE(b->Initial());
  ASSERT_TRUE(c->Initial());
  LogIn(*a, ra, L"alice", L"Alice");
  LogIn(*b, rb, L"bob", L"Bob");
  LogIn(*c, rc, L"carol", L"Carol");

  a->Invite(L"{}", L"dup", L"bob");
  ASSERT_TRUE(WaitFor(rb, "invite dup from alice Alice"));
  b->Reply(L"dup", L"alice", 0, L"{}");
  ASSERT_TRUE(WaitFor(ra, "reply dup 4"));
  // Carol calls the busy Bob under the same id; his answer is hers.
  c->Invite(L"{}", L"dup", L"bob");
  ASSERT_TRUE(WaitFor(rb, "invite dup from carol Carol"));
  b->Reply(L"dup", L"carol", 2, L"");
  ASSERT_TRUE(WaitFor(rc, "reply dup 6"));
  // Alice and Bob's call goes on: the relay is theirs, and so is a
  // hang-up; Carol hears of neither.
  b->RelayInvite(L"dup", L"alice");
  ASSERT_TRUE(WaitFor(ra, "relay dup 127.0.0.1"));
  ASSERT_TRUE(WaitFor(rb, "relay dup 127.0.0.1"));
  a->Hangup(L"bob", L"dup");
  ASSERT_TRUE(WaitFor(rb, "hangup dup"));
  // A last request of Carol's marks the end of what she could have heard.
  c->GetOnlineFriend(1, 10);
  ASSERT_TRUE(WaitFor(rc, "friends 3 page 1"));
  EXPECT_FALSE(rc.Has("relay dup 127.0.0.1"));
  EXPECT_FALSE(rc.Has("hangup dup"));
}

TEST_F(IceClientTest, KickoutAndServerLogout) {
  Recorder ra, rb, rc;
  auto a = MakeClient(&ra);
  auto b = MakeClient(&rb);
  auto c = MakeClient(&rc);
  ASSERT_TRUE(a->Initial());
  ASSERT_TRUE(b->Initial());
  ASSERT_TRUE(c->Initial());
  LogIn(*a, ra, L"alice", L"Alice");
  LogIn(*b, rb, L"bob", L"Bob");

  // A server-side logout is only reported; the state stays.
  EXPECT_EQ(server_.Control("logout bob"), R"({"ok": true})");
  ASSERT_TRUE(WaitFor(rb, "logout"));
  EXPECT_EQ(b->state(), ICE_STATE_LOGGED_IN);

  // The same account logging in elsewhere kicks the first login out.
  c->Login(L"127.0.0.1", server_.ice_port(), L"sid-alice-2", L"alice", L"Alice");
  ASSERT_TRUE(WaitFor(rc, "login 1 127.0.0.1"));
  ASSERT_TRUE(WaitFor(ra, "kickout 127.0.0.1:" + std::to_string(c->local_port())));
  EXPECT_EQ(a->state(), ICE_STATE_OFFLINE);

  EXPECT_EQ(server_.Control("kickout alice 10.0.0.9 4242"), R"({"ok": true})");
  ASSERT_TRUE(WaitFor(rc, "kickout 10.0.0.9:4242"));
  EXPECT_EQ(c->state(), ICE_STATE_OFFLINE);
  // Offline, invitations are not even sent; LOGOUT is, in any state, so
  // once the server has both logouts it would have had the invitations.
  c->Invite(L"{}", L"i9", L"bob");
  a->Invite(L"{}", L"i9", L"bob");
  c->Logout();
  a->Logout();
  ASSERT_TRUE(ServerSaw(R"(step=\"LOGOUT\" sid=\"sid-alice-2\")"));
  ASSERT_TRUE(ServerSaw(R"(step=\"LOGOUT\" sid=\"sid-alice\")"));
  EXPECT_EQ(Count("i9"), 0u);
}

TEST_F(IceClientTest, RejectedLoginAndStaleReplies) {
  Recorder ra;
  auto a = MakeClient(&ra);
  ASSERT_TRUE(a->Initial());
  server_.Control("reject alice");
  a->Login(L"127.0.0.1", server_.ice_port(), L"sid", L"alice", L"Alice");
  ASSERT_TRUE(WaitFor(ra, "login 0 "));
  EXPECT_EQ(a->state(), ICE_STATE_OFFLINE);

  // A login reply that comes after the client gave up must not log it in.
  std::string reply =
      "<command name=\"ICE\" step=\"LOGIN\" result=\"OK\"><host server_port_udp=\"1\" "
      "local_pub_ip=\"1.1.1.1\" "
      "local_pub_port=\"1\"/></command>";
  server_.Control("sendto 127.0.0.1 " + std::to_string(a->local_port()) + " " + reply);
  server_.Control("sendto 127.0.0.1 " + std::to_string(a->local_port()) +
                  " <command name=\"ICE\" step=\"LOGOUT\"/>");
  ASSERT_TRUE(WaitFor(ra, "logout"));  // sent after the stale reply, so that one was read
  EXPECT_EQ(a->state(), ICE_STATE_OFFLINE);
  EXPECT_FALSE(ra.Has("login 1 1.1.1.1"));

  // Login rules: no name, nothing; no session id, logging in but silent.
  a->Login(L"127.0.0.1", server_.ice_port(), L"sid", L"alice", L"");
  EXPECT_EQ(a->state(), ICE_STATE_OFFLINE);
  a->Login(L"127.0.0.1", server_.ice_port(), L"", L"alice", L"Alice");
  EXPECT_EQ(a->state(), ICE_STATE_LOGGING_IN);
}

TEST_F(IceClientTest, LoginWhereNothingListensFailsOnceAndTheReceiverGoesOn) {
  Recorder ra;
  auto a = MakeClient(&ra);
  ASSERT_TRUE(a->Initial());
  int probe = BindUdp(0);
  sockaddr_in bound{};
  socklen_t length = sizeof(bound);
  getsockname(probe, reinterpret_cast<sockaddr*>(&bound), &length);
  int dead_port = ntohs(bound.sin_port);
  close(probe);

  a->Login(L"127.0.0.1", dead_port, L"sid", L"alice", L"Alice");
  ASSERT_TRUE(WaitFor(ra, "login 0 "));
  EXPECT_EQ(ra.last_error, ECONNREFUSED);
  EXPECT_EQ(a->state(), ICE_STATE_LOGGING_IN);

  // Offline, the same answer is an error event; the receiver keeps going.
  a->Logout();
  ASSERT_TRUE(WaitFor(ra, "error " + std::to_string(ECONNREFUSED)));
  a->Login(L"127.0.0.1", server_.ice_port(), L"sid", L"alice", L"Alice");
  ASSERT_TRUE(WaitFor(ra, "login 1 127.0.0.1"));
  EXPECT_EQ(ra.lines, (std::vector<std::string>{"login 0 ", "error " + std::to_string(ECONNREFUSED),
                                                "login 1 127.0.0.1"}));
}

TEST_F(IceClientTest, EventsKeepTheirOrderAcrossOneWakeUp) {
  Recorder ra;
  auto a = MakeClient(&ra);
  for (int i = 0; i < 5; ++i) {
    auto e = std::make_unique<ICEEvent_ice_hangup>();
    e->id = std::to_wstring(i);
    a->PostEvent(std::move(e));
  }
  a->PostEvent(std::make_unique<ICEEvent_stun_reply>());  // no handler: freed
  EXPECT_TRUE(a->DispatchEvents());
  EXPECT_EQ(ra.lines,
            (std::vector<std::string>{"hangup 0", "hangup 1", "hangup 2", "hangup 3", "hangup 4"}));
  EXPECT_TRUE(a->DispatchEvents());
  EXPECT_EQ(ra.lines.size(), 5u);
}

TEST_F(IceClientTest, ResetWhileLoggedInIsAnErrorAndTheReceiverGoesOn) {
  Recorder ra;
  auto a = MakeClient(&ra);
  ASSERT_TRUE(a->Initial());
  // A server of the test's own: it answers the login, then goes away.
  int server = BindUdp(0);
  a->Login(L"127.0.0.1", PortOf(server), L"sid", L"alice", L"Alice");
  pollfd p{server, POLLIN, 0};
  ASSERT_EQ(poll(&p, 1, 5000), 1);
  char buffer[4096];
  sockaddr_in client{};
  socklen_t length = sizeof(client);
  ASSERT_GT(
      recvfrom(server, buffer, sizeof(buffer), 0, reinterpret_cast<sockaddr*>(&client), &length),
      0);
  SendTo(server, client,
         "<command name=\"ICE\" step=\"LOGIN\" result=\"OK\"><host server_port_udp=\"1\" "
         "local_pub_ip=\"1.1.1.1\" "
         "local_pub_port=\"1\"/></command>");
  ASSERT_TRUE(WaitFor(ra, "login 1 1.1.1.1"));
  close(server);

  a->KeepAlive();  // answered by a port unreachable
  ASSERT_TRUE(WaitFor(ra, "error " + std::to_string(ECONNREFUSED)));
  EXPECT_EQ(a->state(), ICE_STATE_LOGGED_IN);
  int other = BindUdp(0);
  SendTo(other, client, "<command name=\"ICE\" step=\"HANGUP\" id=\"h1\"/>");
  ASSERT_TRUE(WaitFor(ra, "hangup h1"));
  close(other);
  EXPECT_EQ(ra.lines,
            (std::vector<std::string>{"login 1 1.1.1.1", "error " + std::to_string(ECONNREFUSED),
                                      "hangup h1"}));
}

// A datagram is read against the state of the moment; when the main
// thread logs out before the receive thread acts on it, what it meant is
// void, whether it would have changed the state or not.
TEST_F(IceClientTest, DatagramsReadBeforeAConcurrentLogoutAreVoid) {
  Recorder ra;
  auto a = MakeClient(&ra);
  std::atomic<bool> log_out_next{false};
  a->SetRouteHookForTesting([&] {
    if (log_out_next.exchange(false)) a->Logout();
  });
  ASSERT_TRUE(a->Initial());
  const std::string to_a = "sendto 127.0.0.1 " + std::to_string(a->local_port()) + " ";
  const std::string server_logout = "<command name=\"ICE\" step=\"LOGOUT\"/>";
  struct {
    const char* what;
    std::string document;
  } cases[] = {
      {"invitation",
       "<command name=\"ICE\" step=\"INVITE\" from=\"bob\" to=\"alice\" id=\"r1\" "
       "from_name=\"Bob\">"
       "<data><![CDATA[{}]]></data></command>"},
      {"kick-out",
       "<command name=\"ICE\" step=\"KICKOUT\"><host new_pub_ip=\"1.1.1.1\" "
       "new_pub_port=\"1\"/></command>"},
  };
  size_t logouts = 0;
  for (auto& c : cases) {
    SCOPED_TRACE(c.what);
    ra.lines.clear();
    LogIn(*a, ra, L"alice", L"Alice");
    log_out_next = true;
    server_.Control(to_a + c.document);
    server_.Control(to_a + server_logout);  // reported in any state
    ASSERT_TRUE(WaitFor(ra, "logout"));
    EXPECT_EQ(ra.lines, (std::vector<std::string>{"login 1 127.0.0.1", "logout"}));
    EXPECT_EQ(a->state(), ICE_STATE_OFFLINE);
    ASSERT_TRUE(ServerSaw(R"(step=\"LOGOUT\")", ++logouts));
  }
}

// The route lookup makes system calls; other threads reading the client
// meanwhile must not wait for it.
TEST_F(IceClientTest, LoginLooksUpItsRouteWithoutHoldingTheLock) {
  Recorder ra;
  auto a = MakeClient(&ra);
  bool others_got_in = false;
  std::future<std::wstring> reader;  // outlives the lookup, which must not wait for it
  a->SetRouteLookupForTesting([&](const sockaddr_in&) {
    reader = std::async(std::launch::async, [&] { return a->display_name(); });
    others_got_in = reader.wait_for(std::chrono::seconds(2)) == std::future_status::ready;
    return std::string("127.0.0.9");
  });
  a->Login(L"127.0.0.1", server_.ice_port(), L"", L"alice", L"Alice");
  EXPECT_TRUE(others_got_in);
  EXPECT_EQ(a->local_ip(), "127.0.0.9");
}

TEST_F(IceClientTest, InitialFailsWhenEveryPortIsTaken) {
  Recorder ra;
  std::vector<int> taken;
  for (int i = 0; i < 4; ++i) taken.push_back(BindUdp(static_cast<uint16_t>(base_port_ + i)));
  auto a = MakeClient(&ra);
  EXPECT_FALSE(a->Initial());
  close(taken[2]);
  taken[2] = -1;
  auto b = MakeClient(&ra);
  EXPECT_TRUE(b->Initial());
  EXPECT_EQ(b->local_port(), base_port_ + 2);
  for (int fd : taken) {
    if (fd >= 0) close(fd);
  }
}

TEST_F(IceClientTest, InitialAfterABadBindAddressBindsOrFailsAgain) {
  Recorder ra;
  auto a = MakeClient(&ra);
  a->SetBindAddress("localhost");  // names are not resolved
  EXPECT_FALSE(a->Initial());
  EXPECT_FALSE(a->Initial());
  a->SetBindAddress("127.0.0.1");
  ASSERT_TRUE(a->Initial());
  EXPECT_EQ(a->local_port(), base_port_);
  LogIn(*a, ra, L"alice", L"Alice");
  EXPECT_EQ(a->local_ip(), "127.0.0.1");
}

// "silent STEP" quiets ICE documents of that step, and only those.
TEST_F(IceClientTest, StandinSilencesOnlyTheNamedIceStep) {
  Recorder ra, rb;
  auto a = MakeClient(&ra);
  auto b = MakeClient(&rb);
  ASSERT_TRUE(a->Initial());
  ASSERT_TRUE(b->Initial());
  LogIn(*a, ra, L"alice", L"Alice");
  LogIn(*b, rb, L"bob", L"Bob");
  a->Invite(L"{}", L"i1", L"bob");
  ASSERT_TRUE(WaitFor(rb, "invite i1 from alice Alice"));
  ASSERT_EQ(server_.Control("silent INVITE"), R"({"ok": true})");
  a->Invite(L"{}", L"i2", L"bob");
  a->RelayInvite(L"i1", L"bob");
  ASSERT_TRUE(WaitFor(ra, "relay i1 127.0.0.1"));
  ASSERT_TRUE(WaitFor(rb, "relay i1 127.0.0.1"));
  EXPECT_FALSE(rb.Has("invite i2 from alice Alice"));
}

TEST_F(IceClientTest, OversizedDocumentIsNotSent) {
  Recorder ra, rb;
  auto a = MakeClient(&ra);
  ASSERT_TRUE(a->Initial());
  LogIn(*a, ra, L"alice", L"Alice");
  EXPECT_EQ(a->SendData(std::string(4097, 'x')), -1);
  EXPECT_EQ(errno, EMSGSIZE);
  a->Invite(std::wstring(5000, L'x'), L"big", L"bob");
  a->Invite(L"{}", L"small", L"bob");
  ASSERT_TRUE(ServerSaw("small"));
  EXPECT_EQ(server_.Control("requests").find("\\\"big\\\""), std::string::npos);
}

// Reads one datagram (5 s at most); empty when none came.
std::string ReceiveOn(int fd) {
  pollfd p{fd, POLLIN, 0};
  if (poll(&p, 1, 5000) != 1) return {};
  char buf[4097];
  ssize_t n = recv(fd, buf, 4096, 0);
  return n > 0 ? std::string(buf, n) : std::string();
}

// The binding announcements go to the server's STUN port from the binding
// sockets (played here by plain UDP sockets); the server passes the
// inviter's to the invited client and the invited side's back to the
// inviter's binding socket.
TEST_F(IceClientTest, StunPortPassesBindingAnnouncements) {
  Recorder ra, rb;
  auto a = MakeClient(&ra);
  auto b = MakeClient(&rb);
  ASSERT_TRUE(a->Initial());
  ASSERT_TRUE(b->Initial());
  LogIn(*a, ra, L"alice", L"Alice");
  LogIn(*b, rb, L"bob", L"Bob");
  a->Invite(L"{}", L"i1", L"bob");
  ASSERT_TRUE(WaitFor(rb, "invite i1 from alice Alice"));

  sockaddr_in stun = a->stun_server_address();
  ASSERT_EQ(ntohs(stun.sin_port), server_.stun_port());
  auto send_to_stun = [&](int fd, const std::string& doc) {
    sendto(fd, doc.data(), doc.size(), 0, reinterpret_cast<sockaddr*>(&stun), sizeof(stun));
  };
  int uac = BindUdp(0);
  int uas = BindUdp(0);
  send_to_stun(uac, StunInviteDatagram(L"sid-alice", L"bob", L"i1", 1, L"10.1.0.2", 14001));
  EXPECT_EQ(ReceiveOn(uac),
            std::string(kXmlDeclaration) + "<command name=\"STUN\" step=\"TRYING\" id=\"i1\"/>");
  ASSERT_TRUE(
      WaitFor(rb, "stun_invite i1 1 10.1.0.2:14001 127.0.0.1:" + std::to_string(PortOf(uac))));

  send_to_stun(uas, StunRingingDatagram(L"sid-bob", L"alice", L"i1", L"10.2.0.2", 14003,
                                        L"127.0.0.1", PortOf(uac)));
  std::string ringing = ReceiveOn(uac);
  EXPECT_NE(
      ringing.find(
          "step=\"RINGING\" id=\"i1\"><host remote_pri_ip=\"10.2.0.2\" remote_pri_port=\"14003\" "
          "remote_pub_ip=\"127.0.0.1\" remote_pub_port=\"" +
          std::to_string(PortOf(uas)) + "\"/>"),
      std::string::npos)
      << ringing;

  // An announcement for someone offline is answered OFFLINE.
  send_to_stun(uac, StunInviteDatagram(L"sid-alice", L"carol", L"i2", 2, L"10.1.0.2", 14001));
  EXPECT_EQ(ReceiveOn(uac),
            std::string(kXmlDeclaration) + "<command name=\"STUN\" step=\"OFFLINE\" id=\"i2\"/>");
  close(uac);
  close(uas);
}

// A stand-in that stops answering makes a control command fail, not hang.
TEST(RendezvousStandinTest, ControlGivesUpOnAServerThatDoesNotAnswer) {
  RendezvousStandin server;
  ASSERT_TRUE(server.ok());
  server.set_control_timeout_ms(300);
  const std::string none_online = R"({"ok": true, "online": []})";
  ASSERT_EQ(server.Control("online"), none_online);
  ASSERT_EQ(kill(server.pid(), SIGSTOP), 0);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(server.Control("online"), "");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  ASSERT_EQ(kill(server.pid(), SIGCONT), 0);
  EXPECT_EQ(server.Control("online"), none_online);  // on a new link
}

}  // namespace
}  // namespace ice
