#pragma once

#include <cstddef>
#include <string>

namespace brx::util {

// Inflates a gzip or zlib stream (the header decides). A stream cut short
// yields what could be inflated and counts as success; a corrupt or
// non-compressed input fails with an empty output.
bool InflateGzipBody(const void* data, size_t length, std::string* out);

// Compresses into a gzip stream.
bool GzipCompress(const std::string& data, std::string* out);

}  // namespace brx::util
