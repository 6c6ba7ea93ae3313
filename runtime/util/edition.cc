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

void CopyExport(void* lib, const char* name, std::wstring* value) {
  if (auto fn = reinterpret_cast<StringExport>(dlsym(lib, name))) {
    const wchar_t* text = fn();
    *value = text ? text : L"";
  }
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
  std::lock_guard<std::mutex> lock(c.mutex);
  CopyExport(lib, "GetGameId", &c.game_id);
  CopyExport(lib, "GetKey", &c.key);
  CopyExport(lib, "GetKeyDesc", &c.key_desc);
  CopyExport(lib, "GetCurrentVersion", &c.version);
  CopyExport(lib, "GetGlobalConfig", &c.global_config);
  if (auto fn = reinterpret_cast<FlagExport>(dlsym(lib, "GetInstallHook"))) c.install_hook = fn() != 0;
  dlclose(lib);
}

std::wstring GetEditionGameId() { return Locked(&EditionCache::game_id); }
std::wstring GetEditionKey() { return Locked(&EditionCache::key); }
std::wstring GetEditionKeyDesc() { return Locked(&EditionCache::key_desc); }
std::wstring GetEditionVersion() { return Locked(&EditionCache::version); }
std::wstring GetEditionGlobalConfig() { return Locked(&EditionCache::global_config); }
bool GetEditionInstallHook() { return Locked(&EditionCache::install_hook); }

void SetEditionLibraryPathForTesting(const std::string& path) {
  EditionCache& c = Cache();
  std::lock_guard<std::mutex> lock(c.mutex);
  c.library_override = path;
}

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
