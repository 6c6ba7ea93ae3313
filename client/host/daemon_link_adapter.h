#pragma once

#include <memory>

#include "client/app/logic_parts.h"

class OBApplication;
class OBDaemonExeIPC;

// The daemon pipe server as the application's daemon link.
class DaemonLinkAdapter : public DaemonLinkPart {
 public:
  explicit DaemonLinkAdapter(OBApplication* app);
  ~DaemonLinkAdapter() override;

  bool Start() override;
  void DispatchMessages() override;
  void Stop() override;

 private:
  std::unique_ptr<OBDaemonExeIPC> server_;
};
