#pragma once

#include <sys/types.h>

#include <string>

// File steps of a patch installation. Replacing never writes into the file
// that stands at the target: the new contents go to a temporary file beside
// it, which is renamed over the target, so an installation cut short leaves
// every file either old or new, never half written, and a file that the
// back-up shares (a hard link) keeps its old contents.

// The temporary file a replacement of `target` writes first.
std::string ReplacementTempPath(const std::string& target);

// Copies `source` over `target` with permission bits `mode`. Fails
// (errno set) when the target is a folder or cannot be made.
bool ReplaceFileWith(const std::string& source, const std::string& target, mode_t mode);

// Keeps a copy of `source` at `copy` with the same permission bits: a
// hard link where both lie on one file system, else a copy.
bool KeepCopyOf(const std::string& source, const std::string& copy);

// Deletes a folder's contents and the folder, then makes it again (0700).
// False when anything stays behind or it cannot be made.
bool RecreateFolder(const std::string& folder);
