#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

// The pipe messages as the in-game hook library sees them, written from the
// protocol sheet (not from the main client's message classes), so a fault
// in one is not repeated in the other.
//
// Frame: u32 LE total length (counting itself), then u16 id, u16 flag 0,
// then the fields, little-endian, unpadded. str(N): i32 byte count, then
// UTF-16LE without terminator, at most N-1 units. bytes: i32 count, then
// the bytes.
namespace gamesim {

enum class FieldType { kU8, kU16, kI32, kU32, kF32, kStr, kBytes, kFriendList };

struct FieldSpec {
  const char* name;
  FieldType type;
  uint32_t capacity;  // kStr only
};

struct MessageSpec {
  uint16_t id;
  const char* name;
  std::vector<FieldSpec> fields;
};

// Field value: integers (u8 .. i32), float, UTF-16 text, raw bytes.
using WireValue = std::variant<int64_t, double, std::u16string, std::vector<uint8_t>>;

// One online friend in the S2C friend list.
struct FriendEntry {
  std::u16string account, name, head_icon;
};

struct WireMessage {
  uint16_t id = 0;
  std::string name;
  std::vector<std::pair<std::string, WireValue>> fields;
  std::vector<FriendEntry> friends;  // FRIEND_ONLINE (S2C) only

  const WireValue* Find(const std::string& field) const;
  int64_t Int(const std::string& field) const;   // 0 when absent
  double Float(const std::string& field) const;  // 0 when absent
  std::u16string Text(const std::string& field) const;
  std::string Utf8(const std::string& field) const;  // the text as UTF-8
  const std::vector<uint8_t>* Bytes(const std::string& field) const;
  // "NAME field=value ..." on one line; texts as UTF-8, bytes as their count.
  std::string ToString() const;
};

// The sheets of both directions.
const std::vector<MessageSpec>& HookToClientMessages();
const std::vector<MessageSpec>& ClientToHookMessages();
const MessageSpec* FindMessage(const std::vector<MessageSpec>& sheet, const std::string& name);
const MessageSpec* FindMessage(const std::vector<MessageSpec>& sheet, uint16_t id);

// Encodes a hook-to-client message body (no frame header). Missing fields
// are sent as 0 or empty; a text longer than its field is sent as given
// (the simulator can play a misbehaving game). Empty when the name is unknown.
std::vector<uint8_t> EncodeMessage(const MessageSpec& spec, const WireMessage& values);

// Decodes a client-to-hook message body strictly: flag 0, every field
// present, every count within its field's capacity, a video frame of
// exactly width x height x 3 bytes, nothing left over. On failure `*error`
// says why.
std::optional<WireMessage> DecodeMessage(const std::vector<MessageSpec>& sheet, const uint8_t* body,
                                         uint32_t length, std::string* error);

std::vector<uint8_t> Frame(const std::vector<uint8_t>& body);

std::u16string Utf8ToUtf16(const std::string& text);
std::string Utf16ToUtf8(const std::u16string& text);

}  // namespace gamesim
