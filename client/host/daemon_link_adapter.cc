#include "client/host/daemon_link_adapter.h"

#include "client/app/ob_application.h"
#include "client/core/ob_daemon_exe_ipc.h"

DaemonLinkAdapter::DaemonLinkAdapter(OBApplication* app)
    : server_(std::make_unique<OBDaemonExeIPC>(app->daemon_connected_event(), app->gui_thread_id())) {}

DaemonLinkAdapter::~DaemonLinkAdapter() = default;

bool DaemonLinkAdapter::Start() { return server_->StartAndListen(); }

void DaemonLinkAdapter::DispatchMessages() { server_->DispatchMessages(); }

void DaemonLinkAdapter::Stop() {
  server_->Stop();
  server_->CloseAllPipes();
}
