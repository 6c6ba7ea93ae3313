#pragma once

#include <memory>
#include <mutex>
#include <set>
#include <string>

namespace brx::logmaker {

enum LogLevel { kTrace = 1, kDebug = 2, kInfo = 3, kWarn = 4, kError = 5, kFatal = 6 };

// "[TRACE]" ... "[FATAL]"; every tag is seven characters wide.
const char* LevelTag(int level);

struct LogRecord {
  int level = 0;
  int reserved = 0;
  std::string program;  // the program's image base name
  std::string line;     // tag + prefix + text, no line end added
};

class ILogWriter {
 public:
  virtual ~ILogWriter() = default;
  virtual void Write(const LogRecord& record) = 0;
  virtual void WriteText(const char* text) = 0;
};

class ILogLayout {
 public:
  virtual ~ILogLayout() = default;
  // "[tid   ][2026.12. 8- 7: 5: 9]" for the calling thread and local time.
  virtual std::string Prefix() const = 0;
  virtual std::string FolderName() const = 0;
  virtual std::wstring FileName(const std::wstring& suffix) const = 0;
};

// Formats lines and hands them to its writers. Any thread may write; the
// lock covers every write, so lines from different threads never interleave.
// Close() ends all writing for good (used at process exit, when other
// threads may still log: the object itself is never freed under them).
class Logger {
 public:
  Logger();
  ~Logger();
  Logger(const Logger&) = delete;
  Logger& operator=(const Logger&) = delete;

  void SetLayout(std::unique_ptr<ILogLayout> layout);
  const ILogLayout* layout() const { return layout_.get(); }
  void AddWriter(std::unique_ptr<ILogWriter> writer);
  int min_level() const { return min_level_; }
  void Write(int level, const std::string& text);
  // Deletes the writers (each closes its file); later writes do nothing.
  void Close();

 private:
  std::unique_ptr<ILogLayout> layout_;
  int min_level_ = 0;
  std::mutex mutex_;
  std::set<std::unique_ptr<ILogWriter>> writers_;
  std::string program_;
};

}  // namespace brx::logmaker
