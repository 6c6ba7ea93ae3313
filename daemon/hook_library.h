#pragma once

#include <string>

// The outside hook library, loaded from the program folder for as long as
// the object lives.
class HookLibrary {
 public:
  HookLibrary() = default;
  ~HookLibrary() { Unload(); }
  HookLibrary(const HookLibrary&) = delete;
  HookLibrary& operator=(const HookLibrary&) = delete;

  bool Load(const std::string& path);
  void Unload();

  // Each returns false when the library lacks the entry (`*found` false).
  bool CalcDX9FuncRVA(int* first, int* second, bool* found);
  bool InstallGlobalHook(bool* found);
  void UninstallGlobalHook(bool* found);

 private:
  void* Entry(const char* name) const;
  void* handle_ = nullptr;
};
