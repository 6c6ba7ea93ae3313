#include "runtime/http/http_session.h"

#include <curl/curl.h>
#include <strings.h>

#include <algorithm>
#include <cstring>

namespace brx::http {

HttpSession::HttpSession() { EnsureCurlInitialized(); }

HttpSession::~HttpSession() { Close(); }

void HttpSession::SetTimeouts(uint32_t resolve_ms, uint32_t connect_ms, uint32_t send_ms,
                              uint32_t receive_ms) {
  resolve_ms_ = resolve_ms;
  connect_ms_ = connect_ms;
  send_ms_ = send_ms;
  receive_ms_ = receive_ms;
}

void HttpSession::SetDecoder(const std::string& content_encoding, ContentDecoder decoder) {
  decoders_[content_encoding] = std::move(decoder);
}

bool HttpSession::Open(const std::string& url) {
  Close();
  if (url.rfind("http://", 0) != 0 && url.rfind("https://", 0) != 0) {
    last_error_ = CURLE_UNSUPPORTED_PROTOCOL;
    return false;
  }
  CURL* easy = curl_easy_init();
  if (!easy) {
    last_error_ = CURLE_FAILED_INIT;
    return false;
  }
  easy_ = easy;
  url_ = url;
  curl_easy_setopt(easy, CURLOPT_URL, url_.c_str());
  curl_easy_setopt(easy, CURLOPT_USERAGENT, kUserAgent);
  curl_easy_setopt(easy, CURLOPT_PROXY, "");
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 5L);
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &HttpSession::OnHeader);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &HttpSession::OnBody);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
  // Take curl's own defaults off the wire: only the headers we name go out.
  headers_ = curl_slist_append(headers_, "Accept:");
  headers_ = curl_slist_append(headers_, "Content-Type:");
  headers_ = curl_slist_append(headers_, "Expect:");
  last_error_ = 0;
  return true;
}

bool HttpSession::AddGzipAcceptHeader() {
  if (!easy_) return false;
  // Adding replaces: the header goes out once however often it is asked for.
  if (gzip_header_added_) return true;
  curl_slist* list = curl_slist_append(headers_, "Accept-Encoding: gzip");
  if (!list) return false;
  headers_ = list;
  gzip_header_added_ = true;
  return true;
}

size_t HttpSession::OnHeader(char* data, size_t size, size_t count, void* user) {
  auto* self = static_cast<HttpSession*>(user);
  size_t n = size * count;
  // A redirect or an interim reply starts a new header block: keep the last.
  if (n >= 5 && strncmp(data, "HTTP/", 5) == 0) self->raw_headers_.clear();
  self->raw_headers_.append(data, n);
  return n;
}

size_t HttpSession::OnBody(char* data, size_t size, size_t count, void* user) {
  auto* self = static_cast<HttpSession*>(user);
  size_t n = size * count;
  if (n > self->max_reply_bytes_ - self->received_.size()) {
    // Not a byte past the bound is kept; refusing the write ends the transfer.
    self->reply_too_large_ = true;
    return 0;
  }
  self->received_.append(data, n);
  return n;
}

std::string HttpSession::HeaderValue(const std::string& name) const {
  size_t pos = 0;
  while (pos < raw_headers_.size()) {
    size_t end = raw_headers_.find("\r\n", pos);
    if (end == std::string::npos) end = raw_headers_.size();
    std::string line = raw_headers_.substr(pos, end - pos);
    size_t colon = line.find(':');
    if (colon == name.size() && strncasecmp(line.c_str(), name.c_str(), colon) == 0) {
      size_t b = line.find_first_not_of(" \t", colon + 1);
      size_t e = line.find_last_not_of(" \t");
      return b == std::string::npos ? std::string() : line.substr(b, e - b + 1);
    }
    pos = end + 2;
  }
  return std::string();
}

bool HttpSession::SendRequest(const void* body, size_t length) {
  if (!easy_) return false;
  CURL* easy = easy_;
  raw_headers_.clear();
  received_.clear();
  body_.clear();
  status_ = 0;
  reply_too_large_ = false;
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers_);
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, follow_redirects_ ? 1L : 0L);
  curl_easy_setopt(easy, CURLOPT_POST, 1L);
  curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body ? length : 0));
  curl_easy_setopt(easy, CURLOPT_POSTFIELDS, body && length ? static_cast<const char*>(body) : "");

  TransferLimits limits;
  limits.connect_ms = resolve_ms_ + connect_ms_;
  limits.idle_ms = std::max(send_ms_, receive_ms_);
  limits.total_ms = total_ms_ != 0 ? total_ms_ : resolve_ms_ + connect_ms_ + send_ms_ + receive_ms_;
  limits.max_reply_bytes = max_reply_bytes_;
  int rc = RunTransfer(easy, limits, abort_);
  curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status_);
  if (reply_too_large_ && rc != CURLE_FILESIZE_EXCEEDED) {
    LogReplyPastBound(easy, max_reply_bytes_);
    rc = CURLE_FILESIZE_EXCEEDED;
  }
  if (rc != CURLE_OK) {
    received_.clear();
    last_error_ = rc;
    return false;
  }
  auto decoder = decoders_.find(HeaderValue("Content-Encoding"));
  if (decoder != decoders_.end() && !received_.empty()) {
    bool decoded = decoder->second(received_.data(), received_.size(), &body_);
    received_.clear();
    if (body_.size() > max_reply_bytes_) {
      body_.clear();
      LogReplyPastBound(easy, max_reply_bytes_);
      last_error_ = CURLE_FILESIZE_EXCEEDED;
      return false;
    }
    if (!decoded) {
      body_.clear();
      last_error_ = CURLE_BAD_CONTENT_ENCODING;
      return false;
    }
  } else {
    body_.swap(received_);
  }
  received_.clear();
  last_error_ = 0;
  return true;
}

bool HttpSession::GetStatusCode(int* code) const {
  if (status_ == 0) return false;
  *code = static_cast<int>(status_);
  return true;
}

void HttpSession::Close() {
  if (easy_) curl_easy_cleanup(static_cast<CURL*>(easy_));
  easy_ = nullptr;
  if (headers_) curl_slist_free_all(headers_);
  headers_ = nullptr;
  gzip_header_added_ = false;
}

}  // namespace brx::http
