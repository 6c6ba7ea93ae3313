#pragma once

#include <memory>
#include <string>

namespace brx::platform {
class ChildProcess;
}

// Starting the hook daemon, which installs the game hook system-wide and
// stays linked to the main client by the daemon pipe.

// "<program folder>/OBDaemon.exe".
std::wstring HookDaemonPath(const std::wstring& program_folder);

// Asks hook daemons left by an earlier client to quit: up to `max_rounds`
// times, finds a running process of that image and sends it SIGTERM, then
// gives it up to `round_wait_ms` to go. Stops as soon as none is found.
// Returns the number of quit requests sent.
int StopStaleHookDaemons(const std::wstring& daemon_path, int max_rounds = 40,
                         int round_wait_ms = 100);

// Starts the daemon without arguments in the program folder; logs and
// returns null when it cannot be started.
std::unique_ptr<brx::platform::ChildProcess> SpawnHookDaemon(const std::wstring& daemon_path,
                                                             const std::wstring& program_folder);
