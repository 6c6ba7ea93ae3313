#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

// File steps of a patch installation. Replacing never writes into the file
// that stands at the target: the new contents go to a temporary file beside
// it, which is renamed over the target, so an installation cut short leaves
// every file either old or new, never half written, and a file that the
// back-up shares (a hard link) keeps its old contents.

// The temporary file a replacement of `target` writes first.
std::string ReplacementTempPath(const std::string& target);

// Copies `source` over `target` with permission bits `mode`; the copy has
// the source's modification time. Fails (errno set) when the target is a
// folder or cannot be made.
bool ReplaceFileWith(const std::string& source, const std::string& target, mode_t mode);

// Keeps a copy of `source` at `copy` with the same permission bits and
// modification time: a hard link where both lie on one file system, else
// a copy.
bool KeepCopyOf(const std::string& source, const std::string& copy);

// Whether `path` still is the file kept at `kept`: the very same file (a
// hard link), or one of the same mode, modification time and bytes.
bool IsSameFile(const std::string& kept, const std::string& path);

// Bytes free to this user on the file system of `path`; the largest count
// when that cannot be told.
uint64_t FreeSpaceAt(const std::string& path);

// Deletes a folder's contents and the folder, then makes it again (0700).
// False when anything stays behind or it cannot be made.
bool RecreateFolder(const std::string& folder);
