#pragma once

#include <atomic>

#include "client/video/transport/video_link_context.h"
#include "runtime/io/queued_message.h"

// What the direct (UDT) and relay (TCP) clients of a video link do alike:
// a batch waiting wakes the owner, messages go to the owner until the
// connection has closed, and the connect outcome and the close become
// notices. `Service` is the transport's client service; the subclass adds
// what its transport reports beyond that, and calls Stop in its own
// destructor (the service's reports are virtual).
//
// Threads: as the service's; reports only post notices, OnMessage runs
// where the owner drains the queue.
template <typename Service>
class VideoTransferClient : public Service {
 public:
  explicit VideoTransferClient(VideoLinkContext* link) : link_(link) {}

  bool PeerClosed() const { return closed_.load(std::memory_order_acquire); }

 protected:
  void NotifyBatch() override { link_->PostNotice(VideoTransferNotice::kDataWaiting, 0); }
  void OnMessage(const brx::io::QueuedMessage& message) override {
    if (PeerClosed()) return;
    link_->Deliver(message.body.get(), message.length);
  }
  void OnClose(int) override {
    closed_.store(true, std::memory_order_release);
    PostClosed();
  }

  // Connected with flag 1, or not with flag 0.
  void PostConnected(int error) const {
    link_->PostNotice(VideoTransferNotice::kConnected, error == 0 ? 1 : 0);
  }
  void PostClosed() const { link_->PostNotice(VideoTransferNotice::kClosed, 0); }

 private:
  VideoLinkContext* const link_;
  std::atomic<bool> closed_{false};
};
