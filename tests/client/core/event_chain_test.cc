#include "client/core/event_chain.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "client/core/core_events.h"

namespace {

EventChain::Handler Named(std::vector<std::string>* calls, std::string name) {
  return [calls, name](const EventParameter*) { calls->push_back(name); };
}

TEST(EventChainTest, HandlersRunInSubscriptionOrderAndOnlyForTheirId) {
  EventChain chain;
  std::vector<std::string> calls;
  EventChain::Handle first = chain.Subscribe(SEVENT_GAME_DETACH, Named(&calls, "first"));
  chain.Subscribe(SEVENT_GAME_DETACH, Named(&calls, "second"));
  chain.Subscribe(SEVENT_USERINFO_REQUESTLOGIN, Named(&calls, "other id"));

  payload::SEVENT_GAME_DETACH detach(L"game", 7);
  chain.FireEvent(&detach);
  EXPECT_EQ(calls, (std::vector<std::string>{"first", "second"}));

  chain.Unsubscribe(first);
  calls.clear();
  chain.FireEvent(&detach);
  EXPECT_EQ(calls, (std::vector<std::string>{"second"}));

  calls.clear();
  EventParameter unused(SEVENT_KICKOUT);
  chain.FireEvent(&unused);  // no subscribers: nothing happens
  EXPECT_TRUE(calls.empty());
}

TEST(EventChainTest, FireUntilHandledStopsAtTheFirstHandlerThatTakesIt) {
  MessageEventChain chain;
  std::vector<int> called;
  chain.Subscribe(SEVENTCHAIN_MESSAGE, [&](const EventParameter*) {
    called.push_back(1);
    return false;
  });
  chain.Subscribe(SEVENTCHAIN_MESSAGE, [&](const EventParameter*) {
    called.push_back(2);
    return true;
  });
  chain.Subscribe(SEVENTCHAIN_MESSAGE, [&](const EventParameter*) {
    called.push_back(3);
    return true;
  });
  payload::SEVENTCHAIN_MESSAGE message(nullptr);
  EXPECT_TRUE(chain.FireEventUntilHandled(&message));
  EXPECT_EQ(called, (std::vector<int>{1, 2}));

  MessageEventChain nobody_takes_it;
  nobody_takes_it.Subscribe(SEVENTCHAIN_MESSAGE, [](const EventParameter*) { return false; });
  EXPECT_FALSE(nobody_takes_it.FireEventUntilHandled(&message));
  MessageEventChain empty;
  EXPECT_FALSE(empty.FireEventUntilHandled(&message));
}

TEST(EventChainTest, UnsubscribingTwiceNeverRemovesAnotherSubscriber) {
  EventChain chain;
  std::vector<std::string> calls;
  EventChain::Handle stale = chain.Subscribe(SEVENT_CONFIG_CHANGE_SYSTEM, Named(&calls, "old"));
  chain.Unsubscribe(stale);
  // The new entry may well reuse the old one's memory.
  EventChain::Handle fresh = chain.Subscribe(SEVENT_CONFIG_CHANGE_SYSTEM, Named(&calls, "new"));
  EXPECT_NE(fresh, stale);
  chain.Unsubscribe(stale);
  chain.Unsubscribe(0);

  payload::SEVENT_CONFIG_CHANGE_SYSTEM change(payload::kConfigFromSettingsDialog, 0);
  chain.FireEvent(&change);
  EXPECT_EQ(calls, (std::vector<std::string>{"new"}));
  EXPECT_EQ(chain.SubscriberCount(SEVENT_CONFIG_CHANGE_SYSTEM), 1u);
}

TEST(EventChainTest, UnsubscribingDuringAFireIsSafe) {
  EventChain chain;
  std::vector<std::string> calls;
  EventChain::Handle second = 0;
  EventChain::Handle self = 0;
  // The first handler removes itself and the one behind it.
  self = chain.Subscribe(SEVENT_GAME_DETACH, [&](const EventParameter*) {
    calls.push_back("first");
    chain.Unsubscribe(self);
    chain.Unsubscribe(second);
  });
  second = chain.Subscribe(SEVENT_GAME_DETACH, Named(&calls, "second"));
  chain.Subscribe(SEVENT_GAME_DETACH, Named(&calls, "third"));

  payload::SEVENT_GAME_DETACH detach(L"game", 1);
  chain.FireEvent(&detach);
  EXPECT_EQ(calls, (std::vector<std::string>{"first", "third"}));
  calls.clear();
  chain.FireEvent(&detach);
  EXPECT_EQ(calls, (std::vector<std::string>{"third"}));
}

TEST(EventChainTest, HandlersMayFireAndSubscribeOnTheSameChain) {
  EventChain chain;
  std::vector<std::string> calls;
  chain.Subscribe(SEVENT_USERINFO_REQUESTLOGIN, [&](const EventParameter*) {
    calls.push_back("request login");
    payload::SEVENT_USERINFO_SETNICKNAME nested(L"game");
    chain.FireEvent(&nested);
    chain.Subscribe(SEVENT_USERINFO_REQUESTLOGIN, Named(&calls, "late"));
  });
  chain.Subscribe(SEVENT_USERINFO_SETNICKNAME, Named(&calls, "nick name"));

  payload::SEVENT_USERINFO_REQUESTLOGIN request;
  chain.FireEvent(&request);
  // A handler added during a fire first runs on the next one.
  EXPECT_EQ(calls, (std::vector<std::string>{"request login", "nick name"}));
  calls.clear();
  payload::SEVENT_USERINFO_SETNICKNAME nick(L"game");
  chain.FireEvent(&nick);
  EXPECT_EQ(calls, (std::vector<std::string>{"nick name"}));
}

TEST(EventChainTest, AHandlerWithoutTargetThrowsAndReleasesTheLock) {
  EventChain chain;
  chain.Subscribe(SEVENT_KICKOUT, EventChain::Handler());
  EventParameter kickout(SEVENT_KICKOUT);
  EXPECT_THROW(chain.FireEvent(&kickout), std::bad_function_call);
  // Another thread can take the lock afterwards.
  std::thread other([&] { EXPECT_EQ(chain.SubscriberCount(SEVENT_KICKOUT), 1u); });
  other.join();
}

TEST(EventChainTest, ConcurrentFiresFromTwoThreadsRunEveryHandlerOnce) {
  EventChain chain;
  std::atomic<int> stream_calls{0};
  std::atomic<int> detach_calls{0};
  std::atomic<int> inside{0};
  std::atomic<bool> overlapped{false};
  auto guarded = [&](std::atomic<int>* counter) {
    return [&, counter](const EventParameter*) {
      if (inside.fetch_add(1) != 0) overlapped = true;  // handlers run under the chain's lock
      counter->fetch_add(1);
      inside.fetch_sub(1);
    };
  };
  chain.Subscribe(SEVENT_VIDEO_STREAM, guarded(&stream_calls));
  chain.Subscribe(SEVENT_GAME_DETACH, guarded(&detach_calls));

  constexpr int kFires = 2000;
  // Event 49 is fired on the codec thread while the GUI thread fires,
  // subscribes and unsubscribes.
  std::thread codec([&] {
    EventParameter frame(SEVENT_VIDEO_STREAM);
    for (int i = 0; i < kFires; ++i) chain.FireEvent(&frame);
  });
  payload::SEVENT_GAME_DETACH detach(L"game", 1);
  for (int i = 0; i < kFires; ++i) {
    chain.FireEvent(&detach);
    EventChain::Handle h = chain.Subscribe(SEVENT_KICKOUT, [](const EventParameter*) {});
    chain.Unsubscribe(h);
  }
  codec.join();
  EXPECT_EQ(stream_calls.load(), kFires);
  EXPECT_EQ(detach_calls.load(), kFires);
  EXPECT_FALSE(overlapped.load());
  EXPECT_EQ(chain.SubscriberCount(SEVENT_KICKOUT), 0u);
}

}  // namespace
