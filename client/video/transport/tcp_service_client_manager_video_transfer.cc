#include "client/video/transport/tcp_service_client_manager_video_transfer.h"

#include "runtime/logmaker/log.h"

TCPServiceClientManager_VideoTransfer::TCPServiceClientManager_VideoTransfer(VideoLinkContext* link)
    : VideoTransferClient(link) {}

TCPServiceClientManager_VideoTransfer::~TCPServiceClientManager_VideoTransfer() { Stop(); }

void TCPServiceClientManager_VideoTransfer::OnConnect(int error) { PostConnected(error); }

void TCPServiceClientManager_VideoTransfer::OnPostServiceQuit(int error) {
  if (error != 0) {
    LogWarnA("%s:%d:%d\n", "TCPServiceClientManager_VideoTransfer::OnPostServiceQuit", __LINE__,
             error);
  }
  PostClosed();
}
