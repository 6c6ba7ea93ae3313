#pragma once

#include <string>

// What must hold before an installation is removed.

enum class RunningProgram { kNone, kClient, kGame };

// Whether the main client or the game of the edition runs: each holds its
// single-instance lock (the game's is named by the edition key).
RunningProgram FindRunningProgram(const std::string& edition_key);

// Whether `folder` is an installation of the edition and nothing else: an
// absolute path that is no protected folder ("/", the home folder or one
// above it, a system folder: brx::util::IsProtectedFolder), holding the
// launcher and the edition library, and named by the edition's
// "Directory" value in either registry hive. Only such a folder is ever
// removed as a whole.
bool IsInstallationFolder(const std::string& folder, const std::string& edition_key);
