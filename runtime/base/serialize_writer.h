#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace brx::base {

// The growable little-endian byte buffer in which outgoing messages are
// built. It starts at 4096 bytes; when a write does not fit, the capacity
// doubles until it does, the written bytes move to the new buffer and the
// write position keeps its offset. Not thread-safe.
class SerializeWriter {
 public:
  static constexpr size_t kInitialCapacity = 4096;

  SerializeWriter();
  virtual ~SerializeWriter();
  SerializeWriter(const SerializeWriter&) = delete;
  SerializeWriter& operator=(const SerializeWriter&) = delete;

  void WriteU8(uint8_t value);
  void WriteU16(uint16_t value);
  void WriteU32(uint32_t value);
  void WriteI32(int32_t value) { WriteU32(static_cast<uint32_t>(value)); }
  void WriteF32(float value);
  void WriteBytes(const void* bytes, size_t length);
  // Makes `length` more bytes part of the message and returns where they
  // start, for callers that fill them in place.
  uint8_t* Extend(size_t length);

  const uint8_t* data() const { return buffer_.get(); }
  size_t size() const { return position_; }
  size_t capacity() const { return capacity_; }

 private:
  void Grow(size_t length);

  std::unique_ptr<uint8_t[]> buffer_;
  size_t capacity_;
  size_t position_ = 0;
};

}  // namespace brx::base
