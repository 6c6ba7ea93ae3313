#include "client/ui/script/jscript_execute_http.h"

#include <algorithm>
#include <cwchar>

#include "client/ui/script/jscript_dispatch.h"
#include "client/ui/script/jscript_http_request_task.h"
#include "client/ui/script/page_request_origin.h"
#include "runtime/util/text_convert.h"

JScriptExecuteHttp::JScriptExecuteHttp(AllowedOrigins allowed_origins)
    : IJScriptExecute({{"CB_SendHttpRequest", &JScriptExecuteHttp::SendHttpRequest},
                       {"CB_ClearHttpRequest", &JScriptExecuteHttp::ClearHttpRequest}}),
      allowed_origins_(std::move(allowed_origins)) {}

int JScriptExecuteHttp::ClampTimeout(const std::wstring& text) {
  // Leading decimal digits, as a page's number turned into text reads;
  // anything unreadable or out of range is held to the limits.
  long long value = 0;
  size_t i = 0;
  while (i < text.size() && (text[i] == L' ' || text[i] == L'\t')) ++i;
  bool negative = i < text.size() && text[i] == L'-';
  if (negative || (i < text.size() && text[i] == L'+')) ++i;
  bool digits = false;
  for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
    digits = true;
    value = std::min<long long>(value * 10 + (text[i] - L'0'), kMaxTimeoutSeconds + 1);
  }
  if (!digits || negative) return kMinTimeoutSeconds;
  return static_cast<int>(std::clamp<long long>(value, kMinTimeoutSeconds, kMaxTimeoutSeconds));
}

bool JScriptExecuteHttp::SendHttpRequest(IJScriptExecute* base, const ScriptArgs& args) {
  auto* self = static_cast<JScriptExecuteHttp*>(base);
  if (args.size() != 4 || self->owner() == nullptr) return false;
  Request request{args[0], args[3], args[1], ClampTimeout(args[2])};
  // Judged here, on the GUI thread, against what the service's
  // configuration names now.
  std::vector<std::string> allowed =
      self->allowed_origins_ ? self->allowed_origins_() : std::vector<std::string>();
  request.refused = !OriginAllowed(brx::util::WideToUtf8(request.url), allowed);
  std::lock_guard<std::mutex> lock(self->pending_lock_);
  self->pending_.push_back(request);
  self->owner()->loop().PostTask(
      std::make_unique<JScriptHttpRequestTask>(request, self, self->gzip_));
  return true;
}

bool JScriptExecuteHttp::ClearHttpRequest(IJScriptExecute* base, const ScriptArgs&) {
  auto* self = static_cast<JScriptExecuteHttp*>(base);
  std::lock_guard<std::mutex> lock(self->pending_lock_);
  self->pending_.clear();
  return true;
}

void JScriptExecuteHttp::AcceptResult(const std::wstring& id, const std::wstring& text, int status,
                                      int error) {
  Result result;
  {
    std::lock_guard<std::mutex> lock(pending_lock_);
    if (pending_.empty() || pending_.front().id != id) return;
    result = Result{id, pending_.front().callback, text, status, error};
    pending_.pop_front();
  }
  {
    std::lock_guard<std::mutex> lock(result_lock_);
    results_.push_back(std::move(result));
  }
  if (owner() != nullptr) owner()->PostResultReady();
}

void JScriptExecuteHttp::OnResultsReady() {
  Result result;
  {
    std::lock_guard<std::mutex> lock(result_lock_);
    if (results_.empty()) return;
    result = std::move(results_.front());
    results_.pop_front();
  }
  if (owner() == nullptr) return;
  CallPageFunction(
      {result.id, result.text, std::to_wstring(result.status), std::to_wstring(result.error)},
      brx::util::WideToUtf8(result.callback), owner()->browser());
}

size_t JScriptExecuteHttp::PendingCountForTesting() {
  std::lock_guard<std::mutex> lock(pending_lock_);
  return pending_.size();
}
