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
  if (used_ + length > capacity_) Grow(used_ + length);
  if (length) memcpy(bytes_.get() + used_, bytes, length);
  used_ += length;
}

uint8_t* ReassemblyBuffer::Reserve(size_t min_free) {
  if (used_ + min_free > capacity_) Grow(used_ + min_free);
  return bytes_.get() + used_;
}

size_t ReassemblyBuffer::WantedReadSpace(size_t read_size) const {
  if (used_ >= kFrameHeaderSize) {
    uint32_t length = ReadFrameLength(bytes_.get());
    if (length > used_ && length <= max_frame_) return std::max(read_size, length - used_);
  }
  return read_size;
}

void ReassemblyBuffer::Consume(size_t length) {
  length = std::min(length, used_);
  if (length < used_) memmove(bytes_.get(), bytes_.get() + length, used_ - length);
  used_ -= length;
}

}  // namespace brx::io
