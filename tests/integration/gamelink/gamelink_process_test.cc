// The game link of the real main client, played by game simulators: the
// handshake of a fresh install, five games at once, broken and short-lived
// games, thousands of attach/detach cycles, and shut-down with games
// attached.
#include <signal.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include "standin/game/game_simulator.h"
#include "tests/integration/gamelink/host_under_test.h"

namespace gamelink_it {
namespace {

using gamesim::GameSimulator;
using gamesim::WireMessage;
using ombrix::test::WaitUntil;
using namespace std::chrono_literals;

constexpr auto kWait = 15000ms;

// The install's edition: game id "other", hook not installed system-wide,
// so every pipe name ends in the game id.
GameSimulator::Options OtherGame() {
  GameSimulator::Options o;
  o.name_suffix = L"other";
  return o;
}

std::vector<std::string> ReadHandshake(GameSimulator& sim) {
  std::vector<std::string> names;
  while (names.empty() || names.back() != "DATAPROMPT") {
    auto m = sim.Receive(kWait);
    if (!m) break;
    names.push_back(m->name);
  }
  return names;
}

const std::vector<std::string> kHandshake = {"WELCOME", "SYSTEMCONFIG", "GAMECONFIG", "CONFIGOK",
                                             "DATAPROMPT"};

// How often the text occurs.
size_t Count(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size()))
    ++count;
  return count;
}

// The log line of each SEVENT_GAME_DETACH the client fires.
constexpr char kDetachLine[] = "game other left, IPC=";

class GameLinkProcessTest : public ::testing::Test {
 protected:
  explicit GameLinkProcessTest(
      HostUnderTest::ExitWithGame exit_with_game = HostUnderTest::ExitWithGame::kOff)
      : host_(exit_with_game) {}
  void SetUp() override {
    ASSERT_TRUE(host_.Start());
    // The game pipes are served before the main loop starts.
    ASSERT_TRUE(WaitUntil([&] { return host_.Log().find(" start") != std::string::npos; }, 60s))
        << host_.Stderr();
    ASSERT_TRUE(host_.ServesGamePipes(10s));
  }
  void TearDown() override {
    if (host_.Signal(SIGTERM)) {  // unless the test ended it
      EXPECT_EQ(host_.WaitForExit(60s), 0);
    }
    EXPECT_EQ(host_.Stderr().find("LeakSanitizer"), std::string::npos) << host_.Stderr();
  }

  HostUnderTest host_;
};

// The install as shipped: the client ends when its game leaves.
class GameLinkExitWithGameTest : public GameLinkProcessTest {
 protected:
  GameLinkExitWithGameTest() : GameLinkProcessTest(HostUnderTest::ExitWithGame::kKeep) {}
};

TEST_F(GameLinkProcessTest, FreshInstallHandshakeIsExactlyTheSpecifiedSequence) {
  GameSimulator sim(OtherGame());
  ASSERT_NE(sim.Connect(), 0);
  ASSERT_TRUE(sim.Attach("other"));
  auto welcome = sim.Expect("WELCOME", kWait);
  auto system = sim.Expect("SYSTEMCONFIG", kWait);
  auto game = sim.Expect("GAMECONFIG", kWait);
  auto ok = sim.Expect("CONFIGOK", kWait);
  auto prompt = sim.Expect("DATAPROMPT", kWait);
  ASSERT_TRUE(welcome && system && game && ok && prompt) << sim.errors().front();
  EXPECT_EQ(system->ToString(),
            "SYSTEMCONFIG one_shot_sound=1 many_shot_sound=1 show_help=1 first_run=1 x=4800 "
            "y=2550 user_folder=\"Users/All Users\" store_folder=\"" +
                host_.program() + "/OBSnapshot\"");
  EXPECT_EQ(game->ToString(),
            "GAMECONFIG many_duration=5 many_interval=0.3 quality=90 timed_shot=0 "
            "timed_interval=5 key_one_shot=\"HOME\" key_many_shot=\"END\" key_show_hide=\"F10\" "
            "key_region_one_shot=\"INSERT\" key_region_many_shot=\"DELETE\" "
            "key_quick_publish=\"F1\"");
  EXPECT_EQ(prompt->ToString(), "DATAPROMPT counter0=0 counter1=0 counter2=0 counter3=0");
  EXPECT_FALSE(sim.Receive(500ms))
      << "nothing else while no user is signed in and no server time is known";
  EXPECT_TRUE(sim.errors().empty()) << sim.errors().front();
}

TEST_F(GameLinkProcessTest, FiveGamesBusyNamesBrokenAndShortLivedGames) {
  std::vector<std::unique_ptr<GameSimulator>> games;
  for (int i = 1; i <= 5; ++i) {
    games.push_back(std::make_unique<GameSimulator>(OtherGame()));
    ASSERT_TRUE(WaitUntil([&] { return games.back()->Connect() != 0; }, kWait));
    ASSERT_TRUE(games.back()->Attach("other"));
    ASSERT_EQ(ReadHandshake(*games.back()), kHandshake);
  }
  // A sixth finds every name busy.
  GameSimulator sixth(OtherGame());
  EXPECT_EQ(sixth.Connect(), 0);

  // A game that sends a length of 3 is dropped, and its name is served again at once.
  int broken_name = games[1]->name_index();
  ASSERT_TRUE(games[1]->SendBytes({3, 0, 0, 0}));
  ASSERT_TRUE(games[1]->WaitDisconnected(kWait));
  ASSERT_TRUE(WaitUntil([&] { return sixth.ConnectTo(broken_name); }, kWait));
  ASSERT_TRUE(sixth.Attach("other"));
  EXPECT_EQ(ReadHandshake(sixth), kHandshake);

  // A game that closes after one message has it dispatched before its
  // detach: sent before ATTACH, the message reaches the filter while the
  // game's record still exists, which logs it (after the detach it would
  // be dropped silently).
  games[4]->Detach();
  ASSERT_TRUE(games[4]->WaitDisconnected(kWait));
  GameSimulator short_lived(OtherGame());
  ASSERT_TRUE(WaitUntil([&] { return short_lived.Connect() != 0; }, kWait));
  WireMessage config;
  config.fields = {{"kind", int64_t{1}}, {"value", int64_t{100}}};
  ASSERT_TRUE(short_lived.Send("SYSTEMCONFIG", config));
  short_lived.Close();
  ASSERT_TRUE(short_lived.WaitDisconnected(kWait));
  EXPECT_TRUE(WaitUntil(
      [&] { return host_.Log().find(";msg:3 is not attached yet") != std::string::npos; }, kWait));
  GameSimulator after(OtherGame());
  EXPECT_TRUE(WaitUntil([&] { return after.Connect() != 0; }, kWait));
}

TEST_F(GameLinkExitWithGameTest, GamesThatNeverAttachLeaveWithoutADetachAndTheNameIsServedAgain) {
  // Set-up's probe already connected and left without attaching.
  GameSimulator wrong(OtherGame());
  ASSERT_NE(wrong.Connect(), 0);
  int name = wrong.name_index();
  ASSERT_TRUE(wrong.Attach("some-other-game"));
  EXPECT_FALSE(wrong.Receive(kWait));
  EXPECT_TRUE(wrong.WaitDisconnected(kWait));
  GameSimulator silent(OtherGame());
  ASSERT_TRUE(WaitUntil([&] { return silent.Connect() != 0; }, kWait));
  silent.Close();
  ASSERT_TRUE(silent.WaitDisconnected(kWait));
  GameSimulator right(OtherGame());
  ASSERT_TRUE(WaitUntil([&] { return right.ConnectTo(name); }, kWait));
  ASSERT_TRUE(right.Attach("other"));
  // Once this handshake is answered, the detaches of the three games that
  // left before it have been handled: none of them fired the detach event,
  // which would end a client that exits with its game.
  EXPECT_EQ(ReadHandshake(right), kHandshake);
  EXPECT_EQ(Count(host_.Log(), " left, IPC="), 0u) << host_.Log();
  EXPECT_FALSE(host_.HasExited());
}

TEST_F(GameLinkProcessTest, FiveGamesTimesAThousandAttachDetachCyclesLoseNothing) {
  constexpr int kGames = 5, kCycles = 1000;
  std::atomic<int> done{0};
  std::vector<std::string> failures(kGames);
  std::vector<std::thread> threads;
  for (int g = 0; g < kGames; ++g) {
    threads.emplace_back([&, g] {
      GameSimulator sim(OtherGame());
      for (int i = 0; i < kCycles && failures[g].empty(); ++i) {
        // Names come and go under five games at once: a game that is
        // turned away tries again.
        if (!sim.ConnectAndAttach("other", kWait))
          failures[g] = "not served";
        else if (auto names = ReadHandshake(sim); names != kHandshake)
          failures[g] = "handshake of " + std::to_string(names.size()) + " messages";
        if (!failures[g].empty()) break;
        sim.Detach();
        if (!sim.WaitDisconnected(kWait))
          failures[g] = "pipe not closed";
        else
          ++done;
      }
      if (!sim.errors().empty()) failures[g] += "; " + sim.errors().front();
    });
  }
  for (auto& t : threads) t.join();
  for (int g = 0; g < kGames; ++g) EXPECT_EQ(failures[g], "") << "game " << g;
  EXPECT_EQ(done.load(), kGames * kCycles);
  // The client is still fine afterwards: a game is served and a message
  // from it is answered (a second ATTACH repeats the handshake).
  GameSimulator last(OtherGame());
  ASSERT_TRUE(WaitUntil([&] { return last.Connect() != 0; }, kWait));
  ASSERT_TRUE(last.Attach("other"));
  EXPECT_EQ(ReadHandshake(last), kHandshake);
  ASSERT_TRUE(last.Attach("other"));
  EXPECT_EQ(ReadHandshake(last), kHandshake);
  // Every game that left was detached exactly once, in order behind its
  // messages (the handshakes above were answered after every earlier
  // detach) ...
  EXPECT_EQ(Count(host_.Log(), kDetachLine), size_t{kGames * kCycles});
  // ... and left no record behind: at shut-down the one game still
  // attached is the only client.
  ASSERT_TRUE(host_.Signal(SIGTERM));
  EXPECT_EQ(host_.WaitForExit(60s), 0);
  EXPECT_EQ(Count(host_.Log(), "game clients were still connected"), 1u) << host_.Log();
  EXPECT_NE(host_.Log().find(":1 game clients were still connected"), std::string::npos);
  // TearDown checks that no leak was reported.
}

TEST_F(GameLinkProcessTest, ShutDownWithGamesAttachedClosesEveryPipe) {
  std::vector<std::unique_ptr<GameSimulator>> games;
  for (int i = 0; i < 5; ++i) {
    games.push_back(std::make_unique<GameSimulator>(OtherGame()));
    ASSERT_TRUE(WaitUntil([&] { return games.back()->Connect() != 0; }, kWait));
    ASSERT_TRUE(games.back()->Attach("other"));
    ASSERT_EQ(ReadHandshake(*games.back()), kHandshake);
  }
  ASSERT_TRUE(games[0]->PushVideoFrame("v", 640, 480));
  ASSERT_TRUE(host_.Signal(SIGTERM));
  EXPECT_EQ(host_.WaitForExit(30s), 0);
  for (auto& g : games) EXPECT_TRUE(g->WaitDisconnected(kWait));
  EXPECT_EQ(host_.Stderr().find("LeakSanitizer"), std::string::npos) << host_.Stderr();
}

}  // namespace
}  // namespace gamelink_it
