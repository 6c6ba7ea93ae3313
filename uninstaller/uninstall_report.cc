#include "uninstaller/uninstall_report.h"

#include "runtime/http/data_collect_report.h"

UninstallReport::UninstallReport(std::string base, std::wstring version, std::wstring edition_key)
    : ThreadRun("UninstallReport"),
      base_(std::move(base)),
      version_(std::move(version)),
      key_(std::move(edition_key)) {}

UninstallReport::~UninstallReport() { Stop(); }

bool UninstallReport::WaitForEnd(int timeout_ms) { return !IsRunning() || done_.Wait(timeout_ms); }

int UninstallReport::Run() {
  brx::http::AbortSignal abort;
  abort.aborted = [this] { return IsStopping(); };
  abort.wake_fd = stop_event().fd();
  brx::http::SendDataCollectReport(base_, brx::http::kUninstallReportText, version_, key_, abort);
  done_.Set();
  return 0;
}
