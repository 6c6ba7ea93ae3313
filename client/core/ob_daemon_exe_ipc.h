#pragma once

#include <cstdint>
#include <string>

#include "client/core/ipc/ipc_server.h"

namespace brx::platform {
class Event;
}

// The main client's end of the daemon pipe: a liveness link with the hook
// daemon, one instance, never served again once the daemon has left. The
// daemon's connection sets the daemon-connected event that start-up waits
// on; its departure tells the GUI thread to quit. Nothing the daemon might
// send is acted on.
//
// Callbacks run on the pipe service's read thread and only set the event
// or post to the GUI thread. The owner stops the service (Stop) and
// closes the pipe (CloseAllPipes) at shut-down.
class OBDaemonExeIPC : public IPCServer {
 public:
  static constexpr wchar_t kPipeName[] = L"ombrix.ipc.obdaemonexe";

  OBDaemonExeIPC(brx::platform::Event* connected, uint32_t gui_thread_id)
      : connected_(connected), gui_thread_id_(gui_thread_id) {}
  ~OBDaemonExeIPC() override { Stop(); }

  // Starts the service threads, then creates the one pipe instance.
  bool StartAndListen();

 protected:
  void OnConnect(brx::io::ConnectionId connection, const std::wstring& name) override;
  void OnDisconnect(brx::io::ConnectionId connection, int error) override;
  void NotifyBatch() override;

 private:
  brx::platform::Event* connected_;
  uint32_t gui_thread_id_;
};
