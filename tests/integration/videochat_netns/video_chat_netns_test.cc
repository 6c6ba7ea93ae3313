// Two real main clients, each in its own network namespace behind its own
// NAT, call each other through the rendezvous and web stand-ins on a
// "public" network: behind NATs that keep ports, or change them alike for
// every destination, the binding punches through and the video goes
// direct; behind NATs that pick a random port for every flow the binding
// cannot succeed and the relay carries it.
#include <gtest/gtest.h>
#include <json/json.h>

#include <memory>
#include <regex>
#include <string>

#include "tests/integration/videochat/video_players.h"
#include "tests/integration/videochat_netns/netns_topology.h"

namespace {

using namespace ombrix::test::videochat;
using ombrix::test::NetnsTopology;

// A binding announcement as the server saw it: where it came from, and the
// private address it names.
struct Announcement {
  std::string public_ip;
  int public_port = 0;
  std::string private_ip;
  int private_port = 0;
};

std::optional<Announcement> Announced(RendezvousStandin& rendezvous, const std::string& step,
                                      const std::string& id) {
  const auto found = Requests(rendezvous, "name=\"STUN\" step=\"" + step + "\"", id);
  if (found.empty()) return std::nullopt;
  const Json::Value& r = found.front();
  Announcement a;
  a.public_ip = r["from"][0].asString();
  a.public_port = r["from"][1].asInt();
  std::smatch m;
  const std::string text = r["text"].asString();
  if (!std::regex_search(text, m,
                         std::regex("local_pri_ip=\"([0-9.]+)\" local_pri_port=\"([0-9]+)\""))) {
    return std::nullopt;
  }
  a.private_ip = m[1];
  a.private_port = std::stoi(m[2]);
  return a;
}

class VideoChatNatTest : public ::testing::Test {
 protected:
  // Builds the network, runs the stand-ins on the public side and one
  // signed-in player behind each NAT. Skips when namespaces cannot be made
  // here; the caller checks IsSkipped().
  void Start(NetnsTopology::Nat nat) {
    topology_ = std::make_unique<NetnsTopology>(nat);
    if (!topology_->unavailable().empty()) GTEST_SKIP() << topology_->unavailable();
    ASSERT_TRUE(topology_->ok()) << topology_->error();
    WebStandin::Options web;
    web.netns = topology_->pub();
    web.host = NetnsTopology::kServerIp;
    web_ = std::make_unique<WebStandin>(web);
    ASSERT_TRUE(web_->running());
    rendezvous_ = std::make_unique<RendezvousStandin>(
        RendezvousStandin::Options{topology_->pub(), NetnsTopology::kServerIp});
    ASSERT_TRUE(rendezvous_->ok());
    a_ = std::make_unique<Player>(*web_, *rendezvous_, topology_->host_a());
    ASSERT_NO_FATAL_FAILURE(a_->Start());
    b_ = std::make_unique<Player>(*web_, *rendezvous_, topology_->host_b());
    ASSERT_NO_FATAL_FAILURE(b_->Start());
    ASSERT_NO_FATAL_FAILURE(a_->SignIn("demo", "ombrix2024"));
    ASSERT_NO_FATAL_FAILURE(b_->SignIn("buddy", "buddy2024"));
    ASSERT_TRUE(WaitUntil(
        [&] {
          const std::string online = rendezvous_->Control("online");
          return online.find("\"demo\"") != std::string::npos &&
                 online.find("\"buddy\"") != std::string::npos;
        },
        kWait))
        << rendezvous_->Control("online") << a_->installed().Log();
  }

  void TearDown() override {
    // Newest environment first; the network goes last, once nothing runs
    // in it.
    if (b_ && b_->host()) b_->Stop();
    if (a_ && a_->host()) a_->Stop();
    b_.reset();
    a_.reset();
    rendezvous_.reset();
    web_.reset();
    topology_.reset();
  }

  // A calls B, streams the pattern and hangs up; B's game gets it whole.
  void CallAndStream(const std::string& id, std::chrono::milliseconds ready_wait) {
    ASSERT_NO_FATAL_FAILURE(Call(*a_, *b_, id, ready_wait));
    auto frame = a_->StreamTo(*b_, id);
    ASSERT_TRUE(frame) << b_->installed().Log();
    ASSERT_TRUE(frame->Bytes("frame"));
    EXPECT_TRUE(MatchesPattern(*frame->Bytes("frame"), 24));
    a_->Send("VIDEO_STOP", {{"invitation_id", Utf16(id)}});
    auto stopped = b_->Skip("VIDEO_STOP", kWait);
    ASSERT_TRUE(stopped);
    EXPECT_EQ(stopped->Utf8("invitation_id"), id);
  }

  std::unique_ptr<NetnsTopology> topology_;
  std::unique_ptr<WebStandin> web_;
  std::unique_ptr<RendezvousStandin> rendezvous_;
  std::unique_ptr<Player> a_;
  std::unique_ptr<Player> b_;
};

TEST_F(VideoChatNatTest, PortPreservingNatsBindAndTheVideoGoesDirect) {
  ASSERT_NO_FATAL_FAILURE(Start(NetnsTopology::Nat::kPortPreserving));
  if (IsSkipped()) return;
  ASSERT_NO_FATAL_FAILURE(CallAndStream("nat-direct", kWait));
  EXPECT_EQ(Requests(*rendezvous_, "RELAY", "nat-direct").size(), 0u) << "the binding failed";

  // Each side named its own private address and was seen from its NAT's
  // public one, with the port kept.
  auto uac = Announced(*rendezvous_, "INVITE", "nat-direct");
  ASSERT_TRUE(uac);
  EXPECT_EQ(uac->private_ip, "10.11.0.2");
  EXPECT_EQ(uac->public_ip, "10.99.1.2");
  EXPECT_EQ(uac->public_port, uac->private_port);
  auto uas = Announced(*rendezvous_, "RINGING", "nat-direct");
  ASSERT_TRUE(uas);
  EXPECT_EQ(uas->private_ip, "10.12.0.2");
  EXPECT_EQ(uas->public_ip, "10.99.2.2");
  EXPECT_EQ(uas->public_port, uas->private_port);
}

TEST_F(VideoChatNatTest, NatsThatChangePortsAlikeForEveryPeerStillLetTheVideoGoDirect) {
  // The port the peer sees is not one this host has: the link must take
  // the punched socket's own port, or nothing it sends gets through.
  ASSERT_NO_FATAL_FAILURE(Start(NetnsTopology::Nat::kPortShifting));
  if (IsSkipped()) return;
  ASSERT_NO_FATAL_FAILURE(CallAndStream("nat-shifted", kWait));
  EXPECT_EQ(Requests(*rendezvous_, "RELAY", "nat-shifted").size(), 0u) << "the direct link failed";
  for (const char* step : {"INVITE", "RINGING"}) {
    auto announced = Announced(*rendezvous_, step, "nat-shifted");
    ASSERT_TRUE(announced) << step;
    EXPECT_NE(announced->public_port, announced->private_port) << step;
    EXPECT_GE(announced->public_port, 20000) << step;
    EXPECT_LE(announced->public_port, 20999) << step;
  }
}

TEST_F(VideoChatNatTest, PortRandomisingNatsFailTheBindingAndTheRelayCarriesTheVideo) {
  ASSERT_NO_FATAL_FAILURE(Start(NetnsTopology::Nat::kPortRandomising));
  if (IsSkipped()) return;
  ASSERT_NO_FATAL_FAILURE(CallAndStream("nat-relay", kRelayWait));
  EXPECT_GT(Requests(*rendezvous_, "RELAY", "nat-relay").size(), 0u)
      << "the binding cannot have succeeded";
  auto uac = Announced(*rendezvous_, "INVITE", "nat-relay");
  ASSERT_TRUE(uac);
  EXPECT_EQ(uac->private_ip, "10.11.0.2");
  EXPECT_EQ(uac->public_ip, "10.99.1.2");
  EXPECT_NE(uac->public_port, uac->private_port) << "the NAT kept the port";
}

}  // namespace
