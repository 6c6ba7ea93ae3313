#include "daemon/ob_daemon_exe_ipc.h"

#include "runtime/base/thread_message_queue.h"

void OBDaemonExeIPC::OnDisconnect(int) {
  brx::base::PostThreadMessage(main_thread_id_, brx::base::WM_QUIT, 0, 0);
}
