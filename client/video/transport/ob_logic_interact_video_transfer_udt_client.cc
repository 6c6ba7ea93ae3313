#include "client/video/transport/ob_logic_interact_video_transfer_udt_client.h"

#include "runtime/logmaker/log.h"

OBLogicInteract_VideoTransferUDT_Client::OBLogicInteract_VideoTransferUDT_Client(
    VideoLinkContext* link)
    : VideoTransferClient(link) {}

OBLogicInteract_VideoTransferUDT_Client::~OBLogicInteract_VideoTransferUDT_Client() { Stop(); }

void OBLogicInteract_VideoTransferUDT_Client::OnStop(int) { PostClosed(); }

void OBLogicInteract_VideoTransferUDT_Client::OnConnect(int error) {
  if (error != 0) {
    CUDTException failure(error / 1000, error % 1000, 0);
    LogWarnA("%s:%d:Failed(%d:%s)\n", "OBLogicInteract_VideoTransferUDT_Client::OnConnect",
             __LINE__, error, failure.getErrorMessage());
  }
  PostConnected(error);
}
