#pragma once

#include <cstdint>
#include <memory>

#include "client/app/logic_parts.h"

namespace brx::platform {
class Event;
}

class OBDaemonExeIPC;

// The daemon pipe server as the application's daemon link. Borrows the
// daemon-connected event, which the application owns and keeps until the
// link is gone.
class DaemonLinkAdapter : public DaemonLinkPart {
 public:
  DaemonLinkAdapter(brx::platform::Event* connected, uint32_t gui_thread_id);
  ~DaemonLinkAdapter() override;

  bool Start() override;
  void DispatchMessages() override;
  void Stop() override;

 private:
  std::unique_ptr<OBDaemonExeIPC> server_;
};
