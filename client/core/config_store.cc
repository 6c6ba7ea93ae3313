#include "client/core/config_store.h"

#include <cwctype>

#include "runtime/util/registry.h"

ConfigStore::ConfigStore(std::wstring program_folder)
    : program_folder_(program_folder), system_(program_folder), games_(program_folder) {}

ConfigStore::ConfigStore(std::wstring program_folder, std::wstring current_game_id)
    : program_folder_(program_folder),
      system_(program_folder),
      games_(program_folder, std::move(current_game_id)) {}

std::wstring ConfigStore::LauncherPath() const { return program_folder_ + L"/Ombrix.exe"; }

bool ConfigStore::IsAutoStartEnabled() const {
  std::wstring value;
  if (!brx::util::ReadAutoStartValue(&value)) return false;
  std::wstring launcher = LauncherPath();
  if (value.size() != launcher.size()) return false;
  for (size_t i = 0; i < value.size(); ++i)
    if (std::towlower(value[i]) != std::towlower(launcher[i])) return false;
  return true;
}

void ConfigStore::SetAutoStart(bool on) {
  if (on)
    brx::util::WriteRegistryString(brx::util::kAutoStartKey, LauncherPath(), L"Ombrix");
  else
    brx::util::DeleteAutoStartValue();
}
