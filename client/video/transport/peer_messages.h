#pragma once

#include <cstdint>
#include <string>

#include "client/core/ipc/message_serialize.h"

// The messages two clients exchange on a video link (direct or relayed),
// each one framed message: an 8-byte header, then the message's fields,
// little-endian, unaligned.

// The header: u16 message id, u16 flag (written 0), u32 reserved (written
// 0). A received message shorter than the header reads as id and flag
// 0xFFFF, reserved 0.
class NetMessage_Interact : public MessageSerialize {
 public:
  static constexpr uint16_t kInvalidId = 0xFFFF;
  static constexpr uint32_t kHeaderSize = 8;

  uint16_t message_id() const { return message_id_; }
  uint16_t flag() const { return flag_; }
  uint32_t reserved() const { return reserved_; }

 protected:
  // A new message with its header written.
  explicit NetMessage_Interact(uint16_t message_id);
  // A received message; the cursor stands after the header.
  NetMessage_Interact(const uint8_t* packet, uint32_t length);

 private:
  uint16_t message_id_ = kInvalidId;
  uint16_t flag_ = kInvalidId;
  uint32_t reserved_ = 0;
};

// Reads only the header of a received message.
class NetMessageHeader : public NetMessage_Interact {
 public:
  NetMessageHeader(const uint8_t* packet, uint32_t length) : NetMessage_Interact(packet, length) {}
};

// One codec frame: u8 re-initialisation flag, u16 frame rate, u16 width,
// u16 height, u32 sender's frame counter, u32 n, n bytes.
class MessageVideoData : public NetMessage_Interact {
 public:
  static constexpr uint16_t kId = 1;

  MessageVideoData(uint8_t reinit, uint16_t fps, uint16_t width, uint16_t height, uint32_t counter,
                   const uint8_t* payload, uint32_t payload_length);
  // Fields that do not fit keep 0; a payload shorter than its length (or
  // empty) leaves payload null: the frame is dropped.
  MessageVideoData(const uint8_t* packet, uint32_t length);

  bool HasPayload() const { return payload != nullptr; }

  uint8_t reinit = 0;
  uint16_t fps = 0;
  uint16_t width = 0;
  uint16_t height = 0;
  uint32_t counter = 0;
  uint32_t payload_length = 0;
  const uint8_t* payload = nullptr;  // into the packet
};

// A peer's readiness (code non-zero) or stop (code 0), with a short text:
// u8 code, u32 text length, the text bytes.
class MessageVideoControl : public NetMessage_Interact {
 public:
  static constexpr uint16_t kId = 0;
  // What a reader keeps of the text.
  static constexpr uint32_t kMaxText = 127;

  MessageVideoControl(uint8_t code, const std::string& text);
  MessageVideoControl(const uint8_t* packet, uint32_t length);

  uint8_t code = 0;
  std::string text;
};
