#include "client/core/gamelink/ob_logic_game_command.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>

#include "client/core/gamelink/s2c_messages.h"
#include "client/core/web_events.h"
#include "runtime/util/text_convert.h"
#include "standin/game/game_simulator.h"
#include "standin/game/simulator_script.h"
#include "tests/client/core/gamelink/game_link_harness.h"
#include "tests/runtime/io/log_tap.h"

namespace gamelink_test {
namespace {

using gamesim::GameSimulator;
using gamesim::WireMessage;
using ombrix::test::PathExists;
using ombrix::test::WaitUntil;
using namespace std::chrono_literals;

constexpr auto kWait = 10000ms;

GameSimulator::Options Suffix(const std::wstring& suffix) {
  GameSimulator::Options o;
  o.name_suffix = suffix;
  return o;
}

std::vector<std::string> Names(GameSimulator& sim, size_t count) {
  std::vector<std::string> names;
  while (names.size() < count) {
    auto m = sim.Receive(kWait);
    if (!m) break;
    names.push_back(m->name);
  }
  return names;
}

// Attaches and reads the handshake to its end (DATAPROMPT).
void AttachAndDrain(GameSimulator& sim, const std::string& game) {
  ASSERT_TRUE(sim.Attach(game));
  std::vector<std::string> names;
  while (names.empty() || names.back() != "DATAPROMPT") {
    auto m = sim.Receive(kWait);
    ASSERT_TRUE(m) << "handshake cut short";
    names.push_back(m->name);
  }
}

class GameLinkTest : public ::testing::Test {
 protected:
  void SetUp() override { folder_ = std::make_unique<GameLinkFolder>(install_hook_); }
  bool install_hook_ = false;
  std::unique_ptr<GameLinkFolder> folder_;
};

TEST_F(GameLinkTest, HandshakeOfAFreshInstallSendsExactlyTheSpecifiedSequence) {
  GuiThread gui(*folder_);
  ASSERT_TRUE(gui.started());
  GameSimulator sim(Suffix(L"g1"));
  ASSERT_EQ(sim.Connect(), 1);
  ASSERT_TRUE(sim.Attach("g1"));
  auto welcome = sim.Expect("WELCOME", kWait);
  auto system = sim.Expect("SYSTEMCONFIG", kWait);
  auto game = sim.Expect("GAMECONFIG", kWait);
  auto ok = sim.Expect("CONFIGOK", kWait);
  auto prompt = sim.Expect("DATAPROMPT", kWait);
  ASSERT_TRUE(welcome && system && game && ok && prompt) << sim.errors().front();
  EXPECT_EQ(system->ToString(),
            "SYSTEMCONFIG one_shot_sound=1 many_shot_sound=1 show_help=1 first_run=1 x=4800 "
            "y=2550 user_folder=\"Users/All Users\" store_folder=\"" +
                folder_->path() + "/OBSnapshot\"");
  EXPECT_EQ(game->ToString(),
            "GAMECONFIG many_duration=7 many_interval=0.5 quality=77 timed_shot=1 "
            "timed_interval=9 key_one_shot=\"F5\" key_many_shot=\"F6\" key_show_hide=\"F9\" "
            "key_region_one_shot=\"F7\" key_region_many_shot=\"F8\" key_quick_publish=\"F2\"");
  EXPECT_EQ(prompt->ToString(), "DATAPROMPT counter0=0 counter1=0 counter2=0 counter3=0");
  // No server time is known: nothing more comes.
  EXPECT_FALSE(sim.Receive(200ms));
  EXPECT_TRUE(PathExists(folder_->path() + "/OBSnapshot/Users/All Users"));
  EXPECT_TRUE(sim.errors().empty());
  gui.Run([](OBLogicGameCommand& s) { EXPECT_EQ(s.GetClientGameName(1u << 31), L"other"); });
}

TEST_F(GameLinkTest, SignedInUserAndKnownServerTimeJoinTheHandshake) {
  FakeWebState web;
  web.signed_in = true;
  web.login_kind = 1;
  web.nick = true;
  web.folder = L"Users/alice";
  web.counters = {1, 2, 3, 4};
  GuiThread gui(*folder_, &web);
  gui.Run([&](OBLogicGameCommand&) {
    payload::SEVENT_RESPONSE_GetServerDateTime failed({}, L"", false, L"ignored");
    gui.chain().FireEvent(&failed);
    payload::SEVENT_RESPONSE_GetServerDateTime reply({}, L"", true, L"2024-05-01 12:00:00");
    gui.chain().FireEvent(&reply);
  });
  GameSimulator sim(Suffix(L"g1"));
  ASSERT_NE(sim.Connect(), 0);
  ASSERT_TRUE(sim.Attach("g1"));
  EXPECT_EQ(Names(sim, 8),
            (std::vector<std::string>{"WELCOME", "LOGIN", "USERINFO", "SYSTEMCONFIG", "GAMECONFIG",
                                      "CONFIGOK", "DATAPROMPT", "SERVERTIME"}));
  EXPECT_TRUE(PathExists(folder_->path() + "/OBSnapshot/Users/alice"));
  EXPECT_TRUE(sim.errors().empty());
}

TEST_F(GameLinkTest, HandshakeMessagesCarryTheUserState) {
  FakeWebState web;
  web.signed_in = true;
  web.login_kind = 1;
  web.nick = true;
  web.counters = {1, 2, 3, 4};
  GuiThread gui(*folder_, &web);
  GameSimulator sim(Suffix(L"g1"));
  ASSERT_NE(sim.Connect(), 0);
  ASSERT_TRUE(sim.Attach("g1"));
  ASSERT_TRUE(sim.Expect("WELCOME", kWait));
  auto login = sim.Expect("LOGIN", kWait);
  auto info = sim.Expect("USERINFO", kWait);
  ASSERT_TRUE(login && info);
  EXPECT_EQ(login->ToString(), "LOGIN kind=1 signed_in=1 text=\"\"");
  EXPECT_EQ(info->ToString(), "USERINFO has_nick=1");
  Names(sim, 3);
  auto prompt = sim.Expect("DATAPROMPT", kWait);
  ASSERT_TRUE(prompt);
  EXPECT_EQ(prompt->ToString(), "DATAPROMPT counter0=1 counter1=2 counter2=3 counter3=4");
}

TEST_F(GameLinkTest, MessagesBeforeAttachAreDroppedAndAfterwardsHandled) {
  GuiThread gui(*folder_);
  gui.RecordId(3);
  GameSimulator sim(Suffix(L"g1"));
  ASSERT_NE(sim.Connect(), 0);
  WireMessage m;
  m.fields = {{"kind", int64_t{1}}, {"value", int64_t{5}}};
  ASSERT_TRUE(sim.Send("SYSTEMCONFIG", m));
  AttachAndDrain(sim, "g1");
  ASSERT_TRUE(sim.Send("SYSTEMCONFIG", m));
  ASSERT_TRUE(WaitUntil([&] { return gui.Handled().size() == 1; }));
  // The message sent before ATTACH never reached a handler.
  gui.Run([](OBLogicGameCommand&) {});
  EXPECT_EQ(gui.Handled().size(), 1u);
}

TEST_F(GameLinkTest, NotAttachedLogLineIsWrittenWithTheClientTableFree) {
  GuiThread gui(*folder_);
  OBLogicGameCommand* server = nullptr;
  gui.Run([&](OBLogicGameCommand& s) { server = &s; });
  // While the line is written, another thread reads the client table: it
  // gets through at once unless the writer holds the table.
  std::mutex mutex;
  std::vector<std::thread> probes;
  std::vector<bool> table_free;
  ombrix::test::LogTap log([&](const std::string& line) {
    if (line.find("is not attached yet") == std::string::npos) return;
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::thread probe([server, done] {
      server->GetClientCount();
      *done = true;
    });
    bool free = WaitUntil([&] { return done->load(); }, 2000ms);
    std::lock_guard<std::mutex> lock(mutex);
    probes.push_back(std::move(probe));
    table_free.push_back(free);
  });
  GameSimulator sim(Suffix(L"g1"));
  ASSERT_NE(sim.Connect(), 0);
  ASSERT_TRUE(sim.Send("OPENURL"));
  ASSERT_TRUE(WaitUntil([&] {
    std::lock_guard<std::mutex> lock(mutex);
    return table_free.size() == 1;
  }));
  std::lock_guard<std::mutex> lock(mutex);
  for (std::thread& probe : probes) probe.join();
  EXPECT_TRUE(table_free[0]);
}

TEST_F(GameLinkTest, AnotherGamesAttachIsClosedWithoutAReplyOrDetachAndTheNameIsServedAgain) {
  GuiThread gui(*folder_);
  GameSimulator wrong(Suffix(L"g1"));
  ASSERT_EQ(wrong.Connect(), 1);
  ASSERT_TRUE(wrong.Attach("g2"));
  EXPECT_FALSE(wrong.Receive(kWait));  // closed, nothing sent
  EXPECT_TRUE(wrong.WaitDisconnected(kWait));
  // The record goes, but a game that never attached has nothing to
  // detach: no SEVENT_GAME_DETACH, whose handlers may end the client.
  ASSERT_TRUE(WaitUntil([&] { return gui.ClientCount() == 0; }));
  EXPECT_TRUE(gui.Detaches().empty());
  // Name 1 is served again.
  GameSimulator right(Suffix(L"g1"));
  ASSERT_TRUE(WaitUntil([&] { return right.ConnectTo(1); }));
  AttachAndDrain(right, "g1");
  EXPECT_TRUE(gui.Detaches().empty());
}

TEST_F(GameLinkTest, GameThatNeverAttachesIsServedAndLeavesWithoutADetachEvent) {
  GuiThread gui(*folder_);
  GameSimulator sim(Suffix(L"g1"));
  ASSERT_EQ(sim.Connect(), 1);
  ASSERT_TRUE(WaitUntil([&] { return gui.Connections().size() == 1; }));
  brx::io::ConnectionId connection = gui.Connections()[0];
  gui.Run([&](OBLogicGameCommand& s) {
    EXPECT_EQ(s.GetClientCount(), 1u);
    EXPECT_EQ(s.GetClientGameName(connection), L"");  // connected, not attached
    EXPECT_TRUE(s.SendToClient(connection, COBMSG_S2C_CONFIGOK()));
  });
  EXPECT_TRUE(sim.Expect("CONFIGOK", kWait));
  sim.Close();
  ASSERT_TRUE(sim.WaitDisconnected(kWait));
  ASSERT_TRUE(WaitUntil([&] { return gui.ClientCount() == 0; }));
  gui.Run([&](OBLogicGameCommand& s) {
    EXPECT_EQ(s.GetClientGameName(connection), L"other");
    EXPECT_FALSE(s.SendToClient(connection, COBMSG_S2C_CONFIGOK()));
  });
  EXPECT_TRUE(gui.Detaches().empty());
  GameSimulator next(Suffix(L"g1"));
  ASSERT_TRUE(WaitUntil([&] { return next.ConnectTo(1); }));
  AttachAndDrain(next, "g1");
  next.Close();
  ASSERT_TRUE(WaitUntil([&] { return gui.Detaches().size() == 1; }));
  EXPECT_EQ(gui.Detaches()[0].first, L"g1");  // an attached game does detach
}

TEST_F(GameLinkTest, FiveGamesAttachAtOnceAndASixthFindsEveryNameBusyUntilOneLeaves) {
  GuiThread gui(*folder_);
  std::vector<std::unique_ptr<GameSimulator>> games;
  for (int i = 1; i <= 5; ++i) {
    games.push_back(std::make_unique<GameSimulator>(Suffix(L"g1")));
    ASSERT_EQ(games.back()->Connect(), i);
    AttachAndDrain(*games.back(), "g1");
  }
  GameSimulator sixth(Suffix(L"g1"));
  EXPECT_EQ(sixth.Connect(), 0);
  games[3]->Detach();
  ASSERT_TRUE(games[3]->WaitDisconnected(kWait));
  ASSERT_TRUE(WaitUntil([&] { return sixth.Connect() == 4; }));
  AttachAndDrain(sixth, "g1");
  ASSERT_TRUE(WaitUntil([&] { return gui.Detaches().size() == 1; }));
  EXPECT_EQ(gui.Detaches()[0].first, L"g1");
  gui.Run([](OBLogicGameCommand& s) { EXPECT_EQ(s.GetClientCount(), 5u); });
}

TEST_F(GameLinkTest, GamesThatHaveLeftFindTheirNamesServedTheMomentTheyKnowIt) {
  GuiThread gui(*folder_);
  // The pipe thread is held at each disconnection until the next game has
  // tried its name (or a while has passed), as a busy machine may hold it:
  // a name served again only after the game that left has seen its pipe
  // close is a name the next game finds busy although nobody uses it.
  std::mutex mutex;
  std::condition_variable changed;
  bool tried = false;
  gui.HoldEachDisconnect([&] {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait_for(lock, 300ms, [&] { return tried; });
  });
  std::vector<std::unique_ptr<GameSimulator>> games;
  for (int i = 1; i <= 5; ++i) {
    games.push_back(std::make_unique<GameSimulator>(Suffix(L"g1")));
    ASSERT_EQ(games.back()->Connect(), i);
    AttachAndDrain(*games.back(), "g1");
  }
  for (int i = 0; i < 5; ++i) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      tried = false;
    }
    auto next = std::make_unique<GameSimulator>(Suffix(L"g1"));
    games[i]->Close();
    ASSERT_TRUE(games[i]->WaitDisconnected(kWait));
    // No waiting for a name: the game that was here has gone.
    int name = next->Connect();
    {
      std::lock_guard<std::mutex> lock(mutex);
      tried = true;
    }
    changed.notify_all();
    ASSERT_EQ(name, i + 1);
    AttachAndDrain(*next, "g1");
    games[i] = std::move(next);
  }
  ASSERT_TRUE(WaitUntil([&] { return gui.Detaches().size() == 5; }));
  gui.HoldEachDisconnect(nullptr);
}

TEST_F(GameLinkTest, ConnectionsThatNeverAttachAreClosedAfterTheLimitAndTheirNamesServedAgain) {
  const auto limit = 400ms;
  GuiThread gui(*folder_, nullptr, {}, nullptr, static_cast<uint32_t>(limit.count()));
  std::vector<std::unique_ptr<GameSimulator>> idle;
  for (int i = 1; i <= 5; ++i) {
    idle.push_back(std::make_unique<GameSimulator>(Suffix(L"g1")));
    ASSERT_EQ(idle.back()->Connect(), i);
  }
  GameSimulator game(Suffix(L"g1"));
  EXPECT_EQ(game.Connect(), 0);  // every name taken, by nobody
  for (auto& connection : idle) ASSERT_TRUE(connection->WaitDisconnected(kWait));
  ASSERT_TRUE(game.ConnectAndAttach("g1", kWait));
  ASSERT_TRUE(game.Receive(kWait));  // served: the handshake comes
  ASSERT_TRUE(WaitUntil([&] { return gui.ClientCount() == 1; }));
  EXPECT_TRUE(gui.Detaches().empty());  // none of them was a game that left
  // An attached game outlives the limit.
  GameSimulator other(Suffix(L"g1"));
  ASSERT_NE(other.Connect(), 0);
  ASSERT_TRUE(other.WaitDisconnected(kWait));
  EXPECT_TRUE(game.IsConnected());
  gui.Run([](OBLogicGameCommand& s) { EXPECT_EQ(s.GetClientCount(), 1u); });
}

TEST_F(GameLinkTest, LengthThreeDropsThatGameOnlyAndItsNameIsServedAgainAtOnce) {
  GuiThread gui(*folder_);
  GameSimulator good(Suffix(L"g1")), bad(Suffix(L"g1"));
  ASSERT_EQ(good.Connect(), 1);
  AttachAndDrain(good, "g1");
  ASSERT_EQ(bad.Connect(), 2);
  AttachAndDrain(bad, "g1");
  ASSERT_TRUE(bad.SendBytes({3, 0, 0, 0}));
  ASSERT_TRUE(bad.WaitDisconnected(kWait));
  EXPECT_EQ(bad.disconnect_error(), 109);  // the server closed it
  ASSERT_TRUE(WaitUntil([&] { return gui.Detaches().size() == 1; }));
  GameSimulator next(Suffix(L"g1"));
  ASSERT_TRUE(WaitUntil([&] { return next.ConnectTo(2); }));
  AttachAndDrain(next, "g1");
  gui.RecordId(22);
  WireMessage open;
  open.fields = {{"which", int64_t{0}}};
  ASSERT_TRUE(good.Send("OPENURL", open));
  ASSERT_TRUE(WaitUntil([&] { return gui.Handled().size() == 1; }));
}

TEST_F(GameLinkTest, GameThatClosesAfterOneMessageHasItDispatchedThenItsDetach) {
  GuiThread gui(*folder_);
  GameSimulator sim(Suffix(L"g1"));
  ASSERT_NE(sim.Connect(), 0);
  AttachAndDrain(sim, "g1");
  std::vector<std::string> order;
  gui.Run([&](OBLogicGameCommand& s) {
    s.Register(
        22, [&](brx::io::ConnectionId, const uint8_t*, uint32_t) { order.push_back("OPENURL"); });
    gui.chain().Subscribe(SEVENT_GAME_DETACH,
                          [&](const EventParameter*) { order.push_back("detach"); });
  });
  gui.Block();  // both arrive before the GUI thread looks
  WireMessage open;
  open.fields = {{"which", int64_t{1}}};
  ASSERT_TRUE(sim.Send("OPENURL", open));
  sim.Close();
  ASSERT_TRUE(sim.WaitDisconnected(kWait));
  gui.Release();
  ASSERT_TRUE(WaitUntil([&] { return gui.Detaches().size() == 1; }));
  gui.Run([&](OBLogicGameCommand&) {
    EXPECT_EQ(order, (std::vector<std::string>{"OPENURL", "detach"}));
  });
}

TEST_F(GameLinkTest, ExplicitDetachThenCloseGivesExactlyOneDetachEvent) {
  GuiThread gui(*folder_);
  GameSimulator sim(Suffix(L"g1"));
  ASSERT_NE(sim.Connect(), 0);
  AttachAndDrain(sim, "g1");
  sim.Detach();
  ASSERT_TRUE(sim.WaitDisconnected(kWait));
  ASSERT_TRUE(WaitUntil([&] { return gui.Detaches().size() == 1; }));
  gui.Run([](OBLogicGameCommand& s) { EXPECT_EQ(s.GetClientCount(), 0u); });
  EXPECT_EQ(gui.Detaches().size(), 1u);
}

TEST_F(GameLinkTest, StaleDetachOfALeftGameNeverErasesTheGameThatTookItsName) {
  GuiThread gui(*folder_);
  gui.RecordId(22);
  GameSimulator first(Suffix(L"g1"));
  ASSERT_EQ(first.Connect(), 1);
  AttachAndDrain(first, "g1");
  // The GUI thread is busy while the first game leaves and a second one
  // takes the name and attaches: the first's detach is still queued when
  // the second connects.
  gui.Block();
  first.Close();
  ASSERT_TRUE(first.WaitDisconnected(kWait));
  GameSimulator second(Suffix(L"g1"));
  ASSERT_TRUE(WaitUntil([&] { return second.ConnectTo(1); }));
  ASSERT_TRUE(second.Attach("g1"));
  WireMessage open;
  open.fields = {{"which", int64_t{2}}};
  ASSERT_TRUE(second.Send("OPENURL", open));
  gui.Release();
  EXPECT_EQ(Names(second, 5), (std::vector<std::string>{"WELCOME", "SYSTEMCONFIG", "GAMECONFIG",
                                                        "CONFIGOK", "DATAPROMPT"}));
  ASSERT_TRUE(WaitUntil([&] { return gui.Handled().size() == 1; }));
  ASSERT_TRUE(WaitUntil([&] { return gui.Detaches().size() == 1; }));
  gui.Run([&](OBLogicGameCommand& s) {
    EXPECT_EQ(s.GetClientCount(), 1u);
    EXPECT_EQ(s.GetClientGameName(gui.Handled()[0].first), L"g1");
    EXPECT_NE(static_cast<uint32_t>(gui.Detaches()[0].second), gui.Handled()[0].first);
  });
}

TEST_F(GameLinkTest, SendToAllAndSendToGameSkipTheExceptedAndTheUnattached) {
  GuiThread gui(*folder_);
  gui.RecordId(22);
  std::vector<std::unique_ptr<GameSimulator>> games;
  for (int i = 0; i < 3; ++i) {
    games.push_back(std::make_unique<GameSimulator>(Suffix(L"g1")));
    ASSERT_NE(games.back()->Connect(), 0);
  }
  AttachAndDrain(*games[0], "g1");
  AttachAndDrain(*games[1], "g1");  // games[2] stays unattached
  WireMessage open;
  ASSERT_TRUE(games[0]->Send("OPENURL", open));
  ASSERT_TRUE(WaitUntil([&] { return gui.Handled().size() == 1; }));
  brx::io::ConnectionId first = gui.Handled()[0].first;
  gui.Run([&](OBLogicGameCommand& s) {
    s.SendToAll(COBMSG_S2C_LOGOUT(), first);
    s.SendToGame(L"g1", COBMSG_S2C_IMAGESYN(1, 2, 3));
    s.SendToGame(L"other", COBMSG_S2C_CONFIGOK());
    EXPECT_TRUE(s.SendToClient(first, COBMSG_S2C_WELCOME()));
    EXPECT_FALSE(s.SendToClient(first + 1000, COBMSG_S2C_WELCOME()));
  });
  EXPECT_EQ(Names(*games[0], 2), (std::vector<std::string>{"IMAGESYN", "WELCOME"}));
  EXPECT_EQ(Names(*games[1], 2), (std::vector<std::string>{"LOGOUT", "IMAGESYN"}));
  EXPECT_FALSE(games[2]->Receive(200ms));
}

TEST_F(GameLinkTest, VideoFrameOfTheWrongSizeIsNeverSentToAGame) {
  GuiThread gui(*folder_);
  gui.RecordId(22);
  GameSimulator sim(Suffix(L"g1"));
  ASSERT_NE(sim.Connect(), 0);
  AttachAndDrain(sim, "g1");
  ASSERT_TRUE(sim.Send("OPENURL"));
  ASSERT_TRUE(WaitUntil([&] { return gui.Handled().size() == 1; }));
  brx::io::ConnectionId game = gui.Handled()[0].first;
  std::vector<uint8_t> pixels(4 * 2 * 3, 0x11);
  gui.Run([&](OBLogicGameCommand& s) {
    EXPECT_FALSE(
        s.SendToClient(game, COBMSG_S2C_VEDIO_STREAM(false, 25, 4, 2, pixels.data(), 23, L"inv")));
    s.SendToAll(COBMSG_S2C_VEDIO_STREAM(false, 25, 4, 3, pixels.data(), 24, L"inv"));
    s.SendToGame(L"g1", COBMSG_S2C_VEDIO_STREAM(false, 25, 3, 2, pixels.data(), 24, L"inv"));
    EXPECT_TRUE(
        s.SendToClient(game, COBMSG_S2C_VEDIO_STREAM(true, 25, 4, 2, pixels.data(), 24, L"inv")));
  });
  // One pipe keeps the order: the first message to come is the last one sent.
  auto frame = sim.Expect("VEDIO_STREAM", kWait);
  ASSERT_TRUE(frame) << sim.errors().front();
  EXPECT_EQ(frame->ToString(),
            "VEDIO_STREAM reinit=1 frame_rate=25 width=4 height=2 frame=24B invitation_id=\"inv\"");
  EXPECT_TRUE(sim.errors().empty());
}

TEST_F(GameLinkTest, SecondAttachRepeatsTheHandshakeAndRenamesTheGame) {
  GuiThread gui(*folder_);
  gui.RecordId(22);
  GameSimulator sim(Suffix(L"g1"));
  ASSERT_NE(sim.Connect(), 0);
  AttachAndDrain(sim, "g1");
  AttachAndDrain(sim, "g1");
  ASSERT_TRUE(sim.Send("OPENURL"));
  ASSERT_TRUE(WaitUntil([&] { return gui.Handled().size() == 1; }));
  gui.Run([&](OBLogicGameCommand& s) {
    EXPECT_EQ(s.GetClientGameName(gui.Handled()[0].first), L"g1");
  });
}

TEST_F(GameLinkTest, StopWithGamesConnectedEndsTheThreadsWithoutDetachEvents) {
  auto gui = std::make_unique<GuiThread>(*folder_);
  std::vector<std::unique_ptr<GameSimulator>> games;
  for (int i = 0; i < 3; ++i) {
    games.push_back(std::make_unique<GameSimulator>(Suffix(L"g1")));
    ASSERT_NE(games.back()->Connect(), 0);
    AttachAndDrain(*games.back(), "g1");
  }
  ASSERT_TRUE(games[0]->PushVideoFrame("v", 640, 480));
  gui->Run([](OBLogicGameCommand& s) {
    s.Stop();
    EXPECT_EQ(s.GetClientCount(), 0u);
  });
  for (auto& g : games) EXPECT_TRUE(g->WaitDisconnected(kWait));
  EXPECT_TRUE(gui->Detaches().empty());
  for (int i = 1; i <= 5; ++i)
    EXPECT_FALSE(
        PathExists(folder_->PipeDir() + "/ombrix.ipc.obdaemondll_" + std::to_string(i) + "_g1"));
  gui.reset();
}

class GameLinkWithHookTest : public GameLinkTest {
 protected:
  void SetUp() override {
    install_hook_ = true;
    GameLinkTest::SetUp();
  }
};

TEST_F(GameLinkWithHookTest, PipeNamesHaveNoSuffixAndAnUnknownGameAttachesAsOther) {
  GuiThread gui(*folder_);
  gui.RecordId(22);
  GameSimulator sim;  // plain names
  ASSERT_EQ(sim.Connect(), 1);
  ASSERT_TRUE(sim.Attach("unknown-game"));
  ASSERT_TRUE(sim.Expect("WELCOME", kWait));
  ASSERT_TRUE(sim.Expect("SYSTEMCONFIG", kWait));
  auto game = sim.Expect("GAMECONFIG", kWait);
  ASSERT_TRUE(game);
  // The fallback's built-in values, not those of "g1".
  EXPECT_EQ(game->Int("quality"), 90);
  EXPECT_EQ(game->Utf8("key_one_shot"), "HOME");
  ASSERT_TRUE(sim.Expect("CONFIGOK", kWait));
  ASSERT_TRUE(sim.Send("OPENURL"));
  ASSERT_TRUE(WaitUntil([&] { return gui.Handled().size() == 1; }));
  gui.Run([&](OBLogicGameCommand& s) {
    EXPECT_EQ(s.GetClientGameName(gui.Handled()[0].first), L"other");
  });
}

}  // namespace
}  // namespace gamelink_test

namespace gamelink_test {
namespace {

TEST_F(GameLinkTest, SimulatorScriptPlaysTheGameAndReportsTheFirstMismatch) {
  GuiThread gui(*folder_);
  gui.RecordId(38);
  GameSimulator sim(Suffix(L"g1"));
  std::istringstream script(
      "# a game that attaches, checks its settings and sends video\n"
      "attach g1\n"
      "expect WELCOME\n"
      "expect SYSTEMCONFIG x=4800 y=2550 user_folder=\"Users/All Users\"\n"
      "expect GAMECONFIG quality=77 many_interval=0.5 key_one_shot=F5\n"
      "expect CONFIGOK\n"
      "recv\n"
      "video inv 4 2 3\n"
      "send SYSTEMCONFIG kind=0 value=1\n"
      "expect CONFIGOK\n");
  std::ostringstream out;
  std::string error;
  EXPECT_FALSE(gamesim::RunScript(sim, script, out, 2000ms, &error));
  EXPECT_EQ(error, "line 10: expected CONFIGOK, got nothing");  // nothing answers a setting yet
  EXPECT_NE(out.str().find("DATAPROMPT counter0=0"), std::string::npos);
  ASSERT_TRUE(WaitUntil([&] { return gui.Handled().size() == 3; }));

  GameSimulator other(Suffix(L"g1"));
  std::istringstream wrong("attach g1\nexpect WELCOME\nexpect SYSTEMCONFIG x=1\n");
  EXPECT_FALSE(gamesim::RunScript(other, wrong, out, 2000ms, &error));
  EXPECT_EQ(error.rfind("line 3: field x differs", 0), 0u) << error;
}

}  // namespace
}  // namespace gamelink_test
