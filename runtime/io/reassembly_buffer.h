#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace brx::io {

// The received bytes of one connection that do not yet form a whole frame.
// Used only by the thread that completes reads for the connection.
//
// It grows to twice the size it needs, so a stream of large frames causes
// few reallocations, and never shrinks while the connection lives. Frames
// announcing more than `max_frame` bytes are refused by the parser, so a
// peer can never make it grow without bound.
//
// A large frame (kDirectFrameBytes or more) is received straight into a
// body of its own once its length is known: Reserve and free_space then
// point readers at the rest of that body, and the parser hands the body to
// the queue without copying it.
class ReassemblyBuffer {
 public:
  static constexpr size_t kDirectFrameBytes = 64 * 1024;
  // The most a read takes into the buffer beyond the frame it holds a
  // part of: enough for hundreds of small frames at once, while a large
  // frame that comes next lands here with only its first bytes (the rest
  // goes straight into its own body), so it is barely copied.
  static constexpr size_t kFrameStartReadBytes = 16 * 1024;

  ReassemblyBuffer(size_t capacity, size_t max_frame);
  ReassemblyBuffer(const ReassemblyBuffer&) = delete;
  ReassemblyBuffer& operator=(const ReassemblyBuffer&) = delete;

  // The buffered bytes (those of a large frame in progress are apart).
  uint8_t* data() { return bytes_.get(); }
  size_t used() const { return used_; }
  size_t capacity() const { return capacity_; }
  size_t max_frame() const { return max_frame_; }

  // Appends `length` received bytes, growing to 2 x (used + length) when
  // they do not fit.
  void Append(const uint8_t* bytes, size_t length);

  // For reading straight into the buffer: where the next bytes go (making
  // room for at least `min_free` of them), how many may go there, and how
  // many did.
  uint8_t* Reserve(size_t min_free);
  size_t free_space() const;
  void Commit(size_t length);

  // How much a read should make room for: the rest of a frame whose length
  // is already buffered (when it is sane), at least `read_size`.
  size_t WantedReadSpace(size_t read_size) const;
  // How many bytes the next read should take at most: the rest of a large
  // frame in progress, else the free space but no more than the rest of
  // the buffered frame or kFrameStartReadBytes, whichever is more.
  size_t ReadLimit() const;

  // Drops the first `length` buffered bytes, moving the rest to the start.
  void Consume(size_t length);
  void Clear();

  // The parser's side of a large frame: starts one with `body_length`
  // bytes, the first `have` of which are given, in `body` (of `capacity`
  // bytes, at least `body_length`) when one is given; takes it once
  // complete.
  bool InLargeFrame() const { return large_ != nullptr; }
  void StartLargeFrame(uint32_t body_length, const uint8_t* have, size_t have_length,
                       std::unique_ptr<uint8_t[]> body = nullptr, uint32_t capacity = 0);
  bool TakeLargeFrame(std::unique_ptr<uint8_t[]>* body, uint32_t* length,
                      uint32_t* capacity = nullptr);

 private:
  void Grow(size_t needed);

  std::unique_ptr<uint8_t[]> bytes_;
  size_t used_ = 0;
  size_t capacity_;
  size_t max_frame_;
  std::unique_ptr<uint8_t[]> large_;  // body of the large frame in progress
  uint32_t large_length_ = 0;
  uint32_t large_filled_ = 0;
  uint32_t large_capacity_ = 0;
};

}  // namespace brx::io
