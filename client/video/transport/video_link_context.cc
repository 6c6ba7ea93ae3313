#include "client/video/transport/video_link_context.h"

#include <memory>

#include "runtime/base/thread_message_queue.h"

void VideoLinkContext::PostNotice(int32_t code, int32_t flag) const {
  if (closing()) return;
  auto notice = std::make_unique<VideoTransferNotice>();
  notice->code = code;
  notice->id = id_;
  notice->flag = flag;
  // Owned by the main thread's queue until read, freed with it if never.
  brx::base::PostOwnedMessage(main_thread_id_, 0, message_id_, std::move(notice));
}

void VideoLinkContext::Deliver(const uint8_t* message, uint32_t length) const {
  if (closing() || owner_ == nullptr) return;
  owner_->OnPeerMessage(message, length, id_);
}
