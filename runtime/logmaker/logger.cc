#include "runtime/logmaker/logger.h"

#include "runtime/util/module_path.h"
#include "runtime/util/text_convert.h"

namespace brx::logmaker {

const char* LevelTag(int level) {
  switch (level) {
    case kTrace:
      return "[TRACE]";
    case kDebug:
      return "[DEBUG]";
    case kInfo:
      return "[INFO ]";
    case kWarn:
      return "[WARN ]";
    case kError:
      return "[ERROR]";
    case kFatal:
      return "[FATAL]";
  }
  return "[?????]";
}

Logger::Logger() : program_(util::WideToUtf8(util::GetModuleFileBaseName())) {}

Logger::~Logger() { Close(); }

void Logger::SetLayout(std::unique_ptr<ILogLayout> layout) { layout_ = std::move(layout); }

void Logger::AddWriter(std::unique_ptr<ILogWriter> writer) {
  std::lock_guard<std::mutex> lock(mutex_);
  writers_.insert(std::move(writer));
}

void Logger::Write(int level, const std::string& text) {
  LogRecord record;
  record.level = level;
  record.program = program_;
  record.line = LevelTag(level);
  if (layout_) record.line += layout_->Prefix();
  record.line += text;
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& w : writers_) w->Write(record);
}

void Logger::Close() {
  std::lock_guard<std::mutex> lock(mutex_);
  writers_.clear();
}

}  // namespace brx::logmaker
