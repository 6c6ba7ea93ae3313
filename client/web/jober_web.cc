#include "client/web/jober_web.h"

#include <cassert>

#include "client/web/web_envelope.h"
#include "runtime/http/download_to_file.h"
#include "runtime/http/url_redact.h"
#include "runtime/logmaker/log.h"
#include "runtime/util/text_convert.h"

using brx::util::WideToUtf8;

namespace {

std::unique_ptr<JoberDescReturn_Web> NewResult(std::unique_ptr<JoberDesc_Web> job) {
  auto result = std::make_unique<JoberDescReturn_Web>();
  result->job = std::move(job);
  return result;
}

// The jobs with a local file; an upload or download jober is only ever
// given one of those.
JoberDesc_WebString_Param1* WithFile(JoberDesc_Web* job) {
  auto* with_file = dynamic_cast<JoberDesc_WebString_Param1*>(job);
  assert(with_file && "upload and download jobs carry their file");
  return with_file;
}

// A refusal is an answer of the service itself. A server error (5xx)
// whose body happens to be an envelope with a Status is a failed exchange
// like a time-out: it must not cost the user the remembered sign-in.
bool AnsweredByTheService(int http_status) { return http_status > 0 && http_status < 500; }

}  // namespace

void Jober_WebNormal::Perform(std::unique_ptr<JoberDesc_Web> job, JoberListener* listener,
                              const brx::http::AbortSignal& abort) {
  auto result = NewResult(std::move(job));
  JoberDesc_Web* desc = result->job.get();
  std::wstring copy;
  int http_status = 0;
  PostRequest(desc, nullptr, 0, &result->reply, &copy, abort, &http_status);
  switch (OBGetReturnData_Json(copy, &result->text)) {
    case 1:
      result->ok = true;
      break;
    case 2:
      result->rejected = AnsweredByTheService(http_status);
      break;
    default:
      result->text = desc->request.unknown_error_text;
      break;
  }
  listener->OnResult(std::move(result));
}

void Jober_WebUpload::Perform(std::unique_ptr<JoberDesc_Web> job, JoberListener* listener,
                              const brx::http::AbortSignal& abort) {
  auto result = NewResult(std::move(job));
  JoberDesc_WebString_Param1* desc = WithFile(result->job.get());
  std::wstring copy;
  int http_status = 0;
  if (SendRequest_Upload(desc, &result->reply, &copy, abort, &http_status)) {
    std::wstring message, status, data;
    if (!ParseXmlReturn(&message, copy, &status, &data)) {
      result->text = desc->request.unknown_error_text;
    } else if (wcstol(status.c_str(), nullptr, 10) != 0) {
      result->text = desc->request.unknown_error_text;
      result->rejected = AnsweredByTheService(http_status);
    } else {
      result->ok = true;
      result->text = data;
    }
  }
  listener->OnResult(std::move(result));
}

void Jober_WebDownload::Perform(std::unique_ptr<JoberDesc_Web> job, JoberListener* listener,
                                const brx::http::AbortSignal& abort) {
  auto result = NewResult(std::move(job));
  auto* desc = dynamic_cast<JoberDesc_WebDownload*>(result->job.get());
  assert(desc && "a download job carries its bounds");
  std::string url = WideToUtf8(desc->url.GetUrl(true));
  brx::http::DownloadOptions options;
  options.limits.connect_ms = desc->request.timeout_ms;
  options.limits.idle_ms = desc->request.timeout_ms;
  options.limits.total_ms = desc->total_ms;
  options.limits.max_reply_bytes = desc->max_bytes;
  options.abort = abort;
  brx::http::DownloadResult outcome;
  result->ok = brx::http::DownloadToFile(url, WideToUtf8(desc->file), options, &outcome);
  if (!result->ok) {
    LogWarnA("[%s]download failed[0x%x][%s]\n", WideToUtf8(desc->request.command_name).c_str(),
             static_cast<unsigned>(outcome.error), brx::http::RedactUrlSecrets(url).c_str());
  }
  result->reply = desc->url.GetUrl(true);
  result->text = desc->file;
  listener->OnResult(std::move(result));
}
