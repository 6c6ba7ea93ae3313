#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <string>

// Installing a patch archive over the program folder, all or nothing.
//
// The archive is extracted into a private folder; every installed file
// that the archive replaces is kept in the back-up folder first, and a
// journal there records, before the first file is replaced, which files
// were kept and which ones (and folders) are new. On a failed copy the
// journal is played back: kept files restored, new ones removed. If the
// launcher dies while copying, the journal is still there at its next
// start, and RecoverInterruptedInstall plays it back then. Only the
// archive's own entries are installed, never whatever else lies in the
// extraction folder.
struct PatchFolders {
  std::string install;  // the program folder
  std::string extract;
  std::string backup;
  // A log file below install/"Log" that must survive the clean-up of that
  // folder (the running program's own log); may be empty.
  std::string own_log;
};

// Most files (and folders) a patch may unpack to.
inline constexpr uint64_t kMaxPatchEntries = 65536;

// False when the archive cannot be extracted ("decode 7z file failed"),
// also when it unpacks to more than `max_unpacked_bytes` or than the free
// space of the extraction folder, or kMaxPatchEntries entries; when a file
// to be replaced cannot be kept ("Backup ... failed"), or a file cannot be
// copied in ("CopyFile ... failed"); the installation is then as before.
// The extraction and back-up folders are gone afterwards, unless a
// roll-back failed: the back-up then waits for RecoverInterruptedInstall.
bool InstallPatch(const std::string& archive, const PatchFolders& folders,
                  uint64_t max_unpacked_bytes = UINT64_MAX);

// The permission bits a file gets when the patch installs it: those of the
// file it replaces (`existing`, null for a new file), else those the
// extraction gave it; without write permission when the entry is
// read-only; never writable by group or others, never set-id.
mode_t InstalledMode(const struct stat* existing, mode_t entry_mode);

// Plays back the journal of an installation into `folders.install` that
// was cut short. True when there was one and it was undone; a journal of
// another folder is left alone.
bool RecoverInterruptedInstall(const PatchFolders& folders);

// Test seam: the process kills itself (SIGKILL) after this many files were
// copied in, as if the power failed mid-copy. 0 switches it off.
void SetKillAfterCopiesForTesting(int copies);
