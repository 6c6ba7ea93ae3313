#pragma once

#include <atomic>

#include "runtime/net/tcp_service_client.h"

class VideoLinkContext;

// Either side's connection to the relay that the rendezvous server named.
//
// Threads: the reports run on the receive thread and only post notices
// (connect outcome: connected with flag 1 or 0; closed); OnMessage runs
// where the owner drains the queue. Once the connection has closed, what
// is still queued is not delivered.
class TCPServiceClientManager_VideoTransfer : public brx::net::TCPServiceClient {
 public:
  explicit TCPServiceClientManager_VideoTransfer(VideoLinkContext* link);
  ~TCPServiceClientManager_VideoTransfer() override;

  bool PeerClosed() const { return closed_.load(std::memory_order_acquire); }

 protected:
  void NotifyBatch() override;
  void OnMessage(const brx::io::QueuedMessage& message) override;
  void OnConnect(int error) override;
  void OnClose(int error) override;
  void OnPostServiceQuit(int error) override;

 private:
  VideoLinkContext* const link_;
  std::atomic<bool> closed_{false};
};
