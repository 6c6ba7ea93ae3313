#pragma once

#include <deque>
#include <mutex>
#include <string>

#include "client/ui/script/ijscript_execute.h"

// Lets the main page make HTTP requests through the client:
// CB_SendHttpRequest(id, url, timeoutSeconds, callbackName) queues a POST
// that runs on the dispatch's bridge thread, one at a time in order; its
// answer reaches the page function callbackName(id, text, status, error)
// on the GUI thread, one per result message. CB_ClearHttpRequest() drops
// every request not yet answered.
class JScriptExecuteHttp : public IJScriptExecute {
 public:
  // Page time-outs are kept within this range so one request can never
  // hold the single bridge thread for long (or for ever).
  static constexpr int kMinTimeoutSeconds = 1;
  static constexpr int kMaxTimeoutSeconds = 120;

  struct Request {
    std::wstring id;
    std::wstring callback;
    std::wstring url;
    int timeout_seconds = 0;
  };
  struct Result {
    std::wstring id;
    std::wstring callback;
    std::wstring text;
    int status = 0;
    int error = 0;
  };

  JScriptExecuteHttp();

  void OnResultsReady() override;

  // Bridge thread: the request's outcome; kept only when the request is
  // still the oldest one waiting.
  void AcceptResult(const std::wstring& id, const std::wstring& text, int status, int error);

  static int ClampTimeout(const std::wstring& text);
  size_t PendingCountForTesting();

 private:
  static bool SendHttpRequest(IJScriptExecute* self, const ScriptArgs& args);
  static bool ClearHttpRequest(IJScriptExecute* self, const ScriptArgs& args);

  const bool gzip_ = true;
  std::mutex pending_lock_;
  std::deque<Request> pending_;
  std::mutex result_lock_;
  std::deque<Result> results_;
};
