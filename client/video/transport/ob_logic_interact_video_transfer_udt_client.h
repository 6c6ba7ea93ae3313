#pragma once

#include "client/video/transport/video_transfer_client.h"
#include "runtime/net/udt/udt_service_client.h"

// The receiving side's end of a direct link: binds the punched port and
// connects to the peer's.
//
// Threads: the reports run on the service's threads and only post notices
// (connect outcome: connected with flag 1 or 0; the peer gone or the
// service ended: closed); OnMessage runs where the owner drains the queue.
// Once the connection has closed, what is still queued is not delivered.
class OBLogicInteract_VideoTransferUDT_Client
    : public VideoTransferClient<brx::net::udt::UDTServiceClient> {
 public:
  explicit OBLogicInteract_VideoTransferUDT_Client(VideoLinkContext* link);
  ~OBLogicInteract_VideoTransferUDT_Client() override;

 protected:
  void OnStop(int error) override;
  void OnConnect(int error) override;
};
