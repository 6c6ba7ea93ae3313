#pragma once

#include <cstdint>
#include <string>

#include "runtime/http/curl_transfer.h"

namespace brx::http {

struct DownloadOptions {
  TransferLimits limits;
  // Told how far the download has come; returning false aborts it.
  ProgressCallback progress;
  AbortSignal abort;
};

struct DownloadResult {
  int error = 0;        // CURLcode; 0 on success
  int http_status = 0;  // 0 when no reply came
};

// Fetches `url` with GET (following up to five redirects) into `path`; bytes
// an address may not hold (a blank in a file name) are escaped first (see
// EscapeUrlForTransfer). The bytes go to a temporary file beside the
// target, which replaces the target only when the whole reply arrived with
// a status below 400; on any failure (transport, time-out, abort, HTTP
// error, unwritable folder) the temporary file is removed and an existing
// target stays as it was.
// Blocks the calling thread.
bool DownloadToFile(const std::string& url, const std::string& path, const DownloadOptions& options,
                    DownloadResult* result = nullptr);

// Removes what downloads to `path` that never finished left beside it:
// the temporary files of a process that was killed meanwhile. Only for a
// path no download is writing to now.
void RemoveDownloadLeftovers(const std::string& path);

}  // namespace brx::http
