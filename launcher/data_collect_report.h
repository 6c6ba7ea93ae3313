#pragma once

#include <string>

#include "runtime/http/curl_transfer.h"

// Reports to the data-collection service: a POST with an empty body to
// <base>/news.ashx with the adapter address, the report text "d", the
// edition's version and key, and a random ticket. The reply is ignored.
// False when the request did not get through (also when aborted).
bool SendDataCollectReport(const std::string& base, const std::wstring& report, const std::wstring& version,
                           const std::wstring& key, const brx::http::AbortSignal& abort = {});

// The start report's text: "R2|<major>.<minor>.<patch>" of the running
// system's kernel release.
std::wstring StartReportText();
inline constexpr wchar_t kEndReportText[] = L"R8|1";
