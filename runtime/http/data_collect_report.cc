#include "runtime/http/data_collect_report.h"

#include <sys/utsname.h>

#include <cstdio>

#include "runtime/http/http_session.h"
#include "runtime/http/url_builder.h"
#include "runtime/util/mac_address.h"
#include "runtime/util/text_convert.h"

namespace brx::http {

namespace {

constexpr uint32_t kTimeoutMs = 10000;

}  // namespace

bool SendDataCollectReport(const std::string& base, const std::wstring& report,
                           const std::wstring& version, const std::wstring& key,
                           const AbortSignal& abort) {
  brx::util::QueryMacAddress();
  UrlBuilder url;
  url.base = brx::util::Utf8ToWide(base);
  url.path = L"news.ashx";
  url.SetParam(L"mac", brx::util::GetQueriedMacAddress());
  url.SetParam(L"d", report);
  url.SetParam(L"version", version);
  url.SetParam(L"vkey", key);
  HttpSession session;
  session.SetTimeouts(kTimeoutMs, kTimeoutMs, kTimeoutMs, kTimeoutMs);
  session.SetAbortSignal(abort);
  if (!session.Open(brx::util::WideToUtf8(url.GetUrl(true)))) return false;
  return session.SendRequest(nullptr, 0);
}

std::wstring StartReportText() {
  int major = 0, minor = 0, patch = 0;
  utsname name{};
  if (uname(&name) == 0) sscanf(name.release, "%d.%d.%d", &major, &minor, &patch);
  return L"R2|" + std::to_wstring(major) + L"." + std::to_wstring(minor) + L"." +
         std::to_wstring(patch);
}

}  // namespace brx::http
