#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "client/ui/script/ijscript_execute.h"

// Lets the main page make HTTP requests through the client:
// CB_SendHttpRequest(id, url, timeoutSeconds, callbackName) queues a POST
// that runs on the dispatch's bridge thread, one at a time in order; its
// answer reaches the page function callbackName(id, text, status, error)
// on the GUI thread, one per result message. CB_ClearHttpRequest() drops
// every request not yet answered. Requests go only to the service's own
// origins; one for anywhere else is answered, in its turn, with status 0
// and kErrorAddressRefused without anything being sent.
class JScriptExecuteHttp : public IJScriptExecute {
 public:
  // Page time-outs are kept within this range so one request can never
  // hold the single bridge thread for long (or for ever).
  static constexpr int kMinTimeoutSeconds = 1;
  static constexpr int kMaxTimeoutSeconds = 120;
  // A reply larger than this, as received or inflated, is refused: the
  // page's texts are small JSON documents.
  static constexpr size_t kMaxReplyBytes = 4 * 1024 * 1024;
  // The error number of a request to an address outside the service
  // (the system's "access denied").
  static constexpr int kErrorAddressRefused = 5;

  struct Request {
    std::wstring id;
    std::wstring callback;
    std::wstring url;
    // The page's time for the whole request.
    int timeout_seconds = 0;
    // Not to be sent: the address is not the service's.
    bool refused = false;
  };
  struct Result {
    std::wstring id;
    std::wstring callback;
    std::wstring text;
    int status = 0;
    int error = 0;
  };

  // The origins ("http://host:port") the page's requests may go to, asked
  // at each request: the service's own, as its configuration names them.
  using AllowedOrigins = std::function<std::vector<std::string>()>;

  explicit JScriptExecuteHttp(AllowedOrigins allowed_origins);

  void OnResultsReady() override;

  // Bridge thread: the request's outcome; kept only when the request is
  // still the oldest one waiting.
  void AcceptResult(const std::wstring& id, const std::wstring& text, int status, int error);

  static int ClampTimeout(const std::wstring& text);
  size_t PendingCountForTesting();

 private:
  static bool SendHttpRequest(IJScriptExecute* self, const ScriptArgs& args);
  static bool ClearHttpRequest(IJScriptExecute* self, const ScriptArgs& args);

  AllowedOrigins allowed_origins_;
  const bool gzip_ = true;
  std::mutex pending_lock_;
  std::deque<Request> pending_;
  std::mutex result_lock_;
  std::deque<Result> results_;
};
