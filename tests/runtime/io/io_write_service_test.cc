#include "runtime/io/io_write_service.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "runtime/io/socket_write_service_impl.h"
#include "runtime/io/stream_framing.h"
#include "tests/runtime/io/test_queue.h"
#include "tests/support/test_support.h"

namespace brx::io {
namespace {

struct SocketPair {
  SocketPair() {
    int fds[2];
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
    writer = std::make_shared<ScopedFd>(fds[0]);
    reader.Reset(fds[1]);
    fcntl(fds[0], F_SETFL, O_NONBLOCK);
  }
  SharedSocket writer;
  ScopedFd reader;
};

std::unique_ptr<IOWriteService> MakeService(SocketWriteServiceImpl** impl,
                                            size_t bound = IOWriteService::kDefaultQueueBound) {
  auto writer = std::make_unique<SocketWriteServiceImpl>();
  *impl = writer.get();
  return std::make_unique<IOWriteService>("test.write_service", std::move(writer), bound);
}

bool QueueFrame(IOWriteService& s, ConnectionId c, const std::string& body) {
  uint8_t header[4];
  WriteFrameLength(header, static_cast<uint32_t>(body.size() + 4));
  return s.Write(c, header, 4, reinterpret_cast<const uint8_t*>(body.data()),
                 static_cast<uint32_t>(body.size()));
}

// Reads frames from `fd` until `count` arrived or the stream ends.
std::vector<std::string> ReadFrames(int fd, size_t count) {
  testing::RecordingQueue q(4096, 64 << 20);
  std::vector<std::string> out;
  std::vector<uint8_t> chunk(256 * 1024);
  while (out.size() < count) {
    ssize_t n = recv(fd, chunk.data(), chunk.size(), 0);
    if (n <= 0) break;
    EXPECT_TRUE(ReassembleStreamPackets(q, testing::RecordingQueue::kKnown, chunk.data(),
                                        static_cast<size_t>(n)));
    for (auto& b : q.Drain()) out.push_back(std::move(b));
  }
  return out;
}

TEST(IOWriteServiceTest, MessagesFromTwoThreadsArriveWholeAndInEachThreadsOrder) {
  SocketPair pair;
  SocketWriteServiceImpl* impl;
  auto service = MakeService(&impl);
  impl->Attach(1, pair.writer);
  ASSERT_TRUE(service->Start());

  constexpr int kEach = 1000;
  auto producer = [&](char tag) {
    for (int i = 0; i < kEach; ++i) {
      // Every 100th message is larger than the socket buffer.
      size_t size = i % 100 == 0 ? 300000 : 10 + i % 50;
      std::string body(size, tag);
      std::string seq = std::to_string(i);
      body.replace(0, seq.size(), seq);
      body[seq.size()] = ':';
      ASSERT_TRUE(QueueFrame(*service, 1, body));
    }
  };
  std::thread a(producer, 'a'), b(producer, 'b');
  std::vector<std::string> got = ReadFrames(pair.reader.get(), 2 * kEach);
  a.join();
  b.join();
  ASSERT_EQ(got.size(), 2u * kEach);
  int next_a = 0, next_b = 0;
  for (const std::string& body : got) {
    char tag = body.back();
    int seq = std::stoi(body.substr(0, body.find(':')));
    int& next = tag == 'a' ? next_a : next_b;
    EXPECT_EQ(seq, next++);
    size_t expected = seq % 100 == 0 ? 300000 : 10 + seq % 50;
    EXPECT_EQ(body.size(), expected);
    EXPECT_EQ(body.find_first_not_of(tag, body.find(':') + 1), std::string::npos);
  }
  service->Stop();
}

TEST(IOWriteServiceTest, TryWriteSendsSmallAndLargeMessagesWholeOrTellsWhatIsLeft) {
  SocketPair pair;
  SocketWriteServiceImpl writer;
  auto try_write = [&](ConnectionId c, const std::string& body, size_t* written) {
    uint8_t header[4];
    WriteFrameLength(header, static_cast<uint32_t>(body.size() + 4));
    return writer.TryWrite(c, header, 4, reinterpret_cast<const uint8_t*>(body.data()),
                           static_cast<uint32_t>(body.size()), written);
  };
  size_t written = 0;
  EXPECT_EQ(try_write(1, "x", &written), ENOTCONN);  // not attached
  writer.Attach(1, pair.writer);
  // A small message and an empty one go joined; a large one in pieces.
  std::string large(5000, 'L');
  EXPECT_EQ(try_write(1, "small", &written), 0);
  EXPECT_EQ(written, 9u);
  EXPECT_EQ(try_write(1, "", &written), 0);
  EXPECT_EQ(written, 4u);
  EXPECT_EQ(try_write(1, large, &written), 0);
  EXPECT_EQ(written, 5004u);
  EXPECT_EQ(ReadFrames(pair.reader.get(), 3), (std::vector<std::string>{"small", "", large}));
  // A full socket takes nothing more now: EAGAIN with the count taken.
  std::string filler(64 * 1024, 'f');
  while (send(pair.writer->get(), filler.data(), filler.size(), MSG_DONTWAIT | MSG_NOSIGNAL) > 0) {
  }
  EXPECT_EQ(try_write(1, "small", &written), EAGAIN);
  EXPECT_EQ(written, 0u);
  // A gone peer is an error, not a success.
  pair.reader.Reset();
  EXPECT_EQ(try_write(1, "small", &written), EPIPE);
}

TEST(IOWriteServiceTest, StopWithAFullConnectionEndsTheThreadAndFreesWhatIsLeft) {
  SocketPair pair;  // nobody reads: the first big message fills the socket
  SocketWriteServiceImpl* impl;
  auto service = MakeService(&impl);
  impl->Attach(1, pair.writer);
  ASSERT_TRUE(service->Start());
  for (int i = 0; i < 20; ++i) QueueFrame(*service, 1, std::string(1 << 20, 'z'));
  ASSERT_GT(service->QueuedBytes(1), 0u);
  service->Stop();
  EXPECT_FALSE(service->IsRunning());
  EXPECT_EQ(service->QueuedBytes(1), 0u);
  EXPECT_FALSE(QueueFrame(*service, 1, "after stop"));
  // What was queued was freed: LeakSanitizer checks at exit.
}

// A peer that stops reading (a game on a long loading screen) keeps its
// link and loses only what did not fit its own queue; the other
// connections of the service are served meanwhile, and once it reads
// again it gets whole frames, in order, and new messages.
TEST(IOWriteServiceTest, PeerThatStopsReadingLosesOnlyItsOwnMessagesAndKeepsItsLink) {
  SocketPair stalled, reading;
  SocketWriteServiceImpl* impl;
  constexpr size_t kBound = 1 << 20;
  auto service = MakeService(&impl, kBound);
  impl->Attach(1, stalled.writer);
  impl->Attach(2, reading.writer);
  ASSERT_TRUE(service->Start());

  // Fill the stalled connection's socket and its queue up to the bound.
  std::vector<int> accepted;
  for (int i = 0; i < 400; ++i) {
    std::string body(64 * 1024, 's');
    std::string seq = std::to_string(i) + ":";
    body.replace(0, seq.size(), seq);
    if (QueueFrame(*service, 1, body)) accepted.push_back(i);
  }
  ASSERT_LT(accepted.size(), 400u) << "the bound dropped nothing";
  EXPECT_LE(service->QueuedBytes(1), kBound + 64 * 1024 + 4);

  // The other connection is not held up by it.
  for (int i = 0; i < 50; ++i) ASSERT_TRUE(QueueFrame(*service, 2, "r" + std::to_string(i)));
  std::vector<std::string> got = ReadFrames(reading.reader.get(), 50);
  ASSERT_EQ(got.size(), 50u);
  EXPECT_EQ(got.back(), "r49");

  // The stalled peer reads again: exactly the accepted frames, whole and in
  // order, then the link still carries new messages.
  std::vector<std::string> late = ReadFrames(stalled.reader.get(), accepted.size());
  ASSERT_EQ(late.size(), accepted.size());
  for (size_t i = 0; i < late.size(); ++i) {
    ASSERT_EQ(late[i].size(), 64u * 1024);
    EXPECT_EQ(std::stoi(late[i].substr(0, late[i].find(':'))), accepted[i]);
  }
  ASSERT_TRUE(ombrix::test::WaitUntil([&] { return service->QueuedBytes(1) == 0; }));
  ASSERT_TRUE(QueueFrame(*service, 1, "still here"));
  EXPECT_EQ(ReadFrames(stalled.reader.get(), 1), (std::vector<std::string>{"still here"}));
  service->Stop();
}

TEST(IOWriteServiceTest, MessageForADetachedConnectionIsDroppedAndLaterOnesStillGo) {
  SocketPair pair;
  SocketWriteServiceImpl* impl;
  auto service = MakeService(&impl);
  impl->Attach(1, pair.writer);
  ASSERT_TRUE(service->Start());
  ASSERT_TRUE(QueueFrame(*service, 2, "nobody"));
  ASSERT_TRUE(QueueFrame(*service, 1, "somebody"));
  EXPECT_EQ(ReadFrames(pair.reader.get(), 1), (std::vector<std::string>{"somebody"}));
  service->Stop();
}

}  // namespace
}  // namespace brx::io
