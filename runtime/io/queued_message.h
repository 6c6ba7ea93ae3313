#pragma once

#include <cstdint>
#include <memory>

namespace brx::io {

// Names one stream end: a pipe connection, a socket or a UDT socket. Ids
// are generated and never reused within the process (0 means none),
// because Linux hands a closed descriptor number to the next open at once
// and a message still queued for a closed connection must never reach the
// connection that came after it.
using ConnectionId = uint32_t;

// A fresh id; thread-safe.
ConnectionId NewConnectionId();

// One message body: what a stream service hands its owner for each
// received frame, and what a write service holds for each outgoing one
// (there the frame header and body joined).
struct QueuedMessage {
  ConnectionId connection = 0;
  std::unique_ptr<uint8_t[]> body;
  uint32_t length = 0;
  uint32_t capacity = 0;  // bytes the body holds, when more than `length`
};

}  // namespace brx::io
