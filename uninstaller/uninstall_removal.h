#pragma once

#include <cstdint>
#include <string>

#include "runtime/base/thread.h"

// Told about the removal's progress, on the removal thread.
class IRemovalSink {
 public:
  // The message numbers the dialog page receives.
  enum Event : uint32_t { kFileDeleted = 2028, kFileFailed = 2029, kFolderFailed = 2030 };

  virtual ~IRemovalSink() = default;
  // `path`: a file's path below the install folder ("/sub/file"), or for
  // kFolderFailed the install folder itself.
  virtual void OnRemoval(Event event, const std::string& path) = 0;
  // Everything has been tried; the page may now be finished.
  virtual void OnFinished() = 0;
};

// The line a page lists for one event.
std::string RemovalListLine(IRemovalSink::Event event, const std::string& path);

// Removes an installation on its own thread: every file below the folder
// (one event each), then the folder, then for HKEY_LOCAL_MACHINE and then
// HKEY_CURRENT_USER the edition's values (the start-menu and desktop paths
// read first, "RejectInstall" = 1 written after) with the desktop shortcut
// and the start-menu folder they name when these are the product's own
// (see ShortcutPathToRemove), and finally the autostart entry
// when it starts a program of the removed folder. The folder must have
// passed IsInstallationFolder. Not interruptible: a half-done removal
// would help nobody, so its owner waits for it.
class UninstallRemoval : public brx::base::ThreadRun {
 public:
  UninstallRemoval(std::string folder, std::string edition_key, IRemovalSink* sink);
  ~UninstallRemoval() override;

 private:
  int Run() override;

  const std::string folder_;
  const std::string key_;
  IRemovalSink* const sink_;
};
