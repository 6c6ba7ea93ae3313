// Two real main clients, each with a simulated game that signs its player
// in, call each other through the rendezvous stand-in: friends online,
// invitations answered and refused, frames over the direct link and over
// the relay, a game leaving mid-call and a client stopped while streaming.
#include <signal.h>

#include <gtest/gtest.h>
#include <json/json.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "runtime/util/text_convert.h"
#include "standin/game/game_simulator.h"
#include "tests/support/installed_host.h"
#include "tests/support/rendezvous_standin.h"
#include "tests/support/test_support.h"
#include "tests/support/web_standin.h"

namespace {

using gamesim::GameSimulator;
using gamesim::WireMessage;
using ombrix::test::HostProcess;
using ombrix::test::InstalledHost;
using ombrix::test::ReadFile;
using ombrix::test::RendezvousStandin;
using ombrix::test::ScopedEnv;
using ombrix::test::WaitUntil;
using ombrix::test::WebStandin;
using ombrix::test::WriteFile;
using namespace std::chrono_literals;

constexpr auto kWait = 20000ms;
// The binding gives up after 10 s before the relay is tried.
constexpr auto kRelayWait = 40000ms;
constexpr uint16_t kWidth = 64;
constexpr uint16_t kHeight = 48;

std::u16string Utf16(const std::string& text) {
  std::wstring wide = brx::util::Utf8ToWide(text);
  return std::u16string(wide.begin(), wide.end());
}

// A frame of four vertical bands, B,G,R per pixel, rows bottom-up: red,
// green, blue and a mixed colour, so a swap of channels or chroma planes
// shows as a wrong band.
struct Rgb {
  int r, g, b;
};
constexpr Rgb kBands[4] = {{220, 30, 30}, {30, 200, 40}, {40, 50, 210}, {200, 180, 60}};

std::vector<uint8_t> PatternFrame() {
  std::vector<uint8_t> frame(size_t{kWidth} * kHeight * 3);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const Rgb& c = kBands[x * 4 / kWidth];
      uint8_t* p = &frame[(size_t{static_cast<size_t>(y)} * kWidth + x) * 3];
      p[0] = static_cast<uint8_t>(c.b);
      p[1] = static_cast<uint8_t>(c.g);
      p[2] = static_cast<uint8_t>(c.r);
    }
  }
  return frame;
}

// The mean colour of the middle of each band differs from the pattern by
// at most `tolerance` per channel.
::testing::AssertionResult MatchesPattern(const std::vector<uint8_t>& frame, int tolerance) {
  if (frame.size() != size_t{kWidth} * kHeight * 3) return ::testing::AssertionFailure() << "size " << frame.size();
  for (int band = 0; band < 4; ++band) {
    long sum[3] = {0, 0, 0};
    int count = 0;
    const int x0 = band * kWidth / 4 + 4, x1 = (band + 1) * kWidth / 4 - 4;
    for (int y = 8; y < kHeight - 8; ++y) {
      for (int x = x0; x < x1; ++x, ++count) {
        const uint8_t* p = &frame[(static_cast<size_t>(y) * kWidth + x) * 3];
        for (int c = 0; c < 3; ++c) sum[c] += p[c];
      }
    }
    const int b = static_cast<int>(sum[0] / count), g = static_cast<int>(sum[1] / count),
              r = static_cast<int>(sum[2] / count);
    const Rgb& want = kBands[band];
    if (std::abs(r - want.r) > tolerance || std::abs(g - want.g) > tolerance || std::abs(b - want.b) > tolerance)
      return ::testing::AssertionFailure() << "band " << band << " is " << r << "," << g << "," << b << " not "
                                           << want.r << "," << want.g << "," << want.b;
  }
  return ::testing::AssertionSuccess();
}

// One player: a private install of the client, its own environment while
// it starts, and a simulated game attached to it.
class Player {
 public:
  Player(const WebStandin& web, const RendezvousStandin& rendezvous) {
    installed_.WriteEditionValues("GameId=other\nKey=OB-DEMO\nKeyDesc=Ombrix demo edition\nInstallHook=0\nGlobalConfig=" +
                                  web.base_url() + "/\n");
    const std::string h = web.host();
    WriteFile(installed_.Path("gsc.test"),
              "<Node>\n"
              "  <ClientInterfaceServer><Rule><Server>" + h + "</Server></Rule></ClientInterfaceServer>\n"
              "  <ImageStorageServer><Rule><Server>" + h + "</Server></Rule></ImageStorageServer>\n"
              "  <DCServer><Rule><Server>" + h + "</Server></Rule></DCServer>\n"
              "  <IceServer><Rule><Server>127.0.0.1:" + std::to_string(rendezvous.ice_port()) +
                  "</Server></Rule></IceServer>\n"
              "</Node>\n");
    // Games come and go: the client must outlive them.
    const std::string other = ReadFile(installed_.Path("games/other.xml"));
    WriteFile(installed_.Path("games/other.xml"),
              std::regex_replace(other, std::regex("<ExitWithGame enable=\"1\""), "<ExitWithGame enable=\"0\""));
  }

  // Starts the client and attaches the game; the environment of this
  // player must be the newest (players start one after the other).
  void Start() {
    ScopedEnv home("HOME", installed_.Scratch("state/home"));
    ScopedEnv lang("LANG", "en_US.UTF-8");
    ScopedEnv lc_all("LC_ALL", std::nullopt);
    ScopedEnv static_host("OMBRIX_STATIC_HOST", std::nullopt);
    ScopedEnv shell("OMBRIX_SHELL", "record");
    host_ = installed_.Run();
    ASSERT_TRUE(host_->started());
    GameSimulator::Options options;
    options.name_suffix = L"other";
    game_ = std::make_unique<GameSimulator>(options);
    ASSERT_TRUE(game_->ConnectAndAttach("other", 60s)) << host_->Stderr();
    ASSERT_TRUE(Skip("DATAPROMPT", kWait));
  }

  void SignIn(const std::string& account, const std::string& password) {
    WireMessage m;
    m.fields = {{"account", Utf16(account)}, {"password", Utf16(password)}, {"remember", int64_t{0}},
                {"auto_login", int64_t{0}}};
    ASSERT_TRUE(game_->Send("LOGIN", m));
    auto reply = Skip("LOGIN", kWait);
    ASSERT_TRUE(reply);
    ASSERT_EQ(reply->Int("signed_in"), 1) << reply->ToString();
  }

  // The next message called `name`, passing over every other one.
  std::optional<WireMessage> Skip(const std::string& name, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
      auto m = game_->Receive(std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()));
      if (!m) return m;
      if (m->name == name) return m;
      seen_.push_back(m->name);
    }
    return std::nullopt;
  }

  void Send(const std::string& name, std::vector<std::pair<std::string, gamesim::WireValue>> fields) {
    WireMessage m;
    m.fields = std::move(fields);
    ASSERT_TRUE(game_->Send(name, m)) << name;
  }

  // Pushes pattern frames until the peer's game has one (`peer` reads
  // them); the first frame the peer holds.
  std::optional<WireMessage> StreamTo(Player& peer, const std::string& id) {
    const std::vector<uint8_t> frame = PatternFrame();
    for (int i = 0; i < 200; ++i) {
      WireMessage m;
      m.fields = {{"invitation_id", Utf16(id)}, {"frame_rate", int64_t{25}}, {"width", int64_t{kWidth}},
                  {"height", int64_t{kHeight}}, {"frame", frame}};
      if (!game_->Send("VEDIO_STREAM", m)) return std::nullopt;
      if (auto got = peer.Skip("VEDIO_STREAM", 100ms)) return got;
    }
    return std::nullopt;
  }

  // A new game in place of the one that left.
  void Reattach() {
    ScopedEnv pipes("OMBRIX_PIPE_DIR", installed_.PipeDir());
    GameSimulator::Options options;
    options.name_suffix = L"other";
    game_ = std::make_unique<GameSimulator>(options);
    ASSERT_TRUE(game_->ConnectAndAttach("other", 60s));
    ASSERT_TRUE(Skip("DATAPROMPT", kWait));
  }

  // Stops the client as the desktop does: it must end cleanly.
  void Stop() {
    ASSERT_TRUE(host_);
    EXPECT_TRUE(host_->Signal(SIGTERM));
    EXPECT_EQ(host_->WaitForExit(60s), 0) << host_->Stderr();
    EXPECT_EQ(host_->Stderr().find("Sanitizer"), std::string::npos) << host_->Stderr();
    host_.reset();
  }

  GameSimulator& game() { return *game_; }
  HostProcess* host() { return host_.get(); }
  // Whether Skip passed over a message called `name`.
  bool Passed(const std::string& name) const { return std::find(seen_.begin(), seen_.end(), name) != seen_.end(); }
  // The client's threads now; -1 when unknown.
  int Threads() const {
    std::ifstream in("/proc/" + std::to_string(host_->pid()) + "/status");
    std::string line;
    while (std::getline(in, line)) {
      if (line.rfind("Threads:", 0) == 0) return std::atoi(line.c_str() + 8);
    }
    return -1;
  }
  InstalledHost& installed() { return installed_; }

 private:
  InstalledHost installed_;
  std::unique_ptr<HostProcess> host_;
  std::unique_ptr<GameSimulator> game_;
  std::vector<std::string> seen_;
};

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
          return online.find("\"demo\"") != std::string::npos && online.find("\"buddy\"") != std::string::npos;
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

  // A invites B to receive A's video and B accepts; both sides learn it.
  void Call(const std::string& id, std::chrono::milliseconds ready_wait) {
    a_->Send("VIDEO_INVITE", {{"send_video", int64_t{1}}, {"invitation_id", Utf16(id)}, {"account", Utf16("buddy")}});
    auto invite = b_->Skip("VIDEO_INVITE", kWait);
    ASSERT_TRUE(invite);
    EXPECT_EQ(invite->Utf8("invitation_id"), id);
    EXPECT_EQ(invite->Utf8("account"), "buddy");
    EXPECT_EQ(invite->Int("send_video"), 0);  // the invited side only receives
    b_->Send("VIDEO_REPLY", {{"answer", int64_t{0}}, {"invitation_id", Utf16(id)}});
    auto reply = a_->Skip("VIDEO_REPLY", kWait);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->Int("accepted"), 1);
    auto ready = a_->Skip("VIDEO_READY", ready_wait);
    ASSERT_TRUE(ready) << a_->installed().Log();
    EXPECT_EQ(ready->Utf8("invitation_id"), id);
  }

  // Relay requests the rendezvous server got for the invitation.
  int RelayRequests(const std::string& id) { return Requests("RELAY", id); }
  // Datagrams the rendezvous server got for the invitation that hold `text`.
  int Requests(const std::string& text, const std::string& id) {
    Json::Value answer;
    EXPECT_TRUE(Json::Reader().parse(rendezvous_.Control("requests"), answer));
    int count = 0;
    for (const Json::Value& r : answer["requests"]) {
      const std::string datagram = r["text"].asString();
      if (datagram.find(text) != std::string::npos && datagram.find("\"" + id + "\"") != std::string::npos) ++count;
    }
    return count;
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
  EXPECT_NE(ReadFile(icon->Utf8("path")).find("JFIF-standin buddy.jpg"), std::string::npos) << icon->Utf8("path");

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
  a_->Send("VIDEO_INVITE", {{"send_video", int64_t{1}}, {"invitation_id", Utf16("call-refused")},
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
  m.fields = {{"invitation_id", Utf16("call-stop")}, {"frame_rate", int64_t{25}}, {"width", int64_t{kWidth}},
              {"height", int64_t{kHeight}}, {"frame", pattern}};
  EXPECT_TRUE(a_->game().Send("VEDIO_STREAM", m));
  ASSERT_NO_FATAL_FAILURE(a_->Stop());
}

TEST_F(VideoChatTest, SecondInvitationInviterHangUpAndNoGameToAnswer) {
  ASSERT_NO_FATAL_FAILURE(Call("call-one", kWait));
  // One session at a time: a second invitation is answered at once and
  // never reaches the peer.
  a_->Send("VIDEO_INVITE", {{"send_video", int64_t{1}}, {"invitation_id", Utf16("call-two")},
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
  a_->Send("VIDEO_INVITE", {{"send_video", int64_t{1}}, {"invitation_id", Utf16("call-nobody")},
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
  ASSERT_TRUE(WaitUntil([&] { return rendezvous_.Control("online").find("\"carol\"") != std::string::npos; }, kWait));

  // A call between A and B is streaming.
  ASSERT_NO_FATAL_FAILURE(Call("call-ab", kWait));
  ASSERT_TRUE(a_->StreamTo(*b_, "call-ab"));

  // C calls each of them: both are busy, which C's game hears as such
  // (code 3); neither game is asked.
  for (const char* account : {"buddy", "demo"}) {
    const std::string id = std::string("call-c-") + account;
    c_->Send("VIDEO_INVITE", {{"send_video", int64_t{1}}, {"invitation_id", Utf16(id)}, {"account", Utf16(account)}});
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

  // C calls B, whose game never answers: B's client answers "time-out"
  // for it (C's game hears code 5) and B's game is told the invitation is
  // over. Nothing of it is left on either side.
  ASSERT_TRUE(WaitUntil([&] { return b_->Threads() > 0; }, kWait));
  const int threads_before = b_->Threads();
  c_->Send("VIDEO_INVITE", {{"send_video", int64_t{1}}, {"invitation_id", Utf16("call-quiet")},
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
  EXPECT_TRUE(WaitUntil([&] { return b_->Threads() <= threads_before; }, kWait))
      << b_->Threads() << " threads, " << threads_before << " before the invitation";

  // Both slots are free again: the next call from C goes through.
  c_->Send("VIDEO_INVITE", {{"send_video", int64_t{1}}, {"invitation_id", Utf16("call-after")},
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
