#include "uninstaller/installation_guard.h"

#include <limits.h>
#include <sys/stat.h>

#include <cstdlib>

#include <memory>

#include "runtime/platform/single_instance_lock.h"
#include "runtime/util/edition_registry.h"
#include "runtime/util/file_util.h"
#include "runtime/util/registry.h"
#include "runtime/util/text_convert.h"

namespace {

bool LockHeld(const std::string& name) {
  std::unique_ptr<brx::platform::SingleInstanceLock> probe;
  return brx::platform::SingleInstanceLock::Acquire(name, &probe) ==
         brx::platform::SingleInstanceLock::Result::kAlreadyHeld;
}

bool IsRegularFile(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string Canonical(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) ? resolved : "";
}

}  // namespace

RunningProgram FindRunningProgram(const std::string& edition_key) {
  if (LockHeld("Global\\OBHOST_MUTEX")) return RunningProgram::kClient;
  if (LockHeld(edition_key)) return RunningProgram::kGame;
  return RunningProgram::kNone;
}

bool IsInstallationFolder(const std::string& folder, const std::string& edition_key) {
  std::string real = Canonical(folder);
  if (folder.empty() || folder[0] != '/' || real.empty() || brx::util::IsProtectedFolder(real))
    return false;
  if (!IsRegularFile(real + "/Ombrix.exe") || !IsRegularFile(real + "/OBVerCustom.dll"))
    return false;
  std::wstring key = brx::util::Utf8ToWide(edition_key);
  for (const wchar_t* root : {brx::util::kLocalMachineRoot, brx::util::kCurrentUserRoot}) {
    std::wstring directory;
    if (brx::util::ReadRegistryString(brx::util::EditionRegistryPath(root, key), L"Directory",
                                      &directory) &&
        Canonical(brx::util::WideToUtf8(directory)) == real)
      return true;
  }
  return false;
}
