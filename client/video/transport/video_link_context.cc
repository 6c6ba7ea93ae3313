#include "client/video/transport/video_link_context.h"

#include <memory>

#include "runtime/base/thread_message_queue.h"

void VideoLinkContext::PostNotice(int32_t code, int32_t flag) const {
  if (closing()) return;
  auto notice = std::make_unique<VideoTransferNotice>();
  notice->code = code;
  notice->id = id_;
  notice->flag = flag;
  if (brx::base::PostThreadMessage(main_thread_id_, message_id_, reinterpret_cast<uintptr_t>(notice.get()), 0)) {
    notice.release();  // the main thread deletes it
  }
}

void VideoLinkContext::Deliver(const uint8_t* message, uint32_t length) const {
  if (closing() || owner_ == nullptr) return;
  owner_->OnPeerMessage(message, length, id_);
}
