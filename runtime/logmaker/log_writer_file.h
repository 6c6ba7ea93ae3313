#pragma once

#include <string>

#include "runtime/logmaker/logger.h"

namespace brx::logmaker {

// Appends lines to one file. A file above 1048575 bytes is emptied when it
// is opened; a banner marks every opening and four line ends every close.
// A file that cannot be opened makes every write a no-op.
class LogWriterFile : public ILogWriter {
 public:
  static constexpr long kMaxSizeKept = 0xFFFFF;

  explicit LogWriterFile(const std::string& path);
  ~LogWriterFile() override;
  LogWriterFile(const LogWriterFile&) = delete;
  LogWriterFile& operator=(const LogWriterFile&) = delete;

  void Write(const LogRecord& record) override;
  void WriteText(const char* text) override;
  bool is_open() const { return fd_ >= 0; }

 private:
  void WriteBytes(const char* data, size_t size);
  int fd_ = -1;
};

}  // namespace brx::logmaker
