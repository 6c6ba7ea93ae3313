#pragma once

#include <cstdint>
#include <string>

#include "client/core/ipc/message_serialize.h"
#include "runtime/io/queued_message.h"

namespace brx::io {
class IOStreamMessageQueue;
}

// A pipe message between the main client and the in-game hook library:
// u16 message id, u16 flag (written 0, never interpreted), then the
// message's fields.
//
// Text fields are str(N): an i32 byte count, then UTF-16LE text without a
// terminator. N is the field's capacity including the terminator of the
// in-memory field, so at most N-1 UTF-16 units travel; a cut never splits
// a surrogate pair.
class IPCMessage : public MessageSerialize {
 public:
  static constexpr uint16_t kInvalidId = 0xFFFF;
  static constexpr uint32_t kHeaderSize = 4;

  // A new message with its header written.
  explicit IPCMessage(uint16_t message_id);
  // A received packet; fewer than 4 bytes give id and flag 0xFFFF.
  IPCMessage(const uint8_t* packet, uint32_t length);

  uint16_t message_id() const { return message_id_; }
  uint16_t flag() const { return flag_; }
  // A message whose fields could not be built as the wire demands; it is
  // never sent.
  bool refused() const { return refused_; }

  // Writes str(capacity): at most capacity-1 units of `text`.
  void WriteString(uint32_t capacity, const std::wstring& text);
  // Reads str(capacity) into `*text`. A missing count leaves the cursor and
  // `*text` alone. A negative count, or more bytes than remain, means the
  // field is missing: `*text` stays, the cursor stays behind the count.
  // Otherwise at most capacity-1 units are stored and the whole count is
  // skipped, so the next field starts where the sender put it.
  bool ReadString(uint32_t capacity, std::wstring* text);

  // bytes(n): i32 count, then the bytes.
  void WriteByteField(const uint8_t* bytes, uint32_t count);
  // Points `*bytes` into the packet instead of copying. A negative count
  // or fewer bytes than counted: false, `*bytes` stays null and the cursor
  // stays behind the count.
  bool ReadByteFieldInPlace(const uint8_t** bytes, uint32_t* count);

 protected:
  void Refuse() { refused_ = true; }

 private:
  uint16_t message_id_;
  uint16_t flag_;
  bool refused_ = false;
};

// Queues [u32 length + 4][message bytes] for `connection` on the service.
// Returns the message length, 0 when nothing was queued (the service is
// not running, or the message was refused).
uint32_t WriteFramedMessage(const IPCMessage& message, brx::io::IOStreamMessageQueue& server,
                            brx::io::ConnectionId connection);
