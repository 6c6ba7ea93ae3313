#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace brx::platform {

// Hands URLs and files to the desktop, as a user's double click would.
// The client, the launcher and the uninstaller hold one through this
// interface, so tests replace it with a recorder instead of starting a
// browser.
class Shell {
 public:
  virtual ~Shell() = default;
  // Opens an address (http, https, file) in the user's browser. False when
  // the opener could not be started.
  virtual bool OpenUrl(const std::string& url) = 0;
  // Opens a local file or folder with its usual program.
  virtual bool OpenFile(const std::string& path) = 0;
};

// The desktop's opener: `xdg-open` started through a short-lived shell that
// leaves it running on its own, so nothing of ours waits for the browser
// and no child is left unreaped.
std::unique_ptr<Shell> CreateDesktopShell();

// Records every request and opens nothing: the headless user interface and
// the tests use it. Thread-safe.
class RecordingShell : public Shell {
 public:
  struct Request {
    enum class Kind { kUrl, kFile } kind;
    std::string target;
  };
  bool OpenUrl(const std::string& url) override;
  bool OpenFile(const std::string& path) override;
  std::vector<Request> requests() const;

 private:
  mutable std::mutex mutex_;
  std::vector<Request> requests_;
};

// A launcher entry as a freedesktop ".desktop" file, the Linux form of a
// shortcut on the desktop or in the applications menu.
struct DesktopEntry {
  std::string name;
  std::string exec;  // program path; quoted when written
  std::vector<std::string> args;
  std::string working_directory;
  std::string icon;
  std::string comment;
};

// Writes the entry atomically to `path` (executable, as desktops want for
// trusted launchers). False on any failure.
bool WriteDesktopEntry(const std::string& path, const DesktopEntry& entry);
// The value of `Exec` split back into words; empty when the file is missing
// or has no Exec line.
std::vector<std::string> ReadDesktopEntryCommand(const std::string& path);

// Where shortcuts live: the XDG desktop folder (empty when the user has
// none) and $XDG_DATA_HOME/applications (the start menu).
std::string DesktopFolder();
std::string ApplicationsFolder();

}  // namespace brx::platform
