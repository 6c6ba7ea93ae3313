#pragma once

#include <string>

namespace brx::util {

// Called on the crashing thread with the report's path after the report
// was written (or its writing failed). It runs inside a signal handler, so
// it may only use async-signal-safe calls (the helpers below are). A
// callback that returns lets the process die of its signal.
using CrashCallback = void (*)(const char* dump_path);

// Installs the process-wide crash handler: SIGSEGV, SIGBUS, SIGILL, SIGFPE
// and SIGABRT (uncaught C++ exceptions end in abort) on an alternate signal
// stack. The handler writes a crash report beside the program, named
// "<folder>/<version>.<program file>.<Y>-<M>-<D>-<h>.<m>.<s>.dmp" in local
// time, holding the signal, fault address, registers, a backtrace and the
// memory map. When several threads crash at once the first one reports and
// the others wait for the process to end.
bool InstallCrashHandler(const std::wstring& version, CrashCallback callback);

// What the programs' crash callbacks need, prepared at start-up because a
// signal handler can build nothing: the uploader to start, the log file to
// write the fatal line to, and the program's name for that line.
void PrepareCrashReportUpload(const std::string& uploader_path, const std::string& log_path,
                              const std::string& program_name, const std::wstring& version);

// Writes "[<program>]<version> crash[<path>]!" at fatal level to the
// prepared log file, starts the uploader with the report's path as its
// argument, and ends the process with exit code 128 + the signal number
// (a failure code, like a death by that signal). Async-signal-safe.
[[noreturn]] void ReportCrashAndExit(const char* dump_path);

// The uploader beside the running program: "<program folder>/OBBugreporter.exe".
std::string CrashUploaderPath();

// Installs the handler with ReportCrashAndExit as callback and the uploader
// from CrashUploaderPath(); `log_path` is the program's application log.
bool InstallProgramCrashHandler(const std::string& program_name, const std::string& log_path);

}  // namespace brx::util
