#include <arpa/inet.h>
#include <dirent.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "client/video/transport/ob_logic_interact_video_transfer_udt_client.h"
#include "client/video/transport/peer_messages.h"
#include "client/video/transport/relay_link.h"
#include "client/video/transport/udt_link.h"
#include "client/video/transport/video_transfer_notice.h"
#include "runtime/base/thread.h"
#include "runtime/base/thread_message_queue.h"
#include "tests/support/loopback_socket.h"
#include "tests/support/test_support.h"

namespace {

using ombrix::test::WaitUntil;
constexpr uint32_t kNoticeMessage = 2225;

class Recorder : public VideoTransferOwner {
 public:
  void OnPeerMessage(const uint8_t* message, uint32_t length, const std::wstring& id) override {
    ids.push_back(id);
    messages.emplace_back(message, message + length);
  }
  std::vector<std::wstring> ids;
  std::vector<std::vector<uint8_t>> messages;
};

int OpenFds() {
  int count = 0;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (readdir(d) != nullptr) ++count;
    closedir(d);
  }
  return count;
}

std::vector<uint8_t> Framed(const NetMessage_Interact& m) {
  const uint32_t length = m.size() + 4;
  std::vector<uint8_t> out = {uint8_t(length), uint8_t(length >> 8), uint8_t(length >> 16),
                              uint8_t(length >> 24)};
  out.insert(out.end(), m.data(), m.data() + m.size());
  return out;
}

// The main thread's side: takes the 2225 notices, records them as
// "id code flag" and, for links it was told to drain, drains on code 2.
class LinkTest : public ::testing::Test {
 protected:
  uint32_t tid() const { return queue_.thread_id(); }
  void Pump() {
    brx::base::Message m;
    while (queue_.Peek(&m, true)) {
      if (m.message != kNoticeMessage) continue;
      std::unique_ptr<VideoTransferNotice> n =
          brx::base::TakeMessagePayload<VideoTransferNotice>(m.wParam);
      notices_.push_back(std::string(n->id.begin(), n->id.end()) + " " + std::to_string(n->code) +
                         " " + std::to_string(n->flag));
      auto drain = drains_.find(n->id);
      if (n->code == VideoTransferNotice::kDataWaiting && drain != drains_.end()) drain->second();
    }
  }
  size_t Count(const std::string& notice) const {
    size_t c = 0;
    for (const auto& n : notices_) c += n == notice;
    return c;
  }
  bool WaitNotice(const std::string& notice, size_t times = 1) {
    return WaitUntil([&] {
      Pump();
      return Count(notice) >= times;
    });
  }
  void TearDown() override { Pump(); }

  brx::base::ThreadMessageQueue queue_;
  std::vector<std::string> notices_;
  std::map<std::wstring, std::function<void()>> drains_;
};

TEST_F(LinkTest, DirectLinkCarriesBothWaysAndDropsWhatArrivesAfterThePeerLeft) {
  Recorder at_server, at_client;
  auto server = std::make_unique<UdtLink>(&at_server, tid(), kNoticeMessage, L"srv");
  UdtLink client(&at_client, tid(), kNoticeMessage, L"cli");
  const uint8_t payload[] = {0x9d, 0x01, 0x2a, 0xff, 0x00, 0x42};
  const MessageVideoData frame(1, 25, 320, 240, 7, payload, sizeof(payload));
  EXPECT_FALSE(server->Send(frame)) << "nothing to send on yet";

  ASSERT_TRUE(server->InitialServer(0));
  ASSERT_NE(server->local_port(), 0);
  ASSERT_TRUE(client.InitialClient(0));
  client.client()->SetConnectDelayForTesting(0);
  EXPECT_FALSE(client.Send(frame)) << "frames before the link is up are not sent";
  client.Connect("127.0.0.1", server->local_port());
  ASSERT_TRUE(WaitNotice("srv 0 1"));
  ASSERT_TRUE(WaitNotice("cli 0 1"));

  drains_[L"srv"] = [&] { server->DispatchMessages(); };
  drains_[L"cli"] = [&] { client.DispatchMessages(); };
  ASSERT_TRUE(server->Send(frame));
  ASSERT_TRUE(server->Send(MessageVideoControl(1, "ready")));
  ASSERT_TRUE(client.Send(MessageVideoControl(0, "bye")));
  ASSERT_TRUE(WaitUntil([&] {
    Pump();
    return at_client.messages.size() == 2 && at_server.messages.size() == 1;
  }));
  const MessageVideoData got(at_client.messages[0].data(),
                             static_cast<uint32_t>(at_client.messages[0].size()));
  ASSERT_TRUE(got.HasPayload());
  EXPECT_EQ(got.reinit, 1);
  EXPECT_EQ(got.counter, 7u);
  EXPECT_EQ(std::vector<uint8_t>(got.payload, got.payload + got.payload_length),
            std::vector<uint8_t>(payload, payload + sizeof(payload)));
  EXPECT_EQ(
      MessageVideoControl(at_client.messages[1].data(), uint32_t(at_client.messages[1].size()))
          .text,
      "ready");
  EXPECT_EQ(
      MessageVideoControl(at_server.messages[0].data(), uint32_t(at_server.messages[0].size()))
          .code,
      0);
  EXPECT_EQ(at_client.ids[0], L"cli");

  // Frames already queued when the peer goes away are not handed on.
  drains_.erase(L"cli");
  const size_t waiting = Count("cli 2 0");
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(server->Send(frame));
  ASSERT_TRUE(WaitNotice("cli 2 0", waiting + 1));
  server->Close();
  server.reset();
  ASSERT_TRUE(WaitNotice("cli 1 0"));
  client.DispatchMessages();
  EXPECT_EQ(at_client.messages.size(), 2u);
  EXPECT_EQ(Count("srv 1 0"), 0u) << "a link that is closing posts nothing";
  client.Close();
  client.Close();
}

TEST_F(LinkTest, RelayLinkConnectsCarriesAndReleasesItsSocket) {
  const int fds_before = OpenFds();
  uint16_t port = 0;
  const int listener = ombrix::test::ListenLoopbackTcp(&port);
  ASSERT_GE(listener, 0);

  Recorder owner;
  {
    RelayLink link(&owner, tid(), kNoticeMessage, L"relay");
    ASSERT_TRUE(link.Initial());
    link.Connect("127.0.0.1", port);
    pollfd p{listener, POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 10000), 1);
    const int peer = accept(listener, nullptr, nullptr);
    ASSERT_GE(peer, 0);
    ASSERT_TRUE(WaitNotice("relay 0 1"));

    drains_[L"relay"] = [&] { link.DispatchMessages(); };
    std::vector<uint8_t> bytes = Framed(MessageVideoControl(1, "paired"));
    const uint8_t payload[] = {1, 2, 3};
    std::vector<uint8_t> data = Framed(MessageVideoData(0, 30, 2, 2, 1, payload, 3));
    bytes.insert(bytes.end(), data.begin(), data.end());
    ASSERT_EQ(write(peer, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    ASSERT_TRUE(WaitUntil([&] {
      Pump();
      return owner.messages.size() == 2;
    }));
    EXPECT_EQ(
        MessageVideoControl(owner.messages[0].data(), uint32_t(owner.messages[0].size())).text,
        "paired");

    // Our frames reach the relay framed as they are.
    const MessageVideoData mine(1, 25, 4, 2, 9, payload, 3);
    ASSERT_TRUE(link.Send(mine));
    const std::vector<uint8_t> expected = Framed(mine);
    std::vector<uint8_t> read_back(expected.size());
    size_t got = 0;
    while (got < read_back.size()) {
      pollfd readable{peer, POLLIN, 0};
      ASSERT_EQ(poll(&readable, 1, 10000), 1);
      const ssize_t n = read(peer, read_back.data() + got, read_back.size() - got);
      ASSERT_GT(n, 0);
      got += size_t(n);
    }
    EXPECT_EQ(read_back, expected);

    // The relay sends one more frame and hangs up: the close is reported,
    // the late frame is not handed on.
    drains_.erase(L"relay");
    ASSERT_EQ(write(peer, data.data(), data.size()), ssize_t(data.size()));
    close(peer);
    ASSERT_TRUE(WaitNotice("relay 1 0"));
    link.DispatchMessages();
    EXPECT_EQ(owner.messages.size(), 2u);
    EXPECT_FALSE(link.Send(mine));
  }
  // A relay that is not there: the connect fails and is reported.
  {
    RelayLink failing(&owner, tid(), kNoticeMessage, L"gone");
    ASSERT_TRUE(failing.Initial());
    close(listener);
    failing.Connect("127.0.0.1", port);
    ASSERT_TRUE(WaitNotice("gone 0 0"));
    failing.Close();
  }
  EXPECT_EQ(OpenFds(), fds_before) << "every socket and service handle was released";
}

TEST(PeerMessages, HeaderPayloadAndTextRules) {
  const uint8_t payload[] = {0xaa, 0xbb};
  const MessageVideoData data(1, 30, 640, 480, 0x01020304, payload, 2);
  const std::vector<uint8_t> golden = {1,    0, 0, 0, 0, 0, 0, 0, 1, 30, 0,    0x80, 2,
                                       0xe0, 1, 4, 3, 2, 1, 2, 0, 0, 0,  0xaa, 0xbb};
  ASSERT_EQ(std::vector<uint8_t>(data.data(), data.data() + data.size()), golden);
  const MessageVideoData back(golden.data(), uint32_t(golden.size()));
  EXPECT_TRUE(back.HasPayload() && back.width == 640 && back.height == 480 && back.fps == 30);
  // A payload shorter than its length is dropped; cut fields keep 0.
  EXPECT_FALSE(MessageVideoData(golden.data(), uint32_t(golden.size() - 1)).HasPayload());
  const MessageVideoData cut(golden.data(), 12);
  EXPECT_TRUE(cut.fps == 30 && cut.width == 0 && !cut.HasPayload());
  // Shorter than the header: no id.
  EXPECT_EQ(NetMessageHeader(golden.data(), 7).message_id(), NetMessage_Interact::kInvalidId);
  EXPECT_EQ(NetMessageHeader(golden.data(), 7).flag(), NetMessage_Interact::kInvalidId);
  EXPECT_EQ(NetMessageHeader(golden.data(), 8).message_id(), MessageVideoData::kId);
  // A data message read as control (and the reverse) reads nothing.
  EXPECT_EQ(MessageVideoControl(golden.data(), uint32_t(golden.size())).code, 0);

  const MessageVideoControl control(1, std::string(200, 'x'));
  EXPECT_EQ(control.size(), 8u + 1 + 4 + 200);
  const MessageVideoControl read(control.data(), control.size());
  EXPECT_EQ(read.code, 1);
  EXPECT_EQ(read.text, std::string(127, 'x'));
  // A text length beyond the message keeps what is there.
  EXPECT_EQ(MessageVideoControl(control.data(), 8 + 1 + 4 + 5).text, "xxxxx");
}

}  // namespace
