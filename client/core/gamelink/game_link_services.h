#pragma once

#include <string>

class IGameLinkWebCommands;

namespace brx::platform {
class Shell;
class TickClock;
}  // namespace brx::platform

// Where the pages a game asks for live: "scheme://host[:port]" without a
// trailing "/". The paths are the product's own.
struct GamePageHosts {
  std::wstring home;     // the product's home page
  std::wstring account;  // the account provider's pages
};

// What the game command handlers reach beyond the configuration and the
// event chain. Every pointer is borrowed and may be null: no web client
// (commands do nothing), no shell (pages are not opened), the system clock.
struct GameLinkServices {
  IGameLinkWebCommands* web = nullptr;
  brx::platform::Shell* shell = nullptr;
  const brx::platform::TickClock* clock = nullptr;
  GamePageHosts pages;
};
