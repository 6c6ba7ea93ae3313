#include "client/ui/script/page_http_transfer.h"

#include <curl/curl.h>
#include <strings.h>

#include "runtime/http/curl_transfer.h"
#include "runtime/http/http_session.h"
#include "runtime/util/gzip.h"

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
  for (const char* header : {"Accept:", "Content-Type:", "Expect:"})
    headers = curl_slist_append(headers, header);
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

  brx::http::AbortSignal abort{[&] { return stopping && stopping(); }};
  const brx::http::TransferLimits transfer_limits{limits.connect_ms, limits.idle_ms,
                                                  limits.overall_ms, limits.max_bytes};
  int rc = brx::http::RunTransfer(easy, transfer_limits, abort);
  long status = 0;
  curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
  curl_easy_cleanup(easy);
  curl_slist_free_all(headers);

  if (in.too_big) rc = CURLE_FILESIZE_EXCEEDED;
  if (rc == CURLE_OK && gzip && in.encoding == "gzip" && !in.body.empty()) {
    std::string inflated;
    if (!brx::util::InflateGzipBodyUpTo(in.body.data(), in.body.size(), limits.max_bytes,
                                        &inflated))
      rc =
          inflated.size() > limits.max_bytes ? CURLE_FILESIZE_EXCEEDED : CURLE_BAD_CONTENT_ENCODING;
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
