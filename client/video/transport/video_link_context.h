#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "client/video/transport/video_transfer_notice.h"

// Receives what the peer sent on a video link, on the thread that drains
// the link (the main thread).
class VideoTransferOwner {
 public:
  virtual ~VideoTransferOwner() = default;
  virtual void OnPeerMessage(const uint8_t* message, uint32_t length, const std::wstring& id) = 0;
};

// What the transports of one link share: whom to tell, where to post, for
// which invitation. Made on the main thread with the link; the transports
// borrow it and die before it.
class VideoLinkContext {
 public:
  VideoLinkContext(VideoTransferOwner* owner, uint32_t main_thread_id, uint32_t message_id,
                   std::wstring id)
      : owner_(owner),
        main_thread_id_(main_thread_id),
        message_id_(message_id),
        id_(std::move(id)) {}
  VideoLinkContext(const VideoLinkContext&) = delete;
  VideoLinkContext& operator=(const VideoLinkContext&) = delete;

  // Any thread: posts an owned notice to the main thread; nothing once the
  // link is closing (its session no longer wants to hear).
  void PostNotice(int32_t code, int32_t flag) const;
  // Hands a received message to the owner unless the link is closing.
  void Deliver(const uint8_t* message, uint32_t length) const;

  // Main thread, as the link starts closing.
  void MarkClosing() { closing_.store(true, std::memory_order_release); }
  bool closing() const { return closing_.load(std::memory_order_acquire); }
  const std::wstring& id() const { return id_; }

 private:
  VideoTransferOwner* const owner_;
  const uint32_t main_thread_id_;
  const uint32_t message_id_;
  const std::wstring id_;
  std::atomic<bool> closing_{false};
};
