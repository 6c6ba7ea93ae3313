#pragma once

#include <cstdint>
#include <memory>

namespace brx::base {
class SerializeWriter;
}

// Base of every binary message (pipe messages and the peer video
// messages): either a reader over a received packet, or a writer that
// builds a new message. All fields are little-endian with no padding.
//
// Reader rules: a field is read only when all its bytes remain; otherwise
// the field keeps its value and the cursor does not move, so later
// (shorter) fields are still tried. The packet belongs to the caller and
// must outlive the message.
class MessageSerialize {
 public:
  virtual ~MessageSerialize();
  MessageSerialize(const MessageSerialize&) = delete;
  MessageSerialize& operator=(const MessageSerialize&) = delete;

  // Writer: the bytes built so far. Reader: the packet.
  const uint8_t* data() const;
  uint32_t size() const;

  void WriteU8(uint8_t value);
  void WriteU16(uint16_t value);
  void WriteI32(int32_t value);
  void WriteU32(uint32_t value);
  void WriteF32(float value);
  void WriteRaw(const void* bytes, uint32_t length);

  bool ReadU8(uint8_t* value);
  bool ReadU16(uint16_t* value);
  bool ReadI32(int32_t* value);
  bool ReadU32(uint32_t* value);
  bool ReadF32(float* value);

  uint32_t remaining() const { return length_ - cursor_; }
  uint32_t cursor() const { return cursor_; }

 protected:
  // A writer with an empty buffer.
  MessageSerialize();
  // A reader over `length` bytes at `packet`.
  MessageSerialize(const uint8_t* packet, uint32_t length);

  const uint8_t* at_cursor() const { return packet_ + cursor_; }
  void Advance(uint32_t length) { cursor_ += length; }

 private:
  bool ReadRaw(void* out, uint32_t length);

  const uint8_t* packet_ = nullptr;
  uint32_t length_ = 0;
  uint32_t cursor_ = 0;
  std::unique_ptr<brx::base::SerializeWriter> writer_;
};
