#pragma once

#include "client/video/transport/video_transfer_client.h"
#include "runtime/net/tcp_service_client.h"

// Either side's connection to the relay that the rendezvous server named.
//
// Threads: the reports run on the receive thread and only post notices
// (connect outcome: connected with flag 1 or 0; closed); OnMessage runs
// where the owner drains the queue. Once the connection has closed, what
// is still queued is not delivered.
class TCPServiceClientManager_VideoTransfer
    : public VideoTransferClient<brx::net::TCPServiceClient> {
 public:
  explicit TCPServiceClientManager_VideoTransfer(VideoLinkContext* link);
  ~TCPServiceClientManager_VideoTransfer() override;

 protected:
  void OnConnect(int error) override;
  void OnPostServiceQuit(int error) override;
};
