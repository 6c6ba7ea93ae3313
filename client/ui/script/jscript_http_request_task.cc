#include "client/ui/script/jscript_http_request_task.h"

#include "client/ui/script/jscript_dispatch.h"
#include "runtime/http/http_session.h"
#include "runtime/util/gzip.h"
#include "runtime/util/text_convert.h"

JScriptHttpRequestTask::JScriptHttpRequestTask(JScriptExecuteHttp::Request request, JScriptExecuteHttp* owner,
                                               bool gzip)
    : Task("JScriptHttpRequestTask"), request_(std::move(request)), owner_(owner), gzip_(gzip) {}

void JScriptHttpRequestTask::Run(brx::base::MessageLoop*, int64_t) {
  JScriptDispatch* dispatch = owner_->owner();
  std::string url = brx::util::WideToUtf8(request_.url);
  if (gzip_) url += url.find('?') == std::string::npos ? "?zip=gzip" : "&zip=gzip";

  brx::http::HttpSession session;
  uint32_t ms = static_cast<uint32_t>(request_.timeout_seconds) * 1000u;
  session.SetTimeouts(ms, ms, ms, ms);
  session.SetGzipDecoder(&brx::util::InflateGzipBody);
  if (dispatch != nullptr) {
    session.SetAbortSignal(brx::http::AbortSignal{[dispatch] { return dispatch->stopping(); }, -1});
  }
  std::wstring text;
  int status = 0;
  int error = 0;
  if (!session.Open(url)) {
    error = 3;  // malformed address
  } else {
    session.AddGzipAcceptHeader();
    if (session.SendRequest(nullptr, 0) && session.GetStatusCode(&status)) {
      text = brx::util::Utf8ToWide(session.body());
    } else {
      status = 0;
      error = session.last_error() != 0 ? session.last_error() : 1;
    }
  }
  owner_->AcceptResult(request_.id, text, status, error);
}
