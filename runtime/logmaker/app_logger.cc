#include <sys/stat.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cwchar>

#include "runtime/logmaker/log.h"
#include "runtime/logmaker/log_layout_normal.h"
#include "runtime/logmaker/log_writer_file.h"
#include "runtime/util/edition.h"
#include "runtime/util/module_path.h"
#include "runtime/util/text_convert.h"

namespace brx::logmaker {

namespace {

void CloseAppLogger() { GetAppLogger()->Close(); }

Logger* CreateAppLogger() {
  auto* logger = new Logger;
  logger->SetLayout(std::make_unique<LogLayoutNormal>());
  logger->AddWriter(std::make_unique<LogWriterFile>(AppLogPath()));
  atexit(CloseAppLogger);
  return logger;
}

void WriteWide(int level, const wchar_t* format, va_list args) {
  Logger* logger = GetAppLogger();
  if (logger->min_level() > level) return;
  logger->Write(level, util::WideToUtf8(FormatWide(format, args)));
}

}  // namespace

std::string AppLogPath(bool create_folder) {
  LogLayoutNormal layout;
  std::string folder =
      util::WideToUtf8(util::GetModuleDirectory(nullptr)) + "/" + layout.FolderName();
  if (create_folder && mkdir(folder.c_str(), 0700) != 0 && errno == EEXIST) {
    // A folder an older version made readable to others is closed too; a
    // link in its place is not ours to change, nor what it points to.
    struct stat st {};
    if (lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & 077) != 0)
      chmod(folder.c_str(), st.st_mode & 0700);
  }
  return folder + "/" + util::WideToUtf8(util::GetEditionVersion()) + "--c--" +
         util::WideToUtf8(layout.FileName(L""));
}

Logger* GetAppLogger() {
  static Logger* logger = CreateAppLogger();
  return logger;
}

std::string FormatNarrow(const char* format, va_list args) {
  std::string out(kMaxLogText + 1, '\0');
  int n = vsnprintf(out.data(), out.size(), format, args);
  out.resize(n < 0 ? 0 : std::min(static_cast<size_t>(n), kMaxLogText));
  return out;
}

std::wstring FormatWide(const wchar_t* format, va_list args) {
  // vswprintf reports truncation as a failure with unreliable contents, so
  // format in full into a memory stream and cut afterwards.
  wchar_t* buf = nullptr;
  size_t size = 0;
  FILE* stream = open_wmemstream(&buf, &size);
  if (!stream) return L"";
  vfwprintf(stream, format, args);
  fclose(stream);
  std::wstring out(buf, std::min(size, kMaxLogText));
  free(buf);
  return out;
}

}  // namespace brx::logmaker

void LogWarnA(const char* format, ...) {
  brx::logmaker::Logger* logger = brx::logmaker::GetAppLogger();
  if (logger->min_level() > brx::logmaker::kWarn) return;
  va_list args;
  va_start(args, format);
  std::string text = brx::logmaker::FormatNarrow(format, args);
  va_end(args);
  logger->Write(brx::logmaker::kWarn, text);
}

void LogWarn(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  brx::logmaker::WriteWide(brx::logmaker::kWarn, format, args);
  va_end(args);
}

void LogError(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  brx::logmaker::WriteWide(brx::logmaker::kError, format, args);
  va_end(args);
}

void LogFatal(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  brx::logmaker::WriteWide(brx::logmaker::kFatal, format, args);
  va_end(args);
}
