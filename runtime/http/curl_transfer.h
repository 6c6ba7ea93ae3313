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

// How long each phase of a transfer may take, in milliseconds.
struct TransferLimits {
  uint32_t connect_ms = 60000;  // name resolution and connection together
  uint32_t idle_ms = 60000;     // longest time without a byte moving either way
};

// Called with the bytes received so far and the expected total (0 when not
// known); returning false aborts the transfer.
using ProgressCallback = std::function<bool(uint64_t received, uint64_t total)>;

// Makes sure libcurl's global state is set up (once per process).
void EnsureCurlInitialized();

// Runs the prepared easy handle to its end. Returns the CURLcode:
// CURLE_ABORTED_BY_CALLBACK when the signal or the progress callback
// stopped it, CURLE_OPERATION_TIMEDOUT when a limit ran out.
int RunTransfer(CURL* easy, const TransferLimits& limits, const AbortSignal& abort,
                const ProgressCallback& progress = nullptr);

}  // namespace brx::http
