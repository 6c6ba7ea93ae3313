#include "client/video/transport/tcp_service_client_manager_video_transfer.h"

#include "client/video/transport/video_link_context.h"
#include "runtime/logmaker/log.h"

TCPServiceClientManager_VideoTransfer::TCPServiceClientManager_VideoTransfer(VideoLinkContext* link)
    : link_(link) {}

TCPServiceClientManager_VideoTransfer::~TCPServiceClientManager_VideoTransfer() { Stop(); }

void TCPServiceClientManager_VideoTransfer::NotifyBatch() {
  link_->PostNotice(VideoTransferNotice::kDataWaiting, 0);
}

void TCPServiceClientManager_VideoTransfer::OnMessage(const brx::io::QueuedMessage& message) {
  if (PeerClosed()) return;
  link_->Deliver(message.body.get(), message.length);
}

void TCPServiceClientManager_VideoTransfer::OnConnect(int error) {
  link_->PostNotice(VideoTransferNotice::kConnected, error == 0 ? 1 : 0);
}

void TCPServiceClientManager_VideoTransfer::OnClose(int error) {
  (void)error;
  closed_.store(true, std::memory_order_release);
  link_->PostNotice(VideoTransferNotice::kClosed, 0);
}

void TCPServiceClientManager_VideoTransfer::OnPostServiceQuit(int error) {
  if (error != 0) {
    LogWarnA("%s:%d:%d\n", "TCPServiceClientManager_VideoTransfer::OnPostServiceQuit", __LINE__, error);
  }
  link_->PostNotice(VideoTransferNotice::kClosed, 0);
}
