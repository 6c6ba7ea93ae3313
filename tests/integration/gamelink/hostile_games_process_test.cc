// Games that misbehave must not take the others, or the client, with
// them: a game that stops reading its pipe, a game that floods it, and
// five games that start at the same instant, against the real client.
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "runtime/io/scoped_fd.h"
#include "standin/game/game_simulator.h"
#include "tests/integration/gamelink/host_under_test.h"

namespace gamelink_it {
namespace {

using brx::io::ScopedFd;
using gamesim::GameSimulator;
using ombrix::test::WaitUntil;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kWait = 15000ms;
// Well below the 15 s and more that a third game used to wait behind a
// stalled or flooding one, and well above what a loaded test machine
// needs for a handshake.
constexpr auto kPrompt = 5000ms;

GameSimulator::Options OtherGame() {
  GameSimulator::Options o;
  o.name_suffix = L"other";
  return o;
}

std::string PipeName(int index) {
  return "ombrix.ipc.obdaemondll_" + std::to_string(index) + "_other";
}

// A game played on a bare socket: it sends what the test says and reads
// only when told to.
class RawGame {
 public:
  // Connects to the first free name.
  explicit RawGame(const std::string& pipe_dir) {
    for (int i = 1; i <= 5 && !fd_.valid(); ++i) {
      ScopedFd fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
      sockaddr_un address{};
      address.sun_family = AF_UNIX;
      std::string path = pipe_dir + "/" + PipeName(i);
      snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
      if (connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
        fd_ = std::move(fd);
    }
  }
  bool connected() const { return fd_.valid(); }

  // ATTACH "other", framed.
  static std::string Attach() {
    std::string body = {0, 0, 0, 0, 10, 0, 0, 0};
    for (char c : std::string("other")) body += {c, 0};
    uint32_t length = static_cast<uint32_t>(body.size() + 4);
    std::string frame(4, '\0');
    for (int i = 0; i < 4; ++i) frame[i] = static_cast<char>(length >> (8 * i));
    return frame + body;
  }
  // Sends `count` ATTACH frames as fast as the socket takes them; false
  // when the client closed the pipe meanwhile.
  bool SendAttaches(int count) {
    std::string all;
    for (int i = 0; i < count; ++i) all += Attach();
    for (size_t sent = 0; sent < all.size();) {
      ssize_t n = send(fd_.get(), all.data() + sent, all.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) return false;
      sent += static_cast<size_t>(n);
    }
    return true;
  }
  // True once the client has closed its end (the game sees the end of the
  // stream after whatever it did not read).
  bool ClosedByClient() {
    pollfd p{fd_.get(), POLLRDHUP, 0};
    return poll(&p, 1, 0) == 1 && (p.revents & (POLLRDHUP | POLLHUP));
  }
  // Reads whole frames until `count` arrived or `timeout` passed; returns
  // the message ids, or stops at a frame that is not whole and sane.
  std::vector<int> ReadMessages(size_t count, std::chrono::milliseconds timeout, bool* sound) {
    std::vector<int> ids;
    auto until = Clock::now() + timeout;
    *sound = true;
    while (ids.size() < count && Clock::now() < until) {
      pollfd p{fd_.get(), POLLIN, 0};
      if (poll(&p, 1, 100) != 1) continue;
      char chunk[65536];
      ssize_t n = recv(fd_.get(), chunk, sizeof chunk, 0);
      if (n <= 0) break;
      pending_.append(chunk, static_cast<size_t>(n));
      while (pending_.size() >= 8) {
        uint32_t length = 0;
        for (int i = 0; i < 4; ++i) length |= uint32_t(uint8_t(pending_[i])) << (8 * i);
        if (length < 8 || length > (1u << 20)) {
          *sound = false;
          return ids;
        }
        if (pending_.size() < length) break;
        ids.push_back(uint8_t(pending_[4]) | uint8_t(pending_[5]) << 8);
        pending_.erase(0, length);
      }
    }
    return ids;
  }

 private:
  ScopedFd fd_;
  std::string pending_;
};

std::vector<std::string> ReadHandshake(GameSimulator& sim, std::chrono::milliseconds timeout) {
  std::vector<std::string> names;
  while (names.empty() || names.back() != "DATAPROMPT") {
    auto m = sim.Receive(timeout);
    if (!m) break;
    names.push_back(m->name);
  }
  return names;
}

const std::vector<std::string> kHandshake = {"WELCOME", "SYSTEMCONFIG", "GAMECONFIG", "CONFIGOK",
                                             "DATAPROMPT"};

class HostileGamesTest : public ::testing::Test {
 protected:
  explicit HostileGamesTest(
      HostUnderTest::ExitWithGame exit_with_game = HostUnderTest::ExitWithGame::kOff)
      : host_(exit_with_game) {}
  void SetUp() override {
    ASSERT_TRUE(host_.Start());
    ASSERT_TRUE(WaitUntil([&] { return host_.Log().find(" start") != std::string::npos; }, 60s))
        << host_.Stderr();
    ASSERT_TRUE(host_.ServesGamePipes(10s));
  }
  void TearDown() override {
    if (host_.Signal(SIGTERM)) {
      EXPECT_EQ(host_.WaitForExit(60s), 0);
    }
    EXPECT_EQ(host_.Stderr().find("LeakSanitizer"), std::string::npos) << host_.Stderr();
  }
  // True once all five names are served (no game holds one).
  bool AllNamesServed() {
    return WaitUntil([&] {
      for (int i = 1; i <= 5; ++i)
        if (!std::filesystem::exists(host_.PipeDir() + "/" + PipeName(i))) return false;
      return true;
    });
  }

  HostUnderTest host_;
};

class StalledGameTest : public HostileGamesTest {
 protected:
  StalledGameTest() : HostileGamesTest(HostUnderTest::ExitWithGame::kKeep) {}
};

TEST_F(HostileGamesTest, NonReadingAndFloodingGamesLeaveAThirdGameAndTheQuitPrompt) {
  // A game that stops reading while the client has much to tell it: each
  // ATTACH is answered with the whole handshake.
  RawGame stalled(host_.PipeDir());
  ASSERT_TRUE(stalled.connected());
  ASSERT_TRUE(stalled.SendAttaches(800));
  // A game that floods its pipe: 100000 ATTACH frames at once.
  RawGame flooding(host_.PipeDir());
  ASSERT_TRUE(flooding.connected());
  std::thread flood([&] { flooding.SendAttaches(100000); });

  GameSimulator third(OtherGame());
  auto start = Clock::now();
  ASSERT_TRUE(third.ConnectAndAttach("other", kWait));
  EXPECT_EQ(ReadHandshake(third, kWait), kHandshake);
  auto handshake = Clock::now() - start;
  flood.join();

  // The flooder went over what one game may have waiting and was closed;
  // the game that only stopped reading keeps its link.
  EXPECT_TRUE(WaitUntil(
      [&] { return host_.Log().find("received messages wait to be handled") != std::string::npos; },
      kWait));
  EXPECT_TRUE(WaitUntil([&] { return flooding.ClosedByClient(); }, kWait));
  EXPECT_FALSE(stalled.ClosedByClient());

  start = Clock::now();
  ASSERT_TRUE(host_.Signal(SIGTERM));
  EXPECT_EQ(host_.WaitForExit(60s), 0);
  auto quit = Clock::now() - start;
  using std::chrono::duration_cast;
  using std::chrono::milliseconds;
  printf("third game's handshake %lld ms, SIGTERM to exit %lld ms\n",
         static_cast<long long>(duration_cast<milliseconds>(handshake).count()),
         static_cast<long long>(duration_cast<milliseconds>(quit).count()));
  EXPECT_LT(handshake, kPrompt);
  EXPECT_LT(quit, kPrompt);
}

TEST_F(StalledGameTest, GameThatStopsReadingLongerThanALoadingScreenKeepsItsLinkAndTheClient) {
  // The install as shipped ends the client when its game leaves, so a
  // stalled game that lost its link would end it too.
  RawGame stalled(host_.PipeDir());
  ASSERT_TRUE(stalled.connected());
  constexpr int kAttaches = 800;  // far more replies than the socket holds
  ASSERT_TRUE(stalled.SendAttaches(kAttaches));
  // Longer than any stall limit a writer may have had (15 s): nothing
  // closes the pipe and the client stays.
  EXPECT_FALSE(WaitUntil([&] { return stalled.ClosedByClient() || host_.HasExited(); }, 16s));
  // The game reads again: every reply is whole, and the link still works.
  bool sound = false;
  std::vector<int> ids = stalled.ReadMessages(5 * kAttaches, 60s, &sound);
  EXPECT_TRUE(sound);
  ASSERT_EQ(ids.size(), 5u * kAttaches);
  EXPECT_EQ(ids[0], 1);  // WELCOME
  ASSERT_TRUE(stalled.SendAttaches(1));
  EXPECT_EQ(stalled.ReadMessages(5, kWait, &sound), (std::vector<int>{1, 4, 5, 7, 26}));
  EXPECT_FALSE(host_.HasExited());
}

TEST_F(HostileGamesTest, FiveConnectionsThatNeverAttachAreClosedAndARealGameThenAttaches) {
  // Five local connections that never say a word, as a hung game would.
  std::vector<std::unique_ptr<RawGame>> idle;
  for (int i = 0; i < 5; ++i) {
    idle.push_back(std::make_unique<RawGame>(host_.PipeDir()));
    ASSERT_TRUE(idle.back()->connected()) << i;
  }
  GameSimulator game(OtherGame());
  EXPECT_EQ(game.Connect(), 0);  // every name held
  // Past the time a game has to attach, each is closed and its name served.
  ASSERT_TRUE(game.ConnectAndAttach("other", 30s));
  EXPECT_EQ(ReadHandshake(game, kWait), kHandshake);
  for (auto& connection : idle)
    EXPECT_TRUE(WaitUntil([&] { return connection->ClosedByClient(); }, kWait));
  EXPECT_NE(host_.Log().find("was not kept within 10000 ms; closed"), std::string::npos);
  EXPECT_TRUE(game.errors().empty());
}

TEST_F(HostileGamesTest, FiveGamesAttachingAtTheSameInstantAllAttach) {
  constexpr int kGames = 5, kRounds = 30;
  std::vector<std::unique_ptr<GameSimulator>> games;
  for (int g = 0; g < kGames; ++g) games.push_back(std::make_unique<GameSimulator>(OtherGame()));
  for (int round = 0; round < kRounds; ++round) {
    ASSERT_TRUE(AllNamesServed()) << "round " << round;
    std::atomic<int> ready{0};
    std::vector<std::string> failures(kGames);
    std::vector<std::thread> threads;
    for (int g = 0; g < kGames; ++g) {
      threads.emplace_back([&, g] {
        ++ready;
        while (ready < kGames) std::this_thread::yield();  // start together
        GameSimulator& sim = *games[g];
        // One pass over the five names, as a game does: each must find one.
        if (sim.Connect() == 0)
          failures[g] = "no free name";
        else if (!sim.Attach("other"))
          failures[g] = "attach not sent";
        else if (ReadHandshake(sim, kWait) != kHandshake)
          failures[g] = "handshake cut short";
      });
    }
    for (auto& t : threads) t.join();
    for (int g = 0; g < kGames; ++g)
      ASSERT_EQ(failures[g], "") << "round " << round << ", game " << g;
    for (auto& sim : games) {
      sim->Detach();
      ASSERT_TRUE(sim->WaitDisconnected(kWait));
    }
  }
  for (auto& sim : games) EXPECT_TRUE(sim->errors().empty()) << sim->errors().front();
}

}  // namespace
}  // namespace gamelink_it
