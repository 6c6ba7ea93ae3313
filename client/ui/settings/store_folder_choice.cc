#include "client/ui/settings/store_folder_choice.h"

#include <unistd.h>

#include <filesystem>
#include <system_error>

#include "runtime/util/text_convert.h"

namespace {

namespace fs = std::filesystem;

// The root and the folders of the system itself: pseudo file systems,
// run-time state and installed software. Nothing of the user's belongs
// there, and a walk of the root would be a walk of everything.
bool IsSystemFolder(const std::string& path) {
  if (path == "/") return true;
  static const char* const kSystem[] = {"/proc",  "/sys",   "/dev",   "/run",  "/boot",
                                        "/etc",   "/usr",   "/bin",   "/sbin", "/lib",
                                        "/lib32", "/lib64", "/libx32"};
  for (const char* top : kSystem) {
    const std::string prefix = top;
    if (path.compare(0, prefix.size(), prefix) == 0 &&
        (path.size() == prefix.size() || path[prefix.size()] == '/'))
      return true;
  }
  return false;
}

}  // namespace

StoreFolderChoice CheckStoreFolder(const std::wstring& text) {
  StoreFolderChoice choice;
  const fs::path given(brx::util::WideToUtf8(text));
  if (!given.is_absolute()) {
    choice.folder = text;
    choice.refusal = kStoreFolderNotAbsolute;
    return choice;
  }
  std::error_code ec;
  fs::path plain = fs::weakly_canonical(given, ec);
  if (ec) plain = given.lexically_normal();
  std::string path = plain.string();
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  choice.folder = brx::util::Utf8ToWide(path);
  if (IsSystemFolder(path)) {
    choice.refusal = kStoreFolderIsSystem;
    return choice;
  }
  fs::path existing(path);
  while (!fs::exists(existing, ec) && existing.has_relative_path())
    existing = existing.parent_path();
  if (!fs::is_directory(existing, ec)) {
    choice.refusal = kStoreFolderNotFolder;
  } else if (::access(existing.c_str(), W_OK | X_OK) != 0) {
    choice.refusal = kStoreFolderReadOnly;
  }
  return choice;
}
