#include "client/core/ipc/ipc_message.h"

#include <algorithm>

#include "runtime/io/io_stream_message_queue.h"
#include "runtime/io/stream_framing.h"
#include "runtime/util/text_convert.h"

namespace {

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }

}  // namespace

IPCMessage::IPCMessage(uint16_t message_id) : message_id_(message_id), flag_(0) {
  WriteU16(message_id_);
  WriteU16(flag_);
}

IPCMessage::IPCMessage(const uint8_t* packet, uint32_t length)
    : MessageSerialize(packet, length), message_id_(kInvalidId), flag_(kInvalidId) {
  if (remaining() >= kHeaderSize) {
    ReadU16(&message_id_);
    ReadU16(&flag_);
  }
}

void IPCMessage::WriteString(uint32_t capacity, const std::wstring& text) {
  std::u16string units = brx::util::WideToUtf16(text);
  size_t n = units.size();
  if (capacity == 0)
    n = 0;
  else if (n >= capacity) {
    n = capacity - 1;
    if (n > 0 && IsHighSurrogate(units[n - 1])) --n;
  }
  WriteI32(static_cast<int32_t>(2 * n));
  for (size_t i = 0; i < n; ++i) WriteU16(static_cast<uint16_t>(units[i]));
}

bool IPCMessage::ReadString(uint32_t capacity, std::wstring* text) {
  int32_t count;
  if (!ReadI32(&count)) return false;
  if (count < 0 || static_cast<uint32_t>(count) > remaining()) return false;
  size_t units = std::min<size_t>(static_cast<uint32_t>(count) / 2, capacity ? capacity - 1 : 0);
  std::u16string value(units, u'\0');
  const uint8_t* p = at_cursor();
  for (size_t i = 0; i < units; ++i) value[i] = static_cast<char16_t>(p[2 * i] | p[2 * i + 1] << 8);
  if (units < static_cast<uint32_t>(count) / 2 && !value.empty() && IsHighSurrogate(value.back()))
    value.pop_back();
  Advance(static_cast<uint32_t>(count));
  *text = brx::util::Utf16ToWide(value);
  return true;
}

void IPCMessage::WriteByteField(const uint8_t* bytes, uint32_t count) {
  WriteI32(static_cast<int32_t>(count));
  WriteRaw(bytes, count);
}

bool IPCMessage::ReadByteFieldInPlace(const uint8_t** bytes, uint32_t* count) {
  int32_t n;
  if (!ReadI32(&n)) return false;
  if (n < 0 || static_cast<uint32_t>(n) > remaining()) return false;
  *bytes = at_cursor();
  *count = static_cast<uint32_t>(n);
  Advance(static_cast<uint32_t>(n));
  return true;
}

uint32_t WriteFramedMessage(const IPCMessage& message, brx::io::IOStreamMessageQueue& server,
                            brx::io::ConnectionId connection) {
  if (message.refused()) return 0;
  uint8_t header[brx::io::kFrameHeaderSize];
  brx::io::WriteFrameLength(header,
                            message.size() + static_cast<uint32_t>(brx::io::kFrameHeaderSize));
  if (!server.Send(connection, header, sizeof header, message.data(), message.size())) return 0;
  return message.size();
}
