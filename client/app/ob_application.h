#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "client/app/logic_parts.h"
#include "client/app/ob_logic_command.h"
#include "client/core/event_chain.h"

namespace brx::platform {
class ChildProcess;
class Event;
class SingleInstanceLock;
}  // namespace brx::platform

class UserInterfaceHost;
class OBApplication;

// The parts that later layers supply, built by the program's composition
// root (client/host) once the application's own state exists. A null part
// is left out of this build.
struct AppParts {
  std::unique_ptr<WebLogicPart> web_logic;
  std::unique_ptr<VideoChatPart> video_chat;
  std::unique_ptr<GameLinkPart> game_link;
  // Kept only when the edition asks for the hook daemon.
  std::unique_ptr<DaemonLinkPart> daemon_link;
};

// Builds the parts from the application's chains, logic holder and
// daemon-connected event; it runs once, inside the constructor, and starts
// nothing.
using ComposeParts = std::function<AppParts(OBApplication& app)>;

// The main client's application object: owns the logic holder, the two
// event chains, the single-instance lock, the daemon link and the hook
// daemon it started. One instance per process, reachable through Get()
// from InitialApplication() until ExitApplication().
//
// GUI thread only, except the chains (see EventChain) and the
// daemon-connected event, which the daemon link sets from its own thread.
// Destroying it tells the hook daemon to quit.
class OBApplication {
 public:
  struct Options {
    std::wstring program_folder;  // empty: the folder of the running program
    ComposeParts compose_parts;   // empty: no parts
    int daemon_connect_timeout_ms = 15000;
  };

  // Loads the edition values, sets up the process-wide XML and locale
  // settings and has the parts composed; starts nothing.
  OBApplication(UserInterfaceHost* ui, Options options);
  ~OBApplication();
  OBApplication(const OBApplication&) = delete;
  OBApplication& operator=(const OBApplication&) = delete;

  // Requires "--gui" in the command line (otherwise false, silently),
  // creates the application object and runs Initial(). When that fails it
  // logs, stops what had started, destroys the object and returns false.
  static bool InitialApplication(UserInterfaceHost* ui, const std::string& command_line,
                                 Options options);
  static OBApplication* Get();
  // Destroys the object made by InitialApplication (ExitApplication's last step).
  static void DestroyApplication();

  // Edition key, registry values, single-instance lock, logic, fonts, and
  // the hook daemon when the edition asks for it. False at the first failure.
  bool Initial();
  // Undoes what a failed Initial() started, saving nothing.
  void AbandonStart();
  // Stops the daemon link's service threads and closes its pipe (shut-down).
  void StopDaemonLink();
  // Closes the single-instance lock (shut-down).
  void ReleaseInstanceLock();

  OBLogicCommand& logic() { return logic_; }
  EventChain& event_chain() { return events_; }
  MessageEventChain& message_chain() { return messages_; }
  UserInterfaceHost* ui() const { return ui_; }
  const std::wstring& program_folder() const { return program_folder_; }
  bool hidden_login() const { return hidden_login_; }
  uint32_t gui_thread_id() const { return gui_thread_id_; }
  uintptr_t timer_id() const { return timer_id_; }
  void set_timer_id(uintptr_t id) { timer_id_ = id; }
  bool install_hook() const { return install_hook_; }
  // Null unless the edition asks for the hook daemon and this build has a
  // daemon link.
  DaemonLinkPart* daemon_ipc() { return daemon_ipc_.get(); }
  // Set by the daemon link when the daemon connects; null without the hook.
  brx::platform::Event* daemon_connected_event() { return daemon_connected_.get(); }
  // The hook daemon's pid; 0 until it was started.
  int daemon_process_id() const;

 private:
  bool StartHookDaemon();
  // Up to the connect time-out for the daemon's connection; false at once
  // when the daemon ends without connecting.
  bool WaitForDaemonConnection();

  const std::wstring program_folder_;
  std::unique_ptr<brx::platform::SingleInstanceLock> instance_lock_;
  // The chains are declared before the logic holder so that they outlive
  // its parts, which may unsubscribe as they are destroyed.
  EventChain events_;
  MessageEventChain messages_;
  OBLogicCommand logic_;
  UserInterfaceHost* ui_;
  bool hidden_login_ = false;
  uintptr_t timer_id_ = 0;
  uint32_t gui_thread_id_;
  bool install_hook_ = false;
  std::unique_ptr<brx::platform::Event> daemon_connected_;
  std::unique_ptr<DaemonLinkPart> daemon_ipc_;
  std::unique_ptr<brx::platform::ChildProcess> daemon_;
  int daemon_connect_timeout_ms_;
  bool logic_started_ = false;
  bool daemon_ipc_started_ = false;
};
