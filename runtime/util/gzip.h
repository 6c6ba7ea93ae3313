#pragma once

#include <cstddef>
#include <string>

namespace brx::util {

// What a reply may inflate to unless its reader says otherwise.
inline constexpr size_t kMaxInflatedBytes = size_t{8} << 20;

// Inflates a gzip or zlib stream (the header decides) into at most
// `max_out` bytes. A stream cut short yields what could be inflated and
// counts as success; a corrupt or non-compressed input fails with an empty
// output. A stream that would inflate to more fails as soon as it passes
// the bound, leaving the first max_out + 1 bytes in `out`, so a caller can
// tell a reply too large from a corrupt one.
bool InflateGzipBodyUpTo(const void* data, size_t length, size_t max_out, std::string* out);
// The same within kMaxInflatedBytes, in the shape of a content decoder.
bool InflateGzipBody(const void* data, size_t length, std::string* out);

// Compresses into a gzip stream.
bool GzipCompress(const std::string& data, std::string* out);

}  // namespace brx::util
