#include "client/web/web_envelope.h"

#include <errno.h>
#include <json/json.h>
#include <tinyxml.h>

#include <algorithm>
#include <cstdint>

#include "client/web/jober.h"
#include "runtime/http/http_session.h"
#include "runtime/http/reply_redact.h"
#include "runtime/http/url_redact.h"
#include "runtime/logmaker/log.h"
#include "runtime/util/file_util.h"
#include "runtime/util/gzip.h"
#include "runtime/util/json_parse.h"
#include "runtime/util/key_path.h"
#include "runtime/util/text_convert.h"
#include "runtime/util/xml_parse.h"

using brx::util::Utf8ToWide;
using brx::util::WideToUtf8;

namespace {

// 16 KiB a second: a line slower than that is taken for a broken one.
constexpr uint64_t kSlowestUploadBytesPerMs = 16;

bool InflateGzip(const void* data, size_t length, std::string* out) {
  return brx::util::InflateGzipBody(data, length, out);
}

std::string ElementText(const TiXmlElement* root, const char* name) {
  const TiXmlElement* e = root->FirstChildElement(name);
  return e && e->GetText() ? e->GetText() : "";
}

}  // namespace

bool PostRequest(JoberDesc_Web* job, const void* body, size_t length, std::wstring* reply,
                 std::wstring* copy, const brx::http::AbortSignal& abort, int* http_status) {
  reply->clear();
  copy->clear();
  if (http_status) *http_status = 0;
  job->url.SetParam(L"zip", L"gzip");
  uint32_t timeout = job->request.timeout_ms;
  brx::http::HttpSession session;
  session.SetTimeouts(timeout, timeout, timeout, timeout);
  // The whole exchange may take its four phases' time, and an upload the
  // time its file needs on a slow line besides.
  uint64_t total = 4ull * timeout + length / kSlowestUploadBytesPerMs;
  session.SetTotalTimeout(static_cast<uint32_t>(std::min<uint64_t>(total, UINT32_MAX)));
  session.SetGzipDecoder(&InflateGzip);
  session.SetAbortSignal(abort);
  std::string url = WideToUtf8(job->url.GetUrl(true));
  bool sent =
      session.Open(url) && session.AddGzipAcceptHeader() && session.SendRequest(body, length);
  if (http_status) session.GetStatusCode(http_status);
  if (sent) {
    *reply = Utf8ToWide(session.body());
    *copy = *reply;
    return true;
  }
  LogWarnA("[%s]OpenRequest failed:[%s][%d]\n", WideToUtf8(job->request.command_name).c_str(),
           brx::http::RedactUrlSecrets(url).c_str(), session.last_error());
  return true;
}

int OBGetReturnData_Json(const std::wstring& reply, std::wstring* out) {
  std::string text = WideToUtf8(reply);
  Json::Value root;
  std::string errors;
  if (!brx::util::ParseUntrustedJson(text, &root, &errors)) {
    // A garbled sign-in reply still carries the session and the password,
    // and a hostile one may be megabytes long.
    LogWarnA("%s:%d:Json Error:%s:%s\n", "OBGetReturnData_Json", 74,
             brx::http::ReplyTextForLog(errors).c_str(), brx::http::ReplyTextForLog(text).c_str());
    return 0;
  }
  std::string value;
  brx::util::JsonPathGet("Status", &value, root, "");
  if (atoi(value.c_str()) != 0) {
    brx::util::JsonPathGet("Message", &value, root, "");
    *out = Utf8ToWide(value);
    return 2;
  }
  brx::util::JsonPathGet("Data", &value, root, "");
  *out = Utf8ToWide(value);
  return 1;
}

bool SendRequest_Upload(JoberDesc_WebString_Param1* job, std::wstring* reply, std::wstring* copy,
                        const brx::http::AbortSignal& abort, int* http_status) {
  std::string bytes;
  if (!brx::util::ReadWholeFile(job->file, &bytes)) {
    LogWarnA("%s:%d:read file(%s)=%d failed!\n", "SendRequest_Upload", 149,
             WideToUtf8(job->file).c_str(), errno);
    return false;
  }
  return PostRequest(job, bytes.data(), bytes.size(), reply, copy, abort, http_status);
}

bool ParseXmlReturn(std::wstring* message, const std::wstring& reply, std::wstring* status,
                    std::wstring* data) {
  message->clear();
  status->clear();
  data->clear();
  std::string text = brx::util::WideToAnsi(reply);
  TiXmlDocument doc;
  if (!brx::util::ParseUntrustedXml(text, &doc, brx::util::XmlTextEncoding::kLegacy)) return false;
  const TiXmlElement* root = doc.RootElement();
  if (!root) return false;
  *status = brx::util::AnsiToWide(ElementText(root, "Status"));
  *data = brx::util::AnsiToWide(ElementText(root, "Data"));
  *message = brx::util::AnsiToWide(ElementText(root, "Message"));
  return true;
}
