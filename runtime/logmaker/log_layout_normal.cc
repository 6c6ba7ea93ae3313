#include "runtime/logmaker/log_layout_normal.h"

#include <unistd.h>

#include <cstdio>

#include "runtime/util/module_path.h"

namespace brx::logmaker {

std::string LogLayoutNormal::FormatPrefix(long thread_id, const std::tm& t) {
  char buf[96];
  snprintf(buf, sizeof buf, "[%-6ld][%d.%2d.%2d-%2d:%2d:%2d]", thread_id, t.tm_year + 1900,
           t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
  return buf;
}

std::string LogLayoutNormal::Prefix() const {
  time_t now = time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return FormatPrefix(static_cast<long>(gettid()), local);
}

std::wstring LogLayoutNormal::FileName(const std::wstring& suffix) const {
  std::wstring name = util::GetModuleFileBaseName();
  if (!suffix.empty()) name += L"-" + suffix;
  return name + L".log";
}

}  // namespace brx::logmaker
