#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// How far one walk of a folder may go. A screenshot folder on a slow or
// huge file system must never keep a walk (and whoever waits for it)
// busy: the walk gives up after this many entries or this long.
struct FolderWalkLimits {
  size_t max_entries = 100000;
  std::chrono::milliseconds max_time{5000};
  // Called on the walking thread as the walk starts and before each
  // entry; tests hold a walk there.
  std::function<void()> on_entry_for_testing;
};

struct FolderSize {
  uint64_t bytes = 0;     // of the regular files seen
  bool complete = false;  // every entry was seen within the limits
};

// The bytes of every regular file below `folder`, recursively; links are
// not followed and unreadable entries are skipped. An empty path or a
// missing folder is complete with 0 bytes. Stops early, incomplete, at
// the limits or when `*stop` becomes true. Any thread; blocks on the file
// system, so never the GUI thread.
FolderSize MeasureFolder(const std::wstring& folder, const FolderWalkLimits& limits,
                         const std::atomic<bool>* stop = nullptr);

// Whether `bytes` exceed `megabytes` MB (1 MB = 1,048,576 bytes): holding
// exactly the quota is not over it.
bool ExceedsQuota(uint64_t bytes, int megabytes);
