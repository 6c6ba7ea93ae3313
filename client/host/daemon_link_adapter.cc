#include "client/host/daemon_link_adapter.h"

#include "client/core/ob_daemon_exe_ipc.h"

DaemonLinkAdapter::DaemonLinkAdapter(brx::platform::Event* connected, uint32_t gui_thread_id)
    : server_(std::make_unique<OBDaemonExeIPC>(connected, gui_thread_id)) {}

DaemonLinkAdapter::~DaemonLinkAdapter() = default;

bool DaemonLinkAdapter::Start() { return server_->StartAndListen(); }

void DaemonLinkAdapter::DispatchMessages() { server_->DispatchMessages(); }

void DaemonLinkAdapter::Stop() {
  server_->Stop();
  server_->CloseAllPipes();
}
