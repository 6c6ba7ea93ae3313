#pragma once

#include <sys/types.h>

#include <string>

namespace brx::util {

// Finds a running process whose image path is the given path (the whole
// path, any letter case). A process whose image cannot be read never matches.
bool FindProcessByPath(const std::wstring& image_path, pid_t* pid);
// Sends `signal` to process `pid` only while its image still is
// `image_path` (matched as FindProcessByPath matches), checked through a
// handle that pins the process, so a pid reused meanwhile is never hit.
bool SignalProcessByPath(pid_t pid, const std::wstring& image_path, int signal);
// The process's main thread; false when the process has no thread left.
bool FindFirstThreadOfProcess(pid_t pid, pid_t* thread_id);

// The firewall exception for the program. Linux keeps no per-program
// firewall list, so this succeeds without doing anything (returns 0).
long AddFirewallException(const std::wstring& image_path);

}  // namespace brx::util
