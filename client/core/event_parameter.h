#pragma once

#include <cstdint>
#include <string>

// Base of every event payload; carries its event id. Payloads belong to the
// firer (most live on its stack) and last until the fire returns; handlers
// copy what they keep.
struct EventParameter {
  explicit EventParameter(int32_t id) : event_id(id) {}
  virtual ~EventParameter() = default;
  int32_t event_id;
};

// The origin of a request, so that a reply reaches its requester.
struct FromHandle {
  enum Kind : int32_t {
    kNone = 0,
    kGameClient = 1,  // a game client's pipe connection (handle = connection id)
    kClient = 2,      // the main client itself: windows, timers, start-up work
  };
  int32_t kind = kNone;
  int32_t handle = 0;
};

// An event that answers a request of some origin.
struct EVENT_DATA : EventParameter, FromHandle {
  EVENT_DATA(int32_t id, const FromHandle& from) : EventParameter(id), FromHandle(from) {}
};

// An answer with one text (the reply's Data or Message).
struct EVENT_DATA_STRINGPARAM1 : EVENT_DATA {
  EVENT_DATA_STRINGPARAM1(int32_t id, const FromHandle& from, std::wstring text)
      : EVENT_DATA(id, from), param(std::move(text)) {}
  std::wstring param;
};
