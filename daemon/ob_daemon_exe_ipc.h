#pragma once

#include <cstdint>

#include "daemon/ipc_client.h"

// The hook daemon's end of the daemon pipe: a liveness link only. When the
// main client's end closes, the daemon's main loop is told to quit.
class OBDaemonExeIPC : public IPCClient {
 public:
  static constexpr wchar_t kPipeName[] = L"ombrix.ipc.obdaemonexe";

  explicit OBDaemonExeIPC(uint32_t main_thread_id) : main_thread_id_(main_thread_id) {}
  ~OBDaemonExeIPC() override { Stop(); }

 protected:
  void OnConnect(int) override {}
  void OnDisconnect(int error) override;
  // Nothing the main client sends is acted on; it must not pile up either.
  void NotifyBatch() override { Clear(); }

 private:
  uint32_t main_thread_id_;
};
