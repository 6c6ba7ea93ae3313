#include "runtime/io/stream_framing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "tests/runtime/io/test_queue.h"

namespace brx::io {
namespace {

using testing::Frame;
using testing::RawLength;
using testing::RecordingQueue;

bool Feed(RecordingQueue& q, const std::string& bytes, ConnectionId c = RecordingQueue::kKnown) {
  return ReassembleStreamPackets(q, c, reinterpret_cast<const uint8_t*>(bytes.data()),
                                 bytes.size());
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

TEST(StreamFramingTest, LargeFrameIsReceivedStraightIntoItsOwnBody) {
  RecordingQueue q(4096);
  ReassemblyBuffer& b = q.buffer();
  std::string body(900000, 'v');
  for (size_t i = 0; i < body.size(); i += 997) body[i] = static_cast<char>(i);
  std::string bytes = Frame(body) + Frame("small after");
  // The first read brings the header and a little of the body.
  memcpy(b.Reserve(b.WantedReadSpace(1000)), bytes.data(), 1000);
  b.Commit(1000);
  ASSERT_TRUE(ParseBufferedFrames(q, RecordingQueue::kKnown, b));
  ASSERT_TRUE(b.InLargeFrame());
  EXPECT_EQ(b.used(), 0u);
  // The rest of the frame has room in one read.
  EXPECT_EQ(b.free_space(), body.size() - 996);
  size_t at = 1000;
  uint8_t* first_tail = nullptr;
  while (at < bytes.size()) {
    bool large = b.InLargeFrame();
    uint8_t* room = b.Reserve(b.WantedReadSpace(65536));
    if (!first_tail) first_tail = room;
    // Each read of the frame lands right behind the one before, in the
    // same body; the reassembly buffer itself never grows for it.
    if (large) {
      EXPECT_EQ(room, first_tail + (at - 1000)) << at;
      EXPECT_EQ(b.capacity(), 4096u);
    }
    size_t n = std::min({b.free_space(), bytes.size() - at, size_t{70000}});
    memcpy(room, bytes.data() + at, n);
    b.Commit(n);
    at += n;
    ASSERT_TRUE(ParseBufferedFrames(q, RecordingQueue::kKnown, b));
  }
  q.bodies.clear();
  q.DispatchMessages();
  ASSERT_EQ(q.bodies.size(), 2u);
  EXPECT_EQ(q.bodies[0], body);
  EXPECT_EQ(q.bodies[1], "small after");
  // The body handed over is the one the reads went into: never copied.
  ASSERT_TRUE(first_tail);
  EXPECT_EQ(q.body_addresses[0], first_tail - 996);
  EXPECT_EQ(q.notifies, 2);
}

// A reader whose peer is always ahead (everything is there to read) and
// that reads as much as the buffer asks for: a pipe reader at full speed.
// Small frames come many to a read; a large frame passes through the
// reassembly buffer with no more than its first few KiB, the rest lands
// in its own body and is handed over without a copy.
TEST(StreamFramingTest, ReadsStopShortOfALargeFrameSoItIsNotCopied) {
  RecordingQueue q(1 << 20, 4 << 20);
  ReassemblyBuffer& b = q.buffer();
  std::string small_frames;
  for (int i = 0; i < 2000; ++i) small_frames += Frame("s" + std::to_string(i));
  std::string medium(40000, 'm');
  std::string large(900000, 'L');
  for (size_t i = 0; i < large.size(); i += 991) large[i] = static_cast<char>(i / 991);
  std::string bytes = small_frames + Frame(large) + Frame(medium) + Frame(large) + Frame("tail");
  size_t at = 0, reads = 0, through_buffer = 0;
  while (at < bytes.size()) {
    bool large_in_progress = b.InLargeFrame();
    uint8_t* room = b.Reserve(b.WantedReadSpace(1 << 20));
    size_t limit = b.ReadLimit();
    ASSERT_GT(limit, 0u);
    ASSERT_LE(limit, b.free_space());
    size_t n = std::min(limit, bytes.size() - at);
    memcpy(room, bytes.data() + at, n);
    b.Commit(n);
    if (!large_in_progress) through_buffer += n;
    at += n;
    ++reads;
    ASSERT_TRUE(ParseBufferedFrames(q, RecordingQueue::kKnown, b));
  }
  std::vector<std::string> got = q.Drain();
  ASSERT_EQ(got.size(), 2004u);
  EXPECT_EQ(got[0], "s0");
  EXPECT_EQ(got[1999], "s1999");
  EXPECT_EQ(got[2000], large);
  EXPECT_EQ(got[2001], medium);
  EXPECT_EQ(got[2002], large);
  EXPECT_EQ(got[2003], "tail");
  // What went through the buffer is the small frames, the medium frame,
  // and at most one frame-start read for each large frame (and the tail).
  EXPECT_LE(through_buffer,
            small_frames.size() + medium.size() + 3 * ReassemblyBuffer::kFrameStartReadBytes);
  // Few reads in all: small frames many to a read, the rest of each large
  // frame in one.
  EXPECT_LT(reads, 20u);
}

// A reader that reads several times in a row counts the frames itself and
// tells the owner once; a corrupt stream still leaves what came before it
// counted and queued.
TEST(StreamFramingTest, AReaderMayTellOfSeveralReadsAtOnce) {
  RecordingQueue q(64);
  ReassemblyBuffer& b = q.buffer();
  std::string bytes = Frame("one") + Frame("two") + Frame("three");
  size_t pushed = 0;
  for (size_t at = 0; at < bytes.size(); at += 5) {
    size_t n = std::min<size_t>(5, bytes.size() - at);
    memcpy(b.Reserve(n), bytes.data() + at, n);
    b.Commit(n);
    ASSERT_TRUE(ParseBufferedFrames(q, RecordingQueue::kKnown, b, &pushed));
  }
  EXPECT_EQ(pushed, 3u);
  EXPECT_EQ(q.notifies, 0);
  std::string broken = Frame("four") + RawLength(2);
  memcpy(b.Reserve(broken.size()), broken.data(), broken.size());
  b.Commit(broken.size());
  EXPECT_FALSE(ParseBufferedFrames(q, RecordingQueue::kKnown, b, &pushed));
  EXPECT_EQ(pushed, 4u);
  EXPECT_EQ(q.notifies, 0);
  q.DispatchMessages();
  EXPECT_EQ(q.bodies, (std::vector<std::string>{"one", "two", "three", "four"}));
}

TEST(StreamFramingTest, LargeFrameThroughAppendKeepsOrderWithWhatFollows) {
  RecordingQueue q(64);
  std::string large(200000, 'L');
  std::string bytes = Frame("first") + Frame(large) + Frame("last");
  for (size_t at = 0; at < bytes.size(); at += 30001) ASSERT_TRUE(Feed(q, bytes.substr(at, 30001)));
  EXPECT_EQ(q.Drain(), (std::vector<std::string>{"first", large, "last"}));
  EXPECT_FALSE(q.buffer().InLargeFrame());
}

TEST(StreamFramingTest, BodyOfALargeFrameIsHandedOverWithoutACopyAndReusedOnceDispatched) {
  RecordingQueue q(64);
  ReassemblyBuffer& b = q.buffer();
  std::vector<uint8_t*> tails;
  // Frames of a video stream: similar sizes, one after the other.
  for (size_t size : {100000, 99000, 100000}) {
    std::string bytes = Frame(std::string(size, 'z'));
    memcpy(b.Reserve(8), bytes.data(), 8);
    b.Commit(8);
    ASSERT_TRUE(ParseBufferedFrames(q, RecordingQueue::kKnown, b));
    uint8_t* tail = b.Reserve(0);  // where the body's 5th byte goes
    tails.push_back(tail);
    memcpy(tail, bytes.data() + 8, b.free_space());
    b.Commit(b.free_space());
    ASSERT_TRUE(ParseBufferedFrames(q, RecordingQueue::kKnown, b));
    q.DispatchMessages();
    EXPECT_EQ(q.last_body + 4, tail);
    EXPECT_EQ(q.bodies.back().size(), size);
  }
  // Each frame went into the body of the one dispatched before it.
  EXPECT_EQ(tails[1], tails[0]);
  EXPECT_EQ(tails[2], tails[0]);
}

}  // namespace
}  // namespace brx::io
