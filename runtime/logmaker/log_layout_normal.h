#pragma once

#include <ctime>
#include <string>

#include "runtime/logmaker/logger.h"

namespace brx::logmaker {

// The one layout: "[%-6d]" thread id, "[%d.%2d.%2d-%2d:%2d:%2d]" local time
// (blank-padded), folder "Log", file "<image>[-suffix].log".
class LogLayoutNormal : public ILogLayout {
 public:
  std::string Prefix() const override;
  std::string FolderName() const override { return "Log"; }
  std::wstring FileName(const std::wstring& suffix) const override;

  static std::string FormatPrefix(long thread_id, const std::tm& local);
};

}  // namespace brx::logmaker
