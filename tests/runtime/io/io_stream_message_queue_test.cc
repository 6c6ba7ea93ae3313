#include "runtime/io/io_stream_message_queue.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "runtime/io/stream_framing.h"
#include "tests/runtime/io/test_queue.h"

namespace brx::io {
namespace {

// Counts live messages through their bodies' owner: every dispatched
// message is freed after its call (ASan reports a leak otherwise).
class ReentrantQueue : public testing::RecordingQueue {
 public:
  bool Send(ConnectionId connection, const uint8_t* header, uint32_t header_length,
            const uint8_t* body, uint32_t body_length) override {
    sent.emplace_back(connection,
                      std::string(reinterpret_cast<const char*>(header), header_length) +
                          std::string(reinterpret_cast<const char*>(body), body_length));
    return true;
  }
  std::vector<std::pair<ConnectionId, std::string>> sent;

 protected:
  void OnMessage(const QueuedMessage& message) override {
    order.push_back(message.connection);
    // Handlers may push and send while the queue dispatches.
    if (message.connection == 1) Push(3, reinterpret_cast<const uint8_t*>("later"), 5);
    SendMessage(message.connection, message.body.get(), message.length);
  }

 public:
  std::vector<ConnectionId> order;
};

TEST(IOStreamMessageQueueTest, DispatchKeepsArrivalOrderAndAllowsReentry) {
  ReentrantQueue q;
  q.Push(1, reinterpret_cast<const uint8_t*>("a"), 1);
  q.Push(2, reinterpret_cast<const uint8_t*>("bb"), 2);
  q.DispatchMessages();
  EXPECT_EQ(q.order, (std::vector<ConnectionId>{1, 2}));
  ASSERT_EQ(q.sent.size(), 2u);
  EXPECT_EQ(q.sent[1].second, testing::Frame("bb"));
  // The message pushed during the dispatch waits for the next one.
  q.DispatchMessages();
  EXPECT_EQ(q.order, (std::vector<ConnectionId>{1, 2, 3}));
}

// Large received bodies are handed back for the next frames once
// dispatched: the one freed last comes first (it is the one still in the
// caches), only bodies of a fitting size are given, and small ones are
// never kept.
TEST(IOStreamMessageQueueTest, DispatchedLargeBodiesAreReusedLastFreedFirst) {
  testing::RecordingQueue q;
  constexpr uint32_t kLarge = 300000;
  for (int i = 0; i < 3; ++i) {
    std::unique_ptr<uint8_t[]> body(new uint8_t[kLarge]);
    memset(body.get(), 'a' + i, kLarge);
    ASSERT_TRUE(q.PushReceived(testing::RecordingQueue::kKnown, std::move(body), kLarge, kLarge));
  }
  ASSERT_TRUE(
      q.PushReceived(testing::RecordingQueue::kKnown, reinterpret_cast<const uint8_t*>("tiny"), 4));
  ASSERT_EQ(q.Drain().size(), 4u);
  ASSERT_EQ(q.body_addresses.size(), 4u);
  uint32_t capacity = 0;
  // Far smaller frames do not pin a large body.
  EXPECT_EQ(q.TakeBody(1000, &capacity), nullptr);
  EXPECT_EQ(capacity, 0u);
  std::unique_ptr<uint8_t[]> taken[3];
  for (int i = 2; i >= 0; --i) {
    taken[i] = q.TakeBody(kLarge - 100, &capacity);
    EXPECT_EQ(taken[i].get(), q.body_addresses[static_cast<size_t>(i)]) << i;
    EXPECT_EQ(capacity, kLarge);
  }
  // The small body was not kept, and the pool is empty now.
  EXPECT_EQ(q.TakeBody(4, &capacity), nullptr);
  EXPECT_EQ(q.TakeBody(kLarge, &capacity), nullptr);
}

TEST(IOStreamMessageQueueTest, ClearFreesWithoutDispatching) {
  ReentrantQueue q;
  for (int i = 0; i < 10; ++i) q.Push(5, reinterpret_cast<const uint8_t*>("x"), 1);
  q.Clear();
  q.DispatchMessages();
  EXPECT_TRUE(q.order.empty());
}

TEST(IOStreamMessageQueueTest, PushesFromManyThreadsKeepEachThreadsOrder) {
  testing::RecordingQueue q;
  constexpr int kThreads = 4, kEach = 2000;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&q, t] {
      for (int i = 0; i < kEach; ++i) {
        std::string body = std::to_string(t) + ":" + std::to_string(i);
        q.Push(static_cast<ConnectionId>(t + 1), reinterpret_cast<const uint8_t*>(body.data()),
               static_cast<uint32_t>(body.size()));
      }
    });
  }
  std::vector<std::string> all;
  while (all.size() < kThreads * kEach) {
    for (auto& b : q.Drain()) all.push_back(b);
    if (all.size() < kThreads * kEach) std::this_thread::yield();
  }
  for (auto& t : threads) t.join();
  std::vector<int> next(kThreads, 0);
  for (const std::string& b : all) {
    int t = std::stoi(b.substr(0, b.find(':')));
    int i = std::stoi(b.substr(b.find(':') + 1));
    EXPECT_EQ(i, next[t]++);
  }
}

// A connection that floods: bounded in what it may have waiting (the
// frame over the bound closes it and drops what it queued), served in
// turn with the others, and a long dispatch yields to the owner.
TEST(IOStreamMessageQueueTest, FloodingConnectionIsBoundedServedInTurnAndDispatchYields) {
  testing::RecordingQueue q(4096, 64 << 20);
  q.SetQueueBound(100, 1 << 20);
  std::string flood;
  for (int i = 0; i < 150; ++i) flood += testing::Frame("f" + std::to_string(i));
  EXPECT_FALSE(ReassembleStreamPackets(q, testing::RecordingQueue::kKnown,
                                       reinterpret_cast<const uint8_t*>(flood.data()),
                                       flood.size()));
  q.DispatchMessages();
  EXPECT_TRUE(q.bodies.empty()) << "a closed flooder's messages are dropped";

  // Within the bound: one message of each connection per round.
  for (int i = 0; i < 3; ++i) q.Push(1, reinterpret_cast<const uint8_t*>("a"), 1);
  q.Push(2, reinterpret_cast<const uint8_t*>("b"), 1);
  q.Push(3, reinterpret_cast<const uint8_t*>("c"), 1);
  EXPECT_EQ(q.Drain(), (std::vector<std::string>{"a", "b", "c", "a", "a"}));

  // Thousands waiting: one call stops after its slice and asks for another.
  q.SetQueueBound(100000, 64 << 20);
  class Slow : public testing::RecordingQueue {
   protected:
    void OnMessage(const QueuedMessage& m) override {
      std::this_thread::sleep_for(std::chrono::microseconds(100));  // a slow handler, not a wait
      RecordingQueue::OnMessage(m);
    }
  } slow;
  for (int i = 0; i < 2000; ++i) slow.Push(4, reinterpret_cast<const uint8_t*>("s"), 1);
  slow.DispatchMessages();
  EXPECT_LT(slow.bodies.size(), 2000u);
  EXPECT_EQ(slow.notifies, 1);
  while (slow.bodies.size() < 2000u) slow.DispatchMessages();
  EXPECT_EQ(slow.bodies.size(), 2000u);
}

}  // namespace
}  // namespace brx::io
