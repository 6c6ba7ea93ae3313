#include "client/ui/script/jscript_http_request_task.h"

#include <curl/curl.h>

#include "client/ui/script/jscript_dispatch.h"
#include "runtime/http/http_session.h"
#include "runtime/util/gzip.h"
#include "runtime/util/text_convert.h"

JScriptHttpRequestTask::JScriptHttpRequestTask(JScriptExecuteHttp::Request request,
                                               JScriptExecuteHttp* owner, bool gzip)
    : Task("JScriptHttpRequestTask"), request_(std::move(request)), owner_(owner), gzip_(gzip) {}

void JScriptHttpRequestTask::Run(brx::base::MessageLoop*, int64_t) {
  if (request_.refused) {
    // Refused where it was asked for; answered in its turn all the same.
    owner_->AcceptResult(request_.id, L"", 0, JScriptExecuteHttp::kErrorAddressRefused);
    return;
  }
  JScriptDispatch* dispatch = owner_->owner();
  std::string url = brx::util::WideToUtf8(request_.url);
  if (gzip_) url += url.find('?') == std::string::npos ? "?zip=gzip" : "&zip=gzip";
  // Connecting, silence and the whole request each get the page's time; the
  // reply, as received and inflated, the bridge's size. The address was
  // allowed as asked, so a redirect is answered, not followed.
  const uint32_t ms = static_cast<uint32_t>(request_.timeout_seconds) * 1000u;
  brx::http::HttpSession session;
  session.SetTimeouts(0, ms, ms, ms);
  session.SetTotalTimeout(ms);
  session.SetMaxReplyBytes(JScriptExecuteHttp::kMaxReplyBytes);
  session.SetFollowRedirects(false);
  session.SetAbortSignal({[dispatch] { return dispatch != nullptr && dispatch->stopping(); }});
  if (gzip_) {
    session.SetGzipDecoder([](const void* data, size_t length, std::string* out) {
      return brx::util::InflateGzipBodyUpTo(data, length, JScriptExecuteHttp::kMaxReplyBytes, out);
    });
  }
  bool sent = session.Open(url) && (!gzip_ || session.AddGzipAcceptHeader()) &&
              session.SendRequest(nullptr, 0);
  int status = 0;
  int error = session.last_error();
  if (sent && !session.GetStatusCode(&status)) error = CURLE_RECV_ERROR;
  std::wstring body = sent && status != 0 ? brx::util::Utf8ToWide(session.body()) : L"";
  owner_->AcceptResult(request_.id, body, status, error);
}
