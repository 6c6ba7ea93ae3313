#include "runtime/io/stream_framing.h"

#include <gtest/gtest.h>

#include "tests/runtime/io/test_queue.h"

namespace brx::io {
namespace {

using testing::Frame;
using testing::RawLength;
using testing::RecordingQueue;

bool Feed(RecordingQueue& q, const std::string& bytes, ConnectionId c = RecordingQueue::kKnown) {
  return ReassembleStreamPackets(q, c, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

TEST(StreamFramingTest, TwoAndAHalfMessagesDeliverTwoWithOneNotify) {
  RecordingQueue q;
  std::string third = Frame("third message");
  ASSERT_TRUE(Feed(q, Frame("one") + Frame("two") + third.substr(0, 7)));
  EXPECT_EQ(q.notifies, 1);
  EXPECT_EQ(q.Drain(), (std::vector<std::string>{"one", "two"}));
  EXPECT_EQ(q.buffer().used(), 7u);
  ASSERT_TRUE(Feed(q, third.substr(7)));
  EXPECT_EQ(q.notifies, 2);
  EXPECT_EQ(q.Drain(), (std::vector<std::string>{"third message"}));
  EXPECT_EQ(q.buffer().used(), 0u);
}

TEST(StreamFramingTest, MessageSplitAcrossThreeChunksIsDeliveredOnceAfterTheThird) {
  RecordingQueue q;
  std::string frame = Frame(std::string(100, 'x'));
  ASSERT_TRUE(Feed(q, frame.substr(0, 2)));
  ASSERT_TRUE(Feed(q, frame.substr(2, 50)));
  EXPECT_EQ(q.notifies, 0);
  EXPECT_TRUE(q.Drain().empty());
  ASSERT_TRUE(Feed(q, frame.substr(52)));
  EXPECT_EQ(q.notifies, 1);
  EXPECT_EQ(q.Drain(), (std::vector<std::string>{std::string(100, 'x')}));
}

TEST(StreamFramingTest, LengthFourDeliversAnEmptyBody) {
  RecordingQueue q;
  ASSERT_TRUE(Feed(q, RawLength(4)));
  EXPECT_EQ(q.Drain(), (std::vector<std::string>{""}));
}

TEST(StreamFramingTest, LengthsBelowFourFailAndEarlierMessagesStayQueued) {
  for (uint32_t bad = 0; bad < 4; ++bad) {
    RecordingQueue q;
    EXPECT_FALSE(Feed(q, Frame("kept") + RawLength(bad) + "zzzz")) << bad;
    EXPECT_EQ(q.Drain(), (std::vector<std::string>{"kept"})) << bad;
    EXPECT_EQ(q.notifies, 1);
  }
}

TEST(StreamFramingTest, LengthAboveTheCapFails) {
  RecordingQueue q(16, 100);
  EXPECT_TRUE(Feed(q, Frame(std::string(96, 'a'))));  // exactly the cap
  EXPECT_FALSE(Feed(q, RawLength(101)));
  EXPECT_EQ(q.Drain().size(), 1u);
}

TEST(StreamFramingTest, ChunksOfOneToThreeBytesAreKept) {
  RecordingQueue q;
  std::string frame = Frame("ab");
  for (char c : frame) {
    EXPECT_TRUE(Feed(q, std::string(1, c)));
  }
  EXPECT_EQ(q.notifies, 1);
  EXPECT_EQ(q.Drain(), (std::vector<std::string>{"ab"}));
}

TEST(StreamFramingTest, UnknownConnectionFails) {
  RecordingQueue q;
  EXPECT_FALSE(Feed(q, Frame("x"), 99));
}

TEST(StreamFramingTest, LargeMessageGrowsTheBufferToTwiceTheNeed) {
  RecordingQueue q(16);
  std::string body(5000, 'q');
  std::string frame = Frame(body);
  ASSERT_TRUE(Feed(q, frame.substr(0, 1000)));
  EXPECT_EQ(q.buffer().capacity(), 2000u);
  ASSERT_TRUE(Feed(q, frame.substr(1000)));
  EXPECT_EQ(q.Drain(), (std::vector<std::string>{body}));
  // It never shrinks while the connection lives.
  EXPECT_GE(q.buffer().capacity(), frame.size());
}

TEST(StreamFramingTest, ReadingInPlaceReservesRoomForTheRestOfAFrame) {
  RecordingQueue q(64);
  ReassemblyBuffer& b = q.buffer();
  std::string frame = Frame(std::string(10000, 'r'));
  uint8_t* tail = b.Reserve(b.WantedReadSpace(16));
  memcpy(tail, frame.data(), 16);
  b.Commit(16);
  ASSERT_TRUE(ParseBufferedFrames(q, RecordingQueue::kKnown, b));
  size_t want = b.WantedReadSpace(16);
  EXPECT_EQ(want, frame.size() - 16);
  tail = b.Reserve(want);
  memcpy(tail, frame.data() + 16, want);
  b.Commit(want);
  ASSERT_TRUE(ParseBufferedFrames(q, RecordingQueue::kKnown, b));
  EXPECT_EQ(q.Drain().at(0).size(), 10000u);
}

}  // namespace
}  // namespace brx::io
