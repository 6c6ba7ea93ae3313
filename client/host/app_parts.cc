#include "client/host/app_parts.h"

#include "client/host/daemon_link_adapter.h"
#include "client/host/game_link_adapter.h"
#include "client/host/web_logic_adapter.h"

AppParts HostAppParts() {
  AppParts parts;
  parts.make_web_logic = [](OBApplication* app) { return std::make_unique<WebLogicAdapter>(app); };
  parts.make_game_link = [](OBApplication* app) { return std::make_unique<GameLinkAdapter>(app); };
  parts.make_daemon_link = [](OBApplication* app) { return std::make_unique<DaemonLinkAdapter>(app); };
  // The video chat joins here with its layer.
  return parts;
}
