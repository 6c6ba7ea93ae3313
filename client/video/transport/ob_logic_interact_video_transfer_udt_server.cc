#include "client/video/transport/ob_logic_interact_video_transfer_udt_server.h"

#include "client/video/transport/video_link_context.h"

OBLogicInteract_VideoTransferUDT_Server::OBLogicInteract_VideoTransferUDT_Server(
    VideoLinkContext* link)
    : link_(link) {}

OBLogicInteract_VideoTransferUDT_Server::~OBLogicInteract_VideoTransferUDT_Server() { Stop(); }

void OBLogicInteract_VideoTransferUDT_Server::NotifyBatch() {
  link_->PostNotice(VideoTransferNotice::kDataWaiting, 0);
}

void OBLogicInteract_VideoTransferUDT_Server::OnMessage(const brx::io::QueuedMessage& message) {
  if (PeerClosed() || message.connection != accepted()) return;
  link_->Deliver(message.body.get(), message.length);
}

void OBLogicInteract_VideoTransferUDT_Server::OnStop(int error) {
  (void)error;
  link_->PostNotice(VideoTransferNotice::kClosed, 0);
}

void OBLogicInteract_VideoTransferUDT_Server::OnAccept(brx::io::ConnectionId connection,
                                                       const sockaddr* address,
                                                       int address_length) {
  (void)address;
  (void)address_length;
  brx::io::ConnectionId none = 0;
  if (!accepted_.compare_exchange_strong(none, connection, std::memory_order_acq_rel)) return;
  link_->PostNotice(VideoTransferNotice::kConnected, 1);
}

void OBLogicInteract_VideoTransferUDT_Server::OnClose(brx::io::ConnectionId connection, int error) {
  (void)error;
  if (connection != accepted()) return;
  peer_closed_.store(true, std::memory_order_release);
  link_->PostNotice(VideoTransferNotice::kClosed, 0);
}
