#include "uninstaller/uninstall_removal.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

#include "runtime/platform/registry_store.h"
#include "runtime/util/edition_registry.h"
#include "runtime/util/file_util.h"
#include "runtime/util/registry.h"
#include "runtime/util/text_convert.h"
#include "uninstaller/shortcut_paths.h"

namespace {

constexpr char kBusySuffix[] = "可能被占用,请手动删除";

// The installation's values, deleted in this order.
constexpr const wchar_t* kValues[] = {
    L"Directory",   L"Version",           L"Application",  L"Dll",           L"Website",
    L"TWInstalled", L"LaunchingWithGame", L"ExitWithGame", L"StartMenuPath", L"DeskTopPath",
    L"Key",         L"KeyDesc",           L"InstallHook"};

void DeleteRegistryValue(const std::wstring& key_path, const wchar_t* name) {
  brx::platform::Hive hive;
  std::wstring sub_key;
  if (brx::util::SplitRegistryPath(key_path, &hive, &sub_key))
    brx::platform::registry::DeleteValue(hive, brx::util::WideToUtf8(sub_key),
                                         brx::util::WideToUtf8(name));
}

// Removes the shortcut a registry value names, when it is one of this
// product's (see ShortcutPathToRemove); a refused value is left and told
// on standard error, the only place left once the log folder is gone.
void DeleteShortcut(ShortcutKind kind, const char* value_name, const std::string& value) {
  std::string reason;
  std::string path = ShortcutPathToRemove(kind, value, &reason);
  if (path.empty()) {
    if (!reason.empty())
      fprintf(stderr, "OBUninstall: %s \"%s\" left: %s\n", value_name, value.c_str(),
              reason.c_str());
    return;
  }
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) return;
  if (S_ISDIR(st.st_mode))
    brx::util::DeleteDirectoryTree(brx::util::Utf8ToWide(path));
  else
    unlink(path.c_str());
}

}  // namespace

std::string RemovalListLine(IRemovalSink::Event event, const std::string& path) {
  return event == IRemovalSink::kFileDeleted ? path : path + kBusySuffix;
}

UninstallRemoval::UninstallRemoval(std::string folder, std::string edition_key, IRemovalSink* sink)
    : ThreadRun("UninstallRemoval"),
      folder_(std::move(folder)),
      key_(std::move(edition_key)),
      sink_(sink) {}

UninstallRemoval::~UninstallRemoval() { Stop(); }

int UninstallRemoval::Run() {
  std::vector<std::wstring> files;
  brx::util::ListFilesRecursive(brx::util::Utf8ToWide(folder_), &files);
  for (const std::wstring& wide : files) {
    std::string path = brx::util::WideToUtf8(wide);
    std::string relative = path.substr(folder_.size());
    sink_->OnRemoval(
        unlink(path.c_str()) == 0 ? IRemovalSink::kFileDeleted : IRemovalSink::kFileFailed,
        relative);
  }
  if (!brx::util::DeleteDirectoryTree(brx::util::Utf8ToWide(folder_)))
    sink_->OnRemoval(IRemovalSink::kFolderFailed, folder_);

  std::wstring desktop, start_menu;
  std::wstring key = brx::util::Utf8ToWide(key_);
  for (const wchar_t* root : {brx::util::kLocalMachineRoot, brx::util::kCurrentUserRoot}) {
    std::wstring path = brx::util::EditionRegistryPath(root, key);
    // A value missing in this hive keeps the one read from the other.
    brx::util::ReadRegistryString(path, L"StartMenuPath", &start_menu);
    brx::util::ReadRegistryString(path, L"DeskTopPath", &desktop);
    for (const wchar_t* name : kValues) DeleteRegistryValue(path, name);
    brx::util::WriteRegistryDword(1, path, L"RejectInstall");
    DeleteShortcut(ShortcutKind::kDesktop, "DeskTopPath", brx::util::WideToUtf8(desktop));
    DeleteShortcut(ShortcutKind::kStartMenu, "StartMenuPath", brx::util::WideToUtf8(start_menu));
  }

  // Starting a deleted launcher at every log-on helps nobody.
  std::wstring autostart;
  if (brx::util::ReadAutoStartValue(&autostart) &&
      brx::util::WideToUtf8(autostart).find(folder_ + "/") != std::string::npos)
    brx::util::DeleteAutoStartValue();
  sink_->OnFinished();
  return 0;
}
