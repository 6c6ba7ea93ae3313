#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "runtime/http/curl_transfer.h"
#include "runtime/util/gzip.h"

struct curl_slist;

namespace brx::http {

// Decodes a response body of one content encoding into `out`; false when
// the body cannot be decoded.
using ContentDecoder = std::function<bool(const void* data, size_t length, std::string* out)>;

// One synchronous HTTP POST, made on the calling (worker) thread and
// blocking it until the reply is read, a time-out runs out or the abort
// signal fires. A session is used for one request: Open, optionally
// AddGzipAcceptHeader, SendRequest, then read the status, the raw headers
// and the body. Only the headers named here go out (no Accept, no
// Content-Type, no Expect); proxy settings of the environment are ignored.
//
// A body whose Content-Encoding equals a registered decoder's name exactly
// (case-sensitive) is decoded; an encoding without a decoder is kept as
// received. A body that fails to decode fails the request, so a damaged
// reply is never taken for an empty one.
//
// A reply is bounded in size (SetMaxReplyBytes) as it comes and once
// decoded; a decoder that stops at a bound of its own and fails leaving more
// than the session's bound in its output counts as a reply too large (see
// InflateGzipBodyUpTo). The whole request is bounded in time as well.
class HttpSession {
 public:
  static constexpr uint32_t kDefaultTimeoutMs = 60000;
  // What a reply may hold, on the wire and decoded, unless the caller says
  // otherwise: web replies and page requests are small.
  static constexpr uint64_t kDefaultMaxReplyBytes = util::kMaxInflatedBytes;
  static constexpr const char* kUserAgent = "WinHTTP HttpSession/1.0";

  HttpSession();
  ~HttpSession();
  HttpSession(const HttpSession&) = delete;
  HttpSession& operator=(const HttpSession&) = delete;

  void SetTimeouts(uint32_t resolve_ms, uint32_t connect_ms, uint32_t send_ms, uint32_t receive_ms);
  // The whole request's time limit; by default the sum of the four above.
  void SetTotalTimeout(uint32_t total_ms) { total_ms_ = total_ms; }
  // The most bytes a reply may hold, as received and once decoded; a reply
  // past it fails the request with CURLE_FILESIZE_EXCEEDED.
  void SetMaxReplyBytes(uint64_t max_bytes) { max_reply_bytes_ = max_bytes; }
  void SetDecoder(const std::string& content_encoding, ContentDecoder decoder);
  void SetGzipDecoder(ContentDecoder decoder) { SetDecoder("gzip", std::move(decoder)); }
  void SetAbortSignal(AbortSignal abort) { abort_ = std::move(abort); }
  // Whether redirects are followed (up to five; the default). A caller that
  // checked the address itself turns it off: a redirect's answer is then the
  // reply, and the request never leaves the address it allowed.
  void SetFollowRedirects(bool follow) { follow_redirects_ = follow; }

  // Prepares a request to an http:// or https:// address; false for any
  // other address.
  bool Open(const std::string& url);
  // Asks for a gzip reply; a second call changes nothing.
  bool AddGzipAcceptHeader();
  // Posts the body (may be empty) and reads the whole reply. False on a
  // transport failure, a time-out, an abort or a body that failed to decode.
  bool SendRequest(const void* body, size_t length);
  // The status of the last reply; false when none was received.
  bool GetStatusCode(int* code) const;
  void Close();

  // The last reply's header lines, each ended by CRLF, status line first.
  const std::string& raw_headers() const { return raw_headers_; }
  const std::string& body() const { return body_; }
  // The CURLcode of the last failure (CURLE_BAD_CONTENT_ENCODING for a
  // body that failed to decode), 0 after success.
  int last_error() const { return last_error_; }

 private:
  static size_t OnHeader(char* data, size_t size, size_t count, void* user);
  static size_t OnBody(char* data, size_t size, size_t count, void* user);
  std::string HeaderValue(const std::string& name) const;

  void* easy_ = nullptr;  // CURL*
  curl_slist* headers_ = nullptr;
  bool gzip_header_added_ = false;
  std::string url_;
  uint32_t resolve_ms_ = kDefaultTimeoutMs;
  uint32_t connect_ms_ = kDefaultTimeoutMs;
  uint32_t send_ms_ = kDefaultTimeoutMs;
  uint32_t receive_ms_ = kDefaultTimeoutMs;
  uint32_t total_ms_ = 0;  // 0: the sum of the phases
  uint64_t max_reply_bytes_ = kDefaultMaxReplyBytes;
  bool follow_redirects_ = true;
  std::map<std::string, ContentDecoder> decoders_;
  AbortSignal abort_;
  std::string raw_headers_;
  std::string received_;
  std::string body_;
  long status_ = 0;
  int last_error_ = 0;
  bool reply_too_large_ = false;  // OnBody refused the rest
};

}  // namespace brx::http
