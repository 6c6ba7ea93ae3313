#pragma once

#include <cstdint>
#include <string>

#include "client/core/event_ids.h"
#include "client/core/event_parameter.h"

namespace brx::base {
struct Message;
}

// Payloads of the core's own events. They live in their own namespace
// because each carries the name of its event id, and the ids are plain
// enumerators of the global namespace:
//
//   payload::SEVENT_GAME_DETACH detach(L"game", connection);  // detach.event_id ==
//   SEVENT_GAME_DETACH
namespace payload {

// Who asked for a configuration change.
enum ConfigOrigin : int32_t {
  kConfigFromPipeClient = 1,      // a game client; handle = its pipe connection
  kConfigFromSettingsDialog = 2,  // the settings dialog; handle = 0
};

// The system configuration changed (in memory); subscribers save and push it.
struct SEVENT_CONFIG_CHANGE_SYSTEM : EventParameter {
  SEVENT_CONFIG_CHANGE_SYSTEM(int32_t kind, int32_t handle)
      : EventParameter(::SEVENT_CONFIG_CHANGE_SYSTEM), origin_kind(kind), origin_handle(handle) {}
  int32_t origin_kind;
  int32_t origin_handle;
};

// One game's configuration changed (in memory).
struct SEVENT_CONFIG_CHANGE_GAME : EventParameter {
  SEVENT_CONFIG_CHANGE_GAME(std::wstring game, int32_t kind, int32_t handle)
      : EventParameter(::SEVENT_CONFIG_CHANGE_GAME),
        game_id(std::move(game)),
        origin_kind(kind),
        origin_handle(handle) {}
  std::wstring game_id;
  int32_t origin_kind;
  int32_t origin_handle;
};

// A game client asks the user to set a nick name.
struct SEVENT_USERINFO_SETNICKNAME : EventParameter {
  explicit SEVENT_USERINFO_SETNICKNAME(std::wstring game)
      : EventParameter(::SEVENT_USERINFO_SETNICKNAME), game_name(std::move(game)) {}
  std::wstring game_name;
};

// A game client asks for the login window.
struct SEVENT_USERINFO_REQUESTLOGIN : EventParameter {
  SEVENT_USERINFO_REQUESTLOGIN() : EventParameter(::SEVENT_USERINFO_REQUESTLOGIN) {}
};

// A window message about to be dispatched (window-message chain only).
struct SEVENTCHAIN_MESSAGE : EventParameter {
  explicit SEVENTCHAIN_MESSAGE(const brx::base::Message* m)
      : EventParameter(::SEVENTCHAIN_MESSAGE), msg(m) {}
  const brx::base::Message* msg;
};

// A game client left: its pipe closed or it said goodbye.
struct SEVENT_GAME_DETACH : EventParameter {
  SEVENT_GAME_DETACH(std::wstring game, int32_t pipe_connection)
      : EventParameter(::SEVENT_GAME_DETACH),
        game_name(std::move(game)),
        connection(pipe_connection) {}
  std::wstring game_name;
  int32_t connection;
};

}  // namespace payload
