#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "client/video/codec/codec_frame.h"
#include "client/video/codec/frame_drop_counter.h"
#include "runtime/base/thread.h"

// The codec worker of one video session: on the sending side it turns the
// game's raw frames into codec frames, on the receiving side the reverse.
// Codec-independent; a subclass supplies Open, Close, Encode, Decode and
// IsKeyFrame.
//
// Threads: PushFrame, RequestKeyFrame and TakeOutput may be called from
// any thread. The worker thread "VideoEnDecoder:vthread_" is the only one
// that runs the codec; after each finished frame it calls the watcher's
// OnVideoOutput with no lock of its own held. The input and output locks
// are never held together.
//
// A stream is flagged (its first frame carries flag 1) when the worker is
// new, when RequestKeyFrame asked for it, and when the frame parameters
// change; only then does the sending codec start from a key frame, so a
// steady stream costs one key frame, not one per frame. A failed encode,
// or an unusable size, stops the worker for good and PushFrame refuses
// from then on; a frame the decoder cannot use is skipped.
//
// Each queue holds a few frames, whatever the producer does, so memory
// and delay stay bounded when the codec falls behind. A raw picture that
// does not fit pushes out the oldest one (its stream start, if it carried
// one, passes to the next). A coded frame is never dropped alone, since
// the frames after it refer to it: a full queue of coded frames goes as a
// whole, and from there on the decoder takes nothing before a key frame;
// coded output nobody takes goes as a whole too, and the encoder starts a
// new stream. A decoder with frames waiting decodes them without making
// their pictures until it has caught up. Dropped frames and pictures are
// counted, with one log line per burst.
//
// Lifetime: made by the owner through NewVideoEnDecoder (which starts the
// thread once the object is whole); the subclass's destructor calls
// Shutdown() before its codec state dies. The watcher must outlive the
// worker, and the owner must not destroy the worker from inside
// OnVideoOutput or while holding a lock OnVideoOutput takes.
class VideoEnDecoder {
 public:
  class VEDWatcher {
   public:
    virtual ~VEDWatcher() = default;
    // Worker thread: output for `id` is ready to be taken.
    virtual void OnVideoOutput(const std::wstring& id) = 0;
  };

  // The most frames a queue holds. Raw pictures are large and a late one
  // is worth little. Coded ones are small, a decoder behind catches up on
  // them without making pictures, and each one lost costs the picture
  // until the next key frame: room for a quarter of a second at 60 frames
  // a second, which the thread that hands them over may spend on other
  // work now and then.
  static constexpr size_t kMaxQueuedRawFrames = 2;
  static constexpr size_t kMaxQueuedCodedFrames = 16;
  // The worker's scratch buffer; also the largest frame accepted.
  static constexpr uint32_t kWorkBufferSize = 0xC00000;
  static constexpr uint16_t kDefaultFps = 25;

  VideoEnDecoder(VEDWatcher* watcher, std::wstring id, bool encode);
  virtual ~VideoEnDecoder();
  VideoEnDecoder(const VideoEnDecoder&) = delete;
  VideoEnDecoder& operator=(const VideoEnDecoder&) = delete;

  // Starts the worker thread; false when it could not start.
  bool Start();
  // Stops and joins the worker; frames still queued are freed. Safe twice.
  void Shutdown();

  // Queues a copy of the frame. False when the worker failed or is
  // stopping, when width or height is 0, when the frame would not fit the
  // work buffer, or (encoding) when `size` is short of width*height*3.
  // A frame rate of 0 is taken as 25.
  bool PushFrame(uint8_t flag, uint16_t fps, uint16_t width, uint16_t height, const uint8_t* bytes,
                 uint32_t size);
  // The next frame pushed starts a new stream (sending side: a key frame).
  void RequestKeyFrame();
  // Appends every finished frame, oldest first.
  void TakeOutput(std::deque<std::unique_ptr<CodecFrame>>* out);

  bool encode() const { return encode_; }
  bool failed() const;
  const std::wstring& id() const { return id_; }
  const char* codec_name() const { return "webm"; }
  // Frames accepted by PushFrame so far.
  uint32_t frame_counter() const;
  // Frames waiting for the worker now, and the most that ever waited.
  size_t queued_frames() const;
  size_t peak_queued_frames() const;
  // Frames let go because a queue was full.
  uint64_t dropped_frames() const;

 protected:
  // Worker thread. Open makes the codec usable for these parameters (a
  // codec already open is kept); false when it cannot be.
  virtual bool Open(uint16_t fps, uint16_t width, uint16_t height) = 0;
  virtual void Close() = 0;
  // Worker thread. Encode/decode `input` into `output`; true with
  // `*output_size` 0 means the frame produced nothing (skipped). False
  // ends the worker. `key_frame` asks the encoder for a key frame. Decode
  // with a null `output` only decodes (the picture is not wanted) and
  // tells in `*output_size` what the picture would have taken.
  virtual bool Encode(const uint8_t* input, uint32_t input_size, bool key_frame, uint8_t* output,
                      uint32_t* output_size, uint32_t capacity) = 0;
  virtual bool Decode(const uint8_t* input, uint32_t input_size, uint8_t* output,
                      uint32_t* output_size, uint32_t capacity) = 0;
  // Any thread: whether a coded frame can be decoded without those before
  // it. Reads nothing but the frame.
  virtual bool IsKeyFrame(const uint8_t* input, uint32_t input_size) const = 0;

 private:
  void WorkLoop();
  // One frame through the codec; false when the worker must end.
  // `more_waiting`: other frames were queued when this one was taken.
  bool Process(CodecFrame* frame, uint8_t* work, bool more_waiting);
  // A frame whose buffer holds at least `size` bytes: a spare when one
  // fits, else a new one. Takes the input lock.
  std::unique_ptr<CodecFrame> TakeSpare(uint32_t size);
  // Keeps a finished input frame for a later PushFrame, unless enough are
  // kept already (then `*frame` is left as it was). Input lock held.
  void KeepSpare(std::unique_ptr<CodecFrame>* frame);
  // Input lock held. Queue `frame` within the bound; frames let go are
  // kept as spares or moved to `*freed` (to be freed without the lock).
  // Returns how many frames were dropped.
  size_t QueueRaw(std::unique_ptr<CodecFrame> frame,
                  std::vector<std::unique_ptr<CodecFrame>>* freed);
  size_t QueueCoded(std::unique_ptr<CodecFrame> frame, bool key_frame,
                    std::vector<std::unique_ptr<CodecFrame>>* freed);
  void Retire(std::unique_ptr<CodecFrame> frame, std::vector<std::unique_ptr<CodecFrame>>* freed);
  // Worker thread: takes out of the output queue what must go to make
  // room for one more frame (coded output goes as a whole).
  std::deque<std::unique_ptr<CodecFrame>> MakeOutputRoom();
  // Counts `count` dropped frames and writes the line of a new burst.
  // Takes the input lock; call it without.
  void CountDrops(size_t count);
  void LogBurst(uint64_t total) const;

  VEDWatcher* const watcher_;
  const std::wstring id_;
  const bool encode_;

  mutable std::mutex input_mutex_;  // guards the fields up to spares_
  std::condition_variable input_cv_;
  bool stopping_ = false;
  bool failed_ = false;
  bool stream_flag_pending_ = true;
  uint32_t frame_counter_ = 0;
  // Coded frames only: frames were dropped, and the decoder could not use
  // what follows them before the next key frame.
  bool awaiting_key_frame_ = false;
  // A dropped coded frame started a stream; the next one queued does.
  bool start_dropped_ = false;
  FrameDropCounter drops_;
  std::deque<std::unique_ptr<CodecFrame>> input_;
  size_t peak_queued_ = 0;
  // Finished input frames whose buffers PushFrame fills again: a steady
  // stream then copies each frame without allocating (and faulting in)
  // megabytes every time.
  std::vector<std::unique_ptr<CodecFrame>> spares_;

  std::mutex output_mutex_;
  std::deque<std::unique_ptr<CodecFrame>> output_;

  // Worker thread only.
  bool opened_ = false;
  // Decoding: a stream start whose picture the game did not get; the next
  // picture carries it.
  bool start_unshown_ = false;
  uint16_t fps_ = 0;
  uint16_t width_ = 0;
  uint16_t height_ = 0;

  brx::base::ThreadMethod thread_;
};

// The codec types the sessions may ask for; only VP8 exists.
inline constexpr int kCodecTypeWebM = 0;

// A started worker of `codec_type`, or null for an unknown type or a
// thread that would not start.
std::unique_ptr<VideoEnDecoder> NewVideoEnDecoder(int codec_type,
                                                  VideoEnDecoder::VEDWatcher* watcher,
                                                  const std::wstring& id, bool encode);
