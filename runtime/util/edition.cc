#include "runtime/util/edition.h"

#include <dlfcn.h>

#include <mutex>

#include "runtime/util/module_path.h"
#include "runtime/util/text_convert.h"

namespace brx::util {

namespace {

struct EditionCache {
  std::mutex mutex;
  std::wstring game_id, key, key_desc, version, global_config;
  bool install_hook = false;
  std::string library_override;
};

// Function-local so that the crash handler's static installer, which reads
// the version during static initialisation, finds it constructed.
EditionCache& Cache() {
  static EditionCache* cache = new EditionCache;
  return *cache;
}

using StringExport = const wchar_t* (*)();
using FlagExport = int (*)();

// False when the library lacks the export.
bool CopyExport(void* lib, const char* name, std::wstring* value) {
  auto fn = reinterpret_cast<StringExport>(dlsym(lib, name));
  if (!fn) return false;
  const wchar_t* text = fn();
  *value = text ? text : L"";
  return true;
}

template <typename T>
T Locked(T EditionCache::*member) {
  LoadEditionLibrary();
  EditionCache& c = Cache();
  std::lock_guard<std::mutex> lock(c.mutex);
  return c.*member;
}

}  // namespace

std::string EditionLibraryPath() {
  EditionCache& c = Cache();
  {
    std::lock_guard<std::mutex> lock(c.mutex);
    if (!c.library_override.empty()) return c.library_override;
  }
  return WideToUtf8(GetModuleDirectory(nullptr)) + "/OBVerCustom.dll";
}

void LoadEditionLibrary() {
  EditionCache& c = Cache();
  {
    std::lock_guard<std::mutex> lock(c.mutex);
    if (!c.key.empty()) return;
  }
  std::string path = EditionLibraryPath();
  void* lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!lib) return;
  // The library's own code runs without our lock held.
  std::wstring game_id, key, key_desc, version, global_config;
  bool has[5] = {CopyExport(lib, "GetGameId", &game_id), CopyExport(lib, "GetKey", &key),
                 CopyExport(lib, "GetKeyDesc", &key_desc),
                 CopyExport(lib, "GetCurrentVersion", &version),
                 CopyExport(lib, "GetGlobalConfig", &global_config)};
  auto flag = reinterpret_cast<FlagExport>(dlsym(lib, "GetInstallHook"));
  bool install_hook = flag && flag() != 0;
  dlclose(lib);
  std::lock_guard<std::mutex> lock(c.mutex);
  if (!c.key.empty()) return;  // another thread filled it meanwhile
  // A missing export leaves its value as it was.
  if (has[0]) c.game_id = game_id;
  if (has[1]) c.key = key;
  if (has[2]) c.key_desc = key_desc;
  if (has[3]) c.version = version;
  if (has[4]) c.global_config = global_config;
  if (flag) c.install_hook = install_hook;
}

std::wstring GetEditionGameId() { return Locked(&EditionCache::game_id); }
std::wstring GetEditionKey() { return Locked(&EditionCache::key); }
std::wstring GetEditionKeyDesc() { return Locked(&EditionCache::key_desc); }
std::wstring GetEditionVersion() { return Locked(&EditionCache::version); }
std::wstring GetEditionGlobalConfig() { return Locked(&EditionCache::global_config); }
bool GetEditionInstallHook() { return Locked(&EditionCache::install_hook); }

void SetEditionLibraryPath(const std::string& path) {
  EditionCache& c = Cache();
  std::lock_guard<std::mutex> lock(c.mutex);
  c.library_override = path;
}

void SetEditionLibraryPathForTesting(const std::string& path) { SetEditionLibraryPath(path); }

void ResetEditionCacheForTesting() { ForgetEditionValues(); }

void ForgetEditionValues() {
  EditionCache& c = Cache();
  std::lock_guard<std::mutex> lock(c.mutex);
  c.game_id.clear();
  c.key.clear();
  c.key_desc.clear();
  c.version.clear();
  c.global_config.clear();
  c.install_hook = false;
}

}  // namespace brx::util
