#pragma once

#include <string>

#include "runtime/logmaker/logger.h"

// The front ends of the application logger. printf-style; callers end
// their formats with "\n". Wide formats pass wide strings with %ls. Output
// longer than 40959 characters is cut there. Any thread may log.
void LogWarnA(const char* format, ...) __attribute__((format(printf, 1, 2)));
void LogWarn(const wchar_t* format, ...);
void LogError(const wchar_t* format, ...);
void LogFatal(const wchar_t* format, ...);

namespace brx::logmaker {

inline constexpr size_t kMaxLogText = 40959;

// The process's logger, created with its file on first use (thread-safe).
// It is closed, never freed, at process exit, so threads still logging
// then write nothing instead of touching freed memory.
Logger* GetAppLogger();

// <program folder>/Log/<version>--c--<image name>.log. With
// `create_folder`, creates the one "Log" folder (not its parents).
std::string AppLogPath(bool create_folder = true);

// printf into a string, cut at kMaxLogText characters.
std::string FormatNarrow(const char* format, va_list args);
std::wstring FormatWide(const wchar_t* format, va_list args);

}  // namespace brx::logmaker
