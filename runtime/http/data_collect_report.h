#pragma once

#include <string>

#include "runtime/http/curl_transfer.h"

namespace brx::http {

// Reports of the launcher and the uninstaller to the data-collection
// service: a POST with an empty body to <base>/news.ashx with the adapter
// address, the report text "d", the edition's version and key, and a
// random ticket; time-outs of 10 s; the reply is ignored. False when the
// request did not get through (also when aborted).
bool SendDataCollectReport(const std::string& base, const std::wstring& report,
                           const std::wstring& version, const std::wstring& key,
                           const AbortSignal& abort = {});

// The launcher's start report: "R2|<major>.<minor>.<patch>" of the running
// system's kernel release.
std::wstring StartReportText();
inline constexpr wchar_t kEndReportText[] = L"R8|1";
inline constexpr wchar_t kUninstallReportText[] = L"R7|0";

}  // namespace brx::http
