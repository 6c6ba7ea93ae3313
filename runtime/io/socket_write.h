#pragma once

#include <cstddef>
#include <cstdint>

namespace brx::io {

// How long a write may make no progress before the connection counts as
// stuck (its peer stopped reading) and the write fails.
inline constexpr int kWriteStallTimeoutMs = 15000;

// Writes all of `data` to a stream socket, which may be non-blocking:
// send with MSG_NOSIGNAL (a gone peer never raises SIGPIPE), and on a full
// socket buffer wait for room, for `cancel_fd` to become readable, or for
// `stall_timeout_ms` without progress. Returns 0 when everything was
// written, else an errno value (ECANCELED when cancelled, ETIMEDOUT when
// stuck); `*written` tells how far it got.
int WriteAllToSocket(int fd, const uint8_t* data, size_t length, int cancel_fd, int stall_timeout_ms,
                     size_t* written);

}  // namespace brx::io
