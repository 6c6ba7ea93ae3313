#include "daemon/hook_library.h"

#include <dlfcn.h>

bool HookLibrary::Load(const std::string& path) {
  Unload();
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  return handle_ != nullptr;
}

void HookLibrary::Unload() {
  if (handle_) dlclose(handle_);
  handle_ = nullptr;
}

void* HookLibrary::Entry(const char* name) const {
  return handle_ ? dlsym(handle_, name) : nullptr;
}

bool HookLibrary::CalcDX9FuncRVA(int* first, int* second, bool* found) {
  auto fn = reinterpret_cast<bool (*)(int*, int*)>(Entry("CalcDX9FuncRVA"));
  *found = fn != nullptr;
  *first = 0;
  *second = 0;
  return fn && fn(first, second);
}

bool HookLibrary::InstallGlobalHook(bool* found) {
  auto fn = reinterpret_cast<bool (*)()>(Entry("InstallGlobalHook"));
  *found = fn != nullptr;
  return fn && fn();
}

void HookLibrary::UninstallGlobalHook(bool* found) {
  auto fn = reinterpret_cast<void (*)()>(Entry("UninstallGlobalHook"));
  *found = fn != nullptr;
  if (fn) fn();
}
