#include "client/video/codec/video_en_decoder.h"

#include <algorithm>
#include <cstring>

#include "client/video/codec/video_en_decoder_webm.h"
#include "runtime/logmaker/log.h"
#include "runtime/platform/tick_clock.h"
#include "runtime/util/text_convert.h"

VideoEnDecoder::VideoEnDecoder(VEDWatcher* watcher, std::wstring id, bool encode)
    : watcher_(watcher), id_(std::move(id)), encode_(encode), thread_("VideoEnDecoder:vthread_") {
  thread_.BindThreadMethod(this, &VideoEnDecoder::WorkLoop);
}

VideoEnDecoder::~VideoEnDecoder() { Shutdown(); }

bool VideoEnDecoder::Start() {
  {
    std::lock_guard<std::mutex> lock(input_mutex_);
    stopping_ = false;
  }
  return thread_.Start();
}

void VideoEnDecoder::Shutdown() {
  {
    std::lock_guard<std::mutex> lock(input_mutex_);
    stopping_ = true;
  }
  input_cv_.notify_all();
  thread_.Stop();
  std::deque<std::unique_ptr<CodecFrame>> input;
  std::vector<std::unique_ptr<CodecFrame>> spares;
  {
    std::lock_guard<std::mutex> lock(input_mutex_);
    input.swap(input_);
    spares.swap(spares_);
  }
}

bool VideoEnDecoder::PushFrame(uint8_t flag, uint16_t fps, uint16_t width, uint16_t height,
                               const uint8_t* bytes, uint32_t size) {
  if (width == 0 || height == 0) return false;
  if (fps == 0) fps = kDefaultFps;
  const uint64_t pixel_bytes = uint64_t{width} * height * 3;
  // Either side: nothing larger than the work buffer is ever produced, so
  // a declared size above it is a lie and must not size any buffer.
  if (pixel_bytes > kWorkBufferSize || size > kWorkBufferSize) return false;
  if (encode_ && size < pixel_bytes) return false;
  if (size != 0 && bytes == nullptr) return false;
  const bool key_frame = !encode_ && IsKeyFrame(bytes, size);

  std::unique_ptr<CodecFrame> frame = TakeSpare(size);
  frame->fps = fps;
  frame->width = width;
  frame->height = height;
  frame->size = size;
  if (size != 0) std::memcpy(frame->bytes.get(), bytes, size);
  // Frames let go are freed once the lock is.
  std::vector<std::unique_ptr<CodecFrame>> freed;
  size_t dropped = 0;
  {
    std::lock_guard<std::mutex> lock(input_mutex_);
    if (failed_ || stopping_) return false;
    frame->counter = frame_counter_++;
    frame->flag = (flag != 0 || stream_flag_pending_) ? 1 : 0;
    stream_flag_pending_ = false;
    dropped = encode_ ? QueueRaw(std::move(frame), &freed)
                      : QueueCoded(std::move(frame), key_frame, &freed);
    peak_queued_ = std::max(peak_queued_, input_.size());
  }
  input_cv_.notify_one();
  CountDrops(dropped);
  return true;
}

size_t VideoEnDecoder::QueueRaw(std::unique_ptr<CodecFrame> frame,
                                std::vector<std::unique_ptr<CodecFrame>>* freed) {
  size_t dropped = 0;
  while (input_.size() >= kMaxQueuedRawFrames) {
    std::unique_ptr<CodecFrame> oldest = std::move(input_.front());
    input_.pop_front();
    // A stream start must not be lost with its picture: the peer waits
    // for the key frame it brings.
    if (oldest->flag != 0) (input_.empty() ? frame : input_.front())->flag = 1;
    Retire(std::move(oldest), freed);
    ++dropped;
  }
  input_.push_back(std::move(frame));
  return dropped;
}

size_t VideoEnDecoder::QueueCoded(std::unique_ptr<CodecFrame> frame, bool key_frame,
                                  std::vector<std::unique_ptr<CodecFrame>>* freed) {
  size_t dropped = 0;
  auto drop = [&](std::unique_ptr<CodecFrame> f) {
    start_dropped_ = start_dropped_ || f->flag != 0;
    Retire(std::move(f), freed);
    ++dropped;
  };
  if (key_frame) awaiting_key_frame_ = false;
  if (!awaiting_key_frame_ && input_.size() >= kMaxQueuedCodedFrames) {
    // What waits is of no use once a frame after it is lost; a key frame
    // needs none of it.
    while (!input_.empty()) {
      drop(std::move(input_.front()));
      input_.pop_front();
    }
    awaiting_key_frame_ = !key_frame;
  }
  if (awaiting_key_frame_) {
    drop(std::move(frame));
    return dropped;
  }
  // A stream start lost with its frame passes to the game with the next.
  if (start_dropped_) frame->flag = 1;
  start_dropped_ = false;
  input_.push_back(std::move(frame));
  return dropped;
}

void VideoEnDecoder::Retire(std::unique_ptr<CodecFrame> frame,
                            std::vector<std::unique_ptr<CodecFrame>>* freed) {
  KeepSpare(&frame);
  if (frame) freed->push_back(std::move(frame));
}

std::deque<std::unique_ptr<CodecFrame>> VideoEnDecoder::MakeOutputRoom() {
  std::deque<std::unique_ptr<CodecFrame>> gone;
  std::lock_guard<std::mutex> lock(output_mutex_);
  if (encode_) {
    if (output_.size() >= kMaxQueuedCodedFrames) gone.swap(output_);
  } else {
    while (output_.size() >= kMaxQueuedRawFrames) {
      gone.push_back(std::move(output_.front()));
      output_.pop_front();
    }
  }
  return gone;
}

void VideoEnDecoder::CountDrops(size_t count) {
  if (count == 0) return;
  const uint32_t now = brx::platform::GetTickCount();
  bool burst = false;
  uint64_t total = 0;
  {
    std::lock_guard<std::mutex> lock(input_mutex_);
    burst = drops_.Count(static_cast<uint32_t>(count), now);
    total = drops_.total();
  }
  if (burst) LogBurst(total);
}

void VideoEnDecoder::LogBurst(uint64_t total) const {
  LogWarnA("%s:%d:%s: the %s falls behind; dropping frames (%llu so far)\n", "VideoEnDecoder",
           __LINE__, brx::util::WideToUtf8(id_).c_str(), encode_ ? "encoder" : "decoder",
           static_cast<unsigned long long>(total));
}

std::unique_ptr<CodecFrame> VideoEnDecoder::TakeSpare(uint32_t size) {
  std::unique_ptr<CodecFrame> frame;
  {
    std::lock_guard<std::mutex> lock(input_mutex_);
    if (!spares_.empty()) {
      frame = std::move(spares_.back());
      spares_.pop_back();
    }
  }
  // A spare far larger than the frame (the stream shrank) is let go, so
  // the spares follow the stream's size instead of pinning its peak.
  const uint64_t wanted = size == 0 ? 1 : size;
  if (frame && (frame->capacity < wanted || frame->capacity / 4 > wanted)) frame.reset();
  if (!frame) {
    frame = std::make_unique<CodecFrame>();
    frame->bytes = std::make_unique_for_overwrite<uint8_t[]>(wanted);
    frame->capacity = static_cast<uint32_t>(wanted);
  }
  frame->flag = 0;
  frame->counter = 0;
  return frame;
}

void VideoEnDecoder::KeepSpare(std::unique_ptr<CodecFrame>* frame) {
  // Two cover a steady stream: one being coded while the next is copied.
  if (spares_.size() < 2) spares_.push_back(std::move(*frame));
}

void VideoEnDecoder::RequestKeyFrame() {
  std::lock_guard<std::mutex> lock(input_mutex_);
  stream_flag_pending_ = true;
}

void VideoEnDecoder::TakeOutput(std::deque<std::unique_ptr<CodecFrame>>* out) {
  std::lock_guard<std::mutex> lock(output_mutex_);
  while (!output_.empty()) {
    out->push_back(std::move(output_.front()));
    output_.pop_front();
  }
}

bool VideoEnDecoder::failed() const {
  std::lock_guard<std::mutex> lock(input_mutex_);
  return failed_;
}

size_t VideoEnDecoder::queued_frames() const {
  std::lock_guard<std::mutex> lock(input_mutex_);
  return input_.size();
}

size_t VideoEnDecoder::peak_queued_frames() const {
  std::lock_guard<std::mutex> lock(input_mutex_);
  return peak_queued_;
}

uint64_t VideoEnDecoder::dropped_frames() const {
  std::lock_guard<std::mutex> lock(input_mutex_);
  return drops_.total();
}

uint32_t VideoEnDecoder::frame_counter() const {
  std::lock_guard<std::mutex> lock(input_mutex_);
  return frame_counter_;
}

void VideoEnDecoder::WorkLoop() {
  auto work = std::make_unique_for_overwrite<uint8_t[]>(kWorkBufferSize);
  for (;;) {
    std::unique_ptr<CodecFrame> frame;
    bool more_waiting = false;
    {
      std::unique_lock<std::mutex> lock(input_mutex_);
      input_cv_.wait(lock, [this] { return stopping_ || !input_.empty(); });
      if (stopping_) break;
      frame = std::move(input_.front());
      input_.pop_front();
      more_waiting = !input_.empty();
    }
    if (!Process(frame.get(), work.get(), more_waiting)) {
      std::lock_guard<std::mutex> lock(input_mutex_);
      failed_ = true;
      input_.clear();
      break;
    }
    // A frame not kept is freed after the lock is let go.
    std::lock_guard<std::mutex> lock(input_mutex_);
    KeepSpare(&frame);
  }
  Close();
  opened_ = false;
}

bool VideoEnDecoder::Process(CodecFrame* frame, uint8_t* work, bool more_waiting) {
  if (!opened_ || frame->fps != fps_ || frame->width != width_ || frame->height != height_) {
    Close();
    fps_ = frame->fps;
    width_ = frame->width;
    height_ = frame->height;
    opened_ = Open(fps_, width_, height_);
    frame->flag = 1;
    if (!opened_) {
      LogWarnA("%s:%d:cannot open the codec for %ux%u at %u fps\n", "VideoEnDecoder::Process",
               __LINE__, unsigned{width_}, unsigned{height_}, unsigned{fps_});
      // The game's own frames with an unusable size end the session's
      // video; a peer's are only skipped.
      return !encode_;
    }
  }
  auto result = std::make_unique<CodecFrame>();
  uint32_t out_size = 0;
  if (encode_) {
    // Coded output nobody took went as a whole: the peer needs a new
    // stream to go on from.
    if (const size_t gone = MakeOutputRoom().size(); gone != 0) {
      CountDrops(gone);
      frame->flag = 1;
    }
    if (!Encode(frame->bytes.get(), frame->size, frame->flag != 0, work, &out_size,
                kWorkBufferSize)) {
      return false;
    }
    if (out_size == 0) return true;
    result->bytes = std::make_unique_for_overwrite<uint8_t[]>(out_size);
    result->capacity = out_size;
    std::memcpy(result->bytes.get(), work, out_size);
  } else {
    // Behind the stream, the picture of a frame that others were already
    // waiting behind would come late and only delay them: the frame is
    // decoded, which keeps the frames after it decodable, but its picture
    // is let go.
    if (more_waiting) {
      if (Decode(frame->bytes.get(), frame->size, nullptr, &out_size, 0) && out_size != 0)
        CountDrops(1);
      start_unshown_ = start_unshown_ || frame->flag != 0;
      return true;
    }
    // Pictures are decoded straight into the frame handed on: no copy of
    // the largest buffer of the session.
    const uint32_t picture = uint32_t{width_} * height_ * 3;
    result->bytes = std::make_unique_for_overwrite<uint8_t[]>(picture);
    result->capacity = picture;
    if (!Decode(frame->bytes.get(), frame->size, result->bytes.get(), &out_size, picture) ||
        out_size == 0) {
      start_unshown_ = start_unshown_ || frame->flag != 0;
      return true;
    }
    // The game hears of a new stream with the first picture it gets.
    const std::deque<std::unique_ptr<CodecFrame>> gone = MakeOutputRoom();
    CountDrops(gone.size());
    for (const auto& f : gone) start_unshown_ = start_unshown_ || f->flag != 0;
    if (start_unshown_) frame->flag = 1;
    start_unshown_ = false;
  }

  result->flag = frame->flag;
  result->fps = frame->fps;
  result->width = frame->width;
  result->height = frame->height;
  result->counter = frame->counter;
  result->size = out_size;
  {
    std::lock_guard<std::mutex> lock(output_mutex_);
    output_.push_back(std::move(result));
  }
  if (watcher_ != nullptr) watcher_->OnVideoOutput(id_);
  return true;
}

std::unique_ptr<VideoEnDecoder> NewVideoEnDecoder(int codec_type,
                                                  VideoEnDecoder::VEDWatcher* watcher,
                                                  const std::wstring& id, bool encode) {
  if (codec_type != kCodecTypeWebM) return nullptr;
  std::unique_ptr<VideoEnDecoder> codec =
      std::make_unique<VideoEnDecoder_WebM>(watcher, id, encode);
  if (!codec->Start()) return nullptr;
  return codec;
}
