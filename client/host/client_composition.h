#pragma once

#include <memory>

#include "client/app/ob_application.h"

namespace brx::platform {
class Shell;
}

class DaemonLinkAdapter;
class GameLinkAdapter;
class VideoChatAdapter;
class WebLogicAdapter;

// The map of the main client: client/host is its one composition root, and
// this is the only place that knows the concrete parts. It builds them in
// this order and hands each, by typed reference, exactly what it needs:
//
//   WebLogicAdapter   (client/web)           <- program folder, event chain,
//                                               configuration, catalogue
//   GameLinkAdapter   (client/core/gamelink) <- event chain, configuration,
//                                               the web logic, the shell
//   VideoChatAdapter  (client/video)         <- program folder, event chain,
//                                               the web logic
//   DaemonLinkAdapter (client/core)          <- daemon-connected event, GUI
//                                               thread (hook editions only)
//
// The application object (client/app) receives them as part interfaces and
// drives them: start, timer, main-loop dispatch, stop. The windows get the
// concrete parts from here too, never by casting a sibling or looking one
// up.
//
// The composition outlives the application object; the pointers it hands
// out are valid while that object lives. GUI thread only.
class ClientComposition {
 public:
  ClientComposition();
  ~ClientComposition();
  ClientComposition(const ClientComposition&) = delete;
  ClientComposition& operator=(const ClientComposition&) = delete;

  // Options.compose_parts for the application: builds the parts of this
  // build for `app` and remembers them.
  ComposeParts Composer();

  // The parts built; null before composition (or when left out).
  WebLogicAdapter* web_logic() const { return web_logic_; }
  GameLinkAdapter* game_link() const { return game_link_; }
  DaemonLinkAdapter* daemon_link() const { return daemon_link_; }
  VideoChatAdapter* video_chat() const { return video_chat_; }
  // Opens the pages and files the client is asked to open (logged).
  brx::platform::Shell& shell() const { return *shell_; }

 private:
  AppParts Compose(OBApplication& app);

  std::unique_ptr<brx::platform::Shell> shell_;

  WebLogicAdapter* web_logic_ = nullptr;
  GameLinkAdapter* game_link_ = nullptr;
  DaemonLinkAdapter* daemon_link_ = nullptr;
  VideoChatAdapter* video_chat_ = nullptr;
};
