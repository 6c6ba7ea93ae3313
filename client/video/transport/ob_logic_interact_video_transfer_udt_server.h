#pragma once

#include <atomic>

#include "runtime/net/udt/udt_service_server.h"

class VideoLinkContext;

// The sending side's end of a direct link: listens on the punched port and
// serves the one peer that connects first; later peers are ignored.
//
// Threads: the reports run on the service's threads and only post notices
// (accepted: connected with flag 1; the peer gone or the service ended:
// closed); OnMessage runs where the owner drains the queue. Once the peer
// has gone, what is still queued from it is not delivered: its session is
// stopping, and a frame or a "ready" that late would only act on it.
class OBLogicInteract_VideoTransferUDT_Server : public brx::net::udt::UDTServiceServer {
 public:
  explicit OBLogicInteract_VideoTransferUDT_Server(VideoLinkContext* link);
  ~OBLogicInteract_VideoTransferUDT_Server() override;

  // The accepted peer, or 0 before one is accepted.
  brx::io::ConnectionId accepted() const { return accepted_.load(std::memory_order_acquire); }
  bool PeerClosed() const { return peer_closed_.load(std::memory_order_acquire); }

 protected:
  void NotifyBatch() override;
  void OnMessage(const brx::io::QueuedMessage& message) override;
  void OnStop(int error) override;
  void OnAccept(brx::io::ConnectionId connection, const sockaddr* address,
                int address_length) override;
  void OnClose(brx::io::ConnectionId connection, int error) override;

 private:
  VideoLinkContext* const link_;
  std::atomic<brx::io::ConnectionId> accepted_{0};
  std::atomic<bool> peer_closed_{false};
};
