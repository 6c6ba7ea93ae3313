// The game command handlers in process, with the web client and the video
// chat played by the test: the statistics clock, the shot counters, the
// replies that go to their requester (or to every game), the pending posts
// of games that leave, and the video answers a game gets.
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "client/core/core_events.h"
#include "client/core/gamelink/game_link_web.h"
#include "client/core/gamelink/ob_logic_game_web.h"
#include "client/core/ui_string_table.h"
#include "client/core/video_events.h"
#include "client/core/web_events.h"
#include "runtime/platform/tick_clock.h"
#include "standin/game/game_simulator.h"
#include "tests/client/core/gamelink/game_link_harness.h"

namespace gamelink_test {
namespace {

using gamesim::GameSimulator;
using gamesim::WireMessage;
using ombrix::test::WaitUntil;
using namespace std::chrono_literals;

constexpr auto kWait = 10000ms;

// Records every command, the user's own too (through the web user's
// `on_request`); the test fires the replies.
class FakeWebCommands : public IGameLinkWebCommands {
 public:
  struct Call {
    std::string what;
    std::vector<std::wstring> args;
    FromHandle origin;
  };
  void Upload(const std::wstring& f, uint32_t ms, const FromHandle& o) override {
    Add({"upload", {f, std::to_wstring(ms)}, o});
  }
  void AddBlog(const std::wstring& c, const std::wstring& from, const std::wstring& url,
               const std::wstring& game, const FromHandle& o) override {
    Add({"addblog", {c, from, url, game}, o});
  }
  void CommitShot(uint32_t a, uint32_t b) override {
    Add({"commit", {std::to_wstring(a), std::to_wstring(b)}, {}});
  }
  std::vector<Call> Calls(const std::string& what) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<Call> out;
    for (const Call& c : calls_)
      if (c.what == what) out.push_back(c);
    return out;
  }
  void Add(Call call) {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back(std::move(call));
  }

 private:
  std::mutex mutex_;
  std::vector<Call> calls_;
};

// Records what the video block asks of the video chat.
class FakeVideoChat : public IGameLinkVideoChat {
 public:
  void GetOnlineFriend(int32_t, int32_t) override {}
  void InviteVideo(const std::wstring& id, const std::wstring& invited, bool,
                   const FromHandle&) override {
    Add(L"invite " + id + L" " + invited);
  }
  void ReplyVideoInvite(const std::wstring& id, int32_t result, const FromHandle&) override {
    Add(L"reply " + id + L" " + std::to_wstring(result));
  }
  void CloseVideoSession(const std::wstring& id) override { Add(L"close " + id); }
  void StopVideoOfRequester(const FromHandle&) override {}
  void PushVideoFrame(const std::wstring&, const uint8_t*, uint32_t, uint16_t, uint16_t,
                      uint16_t) override {}
  std::vector<std::wstring> Calls() {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
  }

 private:
  void Add(std::wstring call) {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back(std::move(call));
  }
  std::mutex mutex_;
  std::vector<std::wstring> calls_;
};

GameSimulator::Options G1() {
  GameSimulator::Options o;
  o.name_suffix = L"g1";
  return o;
}

class GameCommandBlocksTest : public ::testing::Test {
 protected:
  void SetUp() override {
    GameLinkServices services;
    services.web = &web_;
    services.clock = &clock_;
    state_.on_request = [this](const std::string& what, std::vector<std::wstring> args,
                               const FromHandle& origin) {
      web_.Add({what, std::move(args), origin});
    };
    gui_ = std::make_unique<GuiThread>(folder_, &state_, services, &video_);
    ASSERT_TRUE(gui_->started());
  }
  void TearDown() override { UIStringTable::Destroy(); }

  // Attaches and reads the handshake; the connection the server gave it.
  brx::io::ConnectionId Attach(GameSimulator& sim) {
    size_t known = gui_->Connections().size();
    EXPECT_TRUE(sim.ConnectAndAttach("g1", kWait));
    for (auto m = sim.Receive(kWait); m && m->name != "DATAPROMPT"; m = sim.Receive(kWait)) {
    }
    EXPECT_TRUE(WaitUntil([&] { return gui_->Connections().size() > known; }));
    return gui_->Connections().back();
  }
  void Fire(const EventParameter& event) {
    gui_->Run([&](OBLogicGameCommand&) { gui_->chain().FireEvent(&event); });
  }
  // A screenshot message: its answer proves everything before was handled.
  WireMessage Sync(GameSimulator& sim) {
    WireMessage m;
    m.fields = {{"kind", int64_t{0}}};
    EXPECT_TRUE(sim.Send("NEWIMAGE", m));
    auto reply = sim.Expect("IMAGESYN", kWait);
    return reply ? *reply : WireMessage{};
  }
  size_t Pending() {
    size_t n = 0;
    gui_->Run([&](OBLogicGameCommand& s) { n = s.web_block().PendingPostCountForTesting(); });
    return n;
  }
  static FromHandle From(brx::io::ConnectionId c) {
    return {FromHandle::kGameClient, static_cast<int32_t>(c)};
  }
  // The one call of `what` the game on `connection` made.
  FakeWebCommands::Call CallOf(const std::string& what, brx::io::ConnectionId connection) {
    std::vector<FakeWebCommands::Call> found;
    for (const auto& c : web_.Calls(what))
      if (c.origin.kind == FromHandle::kGameClient &&
          c.origin.handle == static_cast<int32_t>(connection))
        found.push_back(c);
    EXPECT_EQ(found.size(), 1u) << what;
    return found.empty() ? FakeWebCommands::Call{} : found.front();
  }
  // The kind counts the game is answered with for a new image of `kind`
  // (what a sign-in or sign-out sent the game before is passed over).
  std::vector<int64_t> ShotCounts(GameSimulator& sim, int kind) {
    WireMessage m;
    m.fields = {{"kind", int64_t{kind}}};
    EXPECT_TRUE(sim.Send("NEWIMAGE", m));
    for (auto reply = sim.Receive(kWait); reply; reply = sim.Receive(kWait)) {
      if (reply->name == "IMAGESYN")
        return {reply->Int("kind0"), reply->Int("kind1"), reply->Int("kind2")};
    }
    return {};
  }

  GameLinkFolder folder_{false};
  FakeWebState state_;
  FakeWebCommands web_;
  FakeVideoChat video_;
  brx::platform::ManualTickClock clock_{1000};
  std::unique_ptr<GuiThread> gui_;
};

TEST_F(GameCommandBlocksTest, StatisticsGoOutOncePerIntervalOfTheTick) {
  GameSimulator game(G1());
  Attach(game);
  auto flush = [&] { gui_->Run([](OBLogicGameCommand& s) { s.FlushShotStatistics(); }); };
  flush();  // starts the period only
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(game.Send("SHOTCOUNT"));
  Sync(game);
  Sync(game);
  clock_.Advance(120000);
  flush();
  EXPECT_TRUE(web_.Calls("commit").empty());  // not more than the interval yet
  clock_.Advance(1);
  flush();
  flush();
  ASSERT_EQ(web_.Calls("commit").size(), 1u);
  EXPECT_EQ(web_.Calls("commit")[0].args, (std::vector<std::wstring>{L"3", L"2"}));
  Sync(game);
  clock_.Advance(60000);
  flush();
  EXPECT_EQ(web_.Calls("commit").size(), 1u);
  clock_.Advance(60001);
  flush();
  ASSERT_EQ(web_.Calls("commit").size(), 2u);
  EXPECT_EQ(web_.Calls("commit")[1].args, (std::vector<std::wstring>{L"0", L"1"}));
}

TEST_F(GameCommandBlocksTest, RepliesReachTheGameThatAskedOrEveryGameWhenNoGameAsked) {
  GameSimulator a(G1()), b(G1());
  brx::io::ConnectionId ca = Attach(a);
  Attach(b);

  // The server time the client asked for on its own goes to every game;
  // one a game asked for, to that game.
  Fire(payload::SEVENT_RESPONSE_GetServerDateTime({FromHandle::kClient, 0}, L"", true,
                                                  L"2026-12-09 10:00:00"));
  for (GameSimulator* g : {&a, &b}) {
    auto m = g->Expect("SERVERTIME", kWait);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->Text("text"), u"2026-12-09 10:00:00");
  }
  Fire(payload::SEVENT_RESPONSE_GetServerDateTime(From(ca), L"", true, L"later"));
  EXPECT_TRUE(a.Expect("SERVERTIME", kWait));

  // A game's settings changed by that game go to its other clients; the
  // system settings, account news and counters changed by the client itself
  // go to every game.
  Fire(payload::SEVENT_CONFIG_CHANGE_GAME(L"g1", payload::kConfigFromPipeClient,
                                          static_cast<int32_t>(ca)));
  EXPECT_TRUE(b.Expect("GAMECONFIG", kWait));
  Fire(payload::SEVENT_CONFIG_CHANGE_SYSTEM(payload::kConfigFromSettingsDialog, 0));
  Fire(EVENT_DATA(SEVENT_RESPONSE_ResetFansCount, {}));
  Fire(payload::SEVENT_RESPONSE_GetUserAccountByAccount({FromHandle::kClient, 0}, L"", true, L""));
  for (GameSimulator* g : {&a, &b}) {
    EXPECT_TRUE(g->Expect("SYSTEMCONFIG", kWait));
    EXPECT_TRUE(g->Expect("DATAPROMPT", kWait));
    EXPECT_TRUE(g->Expect("USERINFO", kWait));
  }

  // A failed ticket sign-in nobody in a game asked for goes nowhere.
  Fire(payload::SEVENT_RESPONSE_UserLoginByTicket({}, L"", false, L"", false));
  EXPECT_EQ(Sync(a).name, "IMAGESYN");
  EXPECT_EQ(Sync(b).name, "IMAGESYN");

  // A game's ticket is used only while nobody is signed in.
  WireMessage ticket;
  ticket.fields = {{"ticket", u"t-1"}};
  a.Send("QTLLOGIN", ticket);
  Sync(a);
  gui_->Run([&](OBLogicGameCommand&) { state_.signed_in = true; });
  a.Send("QTLLOGIN", ticket);
  Sync(a);
  ASSERT_EQ(web_.Calls("ticket").size(), 1u);
  EXPECT_EQ(web_.Calls("ticket")[0].origin.handle, static_cast<int32_t>(ca));
  EXPECT_TRUE(a.errors().empty() && b.errors().empty());
}

TEST_F(GameCommandBlocksTest, EachPostWaitsForItsOwnUploadAndLeavesWithItsGame) {
  UIStringTable::Build(2052);
  state_.signed_in = true;
  GameSimulator a(G1()), b(G1()), c(G1());
  brx::io::ConnectionId ca = Attach(a), cb = Attach(b), cc = Attach(c);
  auto post = [](GameSimulator& g, const std::u16string& text, const std::u16string& path) {
    WireMessage m;
    m.fields = {{"text", text}, {"image_path", path}};
    EXPECT_TRUE(g.Send("POSTBLOG", m));
  };
  post(a, u"from a", u"/shots/same.png");
  post(b, u"", u"/shots/same.png");
  post(c, u"from c", u"/shots/same.png");
  Sync(a), Sync(b), Sync(c);
  // The three pipes are served fairly, not in any order: each upload is
  // known by the game it came from.
  ASSERT_EQ(web_.Calls("upload").size(), 3u);
  for (brx::io::ConnectionId game : {ca, cb, cc}) {
    EXPECT_EQ(CallOf("upload", game).args,
              (std::vector<std::wstring>{L"/shots/same.png", L"15000"}));
  }
  EXPECT_EQ(Pending(), 3u);

  // b's upload returns first: b's text (the default one) is posted.
  Fire(payload::SEVENT_RESPONSE_Upload(From(cb), L"", true, L"/shots/same.png",
                                       L"http://img/1.png"));
  ASSERT_EQ(web_.Calls("addblog").size(), 1u);
  EXPECT_EQ(web_.Calls("addblog")[0].args,
            (std::vector<std::wstring>{L"我在Game One游戏上截了这张图片,与大家一同分享",
                                       L"Game One", L"http://img/1.png", L"g1"}));
  Fire(payload::SEVENT_RESPONSE_Addblog(From(cb), L"", true));
  auto done = b.Expect("POSTBLOG", kWait);
  ASSERT_TRUE(done);
  EXPECT_EQ(done->Int("result"), 1);

  // a's upload fails: (0, path), and its post is gone.
  Fire(payload::SEVENT_RESPONSE_Upload(From(ca), L"", false, L"/shots/same.png", L""));
  EXPECT_TRUE(a.Expect("POSTBLOG", kWait));
  EXPECT_EQ(Pending(), 1u);

  // c leaves before its upload returns: its post goes with it, and the
  // late reply finds nothing.
  c.Close();
  ASSERT_TRUE(WaitUntil([&] { return gui_->Detaches().size() == 1; }));
  EXPECT_EQ(Pending(), 0u);
  Fire(payload::SEVENT_RESPONSE_Upload(From(cc), L"", true, L"/shots/same.png",
                                       L"http://img/2.png"));
  EXPECT_EQ(web_.Calls("addblog").size(), 1u);

  EXPECT_TRUE(a.errors().empty() && b.errors().empty());
}

TEST_F(GameCommandBlocksTest, ShotCountersStartAgainAtEverySignInReplyAndSignOut) {
  GameSimulator game(G1());
  Attach(game);
  EXPECT_EQ(ShotCounts(game, 1), (std::vector<int64_t>{0, 1, 0}));
  EXPECT_EQ(ShotCounts(game, 1), (std::vector<int64_t>{0, 2, 0}));
  EXPECT_EQ(ShotCounts(game, 2), (std::vector<int64_t>{0, 2, 1}));
  // A sign-in reply starts them again, whether it succeeded or not.
  Fire(payload::SEVENT_RESPONSE_UserLogin({}, L"", false, L"", false));
  EXPECT_EQ(ShotCounts(game, 0), (std::vector<int64_t>{1, 0, 0}));
  EXPECT_EQ(ShotCounts(game, 1), (std::vector<int64_t>{1, 1, 0}));
  Fire(payload::SEVENT_RESPONSE_UserLogin({}, L"", true, L"", false));
  EXPECT_EQ(ShotCounts(game, 1), (std::vector<int64_t>{0, 1, 0}));
  Fire(EVENT_DATA(SEVENT_RESPONSE_UserLogout, {}));
  EXPECT_EQ(ShotCounts(game, 7), (std::vector<int64_t>{0, 0, 0}));
  EXPECT_TRUE(game.errors().empty());
}

TEST_F(GameCommandBlocksTest, VideoFailuresReachTheAskingGameAsItsErrorCodes) {
  GameSimulator a(G1()), b(G1());
  brx::io::ConnectionId ca = Attach(a);
  Attach(b);
  auto expect_error = [&](GameSimulator& g, int64_t code, const std::u16string& id) {
    auto error = g.Expect("VEDIO_ERROR", kWait);
    ASSERT_TRUE(error) << code;
    EXPECT_EQ(error->Int("code"), code);
    EXPECT_EQ(error->Text("invitation_id"), id);
  };

  // The video chat's failures, each as the game's own code: no link, the
  // friend offline, an unknown reason 2, nobody signed in.
  const std::pair<int32_t, int64_t> codes[] = {
      {payload::kVideoNoLink, 0}, {payload::kVideoOffline, 1}, {2, 4}, {payload::kVideoNoUser, 2}};
  for (const auto& [result, code] : codes) {
    const std::wstring id = L"inv-" + std::to_wstring(result);
    Fire(payload::SEVENT_VIDEO_REPLY(From(ca), id, result));
    ASSERT_NO_FATAL_FAILURE(expect_error(a, code, std::u16string(id.begin(), id.end())));
  }

  // An invitation without an id or without a friend fails at once: the
  // game is told so instead of waiting for an answer that never comes.
  auto invite = [&](const std::u16string& id, const std::u16string& account) {
    WireMessage m;
    m.fields = {{"send_video", int64_t{1}}, {"invitation_id", id}, {"account", account}};
    EXPECT_TRUE(a.Send("VIDEO_INVITE", m));
  };
  invite(u"", u"bob");
  ASSERT_NO_FATAL_FAILURE(expect_error(a, 0, u""));
  invite(u"inv-9", u"");
  ASSERT_NO_FATAL_FAILURE(expect_error(a, 0, u"inv-9"));
  invite(u"inv-10", u"bob");
  Sync(a);
  EXPECT_EQ(video_.Calls(), std::vector<std::wstring>{L"invite inv-10 bob"});

  // Only the asking game heard any of it.
  EXPECT_EQ(Sync(b).name, "IMAGESYN");
  EXPECT_TRUE(a.errors().empty() && b.errors().empty());
}

}  // namespace
}  // namespace gamelink_test
