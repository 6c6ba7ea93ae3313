#pragma once

#include <string>

#include "runtime/base/thread.h"
#include "runtime/platform/event.h"

// The removal report "R7|0" to the data-collection service, sent on its own
// thread with its own copies of what it reports, so it lives apart from
// the page that started it. Its owner waits for it a bounded time before
// the program ends; a report still in flight then is cut short.
class UninstallReport : public brx::base::ThreadRun {
 public:
  UninstallReport(std::string base, std::wstring version, std::wstring edition_key);
  ~UninstallReport() override;

  // Waits up to `timeout_ms` for the report to have been sent (or to have
  // failed); true when it ended in time.
  bool WaitForEnd(int timeout_ms);

 private:
  int Run() override;

  const std::string base_;
  const std::wstring version_;
  const std::wstring key_;
  brx::platform::Event done_;
};
