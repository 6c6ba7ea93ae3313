#include "client/core/ipc/message_serialize.h"

#include <cassert>
#include <cstring>

#include "runtime/base/serialize_writer.h"

MessageSerialize::MessageSerialize() : writer_(std::make_unique<brx::base::SerializeWriter>()) {}

MessageSerialize::MessageSerialize(const uint8_t* packet, uint32_t length)
    : packet_(packet), length_(packet ? length : 0) {}

MessageSerialize::~MessageSerialize() = default;

const uint8_t* MessageSerialize::data() const { return writer_ ? writer_->data() : packet_; }

uint32_t MessageSerialize::size() const {
  return writer_ ? static_cast<uint32_t>(writer_->size()) : length_;
}

void MessageSerialize::WriteU8(uint8_t value) { writer_->WriteU8(value); }
void MessageSerialize::WriteU16(uint16_t value) { writer_->WriteU16(value); }
void MessageSerialize::WriteI32(int32_t value) { writer_->WriteI32(value); }
void MessageSerialize::WriteU32(uint32_t value) { writer_->WriteU32(value); }
void MessageSerialize::WriteF32(float value) { writer_->WriteF32(value); }
void MessageSerialize::WriteRaw(const void* bytes, uint32_t length) {
  writer_->WriteBytes(bytes, length);
}

bool MessageSerialize::ReadRaw(void* out, uint32_t length) {
  assert(!writer_);
  if (remaining() < length) return false;
  memcpy(out, packet_ + cursor_, length);
  cursor_ += length;
  return true;
}

bool MessageSerialize::ReadU8(uint8_t* value) { return ReadRaw(value, 1); }

bool MessageSerialize::ReadU16(uint16_t* value) {
  uint8_t b[2];
  if (!ReadRaw(b, 2)) return false;
  *value = static_cast<uint16_t>(b[0] | b[1] << 8);
  return true;
}

bool MessageSerialize::ReadU32(uint32_t* value) {
  uint8_t b[4];
  if (!ReadRaw(b, 4)) return false;
  *value = uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
  return true;
}

bool MessageSerialize::ReadI32(int32_t* value) {
  uint32_t bits;
  if (!ReadU32(&bits)) return false;
  *value = static_cast<int32_t>(bits);
  return true;
}

bool MessageSerialize::ReadF32(float* value) {
  uint32_t bits;
  if (!ReadU32(&bits)) return false;
  memcpy(value, &bits, sizeof bits);
  return true;
}
