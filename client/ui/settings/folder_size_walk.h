#pragma once

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "client/ui/settings/store_folder_size.h"
#include "uilib/winsys/ui_defs.h"

// Measures one folder at a time on a thread of its own, so the GUI thread
// never waits on the file system: when the walk ends it posts
// `done_message` to `notify`, and the window takes the result with Take.
// The owner stops it (the destructor does) before its window goes; a
// stopped walk posts nothing that is acted on. GUI thread only, apart from
// the walking thread.
class FolderSizeWalk {
 public:
  FolderSizeWalk(uilib::HWND notify, uilib::UINT done_message);
  ~FolderSizeWalk();
  FolderSizeWalk(const FolderSizeWalk&) = delete;
  FolderSizeWalk& operator=(const FolderSizeWalk&) = delete;

  // Starts measuring `folder`; a walk still running is stopped first.
  void Start(const std::wstring& folder, FolderWalkLimits limits);
  // Whether a walk was started and its result not yet taken.
  bool busy() const { return thread_.joinable(); }
  // The result of the finished walk (nothing while it still runs, or
  // after Stop).
  std::optional<FolderSize> Take();
  // Ends the walk, its result dropped; safe to call twice.
  void Stop();

 private:
  uilib::HWND notify_;
  uilib::UINT done_message_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::optional<FolderSize> result_;  // guarded by mutex_
};
