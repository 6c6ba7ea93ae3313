#pragma once

#include <cstdint>
#include <string>

// Told about each file before it is written and about the failure that
// stops an extraction. Kinds of failure: 0 the archive cannot be opened,
// 1 its table of contents cannot be read, 2 a file entry failed.
class IExtractListener {
 public:
  enum ErrorKind { kOpen = 0, kDatabase = 1, kEntry = 2 };

  virtual ~IExtractListener() = default;
  // `name` is the entry's path below the target, "/"-separated.
  virtual void OnEntry(int index, int count, const std::string& name) = 0;
  virtual void OnError(int kind, int code, const std::string& name) = 0;
};

// Error codes of an entry failure.
inline constexpr int kExtractErrorMemory = 2;
inline constexpr int kExtractErrorFail = 11;
// The archive unpacks to more bytes or files than allowed.
inline constexpr int kExtractErrorTooLarge = 27;
// An entry name that would leave the target, or a link, device or other
// non-file entry: the archive is refused as a whole.
inline constexpr int kExtractErrorUnsafeName = 17;

// How much an archive may unpack to: a small archive can hold a huge file.
struct ExtractLimits {
  uint64_t max_bytes = UINT64_MAX;    // all files together
  uint64_t max_entries = UINT64_MAX;  // files and folders
};

// Writes every file of the 7z archive below `target` (folders made as
// needed; folder entries only make folders). Names may use "/" or "\".
// Files are 0644, or 0755 when the entry is executable, without write
// permission when it is read-only: an archive made on Windows carries no
// permission bits at all, and no entry may make a file writable by group
// or others, or set-id. Names that are absolute, hold "..", are empty or
// do not fit a path, and entries that are links or special files, stop
// the extraction before anything is written for them; so does passing
// `limits` (kExtractErrorTooLarge), the file being written then removed.
// `count` in OnEntry is -1: a 7z archive is read front to back.
// `listener` may be null. True exactly when every entry was written.
bool Extract7z(IExtractListener* listener, const std::string& archive, const std::string& target,
               const ExtractLimits& limits = {});

// The entry name as a relative path below a target, "\" read as "/" and
// "." parts dropped; empty when the name is unsafe (see above).
std::string SafeEntryPath(const std::string& name);
