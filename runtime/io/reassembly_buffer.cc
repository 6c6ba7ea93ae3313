#include "runtime/io/reassembly_buffer.h"

#include <algorithm>
#include <cstring>

#include "runtime/io/stream_framing.h"

namespace brx::io {

ReassemblyBuffer::ReassemblyBuffer(size_t capacity, size_t max_frame)
    : bytes_(new uint8_t[std::max<size_t>(capacity, 1)]),
      capacity_(std::max<size_t>(capacity, 1)),
      max_frame_(max_frame) {}

void ReassemblyBuffer::Grow(size_t needed) {
  size_t capacity = 2 * needed;
  std::unique_ptr<uint8_t[]> bytes(new uint8_t[capacity]);
  if (used_) memcpy(bytes.get(), bytes_.get(), used_);
  bytes_ = std::move(bytes);
  capacity_ = capacity;
}

void ReassemblyBuffer::Append(const uint8_t* bytes, size_t length) {
  if (large_) {
    size_t take = std::min<size_t>(length, large_length_ - large_filled_);
    memcpy(large_.get() + large_filled_, bytes, take);
    large_filled_ += static_cast<uint32_t>(take);
    bytes += take;
    length -= take;
  }
  if (used_ + length > capacity_) Grow(used_ + length);
  if (length) memcpy(bytes_.get() + used_, bytes, length);
  used_ += length;
}

uint8_t* ReassemblyBuffer::Reserve(size_t min_free) {
  if (large_) return large_.get() + large_filled_;
  if (used_ + min_free > capacity_) Grow(used_ + min_free);
  return bytes_.get() + used_;
}

size_t ReassemblyBuffer::free_space() const {
  return large_ ? large_length_ - large_filled_ : capacity_ - used_;
}

void ReassemblyBuffer::Commit(size_t length) {
  if (large_)
    large_filled_ += static_cast<uint32_t>(length);
  else
    used_ += length;
}

size_t ReassemblyBuffer::WantedReadSpace(size_t read_size) const {
  if (large_) return large_length_ - large_filled_;
  if (used_ >= kFrameHeaderSize) {
    uint32_t length = ReadFrameLength(bytes_.get());
    if (length > used_ && length <= max_frame_) return std::max(read_size, length - used_);
  }
  return read_size;
}

size_t ReassemblyBuffer::ReadLimit() const {
  if (large_) return large_length_ - large_filled_;
  return std::min(capacity_ - used_, std::max(kFrameStartReadBytes, WantedReadSpace(0)));
}

void ReassemblyBuffer::Consume(size_t length) {
  length = std::min(length, used_);
  if (length < used_) memmove(bytes_.get(), bytes_.get() + length, used_ - length);
  used_ -= length;
}

void ReassemblyBuffer::Clear() {
  used_ = 0;
  large_.reset();
  large_length_ = large_filled_ = 0;
}

void ReassemblyBuffer::StartLargeFrame(uint32_t body_length, const uint8_t* have,
                                       size_t have_length, std::unique_ptr<uint8_t[]> body,
                                       uint32_t capacity) {
  if (body && capacity >= body_length) {
    large_ = std::move(body);
    large_capacity_ = capacity;
  } else {
    large_.reset(new uint8_t[body_length]);
    large_capacity_ = body_length;
  }
  large_length_ = body_length;
  large_filled_ = static_cast<uint32_t>(have_length);
  memcpy(large_.get(), have, have_length);
}

bool ReassemblyBuffer::TakeLargeFrame(std::unique_ptr<uint8_t[]>* body, uint32_t* length,
                                      uint32_t* capacity) {
  if (!large_ || large_filled_ < large_length_) return false;
  *body = std::move(large_);
  *length = large_length_;
  if (capacity) *capacity = large_capacity_;
  large_length_ = large_filled_ = 0;
  return true;
}

}  // namespace brx::io
