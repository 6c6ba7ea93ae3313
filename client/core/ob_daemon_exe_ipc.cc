#include "client/core/ob_daemon_exe_ipc.h"

#include "client/core/message_ids.h"
#include "runtime/base/thread_message_queue.h"
#include "runtime/platform/event.h"

bool OBDaemonExeIPC::StartAndListen() { return Start() && Listen(kPipeName, false); }

void OBDaemonExeIPC::OnConnect(brx::io::ConnectionId, const std::wstring&) { connected_->Set(); }

void OBDaemonExeIPC::OnDisconnect(brx::io::ConnectionId, int) {
  brx::base::PostThreadMessage(gui_thread_id_, brx::base::WM_QUIT, 0, 0);
}

void OBDaemonExeIPC::NotifyBatch() {
  brx::base::PostThreadMessage(gui_thread_id_, ombrix::messages::kDaemonPipeInput, 0, 0);
}
