#pragma once

#include <cstdint>
#include <functional>

typedef void CURL;

namespace brx::http {

// Lets the owner of a worker thread cut a transfer short: `aborted` is
// polled while the transfer runs, and `wake_fd`, when given, is watched
// beside the sockets so the abort is seen at once instead of at the next
// poll round (100 ms at most). A stop therefore never waits on the network.
struct AbortSignal {
  std::function<bool()> aborted;
  int wake_fd = -1;
};

// How long each phase of a transfer may take, in milliseconds, and how much
// it may bring. Past a limit the transfer fails as a network failure would
// (CURLE_OPERATION_TIMEDOUT, CURLE_FILESIZE_EXCEEDED), with one log line.
struct TransferLimits {
  uint32_t connect_ms = 60000;  // name resolution and connection together
  uint32_t idle_ms = 60000;     // longest time without a byte moving either way
  // The whole transfer, connection included, however steadily bytes move:
  // a reply trickled just fast enough never to go idle still ends. 0: none.
  uint32_t total_ms = 30 * 60 * 1000;
  // The most reply body bytes taken, as they come off the wire; a reply
  // that announces more is refused before its body. 0: none.
  uint64_t max_reply_bytes = uint64_t{1} << 30;
};

// Called with the bytes received so far and the expected total (0 when not
// known); returning false aborts the transfer.
using ProgressCallback = std::function<bool(uint64_t received, uint64_t total)>;

// Makes sure libcurl's global state is set up (once per process).
void EnsureCurlInitialized();

// Runs the prepared easy handle to its end. Returns the CURLcode:
// CURLE_ABORTED_BY_CALLBACK when the signal or the progress callback
// stopped it, CURLE_OPERATION_TIMEDOUT when a time limit ran out,
// CURLE_FILESIZE_EXCEEDED when the reply passed its size. The size is
// watched as the transfer reports its progress, so a writer that keeps the
// bytes in memory also checks it as they come (see LogReplyPastBound).
int RunTransfer(CURL* easy, const TransferLimits& limits, const AbortSignal& abort,
                const ProgressCallback& progress = nullptr);

// The one log line of a transfer whose reply passed `bound` bytes.
void LogReplyPastBound(CURL* easy, uint64_t bound);

}  // namespace brx::http
