#pragma once

// Players of the video chat process tests: a private install of the main
// client, started (in a network namespace if asked), with a simulated game
// attached that signs its player in; the coloured test pattern the games
// stream and its check; one call from invitation to ready.
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
#include <utility>
#include <vector>

#include "runtime/util/text_convert.h"
#include "standin/game/game_simulator.h"
#include "tests/support/installed_host.h"
#include "tests/support/rendezvous_standin.h"
#include "tests/support/test_support.h"
#include "tests/support/web_standin.h"

namespace ombrix::test::videochat {

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

inline std::u16string Utf16(const std::string& text) {
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

inline std::vector<uint8_t> PatternFrame() {
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
inline ::testing::AssertionResult MatchesPattern(const std::vector<uint8_t>& frame, int tolerance) {
  if (frame.size() != size_t{kWidth} * kHeight * 3)
    return ::testing::AssertionFailure() << "size " << frame.size();
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
    if (std::abs(r - want.r) > tolerance || std::abs(g - want.g) > tolerance ||
        std::abs(b - want.b) > tolerance)
      return ::testing::AssertionFailure() << "band " << band << " is " << r << "," << g << "," << b
                                           << " not " << want.r << "," << want.g << "," << want.b;
  }
  return ::testing::AssertionSuccess();
}

// One player: a private install of the client, its own environment while
// it starts, and a simulated game attached to it.
class Player {
 public:
  // `netns`: the network namespace the client runs in; empty for this
  // process's own.
  Player(const WebStandin& web, const RendezvousStandin& rendezvous, std::string netns = "")
      : netns_(std::move(netns)) {
    installed_.WriteEditionValues(
        "GameId=other\nKey=OB-DEMO\nKeyDesc=Ombrix demo edition\nInstallHook=0\nGlobalConfig=" +
        web.base_url() + "/\n");
    const std::string h = web.host();
    WriteFile(installed_.Path("gsc.test"),
              "<Node>\n"
              "  <ClientInterfaceServer><Rule><Server>" +
                  h +
                  "</Server></Rule></ClientInterfaceServer>\n"
                  "  <ImageStorageServer><Rule><Server>" +
                  h +
                  "</Server></Rule></ImageStorageServer>\n"
                  "  <DCServer><Rule><Server>" +
                  h +
                  "</Server></Rule></DCServer>\n"
                  "  <IceServer><Rule><Server>" +
                  rendezvous.host() + ":" + std::to_string(rendezvous.ice_port()) +
                  "</Server></Rule></IceServer>\n"
                  "</Node>\n");
    // Games come and go: the client must outlive them.
    const std::string other = ReadFile(installed_.Path("games/other.xml"));
    WriteFile(installed_.Path("games/other.xml"),
              std::regex_replace(other, std::regex("<ExitWithGame enable=\"1\""),
                                 "<ExitWithGame enable=\"0\""));
  }

  // Starts the client and attaches the game; the environment of this
  // player must be the newest (players start one after the other).
  void Start() {
    ScopedEnv home("HOME", installed_.Scratch("state/home"));
    ScopedEnv lang("LANG", "en_US.UTF-8");
    ScopedEnv lc_all("LC_ALL", std::nullopt);
    ScopedEnv static_host("OMBRIX_STATIC_HOST", std::nullopt);
    ScopedEnv shell("OMBRIX_SHELL", "record");
    host_ = installed_.Run({"--gui"}, netns_);
    ASSERT_TRUE(host_->started());
    GameSimulator::Options options;
    options.name_suffix = L"other";
    game_ = std::make_unique<GameSimulator>(options);
    ASSERT_TRUE(game_->ConnectAndAttach("other", 60s)) << host_->Stderr();
    ASSERT_TRUE(Skip("DATAPROMPT", kWait));
  }

  void SignIn(const std::string& account, const std::string& password) {
    account_ = account;
    WireMessage m;
    m.fields = {{"account", Utf16(account)},
                {"password", Utf16(password)},
                {"remember", int64_t{0}},
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
      auto m = game_->Receive(std::chrono::duration_cast<std::chrono::milliseconds>(
          end - std::chrono::steady_clock::now()));
      if (!m) return m;
      if (m->name == name) return m;
      seen_.push_back(m->name);
    }
    return std::nullopt;
  }

  void Send(const std::string& name,
            std::vector<std::pair<std::string, gamesim::WireValue>> fields) {
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
      m.fields = {{"invitation_id", Utf16(id)},
                  {"frame_rate", int64_t{25}},
                  {"width", int64_t{kWidth}},
                  {"height", int64_t{kHeight}},
                  {"frame", frame}};
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
  const std::string& account() const { return account_; }
  HostProcess* host() { return host_.get(); }
  // Whether Skip passed over a message called `name`.
  bool Passed(const std::string& name) const {
    return std::find(seen_.begin(), seen_.end(), name) != seen_.end();
  }
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
  std::string netns_;
  std::string account_;
  InstalledHost installed_;
  std::unique_ptr<HostProcess> host_;
  std::unique_ptr<GameSimulator> game_;
  std::vector<std::string> seen_;
};

// A invites B to receive A's video and B accepts; both sides learn it.
inline void Call(Player& a, Player& b, const std::string& id,
                 std::chrono::milliseconds ready_wait) {
  a.Send(
      "VIDEO_INVITE",
      {{"send_video", int64_t{1}}, {"invitation_id", Utf16(id)}, {"account", Utf16(b.account())}});
  auto invite = b.Skip("VIDEO_INVITE", kWait);
  ASSERT_TRUE(invite);
  EXPECT_EQ(invite->Utf8("invitation_id"), id);
  EXPECT_EQ(invite->Utf8("account"), b.account());
  EXPECT_EQ(invite->Int("send_video"), 0);  // the invited side only receives
  b.Send("VIDEO_REPLY", {{"answer", int64_t{0}}, {"invitation_id", Utf16(id)}});
  auto reply = a.Skip("VIDEO_REPLY", kWait);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->Int("accepted"), 1);
  auto ready = a.Skip("VIDEO_READY", ready_wait);
  ASSERT_TRUE(ready) << a.installed().Log();
  EXPECT_EQ(ready->Utf8("invitation_id"), id);
}

// The datagrams the rendezvous server got for the invitation that hold
// `text`, oldest first.
inline std::vector<Json::Value> Requests(RendezvousStandin& rendezvous, const std::string& text,
                                         const std::string& id) {
  Json::Value answer;
  EXPECT_TRUE(Json::Reader().parse(rendezvous.Control("requests"), answer));
  std::vector<Json::Value> found;
  for (const Json::Value& r : answer["requests"]) {
    const std::string datagram = r["text"].asString();
    if (datagram.find(text) != std::string::npos &&
        datagram.find("\"" + id + "\"") != std::string::npos) {
      found.push_back(r);
    }
  }
  return found;
}

}  // namespace ombrix::test::videochat
