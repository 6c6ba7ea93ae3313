// Two real main clients, each with a simulated game that signs its player
// in, call each other through the rendezvous stand-in: friends online,
// invitations answered and refused, frames over the direct link and over
// the relay, a game leaving mid-call and a client stopped while streaming.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/integration/videochat/video_players.h"

namespace {

using namespace ombrix::test::videochat;
namespace videochat = ombrix::test::videochat;

class VideoChatTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(web_.running());
    ASSERT_TRUE(rendezvous_.ok());
    a_ = std::make_unique<Player>(web_, rendezvous_);
    ASSERT_NO_FATAL_FAILURE(a_->Start());
    b_ = std::make_unique<Player>(web_, rendezvous_);
    ASSERT_NO_FATAL_FAILURE(b_->Start());
    ASSERT_NO_FATAL_FAILURE(a_->SignIn("demo", "ombrix2024"));
    ASSERT_NO_FATAL_FAILURE(b_->SignIn("buddy", "buddy2024"));
    // Both log in to the rendezvous server once signed in.
    ASSERT_TRUE(WaitUntil(
        [&] {
          const std::string online = rendezvous_.Control("online");
          return online.find("\"demo\"") != std::string::npos &&
                 online.find("\"buddy\"") != std::string::npos;
        },
        kWait))
        << rendezvous_.Control("online") << a_->installed().Log();
  }
  void TearDown() override {
    // Newest environment first: each player restores what it replaced.
    if (c_ && c_->host()) c_->Stop();
    c_.reset();
    if (b_ && b_->host()) b_->Stop();
    if (a_ && a_->host()) a_->Stop();
    b_.reset();
    a_.reset();
  }

  void Call(const std::string& id, std::chrono::milliseconds ready_wait) {
    videochat::Call(*a_, *b_, id, ready_wait);
  }
  int RelayRequests(const std::string& id) { return Requests("RELAY", id); }
  int Requests(const std::string& text, const std::string& id) {
    return static_cast<int>(videochat::Requests(rendezvous_, text, id).size());
  }

  WebStandin web_{WebStandin::Options{true, {"--user", "carol:carol2024:Carol"}}};
  RendezvousStandin rendezvous_;
  std::unique_ptr<Player> a_;
  std::unique_ptr<Player> b_;
  std::unique_ptr<Player> c_;  // a third player, for the tests that need one
};

TEST_F(VideoChatTest, FriendsCallsRelayRefusalDetachAndStopWhileStreaming) {
  // Friends online: each sees the other, and the head image follows once
  // it is fetched.
  const std::string head = web_.base_url() + "/head/buddy.jpg";
  ASSERT_NE(rendezvous_.Control("head_icon buddy " + head).find("true"), std::string::npos);
  a_->Send("FRIEND_ONLINE", {{"page_size", int64_t{10}}, {"page", int64_t{1}}});
  auto friends = a_->Skip("FRIEND_ONLINE", kWait);
  ASSERT_TRUE(friends);
  bool buddy_listed = false;
  for (const auto& f : friends->friends) buddy_listed |= f.account == u"buddy";
  EXPECT_TRUE(buddy_listed) << friends->ToString();
  EXPECT_EQ(friends->Int("total"), 2);
  auto icon = a_->Skip("FRIEND_ONLINE_HEADICON", kWait);
  ASSERT_TRUE(icon) << a_->installed().Log();
  EXPECT_EQ(icon->Utf8("address"), head);
  EXPECT_NE(ReadFile(icon->Utf8("path")).find("JFIF-standin buddy.jpg"), std::string::npos)
      << icon->Utf8("path");

  // A direct call: the frames arrive with the pattern's colours.
  ASSERT_NO_FATAL_FAILURE(Call("call-direct", kWait));
  auto frame = a_->StreamTo(*b_, "call-direct");
  ASSERT_TRUE(frame) << b_->installed().Log();
  EXPECT_EQ(frame->Int("width"), kWidth);
  EXPECT_EQ(frame->Int("height"), kHeight);
  EXPECT_EQ(frame->Utf8("invitation_id"), "call-direct");
  ASSERT_TRUE(frame->Bytes("frame"));
  EXPECT_TRUE(MatchesPattern(*frame->Bytes("frame"), 24));
  EXPECT_EQ(RelayRequests("call-direct"), 0);
  // The receiver hangs up: its client tells the inviter's game.
  b_->Send("VIDEO_STOP", {{"invitation_id", Utf16("call-direct")}});
  auto stopped = a_->Skip("VIDEO_STOP", kWait);
  ASSERT_TRUE(stopped);
  EXPECT_EQ(stopped->Utf8("invitation_id"), "call-direct");

  // A refusal reaches the inviter as such.
  a_->Send("VIDEO_INVITE", {{"send_video", int64_t{1}},
                            {"invitation_id", Utf16("call-refused")},
                            {"account", Utf16("buddy")}});
  ASSERT_TRUE(b_->Skip("VIDEO_INVITE", kWait));
  b_->Send("VIDEO_REPLY", {{"answer", int64_t{3}}, {"invitation_id", Utf16("call-refused")}});
  auto refused = a_->Skip("VIDEO_REPLY", kWait);
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->Int("accepted"), 0);
  EXPECT_EQ(refused->Utf8("invitation_id"), "call-refused");

  // No binding can succeed: the relay carries the call.
  ASSERT_NE(rendezvous_.Control("stun_forwarding off").find("true"), std::string::npos);
  ASSERT_NO_FATAL_FAILURE(Call("call-relay", kRelayWait));
  frame = a_->StreamTo(*b_, "call-relay");
  ASSERT_TRUE(frame) << b_->installed().Log();
  ASSERT_TRUE(frame->Bytes("frame"));
  EXPECT_TRUE(MatchesPattern(*frame->Bytes("frame"), 24));
  EXPECT_GT(RelayRequests("call-relay"), 0);
  // The receiving game leaves mid-call: its session ends, and the inviter
  // hears of it.
  b_->game().Detach();
  stopped = a_->Skip("VIDEO_STOP", kWait);
  ASSERT_TRUE(stopped) << a_->installed().Log();
  EXPECT_EQ(stopped->Utf8("invitation_id"), "call-relay");
  ASSERT_NE(rendezvous_.Control("stun_forwarding on").find("true"), std::string::npos);

  // Back with a new game, a call streams and the receiving client is
  // stopped in the middle: it ends cleanly, and the sender's game hears
  // that the call is over.
  ASSERT_NO_FATAL_FAILURE(b_->Reattach());
  ASSERT_NO_FATAL_FAILURE(Call("call-stop", kWait));
  frame = a_->StreamTo(*b_, "call-stop");
  ASSERT_TRUE(frame);
  const std::vector<uint8_t> pattern = PatternFrame();
  ASSERT_NO_FATAL_FAILURE(b_->Stop());
  stopped = a_->Skip("VIDEO_STOP", kWait);
  ASSERT_TRUE(stopped) << a_->installed().Log();
  EXPECT_EQ(stopped->Utf8("invitation_id"), "call-stop");
  // The sender's client is stopped while its game still pushes frames.
  WireMessage m;
  m.fields = {{"invitation_id", Utf16("call-stop")},
              {"frame_rate", int64_t{25}},
              {"width", int64_t{kWidth}},
              {"height", int64_t{kHeight}},
              {"frame", pattern}};
  EXPECT_TRUE(a_->game().Send("VEDIO_STREAM", m));
  ASSERT_NO_FATAL_FAILURE(a_->Stop());
}

TEST_F(VideoChatTest, SecondInvitationInviterHangUpAndNoGameToAnswer) {
  ASSERT_NO_FATAL_FAILURE(Call("call-one", kWait));
  // One session at a time: a second invitation is answered at once and
  // never reaches the peer.
  a_->Send("VIDEO_INVITE", {{"send_video", int64_t{1}},
                            {"invitation_id", Utf16("call-two")},
                            {"account", Utf16("buddy")}});
  auto error = a_->Skip("VEDIO_ERROR", kWait);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->Int("code"), 6);
  EXPECT_EQ(error->Utf8("invitation_id"), "call-two");
  // The inviter hangs up: the receiving game is told.
  a_->Send("VIDEO_STOP", {{"invitation_id", Utf16("call-one")}});
  auto stopped = b_->Skip("VIDEO_STOP", kWait);
  ASSERT_TRUE(stopped) << b_->installed().Log();
  EXPECT_EQ(stopped->Utf8("invitation_id"), "call-one");
  EXPECT_FALSE(b_->Skip("VIDEO_INVITE", 500ms)) << "the second invitation reached the peer";

  // With no game to answer it, the peer's client refuses the invitation.
  b_->game().Detach();
  ASSERT_TRUE(b_->game().WaitDisconnected(kWait));
  a_->Send("VIDEO_INVITE", {{"send_video", int64_t{1}},
                            {"invitation_id", Utf16("call-nobody")},
                            {"account", Utf16("buddy")}});
  auto refused = a_->Skip("VIDEO_REPLY", kWait);
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->Int("accepted"), 0);
  EXPECT_EQ(refused->Utf8("invitation_id"), "call-nobody");
}

TEST_F(VideoChatTest, BusyPlayersAnswerBusyAndAnUnansweredInvitationTimesOutOnBothSides) {
  c_ = std::make_unique<Player>(web_, rendezvous_);
  ASSERT_NO_FATAL_FAILURE(c_->Start());
  ASSERT_NO_FATAL_FAILURE(c_->SignIn("carol", "carol2024"));
  ASSERT_TRUE(WaitUntil(
      [&] { return rendezvous_.Control("online").find("\"carol\"") != std::string::npos; }, kWait));

  // A call between A and B is streaming.
  ASSERT_NO_FATAL_FAILURE(Call("call-ab", kWait));
  ASSERT_TRUE(a_->StreamTo(*b_, "call-ab"));

  // C calls each of them, once under the very id of their call: both are
  // busy, which C's game hears as such (code 3); neither game is asked.
  const std::pair<std::string, std::string> calls[] = {
      {"buddy", "call-c-buddy"}, {"demo", "call-c-demo"}, {"buddy", "call-ab"}};
  for (const auto& [account, id] : calls) {
    c_->Send(
        "VIDEO_INVITE",
        {{"send_video", int64_t{1}}, {"invitation_id", Utf16(id)}, {"account", Utf16(account)}});
    auto busy = c_->Skip("VEDIO_ERROR", kWait);
    ASSERT_TRUE(busy) << c_->installed().Log();
    EXPECT_EQ(busy->Int("code"), 3) << account;
    EXPECT_EQ(busy->Utf8("invitation_id"), id);
  }
  // The call goes on untouched: frames still arrive whole, nobody was
  // told it stopped, and nobody hung it up.
  auto frame = a_->StreamTo(*b_, "call-ab");
  ASSERT_TRUE(frame) << b_->installed().Log();
  ASSERT_TRUE(frame->Bytes("frame"));
  EXPECT_TRUE(MatchesPattern(*frame->Bytes("frame"), 24));
  EXPECT_FALSE(a_->Passed("VIDEO_STOP"));
  EXPECT_FALSE(b_->Passed("VIDEO_STOP"));
  EXPECT_FALSE(b_->Passed("VIDEO_INVITE")) << "a busy player's game was asked";
  EXPECT_EQ(Requests("\"HANGUP\"", "call-ab"), 0);
  a_->Send("VIDEO_STOP", {{"invitation_id", Utf16("call-ab")}});
  ASSERT_TRUE(b_->Skip("VIDEO_STOP", kWait));

  // C calls B and hangs up while it still rings: B's game closes the
  // invitation, and an answer to it afterwards starts nothing.
  c_->Send("VIDEO_INVITE", {{"send_video", int64_t{1}},
                            {"invitation_id", Utf16("call-cancelled")},
                            {"account", Utf16("buddy")}});
  auto ringing = b_->Skip("VIDEO_INVITE", kWait);
  ASSERT_TRUE(ringing);
  EXPECT_EQ(ringing->Utf8("invitation_id"), "call-cancelled");
  c_->Send("VIDEO_STOP", {{"invitation_id", Utf16("call-cancelled")}});
  auto cancelled = b_->Skip("VIDEO_INVITE_REPLYED", kWait);
  ASSERT_TRUE(cancelled) << b_->installed().Log();
  EXPECT_EQ(cancelled->Utf8("invitation_id"), "call-cancelled");
  b_->Send("VIDEO_REPLY", {{"answer", int64_t{0}}, {"invitation_id", Utf16("call-cancelled")}});

  // C calls B, whose game never answers: B's client answers "time-out"
  // for it (C's game hears code 5) and B's game is told the invitation is
  // over. Nothing of it is left on either side.
  ASSERT_TRUE(WaitUntil([&] { return b_->Threads() > 0 && c_->Threads() > 0; }, kWait));
  const int threads_before = b_->Threads(), inviter_threads_before = c_->Threads();
  c_->Send("VIDEO_INVITE", {{"send_video", int64_t{1}},
                            {"invitation_id", Utf16("call-quiet")},
                            {"account", Utf16("buddy")}});
  auto unanswered = b_->Skip("VIDEO_INVITE", kWait);
  ASSERT_TRUE(unanswered);
  EXPECT_EQ(unanswered->Utf8("invitation_id"), "call-quiet");
  const auto answer_limit = std::chrono::milliseconds(30000) + kWait;
  auto timed_out = c_->Skip("VEDIO_ERROR", answer_limit);
  ASSERT_TRUE(timed_out) << b_->installed().Log();
  EXPECT_EQ(timed_out->Int("code"), 5);
  EXPECT_EQ(timed_out->Utf8("invitation_id"), "call-quiet");
  auto closed = b_->Skip("VIDEO_INVITE_REPLYED", kWait);
  ASSERT_TRUE(closed);
  EXPECT_EQ(closed->Utf8("invitation_id"), "call-quiet");
  EXPECT_EQ(Requests("\"OPTIMEOUT\"", "call-quiet"), 1);
  // Long after B's game answered the cancelled invitation, still nothing
  // was sent for it.
  EXPECT_EQ(Requests("\"REPLY\"", "call-cancelled"), 0) << "a gone invitation was answered";
  EXPECT_TRUE(WaitUntil([&] { return b_->Threads() <= threads_before; }, kWait))
      << b_->Threads() << " threads, " << threads_before << " before the invitation";
  EXPECT_TRUE(WaitUntil([&] { return c_->Threads() <= inviter_threads_before; }, kWait))
      << c_->Threads() << " threads, " << inviter_threads_before << " before the invitation";

  // Both slots are free again: the next call from C goes through.
  c_->Send("VIDEO_INVITE", {{"send_video", int64_t{1}},
                            {"invitation_id", Utf16("call-after")},
                            {"account", Utf16("buddy")}});
  auto invite = b_->Skip("VIDEO_INVITE", kWait);
  ASSERT_TRUE(invite);
  EXPECT_EQ(invite->Utf8("invitation_id"), "call-after");
  b_->Send("VIDEO_REPLY", {{"answer", int64_t{0}}, {"invitation_id", Utf16("call-after")}});
  auto accepted = c_->Skip("VIDEO_REPLY", kWait);
  ASSERT_TRUE(accepted);
  EXPECT_EQ(accepted->Int("accepted"), 1);
  ASSERT_TRUE(c_->Skip("VIDEO_READY", kWait)) << c_->installed().Log();
  frame = c_->StreamTo(*b_, "call-after");
  ASSERT_TRUE(frame) << b_->installed().Log();
  ASSERT_TRUE(frame->Bytes("frame"));
  EXPECT_TRUE(MatchesPattern(*frame->Bytes("frame"), 24));
  c_->Send("VIDEO_STOP", {{"invitation_id", Utf16("call-after")}});
  ASSERT_TRUE(b_->Skip("VIDEO_STOP", kWait));
}

}  // namespace
