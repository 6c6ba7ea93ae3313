#include "uninstaller/shortcut_paths.h"

#include <sys/stat.h>

#include <cctype>

#include "runtime/platform/shell.h"
#include "runtime/util/file_util.h"

namespace {

// True when `path` is `folder` itself or lies below it.
bool IsInside(const std::string& path, const std::string& folder) {
  return !folder.empty() && path.size() > folder.size() + 1 &&
         path.compare(0, folder.size() + 1, folder + "/") == 0;
}

bool IsNamedForTheProduct(const std::string& name) {
  std::string lower;
  for (char c : name) lower += static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return lower.find("ombrix") != std::string::npos || name.find("翎岚") != std::string::npos;
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() > end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

std::string ShortcutPathToRemove(ShortcutKind kind, const std::string& value, std::string* reason) {
  reason->clear();
  if (value.empty()) return "";
  std::string path = brx::util::ResolveRemovalPath(value);
  if (path.empty()) {
    *reason = "not an absolute path to an existing folder";
    return "";
  }
  if (brx::util::IsProtectedFolder(path)) {
    *reason = "a system folder, the home folder or one above it";
    return "";
  }
  std::string name = path.substr(path.rfind('/') + 1);
  if (kind == ShortcutKind::kStartMenu) {
    std::string apps = brx::util::ResolveRemovalPath(brx::platform::ApplicationsFolder() + "/.");
    if (!IsInside(path, apps)) {
      *reason = "not inside the applications folder " + apps;
      return "";
    }
    if (!IsNamedForTheProduct(name)) {
      *reason = "not named for this product";
      return "";
    }
    return path;
  }
  std::string desktop = brx::platform::DesktopFolder();
  if (!desktop.empty()) desktop = brx::util::ResolveRemovalPath(desktop + "/.");
  if (desktop.empty() || path.substr(0, path.rfind('/')) != desktop) {
    *reason = "not directly in the desktop folder";
    return "";
  }
  struct stat st {};
  if (!EndsWith(name, ".desktop") || (lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))) {
    *reason = "not a desktop entry file";
    return "";
  }
  return path;
}
