#include "runtime/base/serialize_writer.h"

#include <cstring>

namespace brx::base {

SerializeWriter::SerializeWriter()
    : buffer_(new uint8_t[kInitialCapacity]), capacity_(kInitialCapacity) {}

SerializeWriter::~SerializeWriter() = default;

void SerializeWriter::Grow(size_t length) {
  size_t capacity = capacity_;
  while (capacity < position_ + length) capacity *= 2;
  std::unique_ptr<uint8_t[]> buffer(new uint8_t[capacity]);
  memcpy(buffer.get(), buffer_.get(), position_);
  buffer_ = std::move(buffer);
  capacity_ = capacity;
}

uint8_t* SerializeWriter::Extend(size_t length) {
  if (position_ + length > capacity_) Grow(length);
  uint8_t* at = buffer_.get() + position_;
  position_ += length;
  return at;
}

void SerializeWriter::WriteBytes(const void* bytes, size_t length) {
  if (length) memcpy(Extend(length), bytes, length);
}

void SerializeWriter::WriteU8(uint8_t value) { *Extend(1) = value; }

void SerializeWriter::WriteU16(uint16_t value) {
  uint8_t* at = Extend(2);
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
}

void SerializeWriter::WriteU32(uint32_t value) {
  uint8_t* at = Extend(4);
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

void SerializeWriter::WriteF32(float value) {
  uint32_t bits;
  static_assert(sizeof bits == sizeof value);
  memcpy(&bits, &value, sizeof bits);
  WriteU32(bits);
}

}  // namespace brx::base
