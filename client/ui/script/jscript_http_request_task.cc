#include "client/ui/script/jscript_http_request_task.h"

#include "client/ui/script/jscript_dispatch.h"
#include "client/ui/script/page_http_transfer.h"
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
  uint32_t ms = static_cast<uint32_t>(request_.timeout_seconds) * 1000u;
  PageHttpLimits limits{ms, ms, ms, JScriptExecuteHttp::kMaxReplyBytes};
  PageHttpReply reply = RunPageHttpRequest(
      url, limits, gzip_, [dispatch] { return dispatch != nullptr && dispatch->stopping(); });
  owner_->AcceptResult(request_.id, brx::util::Utf8ToWide(reply.body), reply.status, reply.error);
}
