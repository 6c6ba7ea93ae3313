#include "client/video/transport/ob_logic_interact_video_transfer_udt_client.h"

#include "client/video/transport/video_link_context.h"
#include "runtime/logmaker/log.h"

OBLogicInteract_VideoTransferUDT_Client::OBLogicInteract_VideoTransferUDT_Client(VideoLinkContext* link)
    : link_(link) {}

OBLogicInteract_VideoTransferUDT_Client::~OBLogicInteract_VideoTransferUDT_Client() { Stop(); }

void OBLogicInteract_VideoTransferUDT_Client::NotifyBatch() {
  link_->PostNotice(VideoTransferNotice::kDataWaiting, 0);
}

void OBLogicInteract_VideoTransferUDT_Client::OnMessage(const brx::io::QueuedMessage& message) {
  if (PeerClosed()) return;
  link_->Deliver(message.body.get(), message.length);
}

void OBLogicInteract_VideoTransferUDT_Client::OnStop(int error) {
  (void)error;
  link_->PostNotice(VideoTransferNotice::kClosed, 0);
}

void OBLogicInteract_VideoTransferUDT_Client::OnConnect(int error) {
  if (error != 0) {
    CUDTException failure(error / 1000, error % 1000, 0);
    LogWarnA("%s:%d:Failed(%d:%s)\n", "OBLogicInteract_VideoTransferUDT_Client::OnConnect", __LINE__, error,
             failure.getErrorMessage());
  }
  link_->PostNotice(VideoTransferNotice::kConnected, error == 0 ? 1 : 0);
}

void OBLogicInteract_VideoTransferUDT_Client::OnClose(int error) {
  (void)error;
  closed_.store(true, std::memory_order_release);
  link_->PostNotice(VideoTransferNotice::kClosed, 0);
}
