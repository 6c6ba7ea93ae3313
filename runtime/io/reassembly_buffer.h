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
class ReassemblyBuffer {
 public:
  ReassemblyBuffer(size_t capacity, size_t max_frame);
  ReassemblyBuffer(const ReassemblyBuffer&) = delete;
  ReassemblyBuffer& operator=(const ReassemblyBuffer&) = delete;

  uint8_t* data() { return bytes_.get(); }
  size_t used() const { return used_; }
  size_t capacity() const { return capacity_; }
  size_t max_frame() const { return max_frame_; }

  // Appends `length` bytes, growing to 2 x (used + length) when they do not fit.
  void Append(const uint8_t* bytes, size_t length);

  // For reading straight into the buffer: makes room for at least
  // `min_free` more bytes (growing as Append does) and returns the free
  // tail; Commit then counts the bytes written there.
  uint8_t* Reserve(size_t min_free);
  size_t free_space() const { return capacity_ - used_; }
  void Commit(size_t length) { used_ += length; }

  // How much a read should make room for: the rest of a frame whose length
  // is already buffered (when it is sane), at least `read_size`.
  size_t WantedReadSpace(size_t read_size) const;

  // Drops the first `length` bytes, moving the rest to the start.
  void Consume(size_t length);
  void Clear() { used_ = 0; }

 private:
  void Grow(size_t needed);

  std::unique_ptr<uint8_t[]> bytes_;
  size_t used_ = 0;
  size_t capacity_;
  size_t max_frame_;
};

}  // namespace brx::io
