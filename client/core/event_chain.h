#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <type_traits>
#include <vector>

#include "client/core/event_parameter.h"

// A publish/subscribe hub: a map from event id to handlers kept in
// subscription order. Firing is synchronous: it returns after every handler
// of the id has run, on the firing thread, under the chain's lock. The lock
// is re-entrant, so a handler may fire, subscribe or unsubscribe on the same
// chain; a handler unsubscribed during a fire is not called afterwards, and
// one subscribed during a fire first runs on the next fire.
//
// Handles are never reused, so unsubscribing twice (or with a stale
// handle) never removes another subscriber's handler.
template <typename Result>
class BasicEventChain {
 public:
  using Handler = std::function<Result(const EventParameter*)>;
  using Handle = uint64_t;  // 0 is never a valid handle

  Handle Subscribe(int32_t event_id, Handler handler) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    Handle handle = ++last_handle_;
    handlers_[event_id].push_back(std::make_shared<Entry>(Entry{handle, std::move(handler), true}));
    return handle;
  }

  template <typename T>
  Handle Subscribe(int32_t event_id, T* object, Result (T::*method)(const EventParameter*)) {
    return Subscribe(event_id,
                     [object, method](const EventParameter* p) { return (object->*method)(p); });
  }

  void Unsubscribe(Handle handle) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    for (auto& [id, list] : handlers_) {
      for (auto it = list.begin(); it != list.end(); ++it) {
        if ((*it)->handle == handle) {
          (*it)->active = false;
          list.erase(it);
          return;
        }
      }
    }
  }

  // Calls every handler of the payload's id in subscription order.
  void FireEvent(const EventParameter* payload) requires std::is_void_v<Result> {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    for (const auto& entry : Snapshot(payload->event_id))
      if (entry->active) entry->handler(payload);
  }

  // Stops at the first handler that returns true; false when none did.
  bool FireEventUntilHandled(const EventParameter* payload) requires std::is_same_v<Result, bool> {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    for (const auto& entry : Snapshot(payload->event_id))
      if (entry->active && entry->handler(payload)) return true;
    return false;
  }

  size_t SubscriberCount(int32_t event_id) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    auto it = handlers_.find(event_id);
    return it == handlers_.end() ? 0 : it->second.size();
  }

 private:
  struct Entry {
    Handle handle;
    Handler handler;
    bool active;
  };
  using List = std::vector<std::shared_ptr<Entry>>;

  // The handlers as they stand, so that changes made by a handler cannot
  // invalidate the walk.
  List Snapshot(int32_t event_id) {
    auto it = handlers_.find(event_id);
    return it == handlers_.end() ? List() : it->second;
  }

  std::recursive_mutex mutex_;
  std::map<int32_t, List> handlers_;
  Handle last_handle_ = 0;
};

// The numbered chain: handlers return nothing.
using EventChain = BasicEventChain<void>;
// The window-message chain: handlers return true when they consumed the message.
using MessageEventChain = BasicEventChain<bool>;
