#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// One request of a hosted page, as the bridge makes it: a POST without a
// body, run on the calling thread and bounded every way a server could
// hold it: connecting, silence, the whole request's time, and the size of
// the reply as received and once inflated. A redirect is never followed
// (its answer is the reply), so the request stays on the address that was
// allowed.
struct PageHttpLimits {
  uint32_t connect_ms = 0;
  uint32_t idle_ms = 0;
  uint32_t overall_ms = 0;
  size_t max_bytes = 0;
};

struct PageHttpReply {
  std::string body;  // empty unless the request succeeded
  int status = 0;    // 0 when no usable reply came
  int error = 0;     // a transfer error number (curl's), 0 on success
};

// `gzip`: asks for a gzip reply and inflates a reply labelled exactly
// "gzip". `stopping` is polled; true ends the request at once.
PageHttpReply RunPageHttpRequest(const std::string& url, const PageHttpLimits& limits, bool gzip,
                                 const std::function<bool()>& stopping);
