// The game simulator's own strictness: what it refuses to take from the
// main client, checked against servers that get the wire wrong.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "runtime/io/ipc/ipc_service_server.h"
#include "standin/game/game_simulator.h"
#include "standin/game/game_wire.h"
#include "standin/game/simulator_script.h"
#include "tests/client/core/gamelink/wire_bytes.h"
#include "tests/support/test_support.h"

namespace gamelink_test {
namespace {

using gamesim::ClientToHookMessages;
using gamesim::DecodeMessage;
using ombrix::test::WaitUntil;
using namespace std::chrono_literals;

std::string DecodeError(const Bytes& body) {
  std::string error;
  if (DecodeMessage(ClientToHookMessages(), body.data(), static_cast<uint32_t>(body.size()),
                    &error))
    return "";
  return error;
}

TEST(GameSimulatorTest, DecoderRefusesAFlagOtherThanZero) {
  EXPECT_EQ(DecodeError(Packet::Header(7).bytes), "");
  EXPECT_EQ(DecodeError(Packet().u16(7).u16(1).bytes), "CONFIGOK: flag 1 is not 0");
  EXPECT_EQ(DecodeError(Packet().u16(23).u16(0x8000).str(u"t").bytes),
            "SERVERTIME: flag 32768 is not 0");
}

TEST(GameSimulatorTest, DecoderRefusesAVideoFrameWhoseSizeIsNotWidthTimesHeightTimesThree) {
  auto frame = [](uint16_t width, uint16_t height, size_t bytes) {
    return Packet::Header(39)
        .u8(0)
        .u16(25)
        .u16(width)
        .u16(height)
        .i32(static_cast<int32_t>(bytes))
        .raw(Bytes(bytes, 0x33))
        .str(u"inv")
        .bytes;
  };
  EXPECT_EQ(DecodeError(frame(4, 2, 24)), "");
  EXPECT_EQ(DecodeError(frame(0, 0, 0)), "");
  EXPECT_EQ(DecodeError(frame(4, 2, 23)), "VEDIO_STREAM: frame of 23 bytes is not 4 x 2 x 3");
  EXPECT_EQ(DecodeError(frame(4, 2, 25)), "VEDIO_STREAM: frame of 25 bytes is not 4 x 2 x 3");
}

// A main client that gets the handshake wrong: answers ATTACH with the
// given messages (bodies), in that order, then ends its sending side, so
// the game sees the end at once instead of waiting for more.
class ScriptedServer : public brx::io::ipc::IPCServiceServer {
 public:
  explicit ScriptedServer(std::vector<Bytes> replies) : replies_(std::move(replies)) {}
  ~ScriptedServer() override { Stop(); }

 protected:
  void OnConnect(brx::io::ConnectionId, const std::wstring&) override {}
  void OnDisconnect(brx::io::ConnectionId, int) override {}
  // Answered on the read thread: the test has no loop to drain on.
  void NotifyBatch() override { DispatchMessages(); }
  void OnMessage(const brx::io::QueuedMessage& message) override {
    for (const Bytes& reply : replies_)
      SendMessage(message.connection, reply.data(), static_cast<uint32_t>(reply.size()));
    QueueShutdown(message.connection);
  }

 private:
  std::vector<Bytes> replies_;
};

Bytes Welcome() { return Packet::Header(1).bytes; }
Bytes Login() { return Packet::Header(9).u8(0).u8(1).str(u"").bytes; }
Bytes UserInfo() { return Packet::Header(12).u8(1).bytes; }
Bytes SystemConfig() {
  return Packet::Header(4)
      .u8(1)
      .u8(1)
      .u8(1)
      .u8(1)
      .i32(4800)
      .i32(2550)
      .str(u"Users/All Users")
      .str(u"/s")
      .bytes;
}
Bytes GameConfig() {
  Packet p = Packet::Header(5).i32(5).i32(0x3e99999a).i32(90).u8(0).i32(5);
  for (int i = 0; i < 6; ++i) p.str(u"F1");
  return p.bytes;
}
Bytes ConfigOk() { return Packet::Header(7).bytes; }
Bytes DataPrompt() { return Packet::Header(26).i32(0).i32(0).i32(0).i32(0).bytes; }

class SimulatorHandshakeTest : public ::testing::Test {
 protected:
  // Runs "attach g1; handshake" against a server answering `replies`;
  // returns the script's error ("" when it passed).
  std::string Handshake(std::vector<Bytes> replies) {
    ScriptedServer server(std::move(replies));
    EXPECT_TRUE(server.Start());
    EXPECT_TRUE(server.Listen(L"ombrix.ipc.obdaemondll_1_g1", false));
    gamesim::GameSimulator::Options options;
    options.name_suffix = L"g1";
    gamesim::GameSimulator sim(options);
    std::istringstream script("attach g1\nhandshake\n");
    std::ostringstream out;
    std::string error;
    gamesim::RunScript(sim, script, out, 2000ms, &error);
    return error;
  }

  ombrix::test::TempDir dir_;
  ombrix::test::ScopedEnv pipe_dir_{"OMBRIX_PIPE_DIR", dir_.path()};
};

TEST_F(SimulatorHandshakeTest, SpecifiedSequencesPass) {
  EXPECT_EQ(Handshake({Welcome(), SystemConfig(), GameConfig(), ConfigOk(), DataPrompt()}), "");
  EXPECT_EQ(Handshake({Welcome(), Login(), UserInfo(), SystemConfig(), GameConfig(), ConfigOk(),
                       DataPrompt()}),
            "");
}

TEST_F(SimulatorHandshakeTest, AnyOtherSequenceFailsWithWhatCame) {
  const std::string expected =
      ", expected WELCOME [LOGIN USERINFO] SYSTEMCONFIG GAMECONFIG CONFIGOK DATAPROMPT";
  EXPECT_EQ(Handshake({Welcome(), GameConfig(), SystemConfig(), ConfigOk(), DataPrompt()}),
            "line 2: handshake was WELCOME GAMECONFIG SYSTEMCONFIG CONFIGOK DATAPROMPT" + expected);
  EXPECT_EQ(Handshake({Welcome(), SystemConfig(), GameConfig(), DataPrompt()}),
            "line 2: handshake was WELCOME SYSTEMCONFIG GAMECONFIG DATAPROMPT" + expected);
  EXPECT_EQ(
      Handshake({Welcome(), Login(), SystemConfig(), GameConfig(), ConfigOk(), DataPrompt()}),
      "line 2: handshake was WELCOME LOGIN SYSTEMCONFIG GAMECONFIG CONFIGOK DATAPROMPT" + expected);
  EXPECT_EQ(
      Handshake(
          {Welcome(), SystemConfig(), SystemConfig(), GameConfig(), ConfigOk(), DataPrompt()}),
      "line 2: handshake was WELCOME SYSTEMCONFIG SYSTEMCONFIG GAMECONFIG CONFIGOK DATAPROMPT" +
          expected);
  EXPECT_EQ(Handshake({Welcome(), SystemConfig(), GameConfig()}),
            "line 2: handshake ended early after WELCOME SYSTEMCONFIG GAMECONFIG");
}

}  // namespace
}  // namespace gamelink_test
