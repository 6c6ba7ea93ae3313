#include "client/video/interact/ob_logic_interact.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "client/core/message_ids.h"
#include "client/video/interact/invitation_json.h"
#include "client/video/transport/peer_messages.h"
#include "client/video/transport/tcp_service_client_manager_video_transfer.h"
#include "client/video/transport/video_transfer_notice.h"
#include "runtime/base/thread.h"
#include "runtime/base/thread_message_queue.h"
#include "tests/client/video/interact/interact_fakes.h"
#include "tests/support/loopback_socket.h"
#include "tests/support/process_memory.h"
#include "tests/support/test_support.h"

namespace {

using ombrix::test::EventLog;
using ombrix::test::FakeHost;
using ombrix::test::FakeSignalling;
using ombrix::test::WaitUntil;

constexpr uint32_t kForwarded = 0x7001;
constexpr uint32_t kForwardedNotice = 0x7002;

// A thread whose queue takes the other side's messages and hands them on
// to the test's thread, so that both sides run on the test's thread while
// their notices stay apart.
class Forwarder {
 public:
  explicit Forwarder(uint32_t to) {
    std::promise<uint32_t> id;
    thread_ = std::thread([this, to, &id] {
      brx::base::ThreadMessageQueue queue;
      id.set_value(queue.thread_id());
      brx::base::Message m;
      while (queue.Get(&m)) {
        // A notice's payload moves on with it, to the test thread's queue.
        if (m.message == ombrix::messages::kVideoTransportNotice) {
          brx::base::PostOwnedMessage(to, 0, kForwardedNotice,
                                      brx::base::TakeMessagePayload<VideoTransferNotice>(m.wParam));
        } else {
          brx::base::PostOwnedMessage(to, 0, kForwarded, std::make_unique<brx::base::Message>(m));
        }
      }
    });
    tid_ = id.get_future().get();
  }
  ~Forwarder() {
    brx::base::PostThreadMessage(tid_, brx::base::WM_QUIT, 0, 0);
    thread_.join();
  }
  uint32_t tid() const { return tid_; }

 private:
  std::thread thread_;
  uint32_t tid_ = 0;
};

struct Side {
  Side(const std::wstring& account, const std::wstring& name) : events(&chain) {
    host.user = {account, L"sid-" + account, name};
    auto fake = std::make_unique<FakeSignalling>();
    signalling = fake.get();
    logic = std::make_unique<OBLogicInteract>(&chain, &host, std::move(fake), clock);
  }
  brx::platform::ManualTickClock clock{0xFFFF0000u};  // near the wrap, which must not matter
  EventChain chain;
  FakeHost host;
  EventLog events;
  FakeSignalling* signalling;
  std::unique_ptr<OBLogicInteract> logic;
};

// Alice and Bob, both run on the test's thread; Bob's messages come
// through a forwarding thread, so the two sides' notices stay apart.
struct TwoSides {
  bool Start() { return a.logic->Start(queue.thread_id()) && b.logic->Start(forward_b.tid()); }
  // Hands every waiting message to its side.
  void Pump() {
    brx::base::Message m;
    while (queue.Peek(&m, true)) {
      if (m.message == kForwarded) {
        std::unique_ptr<brx::base::Message> inner =
            brx::base::TakeMessagePayload<brx::base::Message>(m.wParam);
        b.logic->OnThreadMessage(inner->message, inner->wParam);
      } else if (m.message == kForwardedNotice) {
        b.logic->OnThreadMessage(ombrix::messages::kVideoTransportNotice, m.wParam);
      } else {
        a.logic->OnThreadMessage(m.message, m.wParam);
      }
    }
  }
  // Both sides stop; what they retired is freed.
  void Stop() {
    a.logic->Stop();
    b.logic->Stop();
    Pump();
  }
  bool Wait(const std::function<bool()>& done,
            std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    return WaitUntil(
        [&] {
          Pump();
          return done();
        },
        timeout);
  }

  brx::base::ThreadMessageQueue queue;
  Forwarder forward_b{queue.thread_id()};
  Side a{L"alice", L"Alice"};
  Side b{L"bob", L"Bob"};
};

// Runs the messages of a side alone on the test's thread until `done`
// holds.
bool RunUntil(brx::base::ThreadMessageQueue& queue, Side& side, const std::function<bool()>& done) {
  return WaitUntil([&] {
    brx::base::Message m;
    while (queue.Peek(&m, true)) side.logic->OnThreadMessage(m.message, m.wParam);
    return done();
  });
}

// The rendezvous server's answer naming a relay on this host.
std::unique_ptr<ice::ICEEvent_relay_reply> RelayAt(const std::wstring& id, uint16_t port) {
  auto relay = std::make_unique<ice::ICEEvent_relay_reply>();
  relay->id = id;
  relay->relay_ip = L"127.0.0.1";
  relay->relay_port = port;
  return relay;
}

std::unique_ptr<ice::ICEEvent_stun_ready> Ready(const std::wstring& id, uint16_t peer_port) {
  auto ready = std::make_unique<ice::ICEEvent_stun_ready>();
  ready->id = id;
  uint16_t bound = 0;
  ready->socket = ombrix::test::BindLoopbackUdp(&bound);
  ready->result = std::make_unique<ice::BindingResult>();
  ready->result->id = id;
  ready->result->bind_ip = L"127.0.0.1";
  ready->result->bind_port = bound;
  ready->result->local_port = bound;  // the punched socket's own port
  ready->result->peer_ip = L"127.0.0.1";
  ready->result->peer_port = peer_port;
  return ready;
}

// Red left half, blue right half, a white top band: swapped channels or
// chroma planes, or rows upside down, all move far from it.
std::vector<uint8_t> Pattern(int w, int h) {
  std::vector<uint8_t> f(static_cast<size_t>(w) * h * 3);
  for (int row = 0; row < h; ++row)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = &f[(static_cast<size_t>(h - 1 - row) * w + x) * 3];
      if (row < h / 4) {
        p[0] = p[1] = p[2] = 255;
      } else if (x < w / 2) {
        p[0] = 0, p[1] = 0, p[2] = 255;
      } else {
        p[0] = 255, p[1] = 0, p[2] = 0;
      }
    }
  return f;
}

const uint8_t* PixelAt(const std::vector<uint8_t>& f, int w, int h, int row, int x) {
  return &f[(static_cast<size_t>(h - 1 - row) * w + x) * 3];
}

// Alice's game sends, Bob's watches: invitation, acceptance and binding
// as the rendezvous server would play them, up to the direct link being
// ready on both sides. `wait` runs both sides' messages until its
// condition holds.
void ConnectDirectCall(Side& a, Side& b, const std::wstring& id,
                       const std::function<bool(const std::function<bool()>&)>& wait) {
  a.logic->InviteVideo(id, L"bob", true, {FromHandle::kGameClient, 7});
  ice::ICEEvent_ice_invite invite;
  invite.id = id;
  invite.from = invite.inviter = L"alice";
  invite.from_name = L"Alice";
  invite.data = a.signalling->last_payload;
  b.logic->OnIceInvite(&invite);
  b.logic->ReplyVideoInvite(id, 0, {FromHandle::kGameClient, 9});
  ice::ICEEvent_ice_reply answer;
  answer.id = id;
  answer.result = ice::ICE_REPLY_ACCEPT;
  answer.data = b.signalling->last_payload;
  a.logic->OnIceReply(&answer);
  ice::ICEEvent_stun_invite stun_invite;
  stun_invite.id = id;
  b.logic->OnStunInvite(&stun_invite);
  auto ready_a = Ready(id, 0);
  auto ready_b = Ready(id, static_cast<uint16_t>(ready_a->result->local_port));
  a.logic->OnStunReady(ready_a.get());
  b.logic->OnStunReady(ready_b.get());
  ASSERT_TRUE(wait([&] {
    return a.logic->SessionStateForTesting(id) == VideoSession::kReady &&
           b.logic->SessionStateForTesting(id) == VideoSession::kReady;
  }));
}

TEST(OBLogicInteract, DirectSessionFromInviteToDetachWithThePeerAsTarget) {
  TwoSides call;
  ASSERT_TRUE(call.Start());
  Side& a = call.a;
  Side& b = call.b;
  auto wait = [&](const std::function<bool()>& done) { return call.Wait(done); };
  const FromHandle game_a{FromHandle::kGameClient, 7}, game_b{FromHandle::kGameClient, 9};

  // Alice invites Bob to watch her game; the server passes it on.
  a.logic->InviteVideo(L"inv-1", L"alice", true, game_a);  // oneself: nothing
  a.logic->InviteVideo(L"inv-1", L"bob", true, game_a);
  ASSERT_EQ(a.signalling->calls, std::vector<std::string>{"Invite inv-1 bob"});
  ice::ICEEvent_ice_invite invite;
  invite.id = L"inv-1";
  invite.from = invite.inviter = L"alice";
  invite.from_name = L"Alice";
  invite.data = a.signalling->last_payload;
  b.logic->OnIceInvite(&invite);
  EXPECT_EQ(b.events.lines(), std::vector<std::string>{"46 inv-1 Alice 0"});

  // Bob accepts (twice: the second answer is ignored).
  b.logic->ReplyVideoInvite(L"inv-1", 0, game_b);
  b.logic->ReplyVideoInvite(L"inv-1", 1, game_b);
  ASSERT_EQ(b.signalling->calls, std::vector<std::string>{"Reply inv-1 alice 0"});
  ice::ICEEvent_ice_reply answer;
  answer.id = L"inv-1";
  answer.result = ice::ICE_REPLY_ACCEPT;
  answer.data = b.signalling->last_payload;
  a.logic->OnIceReply(&answer);
  a.logic->OnIceReply(&answer);  // a repeated answer starts nothing more
  EXPECT_EQ(a.events.Count("47 inv-1 4"), 1u);
  EXPECT_EQ(a.signalling->Count("StartStunUac bob inv-1"), 1u);

  // The binding: Bob's side aims at Alice, not at itself.
  ice::ICEEvent_stun_invite stun_invite;
  stun_invite.id = L"inv-1";
  b.logic->OnStunInvite(&stun_invite);
  EXPECT_EQ(b.signalling->Count("StartStunUas inv-1 alice"), 1u);
  EXPECT_EQ(b.logic->SessionStateForTesting(L"inv-1"), 1);

  // Both bindings confirm; Alice listens, Bob connects to her punched port.
  auto ready_a = Ready(L"inv-1", 0);
  const uint16_t port_a = static_cast<uint16_t>(ready_a->result->local_port);
  auto ready_b = Ready(L"inv-1", port_a);
  a.logic->OnStunReady(ready_a.get());
  b.logic->OnStunReady(ready_b.get());
  EXPECT_EQ(ready_a->socket, -1) << "the binding socket was taken";
  ASSERT_TRUE(wait([&] {
    return a.events.Count("50 inv-1") == 1 && b.logic->SessionStateForTesting(L"inv-1") == 3;
  }));
  EXPECT_EQ(a.logic->SessionStateForTesting(L"inv-1"), 3);
  EXPECT_EQ(b.events.Count("50 inv-1"), 0u) << "only the sending side hears ready";

  // Alice's game streams; Bob's game gets the pictures, colours intact.
  const int w = 320, h = 240;
  const std::vector<uint8_t> frame = Pattern(w, h);
  b.logic->PushVideoFrame(L"inv-1", frame.data(), uint32_t(frame.size()), 25, w,
                          h);  // Bob does not send
  for (size_t i = 1; i <= 5; ++i) {
    a.logic->PushVideoFrame(L"inv-1", frame.data(), uint32_t(frame.size()), 25, w, h);
    ASSERT_TRUE(wait([&] { return b.events.frame_count() >= i; })) << i;
  }
  EXPECT_EQ(a.events.frame_count(), 0u);
  const std::vector<uint8_t> got = b.events.last_frame();
  ASSERT_EQ(got.size(), frame.size());
  const uint8_t* red = PixelAt(got, w, h, h * 3 / 4, w / 4);
  const uint8_t* blue = PixelAt(got, w, h, h * 3 / 4, w * 3 / 4);
  const uint8_t* white = PixelAt(got, w, h, h / 8, w / 2);
  EXPECT_TRUE(red[2] > 200 && red[0] < 50)
      << int(red[0]) << "," << int(red[1]) << "," << int(red[2]);
  EXPECT_TRUE(blue[0] > 200 && blue[2] < 50)
      << int(blue[0]) << "," << int(blue[1]) << "," << int(blue[2]);
  EXPECT_TRUE(white[0] > 200 && white[1] > 200 && white[2] > 200);

  // Bob's game leaves while frames still flow: his side hangs up to Alice;
  // Alice's side sees the link close and stops with event 48.
  for (int i = 0; i < 3; ++i)
    a.logic->PushVideoFrame(L"inv-1", frame.data(), uint32_t(frame.size()), 25, w, h);
  b.logic->StopVideoOfRequester(game_b);
  EXPECT_EQ(b.signalling->Count("Hangup alice inv-1"), 1u);
  EXPECT_EQ(b.logic->SessionStateForTesting(L"inv-1"), -1);
  ASSERT_TRUE(wait([&] { return a.events.Count("48 inv-1") == 1; }));
  EXPECT_EQ(a.signalling->Count("Hangup bob inv-1"), 1u);
  ASSERT_TRUE(wait([&] {
    return a.logic->RetiredCodecsForTesting() == 0 && b.logic->RetiredCodecsForTesting() == 0;
  }));
  call.Stop();
}

TEST(OBLogicInteract, RelayFallbackRefusalsAndFriends) {
  brx::base::ThreadMessageQueue queue;
  Side a(L"alice", L"Alice");
  ombrix::test::TempDir dir;
  a.host.cache = dir.Sub("cache");
  ASSERT_TRUE(a.logic->Start(queue.thread_id()));
  auto wait = [&](const std::function<bool()>& done) { return RunUntil(queue, a, done); };
  const FromHandle game{FromHandle::kGameClient, 3};

  // Not logged in: the invitation fails at once and a login starts.
  a.signalling->state_now = 0;
  a.logic->InviteVideo(L"inv-0", L"bob", true, game);
  EXPECT_EQ(a.events.lines(), std::vector<std::string>{"47 inv-0 0"});
  EXPECT_EQ(a.signalling->Count("Login 127.0.0.1 9000 sid-alice alice Alice"), 1u);
  a.logic->GetOnlineFriend(2, 10);
  EXPECT_EQ(a.events.Count("44 0 0"), 1u);
  a.signalling->state_now = 2;

  // One session at a time, either way.
  a.logic->InviteVideo(L"inv-1", L"bob", true, game);
  a.logic->InviteVideo(L"inv-2", L"carol", true, game);
  EXPECT_EQ(a.events.Count("47 inv-2 8"), 1u);
  ice::ICEEvent_ice_invite other;
  other.id = L"inv-9";
  other.from = L"carol";
  other.data = L"{}";
  a.logic->OnIceInvite(&other);
  EXPECT_EQ(a.signalling->Count("Reply inv-9 carol 2"), 1u);
  EXPECT_EQ(a.events.Count("46 inv-9  0"), 0u);

  ice::ICEEvent_ice_reply answer;
  answer.id = L"inv-1";
  answer.result = ice::ICE_REPLY_ACCEPT;
  answer.data = L"{\"type\":\"video\",\"video_type\":\"webm\"}";
  a.logic->OnIceReply(&answer);
  ASSERT_EQ(a.logic->SessionStateForTesting(L"inv-1"), 1);

  // The binding times out: ask for the relay, once.
  ice::ICEEvent_stun_reply timeout;
  timeout.id = L"inv-1";
  timeout.code = 1;
  a.logic->OnStunReply(&timeout);
  a.logic->OnStunReply(&timeout);
  EXPECT_EQ(a.signalling->Count("RelayInvite inv-1 bob"), 1u);
  EXPECT_EQ(a.logic->SessionStateForTesting(L"inv-1"), 2);

  uint16_t relay_port = 0;
  const int listener = ombrix::test::ListenLoopbackTcp(&relay_port);
  ASSERT_GE(listener, 0);
  const auto relay = RelayAt(L"inv-1", relay_port);
  a.logic->OnRelayReply(relay.get());
  pollfd p{listener, POLLIN, 0};
  ASSERT_EQ(poll(&p, 1, 10000), 1);
  const int peer = accept(listener, nullptr, nullptr);
  ASSERT_TRUE(wait([&] { return a.events.Count("50 inv-1") == 1; }));
  // The second party's request brings a second reply: no second link.
  a.logic->OnRelayReply(relay.get());
  EXPECT_EQ(poll(&p, 1, 200), 0) << "no second connection to the relay";

  // Frames go through the relay, the first a key frame that opens a stream.
  const std::vector<uint8_t> frame = Pattern(160, 120);
  a.logic->PushVideoFrame(L"inv-1", frame.data(), uint32_t(frame.size()), 30, 160, 120);
  std::vector<uint8_t> in;
  ASSERT_TRUE(WaitUntil([&] {
    pollfd r{peer, POLLIN, 0};
    if (poll(&r, 1, 10) == 1) {
      uint8_t chunk[4096];
      const ssize_t n = read(peer, chunk, sizeof(chunk));
      if (n > 0) in.insert(in.end(), chunk, chunk + n);
    }
    return in.size() >= 4 &&
           in.size() >= (in[0] | in[1] << 8 | in[2] << 16 | uint32_t(in[3]) << 24);
  }));
  const MessageVideoData first(in.data() + 4, uint32_t(in.size() - 4));
  EXPECT_EQ(first.reinit, 1);
  EXPECT_EQ(first.width, 160);
  ASSERT_TRUE(first.HasPayload());
  EXPECT_EQ(first.payload[0] & 1, 0) << "a key frame";

  // The relay says the peer is ready, then that it stops.
  auto send_control = [&](uint8_t code) {
    const MessageVideoControl control(code, "");
    const uint32_t len = control.size() + 4;
    std::vector<uint8_t> bytes = {uint8_t(len), uint8_t(len >> 8), uint8_t(len >> 16),
                                  uint8_t(len >> 24)};
    bytes.insert(bytes.end(), control.data(), control.data() + control.size());
    ASSERT_EQ(write(peer, bytes.data(), bytes.size()), ssize_t(bytes.size()));
  };
  send_control(1);
  ASSERT_TRUE(wait([&] { return a.events.Count("50 inv-1") == 2; }));
  send_control(0);
  ASSERT_TRUE(wait([&] { return a.events.Count("48 inv-1") == 1; }));
  EXPECT_EQ(a.signalling->Count("Hangup bob inv-1"), 1u);
  EXPECT_EQ(a.logic->SessionStateForTesting(L"inv-1"), -1);
  close(peer);
  close(listener);

  // Friends: oneself left out, each head image fetched once, a failed
  // fetch not retried, a finished one reported and used.
  ice::ICEEvent_ice_getonlinefriend list;
  list.record_count = 3;
  list.friends = {{L"alice", L"Alice", L"http://img/a"},
                  {L"bob", L"Bob", L"http://img/b"},
                  {L"dan", L"Dan", L""}};
  a.logic->OnIceGetOnlineFriend(&list);
  a.logic->OnIceGetOnlineFriend(&list);
  EXPECT_EQ(a.events.Count("44 3 2"), 2u);
  ASSERT_EQ(a.host.downloads.size(), 1u);
  EXPECT_EQ(a.host.downloads[0].first, "http://img/b");
  EXPECT_TRUE(ombrix::test::PathExists(a.host.cache));
  ASSERT_TRUE(
      brx::base::PostOwnedMessage(queue.thread_id(), 0, ombrix::messages::kHeadImageDownloaded,
                                  std::make_unique<HeadIconDownloadResult>(HeadIconDownloadResult{
                                      true, L"http://img/b", L"/tmp/b.png"})));
  brx::base::Message downloaded;
  ASSERT_TRUE(queue.Peek(&downloaded, true));
  a.logic->OnThreadMessage(downloaded.message, downloaded.wParam);
  EXPECT_EQ(a.events.Count("45 http://img/b"), 1u);
  a.logic->OnIceGetOnlineFriend(&list);
  EXPECT_EQ(a.events.friends.at(0).head_icon, L"/tmp/b.png");

  // The user signs out: sessions stop without a HANGUP.
  a.logic->InviteVideo(L"inv-3", L"bob", true, game);
  EventParameter before_logout(SEVENT_RESPONSE_BeforeUserLogout);
  a.chain.FireEvent(&before_logout);
  EXPECT_EQ(a.events.Count("48 inv-3"), 1u);
  EXPECT_EQ(a.signalling->Count("Logout"), 1u);
  EXPECT_EQ(a.signalling->Count("Hangup bob inv-3"), 0u);
  EXPECT_EQ(a.logic->SessionStateForTesting(L"inv-3"), -1);
  a.logic->Stop();
  brx::base::Message m;
  while (queue.Peek(&m, true)) a.logic->OnThreadMessage(m.message, m.wParam);
}

TEST(OBLogicInteract, UnansweredInvitationsTimeOutOnBothSidesAndFreeTheSlot) {
  brx::base::ThreadMessageQueue queue;
  Side a(L"alice", L"Alice"), b(L"bob", L"Bob");
  ASSERT_TRUE(a.logic->Start(queue.thread_id()));
  ASSERT_TRUE(b.logic->Start(queue.thread_id()));
  const FromHandle game{FromHandle::kGameClient, 5};
  auto invite_b = [&](const std::wstring& id) {
    a.logic->InviteVideo(id, L"bob", true, game);
    ice::ICEEvent_ice_invite invite;
    invite.id = id;
    invite.from = L"alice";
    invite.from_name = L"Alice";
    invite.data = a.signalling->last_payload;
    b.logic->OnIceInvite(&invite);
    ASSERT_EQ(b.events.Count("46 " + ombrix::test::Narrow(id) + " Alice 0"), 1u);
  };

  // Nobody answers on the invited side: just short of the limit nothing
  // happens, at the limit it answers "time-out" and frees its slot.
  ASSERT_NO_FATAL_FAILURE(invite_b(L"inv-1"));
  a.clock.Advance(OBLogicInteract::kAnswerLimitMs - 1);
  b.clock.Advance(OBLogicInteract::kAnswerLimitMs - 1);
  a.logic->OnTick();
  b.logic->OnTick();
  EXPECT_EQ(b.signalling->Count("Reply inv-1 alice 3"), 0u);
  EXPECT_EQ(b.logic->SessionStateForTesting(L"inv-1"), 0);
  b.clock.Advance(1);
  b.logic->OnTick();
  b.logic->OnTick();
  EXPECT_EQ(b.signalling->Count("Reply inv-1 alice 3"), 1u);
  EXPECT_EQ(b.events.Count("47 inv-1 7"), 1u) << "the games showing it are told";
  EXPECT_EQ(b.logic->SessionStateForTesting(L"inv-1"), -1);
  // The answer reaches the inviter: its game hears "time-out", its slot is free.
  ice::ICEEvent_ice_reply timed_out;
  timed_out.id = L"inv-1";
  timed_out.result = ice::ICE_REPLY_OPTIMEOUT;
  a.logic->OnIceReply(&timed_out);
  EXPECT_EQ(a.events.Count("47 inv-1 7"), 1u);
  EXPECT_EQ(a.logic->SessionStateForTesting(L"inv-1"), -1);
  // The peer holds nothing under a refused id: no HANGUP, which would end
  // a call of the peer's that happens to use the same id.
  EXPECT_EQ(a.signalling->Count("Hangup bob inv-1"), 0u);
  a.logic->InviteVideo(L"inv-busy", L"bob", true, game);
  ice::ICEEvent_ice_reply busy;
  busy.id = L"inv-busy";
  busy.result = ice::ICE_REPLY_BUSY;
  a.logic->OnIceReply(&busy);
  EXPECT_EQ(a.events.Count("47 inv-busy 6"), 1u);
  EXPECT_EQ(a.signalling->Count("Hangup bob inv-busy"), 0u);
  EXPECT_EQ(a.logic->SessionStateForTesting(L"inv-busy"), -1);

  // No answer ever reaches the inviter: it gives up by itself, later than
  // the invited side would, and hangs up so the peer's session ends too.
  ASSERT_NO_FATAL_FAILURE(invite_b(L"inv-2"));
  a.clock.Advance(OBLogicInteract::kAnswerLimitMs);
  a.logic->OnTick();
  EXPECT_EQ(a.logic->SessionStateForTesting(L"inv-2"), 0)
      << "the invited side's answer is still awaited";
  a.clock.Advance(OBLogicInteract::kReplyLimitMs - OBLogicInteract::kAnswerLimitMs);
  a.logic->OnTick();
  EXPECT_EQ(a.events.Count("47 inv-2 7"), 1u);
  EXPECT_EQ(a.signalling->Count("Hangup bob inv-2"), 1u);
  EXPECT_EQ(a.logic->SessionStateForTesting(L"inv-2"), -1);
  ice::ICEEvent_ice_hangup hangup;
  hangup.id = L"inv-2";
  b.logic->OnIceHangup(&hangup);
  EXPECT_EQ(b.logic->SessionStateForTesting(L"inv-2"), -1);

  // An answered invitation is not timed out, however long the link takes;
  // and with both slots free the next call goes ahead.
  ASSERT_NO_FATAL_FAILURE(invite_b(L"inv-3"));
  b.logic->ReplyVideoInvite(L"inv-3", 0, FromHandle{FromHandle::kGameClient, 9});
  EXPECT_EQ(b.signalling->Count("Reply inv-3 alice 0"), 1u);
  ice::ICEEvent_ice_reply accept;
  accept.id = L"inv-3";
  accept.result = ice::ICE_REPLY_ACCEPT;
  accept.data = L"{\"type\":\"video\",\"video_type\":\"webm\"}";
  a.logic->OnIceReply(&accept);
  EXPECT_EQ(a.events.Count("47 inv-3 4"), 1u);
  a.clock.Advance(OBLogicInteract::kReplyLimitMs * 2);
  b.clock.Advance(OBLogicInteract::kReplyLimitMs * 2);
  a.logic->OnTick();
  b.logic->OnTick();
  EXPECT_EQ(a.logic->SessionStateForTesting(L"inv-3"), 1);
  EXPECT_EQ(b.logic->SessionStateForTesting(L"inv-3"), 1);
  EXPECT_EQ(a.events.Count("47 inv-3 7") + b.events.Count("47 inv-3 7"), 0u);
  a.logic->Stop();
  b.logic->Stop();
  brx::base::Message m;
  // Retired codecs' notices: any side frees them.
  while (queue.Peek(&m, true)) a.logic->OnThreadMessage(m.message, m.wParam);
}

TEST(OBLogicInteract, GameOutrunningTheEncoderAt1080pLeavesMemoryFlatAndTheCallGoesOn) {
  TwoSides call;
  ASSERT_TRUE(call.Start());
  Side& a = call.a;
  Side& b = call.b;
  auto pump = [&] { call.Pump(); };
  // Pictures this size take their time under the memory checker.
  auto wait = [&](const std::function<bool()>& done) {
    return call.Wait(done, std::chrono::seconds(30));
  };
  ASSERT_NO_FATAL_FAILURE(ConnectDirectCall(a, b, L"inv-1", wait));

  // Both codecs opened at full size before memory is measured.
  const int w = 1920, h = 1080;
  const std::vector<uint8_t> frame = Pattern(w, h);
  auto push = [&] {
    a.logic->PushVideoFrame(L"inv-1", frame.data(), uint32_t(frame.size()), 60, w, h);
  };
  push();
  ASSERT_TRUE(wait([&] { return b.events.frame_count() != 0; }));
  VideoEnDecoder* encoder = a.logic->SessionForTesting(L"inv-1")->codec.get();
  ASSERT_NE(encoder, nullptr);

  // The game hands over pictures many times faster than VP8 encodes them
  // at this size. Each waiting picture is 6 MB: a queue without a bound
  // passes the limit below within a few dozen of them. The limit leaves
  // room for what the memory checker holds back from reuse.
  constexpr size_t kGrowthLimit = 256u << 20;
  const size_t start = ombrix::test::ResidentBytes();
  ASSERT_GT(start, 0u);
  size_t peak = start;
  const int kFrames = 400;
  int pushed = 0;
  for (; pushed < kFrames && peak - start < kGrowthLimit; ++pushed) {
    push();
    if (pushed % 16 == 0) pump();  // the link's notices keep flowing meanwhile
    peak = std::max(peak, ombrix::test::ResidentBytes());
  }
  EXPECT_EQ(pushed, kFrames);
  EXPECT_LT(peak - start, kGrowthLimit)
      << "resident memory grew by " << ((peak - start) >> 20) << " MB";
  EXPECT_LE(encoder->peak_queued_frames(), VideoEnDecoder::kMaxQueuedRawFrames);
  EXPECT_GT(encoder->dropped_frames(), 0u);

  // The call goes on: Bob's game still gets whole pictures, in colour.
  const size_t seen = b.events.frame_count();
  ASSERT_TRUE(wait([&] {
    push();
    return b.events.frame_count() > seen + 2;
  }));
  const std::vector<uint8_t> got = b.events.last_frame();
  ASSERT_EQ(got.size(), frame.size());
  const uint8_t* red = PixelAt(got, w, h, h * 3 / 4, w / 4);
  EXPECT_TRUE(red[2] > 200 && red[0] < 50)
      << int(red[0]) << "," << int(red[1]) << "," << int(red[2]);
  EXPECT_FALSE(encoder->failed());
  EXPECT_EQ(a.logic->SessionStateForTesting(L"inv-1"), VideoSession::kReady);
  EXPECT_EQ(b.logic->SessionStateForTesting(L"inv-1"), VideoSession::kReady);
  EXPECT_EQ(a.events.Count("48 inv-1") + b.events.Count("48 inv-1"), 0u);
  call.Stop();
}

TEST(OBLogicInteract, TwoStopsInOneBatchStopTheCallOnceAndTheFramesAfterThemAreRefused) {
  brx::base::ThreadMessageQueue queue;
  Side b(L"bob", L"Bob");
  ASSERT_TRUE(b.logic->Start(queue.thread_id()));
  auto wait = [&](const std::function<bool()>& done) { return RunUntil(queue, b, done); };

  // Bob accepts to watch Alice's game; the binding fails, the relay links.
  ice::ICEEvent_ice_invite invite;
  invite.id = L"inv-1";
  invite.from = invite.inviter = L"alice";
  invite.from_name = L"Alice";
  invite.data = ombrix::video::InvitationJson(L"alice");
  b.logic->OnIceInvite(&invite);
  b.logic->ReplyVideoInvite(L"inv-1", 0, {FromHandle::kGameClient, 9});
  ice::ICEEvent_stun_invite stun_invite;
  stun_invite.id = L"inv-1";
  b.logic->OnStunInvite(&stun_invite);
  ice::ICEEvent_stun_reply failed;
  failed.id = L"inv-1";
  failed.code = 0;
  b.logic->OnStunReply(&failed);
  uint16_t relay_port = 0;
  const int listener = ombrix::test::ListenLoopbackTcp(&relay_port);
  ASSERT_GE(listener, 0);
  const auto relay = RelayAt(L"inv-1", relay_port);
  b.logic->OnRelayReply(relay.get());
  ASSERT_TRUE(
      wait([&] { return b.logic->SessionStateForTesting(L"inv-1") == VideoSession::kReady; }));

  // One batch from the peer: stop, stop again, then a frame. The link is
  // closed only once the batch is over.
  VideoSession* session = b.logic->SessionForTesting(L"inv-1");
  VideoEnDecoder* decoder = session->codec.get();
  TCPServiceClientManager_VideoTransfer* link = session->relay_link->client();
  const uint32_t decoder_frames = decoder->frame_counter();
  const MessageVideoControl stop(0, "bye");
  const uint8_t payload[] = {0x10, 0x02, 0x00, 0x9d, 0x01, 0x2a, 0xa0, 0x00, 0x78, 0x00};
  const MessageVideoData data(1, 30, 160, 120, 0, payload, sizeof(payload));
  link->Push(link->connection(), stop.data(), stop.size());
  link->Push(link->connection(), stop.data(), stop.size());
  link->Push(link->connection(), data.data(), data.size());
  b.logic->DrainTransport(L"inv-1");

  EXPECT_EQ(b.events.Count("48 inv-1"), 1u) << "the game is told of the stop once";
  EXPECT_EQ(decoder->frame_counter(), decoder_frames) << "a stopping call takes no more frames";
  EXPECT_EQ(b.signalling->Count("Hangup alice inv-1"), 1u);
  EXPECT_EQ(b.logic->SessionStateForTesting(L"inv-1"), -1);
  close(listener);
  b.logic->Stop();
  ASSERT_TRUE(wait([&] { return b.logic->RetiredCodecsForTesting() == 0; }));
}

}  // namespace
