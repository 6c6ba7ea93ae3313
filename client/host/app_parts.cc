#include "client/host/app_parts.h"

AppParts HostAppParts() {
  // The web client, the video chat, the game link and the daemon pipe
  // server join here as their layers are built. Until then the client runs
  // without them, and an edition that asks for the hook daemon fails to
  // start.
  return AppParts{};
}
