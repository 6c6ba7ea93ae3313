#pragma once

#include <cstdint>
#include <vector>

#include "client/core/event_chain.h"

// A group of game command handlers owned by the game link server: it
// registers its pipe handlers and event subscriptions when the server
// starts and drops its subscriptions when the server stops (the server
// removes every pipe handler itself). GUI thread only.
class GameCommandBlock {
 public:
  explicit GameCommandBlock(EventChain& chain) : chain_(chain) {}
  virtual ~GameCommandBlock() { UnsubscribeAll(); }
  GameCommandBlock(const GameCommandBlock&) = delete;
  GameCommandBlock& operator=(const GameCommandBlock&) = delete;

  virtual void Start() = 0;
  virtual void Stop() { UnsubscribeAll(); }

 protected:
  template <typename T>
  void Subscribe(int32_t event_id, T* object, void (T::*method)(const EventParameter*)) {
    subscriptions_.push_back(chain_.Subscribe(event_id, object, method));
  }
  void UnsubscribeAll() {
    for (EventChain::Handle handle : subscriptions_) chain_.Unsubscribe(handle);
    subscriptions_.clear();
  }
  EventChain& chain() { return chain_; }

 private:
  EventChain& chain_;
  std::vector<EventChain::Handle> subscriptions_;
};
