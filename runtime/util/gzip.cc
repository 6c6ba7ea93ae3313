#include "runtime/util/gzip.h"

#include <zlib.h>

namespace brx::util {

bool InflateGzipBody(const void* data, size_t length, std::string* out) {
  return InflateGzipBodyUpTo(data, length, kMaxInflatedBytes, out);
}

bool InflateGzipBodyUpTo(const void* data, size_t length, size_t max_out, std::string* out) {
  out->clear();
  z_stream zs{};
  if (inflateInit2(&zs, 15 + 32) != Z_OK) return false;
  zs.next_in = static_cast<Bytef*>(const_cast<void*>(data));
  zs.avail_in = static_cast<uInt>(length);
  unsigned char buf[16384];
  bool ok = true;
  while (true) {
    zs.next_out = buf;
    zs.avail_out = sizeof buf;
    int rc = inflate(&zs, Z_SYNC_FLUSH);
    size_t produced = sizeof buf - zs.avail_out;
    if (produced > max_out - out->size()) {
      // Past the bound: stop inflating here, with one byte over as proof.
      out->append(reinterpret_cast<char*>(buf), max_out - out->size() + 1);
      inflateEnd(&zs);
      return false;
    }
    out->append(reinterpret_cast<char*>(buf), produced);
    if (rc == Z_STREAM_END) break;
    if (rc == Z_BUF_ERROR && zs.avail_in == 0) break;  // cut short: keep what came out
    if (rc != Z_OK) {
      ok = false;
      break;
    }
    // With the output buffer full, zlib may hold more even after the last
    // input byte was taken: go round again until it has nothing left.
    if (zs.avail_in == 0 && zs.avail_out != 0) break;
  }
  inflateEnd(&zs);
  if (!ok) out->clear();
  return ok;
}

bool GzipCompress(const std::string& data, std::string* out) {
  out->clear();
  z_stream zs{};
  if (deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    return false;
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  zs.avail_in = static_cast<uInt>(data.size());
  unsigned char buf[16384];
  int rc;
  do {
    zs.next_out = buf;
    zs.avail_out = sizeof buf;
    rc = deflate(&zs, Z_FINISH);
    out->append(reinterpret_cast<char*>(buf), sizeof buf - zs.avail_out);
  } while (rc == Z_OK);
  deflateEnd(&zs);
  return rc == Z_STREAM_END;
}

}  // namespace brx::util
