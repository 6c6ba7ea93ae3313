#include "client/video/transport/peer_messages.h"

#include <algorithm>

NetMessage_Interact::NetMessage_Interact(uint16_t message_id) : message_id_(message_id), flag_(0) {
  WriteU16(message_id_);
  WriteU16(0);
  WriteU32(0);
}

NetMessage_Interact::NetMessage_Interact(const uint8_t* packet, uint32_t length)
    : MessageSerialize(packet, length) {
  if (remaining() < kHeaderSize) return;
  ReadU16(&message_id_);
  ReadU16(&flag_);
  ReadU32(&reserved_);
}

MessageVideoData::MessageVideoData(uint8_t reinit_flag, uint16_t frame_rate, uint16_t frame_width,
                                   uint16_t frame_height, uint32_t frame_counter,
                                   const uint8_t* bytes, uint32_t bytes_length)
    : NetMessage_Interact(kId) {
  WriteU8(reinit_flag);
  WriteU16(frame_rate);
  WriteU16(frame_width);
  WriteU16(frame_height);
  WriteU32(frame_counter);
  WriteU32(bytes_length);
  WriteRaw(bytes, bytes_length);
}

MessageVideoData::MessageVideoData(const uint8_t* packet, uint32_t length)
    : NetMessage_Interact(packet, length) {
  if (message_id() != kId) return;
  ReadU8(&reinit);
  ReadU16(&fps);
  ReadU16(&width);
  ReadU16(&height);
  ReadU32(&counter);
  if (!ReadU32(&payload_length)) return;
  if (payload_length == 0 || remaining() < payload_length) return;
  payload = at_cursor();
  Advance(payload_length);
}

MessageVideoControl::MessageVideoControl(uint8_t control_code, const std::string& control_text)
    : NetMessage_Interact(kId) {
  WriteU8(control_code);
  WriteU32(static_cast<uint32_t>(control_text.size()));
  WriteRaw(control_text.data(), static_cast<uint32_t>(control_text.size()));
}

MessageVideoControl::MessageVideoControl(const uint8_t* packet, uint32_t length)
    : NetMessage_Interact(packet, length) {
  if (message_id() != kId) return;
  ReadU8(&code);
  uint32_t text_length = 0;
  if (!ReadU32(&text_length)) return;
  const uint32_t kept = std::min({text_length, remaining(), kMaxText});
  text.assign(reinterpret_cast<const char*>(at_cursor()), kept);
  Advance(std::min(text_length, remaining()));
}
