#include "client/host/client_composition.h"

#include "client/host/daemon_link_adapter.h"
#include "client/host/game_link_adapter.h"
#include "client/host/logged_shell.h"
#include "client/host/video_chat_adapter.h"
#include "client/host/web_logic_adapter.h"
#include "client/web/web_logic_manager.h"

ClientComposition::ClientComposition() : shell_(CreateHostShell()) {}

ClientComposition::~ClientComposition() = default;

ComposeParts ClientComposition::Composer() {
  return [this](OBApplication& app) { return Compose(app); };
}

AppParts ClientComposition::Compose(OBApplication& app) {
  OBLogicCommand& logic = app.logic();
  AppParts parts;

  auto web = std::make_unique<WebLogicAdapter>(app.program_folder(), app.event_chain(),
                                               logic.config(), logic.catalogue());
  auto video =
      std::make_unique<VideoChatAdapter>(app.program_folder(), app.event_chain(), web->manager());
  auto game = std::make_unique<GameLinkAdapter>(app.event_chain(), logic.config(), web->manager(),
                                                *shell_, video.get());
  if (app.install_hook()) {
    auto daemon =
        std::make_unique<DaemonLinkAdapter>(app.daemon_connected_event(), app.gui_thread_id());
    daemon_link_ = daemon.get();
    parts.daemon_link = std::move(daemon);
  }

  web_logic_ = web.get();
  game_link_ = game.get();
  video_chat_ = video.get();
  parts.video_chat = std::move(video);
  parts.web_logic = std::move(web);
  parts.game_link = std::move(game);
  return parts;
}
