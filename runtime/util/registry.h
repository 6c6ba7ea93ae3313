#pragma once

#include <cstdint>
#include <string>

#include "runtime/platform/registry_store.h"

namespace brx::util {

// Registry access by full path text ("HKEY_CURRENT_USER\SOFTWARE\..."). The
// root name must stand at the start, followed by a backslash.
bool SplitRegistryPath(const std::wstring& path, platform::Hive* root, std::wstring* sub_key);

// The autostart value "Ombrix" under HKEY_LOCAL_MACHINE\...\CurrentVersion\Run.
bool ReadAutoStartValue(std::wstring* value);
bool DeleteAutoStartValue();
bool ReadLaunchingWithGame(const std::wstring& key_path, uint32_t* value);
bool WriteRegistryString(const std::wstring& key_path, const std::wstring& value,
                         const std::wstring& value_name);
void WriteRegistryDword(uint32_t value, const std::wstring& key_path,
                        const std::wstring& value_name);
bool ReadRegistryString(const std::wstring& key_path, const std::wstring& value_name,
                        std::wstring* value);
bool ReadRegistryDword(const std::wstring& key_path, const std::wstring& value_name,
                       uint32_t* value);

extern const wchar_t kAutoStartKey[];

}  // namespace brx::util
