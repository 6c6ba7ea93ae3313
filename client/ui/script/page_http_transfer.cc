#include "client/ui/script/page_http_transfer.h"

#include <curl/curl.h>
#include <strings.h>
#include <zlib.h>

#include <chrono>

#include "runtime/http/curl_transfer.h"
#include "runtime/http/http_session.h"

namespace {

struct Reception {
  size_t max_bytes = 0;
  std::string body;
  std::string encoding;
  bool too_big = false;
};

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  auto* in = static_cast<Reception*>(user);
  std::string line(data, size * count);
  // An interim reply's headers are not the final reply's.
  if (line.rfind("HTTP/", 0) == 0) in->encoding.clear();
  constexpr char kName[] = "content-encoding:";
  if (line.size() > sizeof kName - 1 && strncasecmp(line.c_str(), kName, sizeof kName - 1) == 0) {
    size_t b = line.find_first_not_of(" \t", sizeof kName - 1);
    size_t e = line.find_last_not_of(" \t\r\n");
    in->encoding = b == std::string::npos || e < b ? "" : line.substr(b, e - b + 1);
  }
  return size * count;
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto* in = static_cast<Reception*>(user);
  size_t n = size * count;
  if (in->body.size() + n > in->max_bytes) {
    in->too_big = true;
    return 0;  // curl ends the transfer
  }
  in->body.append(data, n);
  return n;
}

// Inflates a gzip or zlib stream into at most `max_bytes`; CURLE_OK, or
// the error the page is told. A stream cut short keeps what came out.
int InflateBounded(const std::string& data, size_t max_bytes, std::string* out) {
  out->clear();
  z_stream zs{};
  if (inflateInit2(&zs, 15 + 32) != Z_OK) return CURLE_BAD_CONTENT_ENCODING;
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  zs.avail_in = static_cast<uInt>(data.size());
  unsigned char buf[16384];
  int result = CURLE_OK;
  while (true) {
    zs.next_out = buf;
    zs.avail_out = sizeof buf;
    int rc = inflate(&zs, Z_SYNC_FLUSH);
    size_t produced = sizeof buf - zs.avail_out;
    if (out->size() + produced > max_bytes) {
      result = CURLE_FILESIZE_EXCEEDED;
      break;
    }
    out->append(reinterpret_cast<char*>(buf), produced);
    if (rc == Z_STREAM_END || (rc == Z_BUF_ERROR && zs.avail_in == 0)) break;
    if (rc != Z_OK) {
      result = CURLE_BAD_CONTENT_ENCODING;
      break;
    }
    if (zs.avail_in == 0 && zs.avail_out != 0) break;
  }
  inflateEnd(&zs);
  if (result != CURLE_OK) out->clear();
  return result;
}

}  // namespace

PageHttpReply RunPageHttpRequest(const std::string& url, const PageHttpLimits& limits, bool gzip,
                                 const std::function<bool()>& stopping) {
  PageHttpReply reply;
  brx::http::EnsureCurlInitialized();
  CURL* easy = curl_easy_init();
  if (easy == nullptr) {
    reply.error = CURLE_FAILED_INIT;
    return reply;
  }
  Reception in;
  in.max_bytes = limits.max_bytes;
  curl_slist* headers = nullptr;
  for (const char* header : {"Accept:", "Content-Type:", "Expect:"}) headers = curl_slist_append(headers, header);
  if (gzip) headers = curl_slist_append(headers, "Accept-Encoding: gzip");
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_USERAGENT, brx::http::HttpSession::kUserAgent);
  curl_easy_setopt(easy, CURLOPT_PROXY, "");
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(easy, CURLOPT_POST, 1L);
  curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(0));
  curl_easy_setopt(easy, CURLOPT_POSTFIELDS, "");
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &OnHeader);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, &in);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &OnBody);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &in);

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limits.overall_ms);
  bool late = false;
  brx::http::AbortSignal abort{[&] {
    late = late || std::chrono::steady_clock::now() >= deadline;
    return late || (stopping && stopping());
  }};
  int rc = brx::http::RunTransfer(easy, brx::http::TransferLimits{limits.connect_ms, limits.idle_ms}, abort);
  long status = 0;
  curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
  curl_easy_cleanup(easy);
  curl_slist_free_all(headers);

  if (in.too_big) rc = CURLE_FILESIZE_EXCEEDED;
  if (rc == CURLE_ABORTED_BY_CALLBACK && late) rc = CURLE_OPERATION_TIMEDOUT;
  if (rc == CURLE_OK && gzip && in.encoding == "gzip" && !in.body.empty()) {
    std::string inflated;
    rc = InflateBounded(in.body, limits.max_bytes, &inflated);
    in.body.swap(inflated);
  }
  if (rc != CURLE_OK || status == 0) {
    reply.error = rc != CURLE_OK ? rc : CURLE_RECV_ERROR;
    return reply;
  }
  reply.body.swap(in.body);
  reply.status = static_cast<int>(status);
  return reply;
}
