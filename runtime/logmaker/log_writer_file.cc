#include "runtime/logmaker/log_writer_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace brx::logmaker {

LogWriterFile::LogWriterFile(const std::string& path) {
  // Only the user reads the log: it names the user's files and accounts.
  // A link in the log's place is refused, so the size and mode rules below
  // never reach a file that is not the log.
  fd_ = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd_ < 0) {
    if (errno == EINVAL)
      fprintf(stderr, "LogWriterFile::LogWriterFile::ERROR_INVALID_PARAMETER:%s\n", path.c_str());
    return;
  }
  fchmod(fd_, 0600);  // a log an older version made readable
  struct stat st {};
  if (fstat(fd_, &st) == 0 && st.st_size > kMaxSizeKept) {
    if (ftruncate(fd_, 0) != 0) {
      // Appending to an oversized file is better than losing the log.
    }
  }
  time_t now = time(nullptr);
  std::tm t{};
  localtime_r(&now, &t);
  static const char kStars[] = "**************************************************\n";
  char banner[160];
  int n =
      snprintf(banner, sizeof banner, "%s               [%d.%d.%d-%d:%d:%d][RELEASE]\n%s", kStars,
               t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, kStars);
  WriteBytes(banner, static_cast<size_t>(n));
}

LogWriterFile::~LogWriterFile() {
  if (fd_ < 0) return;
  WriteBytes("\n\n\n\n", 4);
  close(fd_);
}

void LogWriterFile::Write(const LogRecord& record) {
  WriteBytes(record.line.data(), record.line.size());
}

void LogWriterFile::WriteText(const char* text) { WriteBytes(text, strlen(text)); }

void LogWriterFile::WriteBytes(const char* data, size_t size) {
  if (fd_ < 0) return;
  while (size > 0) {
    ssize_t n = write(fd_, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return;  // a full disk loses the line
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
}

}  // namespace brx::logmaker
